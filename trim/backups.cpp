#include "backups.h"

#include "filereplacer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ks {

bool Backups::exists(const QString &sourcePath)
{
    return QFileInfo(pathFor(sourcePath)).isFile();
}

StepResult Backups::restore(const QString &sourcePath)
{
    const QString backup = pathFor(sourcePath);
    if (!exists(sourcePath))
        return StepResult::failure(QStringLiteral("no backup to restore"));
    const QFile::Permissions permissions = QFileInfo::exists(sourcePath) ? QFile::permissions(sourcePath)
                                                                         : QFile::permissions(backup);
    if (!FileReplacer::replace(backup, sourcePath)) {
        return StepResult::failure(
                QStringLiteral("cannot restore %1").arg(QDir::toNativeSeparators(sourcePath)));
    }
    QFile::setPermissions(sourcePath, permissions);
    return StepResult::success();
}

StepResult Backups::remove(const QString &sourcePath)
{
    if (!exists(sourcePath))
        return StepResult::leftAlone(QStringLiteral("no backup"));
    if (!QFile::remove(pathFor(sourcePath))) {
        return StepResult::failure(
                QStringLiteral("cannot delete %1").arg(QDir::toNativeSeparators(pathFor(sourcePath))));
    }
    return StepResult::success();
}

} // namespace ks
