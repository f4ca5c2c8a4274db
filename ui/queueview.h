#pragma once

#include <QList>
#include <QTableView>

class QSortFilterProxyModel;

namespace ks {

class QueueModel;

// The queue as the window shows it: rows coloured by status, sortable by any
// column, a hint while it is empty, and the running row kept in view unless
// the user has scrolled away. Rows are always spoken of in the queue's own
// numbering, whatever the sort.
class QueueView final : public QTableView
{
    Q_OBJECT

public:
    explicit QueueView(QueueModel *queue, QWidget *parent = nullptr);

    QueueModel *queue() const { return m_queue; }

    // The selected rows of the queue, in queue order.
    QList<int> selectedQueueRows() const;
    // The queue row at a point of the viewport, or -1.
    int queueRowAt(const QPoint &position) const;
    void selectQueueRow(int row);
    // Shows only the rows that failed, or every row again.
    void setFailedOnly(bool failedOnly);

    // Scrolls the row into view while the user follows the run.
    void follow(int row);

    static QString emptyHint();

protected:
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    Q_DISABLE_COPY_MOVE(QueueView)

    QueueModel *m_queue;
    QSortFilterProxyModel *m_sorted;
    bool m_following = true;
    bool m_scrollingForRun = false;
};

} // namespace ks
