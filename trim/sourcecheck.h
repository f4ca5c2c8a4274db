#pragma once

#include "fileidentity.h"
#include "stepresult.h"

#include <QString>

namespace ks {

// Whether a rewrite's source is still the file it was planned from: asked
// before anything is written from it and once more right before the new
// file takes a place. A recorder still appending to a file, or a new take
// saved over it, would otherwise lose what it writes after the rename.
class SourceCheck final
{
public:
    // Done while `path` is the planned file as it was; else left alone (being
    // written, or changed) or failed (gone), with the reason.
    static StepResult judge(const QString &path, const FileIdentity &planned);
    // A file that another run is rewriting, or that changed meanwhile.
    static StepResult heldByAnotherRun()
    {
        return StepResult::leftAlone(QStringLiteral("being trimmed by another run"));
    }
    static StepResult changedMeanwhile()
    {
        return StepResult::leftAlone(QStringLiteral("changed while being trimmed - left as it is"));
    }

    // A file changed this recently when planned may still be being written.
    static constexpr double SettleSec = 5.0;
};

} // namespace ks
