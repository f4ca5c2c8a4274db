#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

namespace ks {

enum class ItemStatus : int {
    Pending = 0,
    Analysing = 1,
    Analysed = 2,
    Trimming = 3,
    Trimmed = 4,
    Skipped = 5,
    Failed = 6
};

// The fixed (untranslated) text of a status, as the queue table and the
// command line show it; empty for a value outside the enumeration.
QString statusText(ItemStatus status);

// One audio file in the queue with its measurements, plan and result.
struct QueueItem
{
    // The queue's own name for the item, unique for the queue's life and
    // never reused: a result finds its row by it whatever was sorted or
    // removed meanwhile. 0 for an item no queue holds.
    quint64 id = 0;
    QString path;
    QString relPath;
    QString outputPath;
    double durationSec = 0.0;
    double headSec = 0.0;
    double tailSec = 0.0;
    double headChangeSec = 0.0;
    double tailChangeSec = 0.0;
    double newDurationSec = 0.0;
    qint64 sizeBytes = 0;
    bool reencoded = false;
    ItemStatus status = ItemStatus::Pending;
    QString message;
    QString detail; // the tool's whole text behind a failed result
    // A failure of an analysis run: retrying it measures again, it does not trim.
    bool failedAnalysing = false;

    // The name the queue, the log and the command line give the file: its
    // path below the queued folder, so files of one name in several folders differ.
    QString displayName() const;
};

} // namespace ks

// Moved, not copied, as a library's queue grows.
Q_DECLARE_TYPEINFO(ks::QueueItem, Q_RELOCATABLE_TYPE);
Q_DECLARE_METATYPE(ks::QueueItem)
