#pragma once

#include "stepresult.h"

#include <QDateTime>
#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace ks {

struct Settings;

// Puts a written and checked temporary file in the output's place: the
// backup, the original's permissions and owner, the flush, the replace and
// the modification time. A failure before the replace fails the file,
// removes the temporary file and leaves the rest as it was; what goes
// wrong after it is noted in the result's message, as is what the file
// could not keep.
class OutputCommit final
{
public:
    // `sourcePath` is the file the output was made from; in place it is the output.
    static StepResult run(
            const QString &temporary, const QString &outputPath, const QString &sourcePath, const Settings &settings);

private:
    OutputCommit(const QString &temporary, const QString &outputPath, const QFileInfo &original);

    StepResult fail(const QString &why) const;
    StepResult backUp();
    StepResult dress();
    StepResult replace() const;
    void keepModificationTime();
    void checkOwner(const QString &path, const QString &what);

    QString m_temporary;
    QString m_output;
    QFileInfo m_original;
    QDateTime m_modified;
    QString m_madeBackup; // until the replace
    QStringList m_notes;
};

} // namespace ks
