#include "filereplacer.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ks {

bool FileReplacer::flushToDisk(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
#ifdef Q_OS_WIN
    return ::_commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

bool FileReplacer::replace(const QString &source, const QString &target)
{
#ifdef Q_OS_WIN
    return ::MoveFileExW(reinterpret_cast<const wchar_t *>(source.utf16()),
                   reinterpret_cast<const wchar_t *>(target.utf16()),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
            != 0;
#else
    // rename(2) swaps the directory entry atomically, replacing a file that is there.
    if (::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    // Make the new entry itself durable too.
    const int dir = ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
#endif
}

bool FileReplacer::takeOwnership(const QString &path, const QFileInfo &like)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path)
    Q_UNUSED(like)
    return true;
#else
    const QByteArray name = QFile::encodeName(path);
    // The group alone where the owner cannot be given.
    return ::chown(name.constData(), like.ownerId(), like.groupId()) == 0
            || ::chown(name.constData(), uid_t(-1), like.groupId()) == 0;
#endif
}

} // namespace ks
