#include "filechecks.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>

namespace ks::test {

QByteArray sha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

QStringList temporaryFiles(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, { QStringLiteral("*.kstmp.*") }, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

} // namespace ks::test
