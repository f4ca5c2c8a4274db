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

} // namespace ks::test
