#include "identity.h"
#include "mainwindow.h"
#include "recordtypes.h"
#include "settingsstore.h"
#include "translations.h"

#include <QApplication>
#include <QFile>
#include <QLocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ks::applyIdentity();
    ks::registerRecordTypes();
    ks::installTranslations(app, QLocale());

    // Without the stylesheet the program keeps the platform's look.
    QFile style(QStringLiteral(":/style/vfd.qss"));
    if (style.open(QIODevice::ReadOnly | QIODevice::Text))
        app.setStyleSheet(QString::fromUtf8(style.readAll()));

    ks::loadSettings(ks::appSettings());

    ks::MainWindow window;
    window.show();
    return app.exec();
}
