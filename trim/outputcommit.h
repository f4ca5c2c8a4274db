#pragma once

#include "fileidentity.h"
#include "stepresult.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace ks {

struct Settings;

// Puts a written and checked temporary file in the output's place: the
// backup, the original's permissions and owner, the flush, the replace and
// the modification time. A failure before the replace fails the file,
// removes the temporary file and leaves the rest as it was, as does a
// source that is no longer the file planned (then left alone); what goes
// wrong after it is noted in the result's message, as is what the file
// could not keep.
class OutputCommit final
{
public:
    // `sourcePath` is the file the output was made from, as `planned` found
    // it; in place it is the output.
    static StepResult run(const QString &temporary, const QString &outputPath, const QString &sourcePath,
            const FileIdentity &planned, const Settings &settings);
    // A mirrored copy left out because a file of its name is there already.
    static StepResult outputExists() { return StepResult::leftAlone(QStringLiteral("output exists - skipped")); }

private:
    OutputCommit(const QString &temporary, const QString &outputPath, const QString &sourcePath,
            const FileIdentity &planned, const QFileInfo &original);

    StepResult fail(const QString &why) const;
    StepResult takeBack(const StepResult &verdict) const;
    StepResult stillPlanned() const;
    StepResult backUp();
    StepResult dress();
    StepResult replace();
    void keepModificationTime();
    void checkOwner(const QString &path, const QString &what);

    QString m_temporary;
    QString m_output;
    QString m_source;
    FileIdentity m_planned;
    QFileInfo m_original;
    QDateTime m_modified;
    QString m_madeBackup;     // until the replace
    QString m_setAside;       // where an older backup went, until the replace
    QByteArray m_backupPrint; // the backup's fingerprint, when there is one to record
    QByteArray m_writtenPrint;
    QStringList m_notes;
    bool m_inPlace = false;
    bool m_keepExisting = false; // a mirrored copy must not take the place of a file that is there
};

} // namespace ks
