#pragma once

#include <QString>

class QFileInfo;

namespace ks {

// File operations that keep a file safe across a crash or a power cut.
class FileReplacer final
{
public:
    // Flushes a written file's data to the disk.
    static bool flushToDisk(const QString &path);

    // Puts `source` in place of `target` in one step: at every moment the
    // target path holds either the old file or the complete new one.
    static bool replace(const QString &source, const QString &target);

    // Gives `path` the owner and group of `like`, as far as this process may.
    static bool takeOwnership(const QString &path, const QFileInfo &like);
};

} // namespace ks
