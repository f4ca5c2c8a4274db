#pragma once

#include <QList>
#include <QString>

namespace ks {

struct QueueItem;
struct Settings;
struct ToolPaths;

// Why a run cannot start, in the order the checks are made. The log and
// the command line say refusalText(); each front end adds its own hint.
enum class RunRefusal {
    None,
    EmptyQueue,      // nothing queued
    ToolsMissing,    // ffmpeg or ffprobe not found
    NothingToChange, // both ends left alone
    NoDestination,   // a mirror trim without a destination folder
    OntoSources,     // a mirror trim whose copies would land on their sources
};

// The first reason the run cannot start. A queuedCount below zero means the
// queue is not known yet (the command line checks before it scans).
RunRefusal firstRunRefusal(int queuedCount, const Settings &settings, const ToolPaths &tools, bool analyseOnly);

// The refusal that needs the queue itself: None, or OntoSources when a
// mirror trim would write any item's copy over the item.
RunRefusal queueRefusal(const QList<QueueItem> &items, const Settings &settings, bool analyseOnly);

// Where a mirror run writes an item: its path relative to the folder it was
// queued from, inside the destination. Empty when that would leave the
// destination (a relative path that climbs out of its root).
QString mirrorPath(const QueueItem &item, const QString &outputRoot);
// Whether both paths exist and name one file, through links or not.
bool sameFile(const QString &a, const QString &b);

// A refusal in one sentence, starting in lower case, for the log, the
// command line and the window's questions; each adds its own hint.
QString refusalText(RunRefusal refusal);

} // namespace ks
