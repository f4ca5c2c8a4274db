#pragma once

#include <QString>

namespace ks {

// Which file a path names and the state it was in when looked at: device,
// inode, size and modification time. A rewrite holds its source to the
// state it was planned from, so a file that grew, was replaced or deleted
// in the meantime is never written over, nor made again.
struct FileIdentity
{
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0; // since the epoch
    qint64 seenNs = 0;     // when it was looked at, on the same clock

    // The file `path` leads to (a link is followed) as it is now.
    static FileIdentity of(const QString &path);

    bool isSameFile(const FileIdentity &other) const
    {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
    bool isUnchanged(const FileIdentity &other) const
    {
        return isSameFile(other) && size == other.size && modifiedNs == other.modifiedNs;
    }
    // How long before it was looked at the file last changed; negative for
    // a modification time ahead of the clock.
    double ageSec() const { return double(seenNs - modifiedNs) / 1e9; }
};

} // namespace ks
