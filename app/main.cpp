#include "identity.h"
#include "mainwindow.h"
#include "panelstyle.h"
#include "recordtypes.h"
#include "settingsstore.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ks::applyIdentity();
    ks::registerRecordTypes();

    ks::PanelStyle::applyStyleSheet();

    ks::loadSettings(ks::appSettings());

    ks::MainWindow window;
    window.show();
    return app.exec();
}
