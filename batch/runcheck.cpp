#include "runcheck.h"

#include "settings.h"
#include "toolpaths.h"

namespace ks {

RunRefusal firstRunRefusal(int queuedCount, const Settings &settings, const ToolPaths &tools, bool analyseOnly)
{
    if (queuedCount == 0)
        return RunRefusal::EmptyQueue;
    if (!tools.isComplete())
        return RunRefusal::ToolsMissing;
    if (settings.headMode == EndMode::LeaveAlone && settings.tailMode == EndMode::LeaveAlone)
        return RunRefusal::NothingToChange;
    if (!analyseOnly && settings.outputMode != OutputMode::InPlace && settings.outputRoot.isEmpty())
        return RunRefusal::NoDestination;
    return RunRefusal::None;
}

QString refusalText(RunRefusal refusal)
{
    switch (refusal) {
    case RunRefusal::None:
        break;
    case RunRefusal::EmptyQueue:
        return QStringLiteral("nothing is queued");
    case RunRefusal::ToolsMissing:
        return ToolPaths::notFoundMessage();
    case RunRefusal::NothingToChange:
        return QStringLiteral("both the head and the tail are set to leave alone, so there is nothing to change");
    case RunRefusal::NoDestination:
        return QStringLiteral("no destination folder is set");
    }
    return QString();
}

} // namespace ks
