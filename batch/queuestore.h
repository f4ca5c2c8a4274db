#pragma once

#include "queueitem.h"

#include <QList>
#include <QString>

namespace ks {

// The queue as a window leaves it, in a JSON file beside the settings, so
// the next window starts where this one stopped: every row with its
// measurements and result, and the last run's totals line.
class QueueStore final
{
public:
    struct Saved
    {
        QList<QueueItem> items; // those whose files are still there
        QString lastRun;        // the totals line of the last run, or empty
        int vanished = 0;       // rows dropped because their file is gone
    };

    // "queue.json" beside the settings store's file.
    static QString defaultPath();
    // Replaces the file whole or leaves the old one; false when it could not.
    static bool save(const QString &path, const QList<QueueItem> &items, const QString &lastRun);
    // Nothing, without a word, for a missing or unreadable file: a queue is
    // a convenience, never a reason not to start.
    static Saved load(const QString &path);
};

} // namespace ks
