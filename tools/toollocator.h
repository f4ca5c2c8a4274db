#pragma once

#include <QString>

namespace ks {

// Which ffmpeg and ffprobe to run: a configured path wins when it names a
// runnable file, then copies kept beside the program (its "ffmpeg" folder,
// its own folder, its "tools" folder), then the system search path.
// Returns an empty string when nothing is found.
QString locateTool(const QString &configuredPath, const QString &baseName);

} // namespace ks
