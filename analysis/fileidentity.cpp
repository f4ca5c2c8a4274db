#include "fileidentity.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace ks {

FileIdentity FileIdentity::of(const QString &path)
{
    FileIdentity identity;
    identity.seenNs = QDateTime::currentMSecsSinceEpoch() * 1000000;
#ifdef Q_OS_WIN
    // No inode to be had here: size and time tell a change.
    const QFileInfo info(path);
    identity.exists = info.isFile();
    identity.size = identity.exists ? info.size() : -1;
    identity.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
#else
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return identity;
    identity.exists = true;
    identity.device = quint64(status.st_dev);
    identity.inode = quint64(status.st_ino);
    identity.size = qint64(status.st_size);
    identity.modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
#endif
    return identity;
}

} // namespace ks
