#pragma once

#include <QString>

namespace ks {

// Which ffmpeg and ffprobe to run: a configured path wins when it names a
// runnable file, then copies kept beside the program (its "ffmpeg" folder,
// its own folder, its "tools" folder), then the system search path.
// Returns an empty string when nothing is found.
QString locateTool(const QString &configuredPath, const QString &baseName);

// The resolved paths are worked out once from appSettings() and cached for
// the process; resetToolCache() makes the next query resolve them again.
void ensureToolsResolved();
QString ffmpegPath();
QString ffprobePath();

// True when both tools were found; otherwise stores the not-found message in
// `error` when it is given.
bool toolsAvailable(QString *error = nullptr);

void resetToolCache();

} // namespace ks
