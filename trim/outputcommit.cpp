#include "outputcommit.h"

#include "backups.h"
#include "filereplacer.h"
#include "settings.h"
#include "sourcecheck.h"
#include "textformat.h"

#include <QDir>
#include <QFile>

namespace ks {

OutputCommit::OutputCommit(const QString &temporary, const QString &outputPath, const QString &sourcePath,
        const FileIdentity &planned, const QFileInfo &original)
    : m_temporary(temporary)
    , m_output(outputPath)
    , m_source(sourcePath)
    , m_planned(planned)
    , m_original(original)
    , m_modified(original.lastModified())
{
}

StepResult OutputCommit::run(const QString &temporary, const QString &outputPath, const QString &sourcePath,
        const FileIdentity &planned, const Settings &settings)
{
    const bool inPlace = settings.outputMode == OutputMode::InPlace;
    OutputCommit commit(temporary, outputPath, sourcePath, planned, QFileInfo(inPlace ? outputPath : sourcePath));
    commit.m_inPlace = inPlace;
    commit.m_keepExisting = !inPlace && settings.existingOutputs != ExistingOutputs::Replace;
    if (const StepResult source = commit.stillPlanned(); !source.proceeds())
        return source;
    if (inPlace && settings.makeBackup) {
        if (const StepResult backedUp = commit.backUp(); !backedUp.ok())
            return backedUp;
    } else if (inPlace) {
        // Written without a backup, the file still derives from the one it has.
        commit.m_backupPrint = Backups::vouchedBackup(outputPath);
    }
    if (inPlace) {
        if (const StepResult dressed = commit.dress(); !dressed.ok())
            return dressed;
    }
    if (const StepResult replaced = commit.replace(); !replaced.proceeds())
        return replaced;
    commit.m_madeBackup.clear();
    commit.m_setAside.clear();
    // From here on the file is written; what fails is said, not undone.
    if (!commit.m_backupPrint.isEmpty() && !Backups::record(outputPath, commit.m_backupPrint, commit.m_writtenPrint))
        commit.m_notes << QStringLiteral("backup's fingerprint not saved");
    if (settings.keepMtime)
        commit.keepModificationTime();
    StepResult done = StepResult::success();
    done.message = commit.m_notes.join(QLatin1String("; "));
    return done;
}

StepResult OutputCommit::fail(const QString &why) const
{
    return takeBack(StepResult::failure(why));
}

// Takes back what this commit made: the temporary file, a backup it wrote
// and an older backup it moved aside.
StepResult OutputCommit::takeBack(const StepResult &verdict) const
{
    QFile::remove(m_temporary);
    if (!m_madeBackup.isEmpty())
        QFile::remove(m_madeBackup);
    if (!m_setAside.isEmpty() && !QFileInfo::exists(Backups::pathFor(m_output)))
        QFile::rename(m_setAside, Backups::pathFor(m_output));
    return verdict;
}

// The source must still be the file the plan was made from, as it was.
StepResult OutputCommit::stillPlanned() const
{
    const StepResult verdict = SourceCheck::judge(m_source, m_planned);
    return verdict.proceeds() ? verdict : takeBack(verdict);
}

// An existing backup is the original only while the file is provably what
// a trim wrote from it; any other is set aside under a numbered name, never
// overwritten, and the file as it is now becomes the backup.
StepResult OutputCommit::backUp()
{
    const QString backup = Backups::pathFor(m_output);
    if (Backups::exists(m_output)) {
        m_backupPrint = Backups::vouchedBackup(m_output);
        if (!m_backupPrint.isEmpty()) {
            m_notes << QStringLiteral("kept the existing backup");
            return StepResult::success();
        }
        m_setAside = Backups::setAside(m_output);
        if (m_setAside.isEmpty())
            return fail(QStringLiteral("cannot set aside the older backup %1").arg(native(backup)));
        m_notes << QStringLiteral("older backup set aside as %1").arg(QFileInfo(m_setAside).fileName());
    }
    if (!QFile::copy(m_output, backup))
        return fail(QStringLiteral("cannot write backup %1").arg(native(backup)));
    // A backup that may not have reached the disk is removed, never trusted.
    m_madeBackup = backup;
    if (!FileReplacer::flushToDisk(backup))
        return fail(QStringLiteral("cannot write backup %1").arg(native(backup)));
    m_backupPrint = Backups::fingerprint(backup);
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

// The new file must be on the disk before it takes the original's place,
// and the source is looked at once more as late as can be: a recorder that
// appended to it meanwhile would go on writing into a file no name leads to.
StepResult OutputCommit::replace()
{
    if (!FileReplacer::flushToDisk(m_temporary))
        return fail(QStringLiteral("cannot write %1").arg(native(m_output)));
    if (!m_backupPrint.isEmpty())
        m_writtenPrint = Backups::fingerprint(m_temporary);
    const bool targetExists = QFileInfo::exists(m_output);
    if (const StepResult source = stillPlanned(); !source.proceeds())
        return source;
    // A copy that turned up while this one was written is left as it is.
    if (targetExists && m_keepExisting)
        return takeBack(outputExists());
    if (targetExists && !m_inPlace)
        m_notes << QStringLiteral("replaced the existing copy");
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
