#include "statuscolourproxy.h"

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
        return QBrush(QColor(0x17, 0x6B, 0x3C));
    case ItemStatus::Skipped:
        return QBrush(QColor(0x9A, 0x6B, 0x18));
    case ItemStatus::Failed:
        return QBrush(QColor(0xB0, 0x30, 0x24));
    default:
        return QVariant();
    }
}

} // namespace ks
