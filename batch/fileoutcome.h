#pragma once

#include "batchsummary.h"
#include "queueitem.h"
#include "severity.h"

#include <QString>

#include <optional>

namespace ks {

struct StepResult;

// What becomes of one file of a run: its row, its log line and its share of
// the run's totals, decided from what the steps returned and nothing else,
// so that every decision can be checked without a thread or a tool.
struct FileOutcome
{
    QueueItem item;
    QString line; // the log line; empty for none
    Severity severity = Severity::Information;
    BatchSummary tally;  // added to the run's totals
    bool settled = true; // false: a stop cut the file short and its row went back to waiting

    // A file the stop cut short: back to Pending as it was queued, not counted.
    static FileOutcome stopped(const QueueItem &queued);
    // After the plan (or the analysis): the outcome, or none when the file
    // goes on to be written.
    static std::optional<FileOutcome> afterPlan(
            const QueueItem &planned, const StepResult &result, bool analyseOnly, bool skipUntrimmed);
    // Before a mirrored copy is written to item.outputPath: the refusal, or
    // none. `writtenFrom` is the source already written there in this run.
    static std::optional<FileOutcome> beforeWrite(
            const QueueItem &item, bool mirror, bool ontoSource, const QString &writtenFrom);
    // A mirrored copy left as it is because the destination holds one already.
    static FileOutcome outputExists(const QueueItem &item);
    // After the write; a write that failed once the stop was raised counts
    // as cut short, since the stop is what ended it.
    static FileOutcome afterWrite(
            const QueueItem &queued, const QueueItem &written, const StepResult &result, bool stopRaised);

    void addTo(BatchSummary &totals) const;
};

} // namespace ks
