#include "sourcecheck.h"

#include <QtGlobal>

namespace ks {

StepResult SourceCheck::judge(const QString &path, const FileIdentity &planned)
{
    const FileIdentity now = FileIdentity::of(path);
    // Written back, a deleted source would come back as a file nobody saved.
    if (!now.exists || !planned.exists)
        return StepResult::failure(QStringLiteral("file disappeared while being trimmed - nothing written"));
    // A clock ahead of the file server's shows a fresh file a little in the future.
    const bool growing = now.isSameFile(planned) && now.size > planned.size;
    if (qAbs(planned.ageSec()) < SettleSec || growing)
        return StepResult::leftAlone(QStringLiteral("still being written - left alone"));
    if (!now.isUnchanged(planned))
        return changedMeanwhile();
    return StepResult::success();
}

} // namespace ks
