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
    QString detail; // the tool's whole text behind a failure, when it said more
    // How a written file was written, where it was not as asked:
    // " (re-encoded to add silence)"; empty for a plain stream copy.
    QString rewrite;

    bool ok() const { return kind == Kind::Done || kind == Kind::Skipped; }
    // Done, so the next step may follow; a file left alone stops there too.
    bool proceeds() const { return kind == Kind::Done; }
    bool skipped() const { return kind == Kind::Skipped; }
    bool cancelled() const { return kind == Kind::Cancelled; }

    static StepResult success() { return { Kind::Done, QString(), QString(), QString() }; }
    static StepResult failure(const QString &why, const QString &detail = {})
    {
        return { Kind::Failed, why, detail, QString() };
    }
    static StepResult leftAlone(const QString &why) { return { Kind::Skipped, why, QString(), QString() }; }
    static StepResult stopped() { return { Kind::Cancelled, QStringLiteral("cancelled"), QString(), QString() }; }
};

} // namespace ks
