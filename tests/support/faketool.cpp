#include "faketool.h"

#include <QDir>
#include <QFile>

namespace ks::test {

QString writeFakeTool(const QString &dir, const QString &name, const QByteArray &body)
{
    const QString path = QDir(dir).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write("#!/bin/sh\n");
    file.write(body);
    if (!body.endsWith('\n'))
        file.write("\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    return path;
}

} // namespace ks::test
