#pragma once

#include <QString>

namespace ks {

struct Settings;
struct ToolPaths;

// Why a run cannot start, in the order the checks are made. The window and
// the command line each word these their own way.
enum class RunRefusal {
    None,
    EmptyQueue,      // nothing queued
    ToolsMissing,    // ffmpeg or ffprobe not found
    NothingToChange, // both ends left alone
    NoDestination,   // a mirror trim without a destination folder
};

// The first reason the run cannot start. A queuedCount below zero means the
// queue is not known yet (the command line checks before it scans).
RunRefusal firstRunRefusal(int queuedCount, const Settings &settings, const ToolPaths &tools, bool analyseOnly);

// A one-line account of a refusal, for logs.
QString refusalText(RunRefusal refusal);

} // namespace ks
