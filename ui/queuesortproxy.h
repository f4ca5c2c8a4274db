#pragma once

#include <QSortFilterProxyModel>

namespace ks {

class QueueModel;

// Sorts the queue's rows by what their cells stand for, asking the queue
// directly: through QVariants, a sort of 100,000 rows would keep the window
// from answering for half a second. The source must keep the queue's rows.
class QueueSortProxy final : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    QueueSortProxy(const QueueModel *queue, QObject *parent = nullptr);

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    const QueueModel *m_queue;
};

} // namespace ks
