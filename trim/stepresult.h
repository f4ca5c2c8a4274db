#pragma once

#include <QString>

namespace ks {

// The outcome of one per-file step. The kind says what happened; the message
// is the text shown for it (why it failed or was left alone, or "cancelled").
struct StepResult
{
    enum class Kind { Done, Skipped, Failed, Cancelled };

    Kind kind = Kind::Failed;
    QString message;

    bool ok() const { return kind == Kind::Done || kind == Kind::Skipped; }
    bool skipped() const { return kind == Kind::Skipped; }
    bool cancelled() const { return kind == Kind::Cancelled; }

    static StepResult success() { return { Kind::Done, QString() }; }
    static StepResult failure(const QString &why) { return { Kind::Failed, why }; }
    static StepResult leftAlone(const QString &why) { return { Kind::Skipped, why }; }
    static StepResult stopped() { return { Kind::Cancelled, QStringLiteral("cancelled") }; }
};

} // namespace ks
