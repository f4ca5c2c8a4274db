#pragma once

#include "stepresult.h"

#include <QString>

namespace ks {

// The ".bak" copies an in-place trim keeps beside each file it rewrote,
// whichever run made them.
class Backups final
{
public:
    static QString pathFor(const QString &sourcePath) { return sourcePath + QLatin1String(".bak"); }
    static bool exists(const QString &sourcePath);

    // Puts the backup back over the file in one step; the backup's own
    // modification time goes with it, and the backup is gone afterwards.
    static StepResult restore(const QString &sourcePath);
    static StepResult remove(const QString &sourcePath);
};

} // namespace ks
