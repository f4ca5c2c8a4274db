#pragma once

#include "fixtures.h"
#include "queueitem.h"
#include "settings.h"
#include "trimengine.h"

#include <QDateTime>
#include <QFile>

namespace ks::test {

// Plans and trims a finished file again in place, as a second run over it
// would; `again` holds what that run planned. Returns what it reported.
inline StepResult trimAgainInPlace(const QString &path, const Settings &settings, QueueItem &again)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)
            || !file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime))
        return StepResult::failure(QStringLiteral("cannot date %1 back").arg(path));
    Settings inPlace = settings;
    inPlace.outputMode = OutputMode::InPlace;
    inPlace.makeBackup = false;
    again.path = again.outputPath = path;
    const StepResult planned = TrimEngine::plan(again, inPlace, systemTools(), {}, {});
    return planned.proceeds() ? TrimEngine::apply(again, inPlace, systemTools(), {}, {}) : planned;
}

// Why a second run, planned and trimmed in place with `settings`, changed
// the finished file at `path`; empty when it left every byte as it was.
inline QString changedByAnotherRun(const QString &path, const Settings &settings)
{
    const QByteArray once = sha256(path);
    QueueItem again;
    const StepResult second = trimAgainInPlace(path, settings, again);
    if (!second.ok())
        return second.message;
    return sha256(path) == once
            ? QString()
            : QStringLiteral("changed: head %1, tail %2").arg(again.headChangeSec).arg(again.tailChangeSec);
}

// Each end's silence set to a length by its mode, as a run would plan it.
inline Settings endsSetTo(EndMode headMode, int headMs, EndMode tailMode, int tailMs)
{
    Settings settings;
    settings.leadMode = headMode;
    settings.tailMode = tailMode;
    settings.leadTargetMs = headMs;
    settings.tailTargetMs = tailMs;
    return settings;
}

// Plans and trims `path` into `outputPath` as a run does; `item` is what
// was planned and done, `source` what the plan probed.
inline StepResult planAndTrim(
        const QString &path, const QString &outputPath, const Settings &settings, QueueItem &item, MediaInfo &source)
{
    item.path = path;
    item.outputPath = outputPath;
    const StepResult planned = TrimEngine::plan(item, settings, systemTools(), {}, {}, &source);
    return planned.proceeds() ? TrimEngine::apply(item, settings, systemTools(), {}, {}, &source) : planned;
}

} // namespace ks::test
