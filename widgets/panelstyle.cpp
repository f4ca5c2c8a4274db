#include "panelstyle.h"

#include <QApplication>
#include <QFile>

namespace ks {

QString PanelStyle::separator()
{
    return QStringLiteral(" \u00B7 ");
}

bool PanelStyle::applyStyleSheet()
{
    QFile style(QStringLiteral(":/style/vfd.qss"));
    if (!style.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    return true;
}

} // namespace ks
