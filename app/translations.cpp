#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace ks {

QString installTranslations(QCoreApplication &app, const QLocale &locale)
{
    auto *program = new QTranslator(&app);
    if (!program->load(locale, QStringLiteral("kestrova"), QStringLiteral("_"), QStringLiteral(":/i18n"))) {
        delete program;
        return QString();
    }
    // Qt's standard buttons and dialogs follow the language the program found,
    // not the locale's first wish, so that a window never speaks two languages.
    // They stay English where the system has no Qt translations installed.
    const QLocale chosen(program->language());
    auto *qt = new QTranslator(&app);
    if (qt->load(chosen, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qt);
    else
        delete qt;
    app.installTranslator(program);
    return program->language();
}

} // namespace ks
