#include "outputcommit.h"

#include "backups.h"
#include "filereplacer.h"
#include "settings.h"

#include <QDir>
#include <QFile>

namespace ks {

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

OutputCommit::OutputCommit(const QString &temporary, const QString &outputPath, const QFileInfo &original)
    : m_temporary(temporary)
    , m_output(outputPath)
    , m_original(original)
    , m_modified(original.lastModified())
{ }

StepResult OutputCommit::run(
        const QString &temporary, const QString &outputPath, const QString &sourcePath, const Settings &settings)
{
    const bool inPlace = settings.outputMode == OutputMode::InPlace;
    OutputCommit commit(temporary, outputPath, QFileInfo(inPlace ? outputPath : sourcePath));
    if (inPlace && settings.makeBackup) {
        if (const StepResult backedUp = commit.backUp(); !backedUp.ok())
            return backedUp;
    }
    if (inPlace) {
        if (const StepResult dressed = commit.dress(); !dressed.ok())
            return dressed;
    }
    if (const StepResult replaced = commit.replace(); !replaced.ok())
        return replaced;
    commit.m_madeBackup.clear();
    // From here on the file is written; what fails is said, not undone.
    if (settings.keepMtime)
        commit.keepModificationTime();
    StepResult done = StepResult::success();
    done.message = commit.m_notes.join(QLatin1String("; "));
    return done;
}

// Takes back what this commit made: the temporary file, and a backup it wrote.
StepResult OutputCommit::fail(const QString &why) const
{
    QFile::remove(m_temporary);
    if (!m_madeBackup.isEmpty())
        QFile::remove(m_madeBackup);
    return StepResult::failure(why);
}

// An existing backup is the older copy, from which the current file
// derives: it is kept as it is.
StepResult OutputCommit::backUp()
{
    if (Backups::exists(m_output)) {
        m_notes << QStringLiteral("kept the existing backup");
        return StepResult::success();
    }
    const QString backup = Backups::pathFor(m_output);
    if (!QFile::copy(m_output, backup))
        return fail(QStringLiteral("cannot write backup %1").arg(native(backup)));
    m_madeBackup = backup;
    if (!FileReplacer::flushToDisk(backup))
        return fail(QStringLiteral("cannot write backup %1").arg(native(backup)));
    // The copy is the runner's; a restore must give back the owner's file.
    FileReplacer::takeOwnership(backup, m_original);
    checkOwner(backup, QStringLiteral("backup's"));
    return StepResult::success();
}

// The new file is the owner's as the old one was, with its permissions;
// where the owner cannot be given (only root may give a file away) it
// stays the runner's, and the result says so.
StepResult OutputCommit::dress()
{
    if (!QFile::setPermissions(m_temporary, m_original.permissions()))
        return fail(QStringLiteral("cannot set the permissions of %1").arg(native(m_output)));
    FileReplacer::takeOwnership(m_temporary, m_original);
    checkOwner(m_temporary, QString());
    return StepResult::success();
}

// The new file must be on the disk before it takes the original's place.
StepResult OutputCommit::replace() const
{
    if (!FileReplacer::flushToDisk(m_temporary))
        return fail(QStringLiteral("cannot write %1").arg(native(m_output)));
    const bool targetExists = QFileInfo::exists(m_output);
    if (!FileReplacer::replace(m_temporary, m_output)) {
        return fail((targetExists ? QStringLiteral("cannot replace %1") : QStringLiteral("cannot write %1"))
                            .arg(native(m_output)));
    }
    return StepResult::success();
}

void OutputCommit::keepModificationTime()
{
    QFile output(m_output);
    if (!output.open(QIODevice::ReadWrite) || !output.setFileTime(m_modified, QFileDevice::FileModificationTime))
        m_notes << QStringLiteral("modification time not kept");
}

void OutputCommit::checkOwner(const QString &path, const QString &what)
{
    const QFileInfo now(path);
    const QString whose = what.isEmpty() ? QString() : what + QLatin1Char(' ');
    if (now.ownerId() != m_original.ownerId())
        m_notes << whose + QStringLiteral("owner not kept");
    else if (now.groupId() != m_original.groupId())
        m_notes << whose + QStringLiteral("group not kept");
}

} // namespace ks
