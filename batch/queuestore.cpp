#include "queuestore.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSettings>

namespace ks {

namespace {

const QLatin1String ItemsKey("items");
const QLatin1String LastRunKey("lastRun");

QJsonObject toJson(const QueueItem &item)
{
    // A row a run was working on when the window closed was not finished.
    const bool working = item.status == ItemStatus::Analysing || item.status == ItemStatus::Trimming;
    return QJsonObject{ { QStringLiteral("path"), item.path }, { QStringLiteral("relPath"), item.relPath },
        { QStringLiteral("durationSec"), item.durationSec }, { QStringLiteral("headSec"), item.headSec },
        { QStringLiteral("tailSec"), item.tailSec }, { QStringLiteral("headChangeSec"), item.headChangeSec },
        { QStringLiteral("tailChangeSec"), item.tailChangeSec },
        { QStringLiteral("newDurationSec"), item.newDurationSec },
        { QStringLiteral("sizeBytes"), double(item.sizeBytes) }, { QStringLiteral("reencoded"), item.reencoded },
        { QStringLiteral("status"), working ? int(ItemStatus::Pending) : int(item.status) },
        { QStringLiteral("message"), working ? QString() : item.message },
        { QStringLiteral("failedAnalysing"), item.failedAnalysing } };
}

QueueItem fromJson(const QJsonObject &o)
{
    QueueItem item;
    item.path = o.value(QStringLiteral("path")).toString();
    item.relPath = o.value(QStringLiteral("relPath")).toString();
    item.durationSec = o.value(QStringLiteral("durationSec")).toDouble();
    item.headSec = o.value(QStringLiteral("headSec")).toDouble();
    item.tailSec = o.value(QStringLiteral("tailSec")).toDouble();
    item.headChangeSec = o.value(QStringLiteral("headChangeSec")).toDouble();
    item.tailChangeSec = o.value(QStringLiteral("tailChangeSec")).toDouble();
    item.newDurationSec = o.value(QStringLiteral("newDurationSec")).toDouble();
    item.sizeBytes = qint64(o.value(QStringLiteral("sizeBytes")).toDouble());
    item.reencoded = o.value(QStringLiteral("reencoded")).toBool();
    const int status = o.value(QStringLiteral("status")).toInt();
    item.status = statusText(ItemStatus(status)).isEmpty() ? ItemStatus::Pending : ItemStatus(status);
    item.message = o.value(QStringLiteral("message")).toString();
    item.failedAnalysing = o.value(QStringLiteral("failedAnalysing")).toBool();
    if (item.relPath.isEmpty())
        item.relPath = QFileInfo(item.path).fileName();
    return item;
}

} // namespace

QString QueueStore::defaultPath()
{
    return QFileInfo(QSettings().fileName()).dir().filePath(QStringLiteral("queue.json"));
}

bool QueueStore::save(const QString &path, const QList<QueueItem> &items, const QString &lastRun)
{
    QJsonArray rows;
    for (const QueueItem &item : items)
        rows.append(toJson(item));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(
            QJsonDocument(QJsonObject{ { LastRunKey, lastRun }, { ItemsKey, rows } }).toJson(QJsonDocument::Compact));
    return file.commit();
}

QueueStore::Saved QueueStore::load(const QString &path)
{
    Saved saved;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return saved;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    saved.lastRun = root.value(LastRunKey).toString();
    const QJsonArray rows = root.value(ItemsKey).toArray();
    saved.items.reserve(rows.size());
    for (const QJsonValue &row : rows) {
        const QueueItem item = fromJson(row.toObject());
        if (item.path.isEmpty())
            continue;
        if (QFileInfo::exists(item.path))
            saved.items.append(item);
        else
            ++saved.vanished;
    }
    return saved;
}

} // namespace ks
