#include "addedpaths.h"

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

} // namespace ks
