#include "identity.h"
#include "mainwindow.h"
#include "panelstyle.h"
#include "recordtypes.h"
#include "settingsstore.h"
#include "translations.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ks::applyIdentity();
    ks::registerRecordTypes();
    ks::installTranslations(app, QLocale());

    ks::PanelStyle::applyStyleSheet();

    const QStringList notes = ks::loadSettings(ks::appSettings());

    ks::MainWindow window;
    for (const QString &note : notes)
        window.log(note, ks::Severity::Warning);
    window.show();
    return app.exec();
}
