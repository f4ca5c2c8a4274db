#pragma once

#include <QString>

namespace ks {

// The outcome of one per-file step. Failed: ok false, message says why.
// Left alone: ok and skipped, message says why. Done: ok, no message.
struct StepResult
{
    bool ok = false;
    bool skipped = false;
    QString message;

    static StepResult success() { return { true, false, QString() }; }
    static StepResult failure(const QString &why) { return { false, false, why }; }
    static StepResult leftAlone(const QString &why) { return { true, true, why }; }
};

} // namespace ks
