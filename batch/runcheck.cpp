#include "runcheck.h"

#include "queueitem.h"
#include "settings.h"
#include "toolpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ks {

RunRefusal firstRunRefusal(int queuedCount, const Settings &settings, const ToolPaths &tools, bool analyseOnly)
{
    if (queuedCount == 0)
        return RunRefusal::EmptyQueue;
    if (!tools.isComplete())
        return RunRefusal::ToolsMissing;
    if (settings.leadMode == EndMode::LeaveAlone && settings.tailMode == EndMode::LeaveAlone)
        return RunRefusal::NothingToChange;
    if (!analyseOnly && settings.outputMode != OutputMode::InPlace && settings.outputRoot.isEmpty())
        return RunRefusal::NoDestination;
    return RunRefusal::None;
}

QString mirrorPath(const QueueItem &item, const QString &outputRoot)
{
    const QString relative = item.relPath.isEmpty() ? QFileInfo(item.path).fileName() : item.relPath;
    const QString root = QDir::cleanPath(QDir(outputRoot).absolutePath());
    const QString target = QDir::cleanPath(QDir(root).absoluteFilePath(relative));
    const QString inside = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return target.startsWith(inside) ? target : QString();
}

RunRefusal queueRefusal(const QList<QueueItem> &items, const Settings &settings, bool analyseOnly)
{
    if (analyseOnly || settings.outputMode == OutputMode::InPlace || settings.outputRoot.isEmpty())
        return RunRefusal::None;
    for (const QueueItem &item : items) {
        if (sameFile(mirrorPath(item, settings.outputRoot), item.path))
            return RunRefusal::OntoSources;
    }
    return RunRefusal::None;
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    return first.exists() && second.exists() && first.canonicalFilePath() == second.canonicalFilePath();
}

QString refusalText(RunRefusal refusal)
{
    const char *sentence = nullptr;
    switch (refusal) {
    case RunRefusal::None:
        return QString();
    case RunRefusal::EmptyQueue:
        sentence = QT_TRANSLATE_NOOP("ks::RunCheck", "nothing is queued.");
        break;
    case RunRefusal::ToolsMissing:
        return ToolPaths::notFoundMessage();
    case RunRefusal::NothingToChange:
        sentence = QT_TRANSLATE_NOOP("ks::RunCheck",
                "both the head and the tail are set to leave alone, so there is nothing to "
                "change.");
        break;
    case RunRefusal::NoDestination:
        sentence = QT_TRANSLATE_NOOP("ks::RunCheck", "no destination folder is set.");
        break;
    case RunRefusal::OntoSources:
        sentence = QT_TRANSLATE_NOOP("ks::RunCheck",
                "the destination is the folder being trimmed - every copy would overwrite its "
                "source.");
        break;
    }
    // Translated for the window; the command line installs no translator.
    return sentence ? QCoreApplication::translate("ks::RunCheck", sentence) : QString();
}

} // namespace ks
