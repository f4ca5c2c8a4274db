#pragma once

#include "queueitem.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QSet>

namespace ks {

// The queue: the files the user added, in order, with their measurements,
// plans and results, shown as a seven-column read-only table.
class QueueModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        FileColumn,
        LengthColumn,
        HeadColumn,
        TailColumn,
        NewLengthColumn,
        StatusColumn,
        ResultColumn,
        ColumnCount
    };
    // Any cell: the row's ItemStatus as an int, for views that colour rows.
    static constexpr int StatusRole = Qt::UserRole;

    explicit QueueModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // How rows sort by a column: by the seconds behind its text, the status,
    // or the text. Read from the items themselves, so that a sort of a
    // library's rows makes no strings on the way.
    bool lessThan(int leftRow, int rightRow, int column) const;

    // Appends the paths whose files are not queued yet (a file named directly
    // and through a symbolic link is one file); `root` is the folder their
    // File column is shown relative to (empty: the bare file name). Returns
    // how many were added.
    int addFiles(const QStringList &files, const QString &root);
    // Makes room for `rows` in all, so that a large add grows the queue's
    // indexes once rather than at every doubling on the way.
    void reserve(qsizetype rows);
    // Appends rows as a saved queue kept them, results and all; returns how
    // many were added (files already queued are not).
    int restoreItems(const QList<QueueItem> &items);
    void setItem(int row, const QueueItem &item);
    void removeItems(const QList<int> &rows);
    void clear();
    // Back to Pending with no measurements, before a new run: these rows, or
    // every row when none are named.
    void resetForRun(const QList<int> &rows = {});
    static void clearResults(QueueItem &item);
    // Whether the item's head and tail figures were measured in its last run;
    // a file passed over unread or put back from its backup has none.
    static bool isMeasured(const QueueItem &item);

    const QList<QueueItem> &items() const { return m_items; }
    // The row of the item with exactly this path, or -1.
    int rowOfPath(const QString &path) const { return m_rowOfPath.value(path, -1); }
    // The row of the item the queue gave this id, or -1 once it is removed.
    int rowOfId(quint64 id) const { return m_rowOfId.value(id, -1); }
    // Puts a result into the row of its item's id; false when that item is
    // no longer queued.
    bool setItemById(const QueueItem &item);
    // The same for many results at once, with one change notice per run of
    // adjacent rows: a view that sizes its columns to their contents measures
    // its rows again on each notice.
    void setItemsById(const QList<QueueItem> &items);

    // Texts of the table's cells, shared with the other places that show them.
    static QString durationText(double seconds);
    static QString measuredText(double seconds);

private:
    Q_DISABLE_COPY_MOVE(QueueModel)
    int append(const QList<QueueItem> &items);
    void put(int row, const QueueItem &item);
    void reindexFrom(int row);
    void forget(const QString &path);

    // The file a path leads to, links resolved; the path itself for a file
    // that is not there. `folders` keeps the folders resolved so far, so
    // that a batch resolves each folder once.
    static QString fileKey(const QString &path, QHash<QString, QString> *folders = nullptr);

    QList<QueueItem> m_items;
    QHash<QString, int> m_rowOfPath; // paths are unique in the queue
    QHash<quint64, int> m_rowOfId;
    QHash<QString, QString> m_fileOfPath; // each queued path's fileKey
    QSet<QString> m_files;
    quint64 m_lastId = 0;
};

} // namespace ks
