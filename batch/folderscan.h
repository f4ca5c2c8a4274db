#pragma once

#include <QStringList>

#include <functional>

namespace ks {

// One folder's scan for the files of the scanned types: regular readable
// files only, no link followed, sorted by name without regard to case.
// Names that are not valid UTF-8 are counted, since no listing shows them.
class FolderScan final
{
public:
    struct Result
    {
        QStringList files;
        int namesNotUtf8 = 0;
        bool stopped = false;
    };

    // How often `progress` hears the count of files found so far.
    static constexpr int ReportEvery = 250;

    // `stopped` is asked before each file; once it says yes the files found
    // so far come back and the names are not counted.
    static Result run(const QString &root, const QStringList &extensions, bool recursive,
            const std::function<bool()> &stopped, const std::function<void(int)> &progress);

    // The files below `root` of a scanned type whose names are not valid
    // UTF-8 (none where names are not bytes).
    static int namesNotUtf8(const QString &root, const QStringList &extensions, bool recursive);
};

} // namespace ks
