#include "queueview.h"

#include "queuemodel.h"
#include "queuesortproxy.h"
#include "statuscolourproxy.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QScrollBar>

namespace ks {

QueueView::QueueView(QueueModel *queue, QWidget *parent)
    : QTableView(parent)
    , m_queue(queue)
    , m_sorted(new QueueSortProxy(queue, this))
{
    setObjectName(QStringLiteral("queueTable"));
    auto *colours = new StatusColourProxy(this);
    colours->setSourceModel(queue);
    m_sorted->setSourceModel(colours);
    setModel(m_sorted);
    setSortingEnabled(true);
    sortByColumn(-1, Qt::AscendingOrder); // queue order until a header is clicked

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table for the buttons below it; the arrows move in it.
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(24);
    QHeaderView *header = horizontalHeader();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(QueueModel::FileColumn, QHeaderView::Stretch);
    for (int column = QueueModel::LengthColumn; column <= QueueModel::StatusColumn; ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    // Fitted to the rows in view and a page around them, not to every row:
    // a result would otherwise measure a long queue's column over again.
    header->setResizeContentsPrecision(100);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

QString QueueView::emptyHint()
{
    return tr("Drop audio files or folders here, or use Add files / Add folder");
}

void QueueView::setFailedOnly(bool failedOnly)
{
    m_sorted->setFilterRole(QueueModel::StatusRole);
    m_sorted->setFilterRegularExpression(failedOnly ? QStringLiteral("^%1$").arg(int(ItemStatus::Failed)) : QString());
}

QList<int> QueueView::selectedQueueRows() const
{
    QList<int> rows;
    const QModelIndexList selected = selectionModel()->selectedRows(0);
    for (const QModelIndex &index : selected)
        rows.append(m_sorted->mapToSource(index).row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int QueueView::queueRowAt(const QPoint &position) const
{
    const QModelIndex index = indexAt(position);
    return index.isValid() ? m_sorted->mapToSource(index).row() : -1;
}

void QueueView::selectQueueRow(int row)
{
    const QModelIndex index = m_sorted->mapFromSource(m_sorted->sourceModel()->index(row, 0));
    // The row alone, whatever modifier keys the last key event left held.
    if (index.isValid()) {
        selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
}

void QueueView::follow(int row)
{
    // Following stops when the user scrolls and resumes at the bottom.
    const QScrollBar *bar = verticalScrollBar();
    if (!m_following && bar->value() < bar->maximum())
        return;
    m_following = true;
    const QModelIndex index = m_sorted->mapFromSource(m_sorted->sourceModel()->index(row, 0));
    if (!index.isValid())
        return;
    m_scrollingForRun = true;
    scrollTo(index, QAbstractItemView::EnsureVisible);
    m_scrollingForRun = false;
}

void QueueView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    if (dy != 0 && !m_scrollingForRun)
        m_following = false;
}

void QueueView::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    if (model()->rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(24, 0, -24, 0), Qt::AlignCenter | Qt::TextWordWrap, emptyHint());
}

} // namespace ks
