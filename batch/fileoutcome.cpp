#include "fileoutcome.h"

#include "runtexts.h"
#include "stepresult.h"
#include "textformat.h"

#include <QDir>

#include <algorithm>

namespace ks {

namespace {

bool changes(const QueueItem &item)
{
    return item.headChangeSec != 0.0 || item.tailChangeSec != 0.0;
}

// The seconds a trim of the item cuts and adds.
void countChange(const QueueItem &item, BatchSummary &tally)
{
    tally.secondsCut = 0.0 - std::min(item.headChangeSec, 0.0) - std::min(item.tailChangeSec, 0.0);
    tally.secondsAdded = std::max(item.headChangeSec, 0.0) + std::max(item.tailChangeSec, 0.0);
}

FileOutcome finished(
        const QueueItem &item, ItemStatus status, const QString &message, Severity severity, const QString &line)
{
    FileOutcome outcome;
    outcome.item = item;
    outcome.item.status = status;
    outcome.item.message = message;
    outcome.severity = severity;
    outcome.line = line;
    outcome.tally.processed = 1;
    return outcome;
}

FileOutcome failed(const QueueItem &item, const QString &why, bool logged, const QString &detail = {})
{
    // The line says why in plain words; the tool's whole text is kept as the detail, for the record and the tool tip.
    FileOutcome outcome = finished(item, ItemStatus::Failed, why, Severity::Error,
            logged ? QStringLiteral("%1 - %2").arg(item.displayName(), why) : QString());
    outcome.item.detail = detail;
    outcome.tally.failed = 1;
    return outcome;
}

FileOutcome skipped(const QueueItem &item, const QString &why, Severity severity)
{
    FileOutcome outcome = finished(
            item, ItemStatus::Skipped, why, severity, QStringLiteral("%1 - %2").arg(item.displayName(), why));
    outcome.tally.skipped = 1;
    return outcome;
}

FileOutcome analysed(const QueueItem &item)
{
    FileOutcome outcome = finished(item, ItemStatus::Analysed, RunTexts::analysisVerdict(item), Severity::Information,
            QStringLiteral("%1 - measured head %2 s, tail %3 s; %4")
                    .arg(item.displayName(), fixed(item.headSec, 2), fixed(item.tailSec, 2),
                            changes(item) ? RunTexts::describeChange(item) : QStringLiteral("no change needed")));
    if (changes(item)) {
        outcome.tally.wouldChange = 1;
        countChange(item, outcome.tally);
    }
    return outcome;
}

} // namespace

FileOutcome FileOutcome::stopped(const QueueItem &queued)
{
    FileOutcome outcome;
    outcome.item = queued;
    outcome.item.status = ItemStatus::Pending;
    outcome.item.message = QStringLiteral("cancelled");
    outcome.settled = false;
    return outcome;
}

std::optional<FileOutcome> FileOutcome::afterPlan(
        const QueueItem &planned, const StepResult &result, bool analyseOnly, bool skipUntrimmed)
{
    if (!result.ok()) {
        FileOutcome outcome = failed(planned, result.message, true, result.detail);
        outcome.item.failedAnalysing = analyseOnly;
        return outcome;
    }
    if (result.skipped())
        return skipped(planned, result.message, Severity::Warning);
    if (analyseOnly)
        return analysed(planned);
    if (!changes(planned) && skipUntrimmed)
        return skipped(planned, QStringLiteral("already within target"), Severity::Information);
    return std::nullopt;
}

std::optional<FileOutcome> FileOutcome::beforeWrite(
        const QueueItem &item, bool mirror, bool ontoSource, const QString &writtenFrom)
{
    if (!mirror)
        return std::nullopt;
    if (item.outputPath.isEmpty())
        return failed(item, QStringLiteral("output would fall outside the destination folder"), true);
    if (ontoSource)
        return failed(item, QStringLiteral("output would overwrite the source"), false);
    if (!writtenFrom.isEmpty()) {
        return failed(item,
                QStringLiteral("output %1 was already written from %2 in this run")
                        .arg(native(item.outputPath), native(writtenFrom)),
                true);
    }
    return std::nullopt;
}

FileOutcome FileOutcome::afterWrite(
        const QueueItem &queued, const QueueItem &written, const StepResult &result, bool stopRaised)
{
    // A file that was written is reported even when the stop came just
    // after; only a rewrite the stop cut short goes unreported.
    if (result.cancelled() || (!result.ok() && stopRaised))
        return stopped(queued);
    if (result.skipped())
        return skipped(written, result.message, Severity::Warning);
    if (!result.ok())
        return failed(written, result.message, true, result.detail);
    // The result names how it was written and what it could not keep or
    // kept instead (a backup kept, an owner not kept), as the log does.
    const QString note = result.message.isEmpty() ? QString() : QStringLiteral("; ") + result.message;
    const QString change = RunTexts::describeChange(written) + result.rewrite + note;
    FileOutcome outcome = finished(written, ItemStatus::Trimmed, change, Severity::Success,
            QStringLiteral("%1 - %2").arg(written.displayName(), change));
    outcome.tally.written = 1;
    countChange(written, outcome.tally);
    return outcome;
}

void FileOutcome::addTo(BatchSummary &totals) const
{
    totals.processed += tally.processed;
    totals.written += tally.written;
    totals.wouldChange += tally.wouldChange;
    totals.skipped += tally.skipped;
    totals.failed += tally.failed;
    totals.secondsCut += tally.secondsCut;
    totals.secondsAdded += tally.secondsAdded;
}

} // namespace ks
