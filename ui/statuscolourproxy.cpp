#include "statuscolourproxy.h"

#include "panelpalette.h"
#include "queueitem.h"
#include "queuemodel.h"

#include <QBrush>
#include <QColor>

namespace ks {

QVariant StatusColourProxy::data(const QModelIndex &index, int role) const
{
    if (role != Qt::ForegroundRole)
        return QIdentityProxyModel::data(index, role);
    switch (ItemStatus(QIdentityProxyModel::data(index, QueueModel::StatusRole).toInt())) {
    case ItemStatus::Trimmed:
        return QBrush(QColor(PanelPalette::TrimmedText));
    case ItemStatus::Skipped:
        return QBrush(QColor(PanelPalette::SkippedText));
    case ItemStatus::Failed:
        return QBrush(QColor(PanelPalette::FailedText));
    default:
        return QVariant();
    }
}

} // namespace ks
