#include "addedpaths.h"

#include <QDir>
#include <QFileInfo>

namespace ks {

AddedPaths AddedPaths::sort(const QStringList &paths, const QStringList &extensions)
{
    AddedPaths sorted;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            sorted.folders << info.absoluteFilePath();
        } else if (info.isFile()) {
            if (extensions.contains(info.suffix(), Qt::CaseInsensitive))
                sorted.files << info.absoluteFilePath();
            else
                ++sorted.ignored;
        }
    }
    return sorted;
}

QStringList AddedPaths::outside(const QStringList &files, const QString &folder)
{
    if (folder.isEmpty())
        return files;
    const QString inside = QDir::cleanPath(QDir(folder).absolutePath()) + QLatin1Char('/');
    QStringList kept;
    for (const QString &file : files) {
        if (!QDir::cleanPath(file).startsWith(inside))
            kept << file;
    }
    return kept;
}

} // namespace ks
