#include "queuemodel.h"

#include "queueitem.h"
#include "runtexts.h"
#include "textformat.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <functional>

namespace ks {

namespace {

// Many scattered removals are cheaper as one reset than as one notification
// (and one shift of every later row) per run of rows.
constexpr int MaxRemovalNotifications = 64;

} // namespace

QueueModel::QueueModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int QueueModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

int QueueModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString QueueModel::durationText(double seconds)
{
    if (!(seconds > 0))
        return RunTexts::noValue();
    const qint64 total = static_cast<qint64>(seconds + 0.5);
    return QStringLiteral("%1:%2:%3")
            .arg(total / 3600)
            .arg((total / 60) % 60, 2, 10, QLatin1Char('0'))
            .arg(total % 60, 2, 10, QLatin1Char('0'));
}

QString QueueModel::measuredText(double seconds)
{
    return seconds > 0 ? QStringLiteral("%1 s").arg(seconds, 0, 'f', 3) : tr("none");
}

QVariant QueueModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return QVariant();
    const QueueItem &item = m_items.at(index.row());
    const int column = index.column();

    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case FileColumn:
            return item.displayName();
        case LengthColumn:
            return durationText(item.durationSec);
        case HeadColumn:
            return RunTexts::changeText(item.headChangeSec);
        case TailColumn:
            return RunTexts::changeText(item.tailChangeSec);
        case NewLengthColumn:
            return durationText(item.newDurationSec);
        case StatusColumn:
            return statusText(item.status);
        case ResultColumn:
            return item.message;
        }
        return QVariant();
    case Qt::ToolTipRole:
        if ((column == HeadColumn || column == TailColumn) && !isMeasured(item))
            return column == HeadColumn ? tr("Head silence not measured") : tr("Tail silence not measured");
        if (column == HeadColumn) {
            return tr("Head silence measured %1, adjustment %2")
                    .arg(measuredText(item.headSec), RunTexts::changeWords(item.headChangeSec));
        }
        if (column == TailColumn) {
            return tr("Tail silence measured %1, adjustment %2")
                    .arg(measuredText(item.tailSec), RunTexts::changeWords(item.tailChangeSec));
        }
        if (column == ResultColumn && !item.message.isEmpty())
            return wrappingToolTip(item.detail.isEmpty()
                            ? item.message
                            : item.message + QStringLiteral("\n\n") + item.detail.trimmed());
        return native(item.path);
    case Qt::TextAlignmentRole:
        if (column >= LengthColumn && column <= NewLengthColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant();
    case StatusRole:
        return int(item.status);
    default:
        return QVariant();
    }
}

bool QueueModel::lessThan(int leftRow, int rightRow, int column) const
{
    const QueueItem &left = m_items.at(leftRow);
    const QueueItem &right = m_items.at(rightRow);
    switch (column) {
    case LengthColumn:
        return left.durationSec < right.durationSec;
    case HeadColumn:
        return left.headChangeSec < right.headChangeSec;
    case TailColumn:
        return left.tailChangeSec < right.tailChangeSec;
    case NewLengthColumn:
        return left.newDurationSec < right.newDurationSec;
    case StatusColumn:
        return int(left.status) < int(right.status);
    case ResultColumn:
        return left.message < right.message;
    default:
        // The name shown: the path below the queued folder.
        if (!left.relPath.isEmpty() && !right.relPath.isEmpty())
            return left.relPath < right.relPath;
        return left.displayName() < right.displayName();
    }
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QVariant();
    switch (section) {
    case FileColumn:
        return tr("File");
    case LengthColumn:
        return tr("Length");
    case HeadColumn:
        return tr("Head");
    case TailColumn:
        return tr("Tail");
    case NewLengthColumn:
        return tr("New length");
    case StatusColumn:
        return tr("Status");
    case ResultColumn:
        return tr("Result");
    default:
        return QVariant();
    }
}

int QueueModel::addFiles(const QStringList &files, const QString &root)
{
    const QDir rootDir(root);
    QList<QueueItem> items;
    items.reserve(files.size());
    for (const QString &path : files) {
        QueueItem item;
        item.path = path;
        item.relPath = root.isEmpty() ? QFileInfo(path).fileName() : rootDir.relativeFilePath(path);
        items.append(item);
    }
    return append(items);
}

int QueueModel::restoreItems(const QList<QueueItem> &items)
{
    return append(items);
}

int QueueModel::append(const QList<QueueItem> &items)
{
    // Each path is resolved once: on a large library that is most of the work.
    QList<std::pair<QueueItem, QString>> fresh;
    fresh.reserve(items.size());
    QSet<QString> seen;
    seen.reserve(items.size());
    QHash<QString, QString> folders;
    for (const QueueItem &item : items) {
        if (m_rowOfPath.contains(item.path))
            continue;
        QString file = fileKey(item.path, &folders);
        if (!m_files.contains(file) && !seen.contains(file)) {
            seen.insert(file);
            fresh.append({ item, std::move(file) });
        }
    }
    if (fresh.isEmpty())
        return 0;

    const int first = int(m_items.size());
    beginInsertRows(QModelIndex(), first, first + int(fresh.size()) - 1);
    for (auto &[item, file] : fresh) {
        item.id = ++m_lastId;
        m_fileOfPath.insert(item.path, file);
        m_files.insert(file);
        m_rowOfPath.insert(item.path, int(m_items.size()));
        m_rowOfId.insert(item.id, int(m_items.size()));
        m_items.append(std::move(item));
    }
    endInsertRows();
    return int(fresh.size());
}

void QueueModel::reserve(qsizetype rows)
{
    m_items.reserve(rows);
    m_rowOfPath.reserve(rows);
    m_rowOfId.reserve(rows);
    m_fileOfPath.reserve(rows);
    m_files.reserve(rows);
}

void QueueModel::setItem(int row, const QueueItem &item)
{
    if (row < 0 || row >= m_items.size())
        return;
    put(row, item);
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void QueueModel::put(int row, const QueueItem &item)
{
    QueueItem &current = m_items[row];
    if (current.path != item.path) {
        forget(current.path);
        m_rowOfPath.insert(item.path, row);
        const QString file = fileKey(item.path);
        m_fileOfPath.insert(item.path, file);
        m_files.insert(file);
    }
    // The row keeps the id the queue gave it.
    const quint64 id = current.id;
    current = item;
    current.id = id;
}

bool QueueModel::setItemById(const QueueItem &item)
{
    const int row = rowOfId(item.id);
    if (row < 0)
        return false;
    setItem(row, item);
    return true;
}

void QueueModel::setItemsById(const QList<QueueItem> &items)
{
    QList<int> rows;
    rows.reserve(items.size());
    for (const QueueItem &item : items) {
        const int row = rowOfId(item.id);
        if (row >= 0) {
            put(row, item);
            rows.append(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    for (qsizetype first = 0; first < rows.size();) {
        qsizetype last = first;
        while (last + 1 < rows.size() && rows.at(last + 1) <= rows.at(last) + 1)
            ++last;
        Q_EMIT dataChanged(index(rows.at(first), 0), index(rows.at(last), ColumnCount - 1));
        first = last + 1;
    }
}

void QueueModel::removeItems(const QList<int> &rows)
{
    QList<int> doomed;
    for (const int row : rows) {
        if (row >= 0 && row < m_items.size())
            doomed.append(row);
    }
    std::sort(doomed.begin(), doomed.end(), std::greater<int>());
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    if (doomed.isEmpty())
        return;

    // Runs of adjacent rows, highest first, so earlier removals never shift
    // the rows still to be removed.
    QList<QPair<int, int>> runs; // first, last
    for (const int row : std::as_const(doomed)) {
        if (!runs.isEmpty() && runs.last().first == row + 1)
            runs.last().first = row;
        else
            runs.append({ row, row });
    }

    if (runs.size() <= MaxRemovalNotifications) {
        for (const auto &run : std::as_const(runs)) {
            beginRemoveRows(QModelIndex(), run.first, run.second);
            for (int row = run.first; row <= run.second; ++row) {
                forget(m_items.at(row).path);
                m_rowOfId.remove(m_items.at(row).id);
            }
            m_items.remove(run.first, run.second - run.first + 1);
            endRemoveRows();
        }
        reindexFrom(runs.last().first);
        return;
    }

    beginResetModel();
    QList<bool> remove(m_items.size(), false);
    for (const int row : std::as_const(doomed)) {
        remove[row] = true;
        forget(m_items.at(row).path);
    }
    qsizetype kept = 0;
    for (qsizetype row = 0; row < m_items.size(); ++row) {
        if (!remove.at(row)) {
            if (kept != row)
                m_items[kept] = std::move(m_items[row]);
            ++kept;
        }
    }
    m_items.resize(kept);
    m_rowOfPath.clear();
    m_rowOfId.clear();
    reindexFrom(0);
    endResetModel();
}

void QueueModel::forget(const QString &path)
{
    m_rowOfPath.remove(path);
    m_files.remove(m_fileOfPath.take(path));
}

QString QueueModel::fileKey(const QString &path, QHash<QString, QString> *folders)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    // A file that is no link sits where its folder leads; a link, a dot
    // name or a file that is not there is resolved whole.
    if (folders && !info.isSymLink() && info.exists() && name != QLatin1String(".") && name != QLatin1String("..")) {
        const QString folder = info.absolutePath();
        auto known = folders->constFind(folder);
        if (known == folders->cend())
            known = folders->insert(folder, QFileInfo(folder).canonicalFilePath());
        if (!known->isEmpty())
            return known->endsWith(QLatin1Char('/')) ? *known + name : *known + QLatin1Char('/') + name;
    }
    const QString resolved = info.canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

void QueueModel::reindexFrom(int row)
{
    for (int i = row; i < m_items.size(); ++i) {
        m_rowOfPath.insert(m_items.at(i).path, i);
        m_rowOfId.insert(m_items.at(i).id, i);
    }
}

void QueueModel::clear()
{
    beginResetModel();
    m_items.clear();
    m_rowOfPath.clear();
    m_rowOfId.clear();
    m_fileOfPath.clear();
    m_files.clear();
    endResetModel();
}

void QueueModel::clearResults(QueueItem &item)
{
    item.status = ItemStatus::Pending;
    item.message.clear();
    item.detail.clear();
    item.headSec = item.tailSec = 0.0;
    item.headChangeSec = item.tailChangeSec = 0.0;
    item.newDurationSec = 0.0;
    item.reencoded = false;
    item.failedAnalysing = false;
}

bool QueueModel::isMeasured(const QueueItem &item)
{
    // Every measurement plans a new length; a reset or a skip before reading leaves none.
    const bool settled = item.status == ItemStatus::Analysed || item.status == ItemStatus::Trimmed
            || item.status == ItemStatus::Skipped;
    return settled && item.newDurationSec > 0;
}

void QueueModel::resetForRun(const QList<int> &rows)
{
    if (m_items.isEmpty())
        return;
    if (rows.isEmpty()) {
        for (QueueItem &item : m_items)
            clearResults(item);
        Q_EMIT dataChanged(index(0, 0), index(int(m_items.size()) - 1, ColumnCount - 1));
        return;
    }
    for (const int row : rows) {
        if (row >= 0 && row < m_items.size()) {
            clearResults(m_items[row]);
            Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
        }
    }
}

} // namespace ks
