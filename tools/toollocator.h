#pragma once

#include <QString>

namespace ks {

// Where the program finds the tools it runs.
class ToolLocator final
{
public:
    // True for a file this process may run; a folder is "executable" too,
    // and will not do.
    static bool isRunnable(const QString &path);

    // Which ffmpeg and ffprobe to run: a configured path wins when it names a
    // runnable file, then copies kept beside the program (its "ffmpeg"
    // folder, its own folder, its "tools" folder), then the system search
    // path. Returns an empty string when nothing is found.
    static QString locate(const QString &configuredPath, const QString &baseName);

    // ffplay beside the ffmpeg in use, else where the program looks for its tools.
    static QString locatePlayer(const QString &ffmpeg);
};

// ToolLocator::locate, under the name the callers know.
QString locateTool(const QString &configuredPath, const QString &baseName);

} // namespace ks
