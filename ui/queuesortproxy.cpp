#include "queuesortproxy.h"

#include "queuemodel.h"

namespace ks {

QueueSortProxy::QueueSortProxy(const QueueModel *queue, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_queue(queue)
{
}

bool QueueSortProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    return m_queue->lessThan(left.row(), right.row(), left.column());
}

} // namespace ks
