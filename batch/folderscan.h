#pragma once

#include <QStringList>

#include <functional>

namespace ks {

// One folder's scan for the files of the scanned types: regular readable
// files only, no link followed, sorted by name without regard to case.
// Names that are not valid UTF-8 are listed apart, their bytes escaped,
// since Qt cannot hold them.
class FolderScan final
{
public:
    struct Result
    {
        QStringList files;
        QStringList namesNotUtf8; // as escapedName() shows them
        bool stopped = false;
    };

    // How often `progress` hears the count of files found so far.
    static constexpr int ReportEvery = 250;

    // `stopped` is asked before each file; once it says yes the files found
    // so far come back and the names are not counted.
    static Result run(const QString &root, const QStringList &extensions, bool recursive,
            const std::function<bool()> &stopped, const std::function<void(int)> &progress);

    // The files below `root` of a scanned type whose names are not valid
    // UTF-8 (none where names are not bytes), as escapedName() shows them.
    static QStringList namesNotUtf8(const QString &root, const QStringList &extensions, bool recursive);

    // A name of bytes as text: valid UTF-8 as it is, every other byte as \xE9.
    static QString escapedName(const QByteArray &name);
};

} // namespace ks
