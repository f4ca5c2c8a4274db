#include "mainwindow.h"

#include <QIcon>

namespace ks {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Kestrova"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
    setMinimumWidth(900);
    resize(1020, 780);
}

MainWindow::~MainWindow() = default;

} // namespace ks
