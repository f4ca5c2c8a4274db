#include "backups.h"

#include "filereplacer.h"
#include "mediaprobe.h"
#include "textformat.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace ks {

namespace {

const QByteArray BackupKey = QByteArrayLiteral("backup-sha256 ");
const QByteArray WrittenKey = QByteArrayLiteral("written-sha256 ");

// The fingerprint after `key` in a record, empty when it has none.
QByteArray recorded(const QByteArray &record, const QByteArray &key)
{
    for (const QByteArray &line : record.split('\n')) {
        if (line.startsWith(key))
            return QByteArray::fromHex(line.mid(key.size()).trimmed());
    }
    return {};
}

} // namespace

bool Backups::isBackupName(const QString &fileName)
{
    static const QRegularExpression backup(
            QStringLiteral("\\.bak(\\.[0-9]+|\\.kestrova)?$"), QRegularExpression::CaseInsensitiveOption);
    return backup.match(fileName).hasMatch();
}

bool Backups::exists(const QString &sourcePath)
{
    return QFileInfo(pathFor(sourcePath)).isFile();
}

QByteArray Backups::fingerprint(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

QByteArray Backups::vouchedBackup(const QString &sourcePath)
{
    QFile file(recordPathFor(sourcePath));
    if (!exists(sourcePath) || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray record = file.read(4096);
    const QByteArray backup = recorded(record, BackupKey);
    const QByteArray written = recorded(record, WrittenKey);
    if (backup.isEmpty() || written.isEmpty() || fingerprint(sourcePath) != written
            || fingerprint(pathFor(sourcePath)) != backup)
        return {};
    return backup;
}

bool Backups::record(const QString &sourcePath, const QByteArray &backup, const QByteArray &written)
{
    QSaveFile file(recordPathFor(sourcePath));
    if (backup.isEmpty() || written.isEmpty() || !file.open(QIODevice::WriteOnly))
        return false;
    file.write(BackupKey + backup.toHex() + '\n' + WrittenKey + written.toHex() + '\n');
    if (file.commit())
        return true;
    // A record that no longer tells the truth must not stay.
    QFile::remove(recordPathFor(sourcePath));
    return false;
}

QString Backups::setAside(const QString &sourcePath)
{
    const QString backup = pathFor(sourcePath);
    for (int number = 1; number < 10000; ++number) {
        const QString aside = backup + QLatin1Char('.') + QString::number(number);
        if (QFileInfo::exists(aside) || QFileInfo(aside).isSymLink())
            continue;
        // QFile::rename never replaces a file that is there.
        return QFile::rename(backup, aside) ? aside : QString();
    }
    return QString();
}

StepResult Backups::restore(const QString &sourcePath, const ToolPaths &tools, double *durationSec)
{
    const QString backup = pathFor(sourcePath);
    if (!exists(sourcePath))
        return StepResult::failure(QStringLiteral("no backup to restore"));
    if (QFileInfo(backup).size() == 0)
        return StepResult::failure(QStringLiteral("backup %1 is empty - nothing restored").arg(native(backup)));
    if (tools.ffprobe.isEmpty())
        return StepResult::failure(ToolPaths::notFoundMessage());
    // Whatever sits at the backup's name, only audio goes back over a file.
    const MediaInfo probed = probeMedia(tools, backup, {});
    if (!probed.ok) {
        return StepResult::failure(
                QStringLiteral("backup %1 is not readable audio - nothing restored").arg(native(backup)),
                probed.detail);
    }
    const QFile::Permissions permissions
            = QFileInfo::exists(sourcePath) ? QFile::permissions(sourcePath) : QFile::permissions(backup);
    if (!FileReplacer::replace(backup, sourcePath))
        return StepResult::failure(QStringLiteral("cannot restore %1").arg(native(sourcePath)));
    QFile::remove(recordPathFor(sourcePath));
    if (durationSec)
        *durationSec = probed.durationSec;
    StepResult done = StepResult::success();
    // The original is back either way; a mode it could not get back is told.
    if (!QFile::setPermissions(sourcePath, permissions))
        done.message = QStringLiteral("permissions not kept");
    return done;
}

StepResult Backups::remove(const QString &sourcePath)
{
    if (!exists(sourcePath))
        return StepResult::leftAlone(QStringLiteral("no backup"));
    if (!QFile::remove(pathFor(sourcePath)))
        return StepResult::failure(QStringLiteral("cannot delete %1").arg(native(pathFor(sourcePath))));
    QFile::remove(recordPathFor(sourcePath));
    return StepResult::success();
}

} // namespace ks
