#include "settings.h"

#include <QCoreApplication>

namespace ks {

QString endModeLabel(EndMode mode, int targetMs)
{
    switch (mode) {
    case EndMode::LeaveAlone:
        return QCoreApplication::translate("ks::EndMode", "OFF");
    case EndMode::CutBack:
        return QCoreApplication::translate("ks::EndMode", "MAX %1 MS").arg(targetMs);
    case EndMode::TopUp:
        return QCoreApplication::translate("ks::EndMode", "MIN %1 MS").arg(targetMs);
    case EndMode::Exact:
        return QCoreApplication::translate("ks::EndMode", "SET %1 MS").arg(targetMs);
    }
    return QString();
}

} // namespace ks
