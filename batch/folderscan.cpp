#include "folderscan.h"

#include "backups.h"
#include "trimengine.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <dirent.h>
#endif

namespace ks {

FolderScan::Result FolderScan::run(const QString &root, const QStringList &extensions, bool recursive,
        const std::function<bool()> &stopped, const std::function<void(int)> &progress)
{
    QStringList filters;
    for (const QString &extension : extensions)
        filters << QStringLiteral("*.") + extension.trimmed().toLower();

    // Regular readable files only; links are not followed into other trees,
    // and a link is not taken for the file it points to.
    QDirIterator it(root, filters, QDir::Files | QDir::Readable | QDir::NoDotAndDotDot | QDir::NoSymLinks,
            recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    Result result;
    while (!(result.stopped = stopped()) && it.hasNext()) {
        const QString path = it.next();
        // The program's own backups and temporaries are never audio to trim,
        // whatever the list of types says.
        if (Backups::isBackupName(it.fileName()) || TrimEngine::isTemporaryName(it.fileName()))
            continue;
        result.files.append(path);
        if (result.files.size() % ReportEvery == 0)
            progress(int(result.files.size()));
    }
    std::sort(result.files.begin(), result.files.end(),
            [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    if (!result.stopped)
        result.namesNotUtf8 = namesNotUtf8(root, extensions, recursive);
    return result;
}

// Qt leaves such names out of every listing, so they are counted from the
// raw directory entries.
QString FolderScan::escapedName(const QByteArray &name)
{
    QString shown;
    for (qsizetype at = 0; at < name.size();) {
        // The longest run from here that is valid UTF-8, else one byte escaped.
        qsizetype valid = 0;
        for (qsizetype length = 1; length <= 4 && at + length <= name.size(); ++length) {
            const QByteArray piece = name.mid(at, length);
            if (QString::fromUtf8(piece).toUtf8() == piece)
                valid = length;
        }
        shown += valid > 0
                ? QString::fromUtf8(name.mid(at, valid))
                : QStringLiteral("\\x") + QString::number(uchar(name.at(at)), 16).toUpper().rightJustified(2, u'0');
        at += valid > 0 ? valid : 1;
    }
    return shown;
}

QStringList FolderScan::namesNotUtf8(const QString &root, const QStringList &extensions, bool recursive)
{
    QStringList names;
#ifdef Q_OS_UNIX
    QStringList folders{ root };
    if (recursive) {
        for (QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDirIterator::Subdirectories);
                it.hasNext();)
            folders << it.next();
    }
    for (const QString &folder : std::as_const(folders)) {
        DIR *dir = ::opendir(QFile::encodeName(folder).constData());
        if (!dir)
            continue;
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (QString::fromUtf8(name).toUtf8() == name)
                continue;
            const QByteArray lower = name.toLower();
            const bool scanned = extensions.isEmpty()
                    || std::any_of(extensions.cbegin(), extensions.cend(), [&lower](const QString &extension) {
                           return lower.endsWith('.' + extension.trimmed().toLower().toUtf8());
                       });
            if (scanned)
                names << QDir(folder).filePath(escapedName(name));
        }
        ::closedir(dir);
    }
#else
    Q_UNUSED(root)
    Q_UNUSED(extensions)
    Q_UNUSED(recursive)
#endif
    return names;
}

} // namespace ks
