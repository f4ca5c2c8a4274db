#include "controller.h"

#include "fileoutcome.h"
#include "folderscan.h"
#include "mediaprobe.h"
#include "runcheck.h"
#include "textformat.h"
#include "toolpaths.h"
#include "trimengine.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QWaitCondition>

#include <algorithm>
#include <vector>

namespace ks {

Controller::Controller(QObject *parent)
    : QObject(parent)
    , m_pool(new QThreadPool(this))
{
}

void Controller::scan(const QString &root, const QStringList &extensions, bool recursive, const StopToken &stop)
{
    const FolderScan::Result found = FolderScan::run(
            root, extensions, recursive, [&stop] { return stop.isRaised(); },
            [this](int filesFound) { Q_EMIT scanProgress(filesFound); });
    for (const QString &name : found.namesNotUtf8)
        Q_EMIT message(
                QStringLiteral("%1 - skipped: its name is not valid UTF-8").arg(native(name)), Severity::Warning);
    Q_EMIT scanFinished(found.files, root, stop.isRaised(), int(found.namesNotUtf8.size()));
}

// One batch's shared state. Everything below the mutex is touched only
// with it held, and so is every signal, so that reports leave in one order.
struct Controller::Run
{
    Run(const QList<QueueItem> &items, const Settings &settings, const ToolPaths &tools, bool analyseOnly,
            const StopToken &stop)
        : items(items)
        , settings(settings)
        , tools(tools)
        , analyseOnly(analyseOnly)
        , stop(stop)
    {
    }

    const QList<QueueItem> &items;
    const Settings &settings;
    const ToolPaths tools;
    const bool analyseOnly;
    const StopToken stop;
    // For each item, the one before it that writes the same output, or -1:
    // it goes first, so a clash is judged as in a one-at-a-time run.
    std::vector<int> sharesOutputWith;
    std::atomic<int> next{ 0 };

    QMutex mutex;
    QWaitCondition settledChanged;
    std::vector<bool> settled;
    QHash<QString, QString> writtenFrom; // output path -> the source written there in this run
    QSet<QString> claimed;               // every output this run means to write, and each second name taken
    BatchSummary summary;
    int reported = 0;
};

int Controller::jobCount(int parallelJobs)
{
    return parallelJobs > 0 ? parallelJobs : std::max(QThread::idealThreadCount(), 1);
}

void Controller::process(
        const QList<QueueItem> &items, const Settings &settings, bool analyseOnly, const StopToken &stop)
{
    // The tools are found once, from this run's own copy of the settings.
    ToolPaths tools = ToolPaths::resolve(settings.ffmpegPath, settings.ffprobePath);
    const RunRefusal refusal = firstRunRefusal(-1, settings, tools, analyseOnly);
    if (refusal != RunRefusal::None) {
        Q_EMIT message(refusalText(refusal), Severity::Error);
        Q_EMIT batchFinished(BatchSummary(), false, analyseOnly);
        return;
    }

    if (!analyseOnly)
        tools.askEncodersWhenNeeded();
    const int total = int(items.size());
    Run run(items, settings, tools, analyseOnly, stop);
    run.settled.assign(size_t(total), false);
    run.sharesOutputWith.assign(size_t(total), -1);
    if (!analyseOnly) {
        QHash<QString, int> lastWriter;
        for (int i = 0; i < total; ++i) {
            const QString output = settings.outputMode == OutputMode::InPlace
                    ? items.at(i).path
                    : mirrorPath(items.at(i), settings.outputRoot);
            if (output.isEmpty())
                continue;
            run.sharesOutputWith[size_t(i)] = lastWriter.value(output, -1);
            lastWriter.insert(output, i);
            run.claimed.insert(output);
        }
    }
    Q_EMIT batchProgress(0, total);

    const int jobs = std::min(jobCount(settings.parallelJobs), total);
    if (jobs <= 1) {
        runFiles(run);
    } else {
        m_pool->setMaxThreadCount(jobs);
        for (int job = 0; job < jobs; ++job)
            m_pool->start([this, &run] { runFiles(run); });
        m_pool->waitForDone();
    }
    Q_EMIT batchFinished(run.summary, stop.isRaised(), analyseOnly);
}

// Takes the next file until none is left. After a stop the rest are passed
// over, but still settled, so that nothing waits on them.
void Controller::runFiles(Run &run)
{
    for (int i = run.next++; i < int(run.items.size()); i = run.next++) {
        if (!run.stop.isRaised())
            processFile(run, i);
        QMutexLocker lock(&run.mutex);
        run.settled[size_t(i)] = true;
        run.settledChanged.wakeAll();
    }
}

void Controller::processFile(Run &run, int i)
{
    const Settings &settings = run.settings;
    const QueueItem &queued = run.items.at(i);
    QueueItem item = queued;
    item.status = run.analyseOnly ? ItemStatus::Analysing : ItemStatus::Trimming;
    item.message.clear();
    item.detail.clear();
    {
        QMutexLocker lock(&run.mutex);
        Q_EMIT itemChanged(i, item);
        Q_EMIT fileProgress(i, 0);
    }
    const CancelCallback cancelled = [&run] { return run.stop.isRaised(); };
    // An analysis is all plan; a trim plans in the first half and writes in the second.
    const auto progress = [&](int from, int share) {
        return [this, &run, i, from, share](int percent) {
            QMutexLocker lock(&run.mutex);
            Q_EMIT fileProgress(i, from + percent * share / 100);
        };
    };

    const bool mirror = !run.analyseOnly && settings.outputMode != OutputMode::InPlace;
    // A copy that is there from before the run is passed over unmeasured;
    // one that another file of this run writes is judged after that file.
    if (mirror && settings.existingOutputs == ExistingOutputs::Skip && run.sharesOutputWith.at(size_t(i)) < 0) {
        item.outputPath = mirrorPath(item, settings.outputRoot);
        if (!item.outputPath.isEmpty() && QFileInfo::exists(item.outputPath))
            return report(run, i, FileOutcome::outputExists(item));
    }

    // What the plan's probe learnt serves the write too: one probe per file.
    MediaInfo probed;
    const StepResult planned
            = TrimEngine::plan(item, settings, run.tools, cancelled, progress(0, run.analyseOnly ? 100 : 50), &probed);
    if (run.stop.isRaised())
        return report(run, i, FileOutcome::stopped(queued));
    if (const auto outcome = FileOutcome::afterPlan(item, planned, run.analyseOnly, settings.skipUntrimmed))
        return report(run, i, *outcome);

    item.outputPath = mirror ? mirrorPath(item, settings.outputRoot) : item.path;
    const QString clash = waitForEarlierWriter(run, i, item.outputPath);
    if (run.stop.isRaised())
        return report(run, i, FileOutcome::stopped(queued));
    const bool ontoSource = mirror && sameFile(item.outputPath, item.path);
    if (const auto outcome = FileOutcome::beforeWrite(item, mirror, ontoSource, clash))
        return report(run, i, *outcome);
    if (mirror && settings.existingOutputs != ExistingOutputs::Replace && QFileInfo::exists(item.outputPath)) {
        if (settings.existingOutputs != ExistingOutputs::KeepBoth)
            return report(run, i, FileOutcome::outputExists(item));
        item.outputPath = claimSecondName(run, item.outputPath);
    }

    const StepResult applied = TrimEngine::apply(item, settings, run.tools, cancelled, progress(50, 50), &probed);
    report(run, i, FileOutcome::afterWrite(queued, item, applied, run.stop.isRaised()));
}

// The file before this one with the same output is settled first; the
// source written there in this run, if any.
QString Controller::waitForEarlierWriter(Run &run, int i, const QString &outputPath)
{
    QMutexLocker lock(&run.mutex);
    const int earlier = run.sharesOutputWith.at(size_t(i));
    while (earlier >= 0 && !run.settled.at(size_t(earlier)))
        run.settledChanged.wait(&run.mutex);
    return run.writtenFrom.value(outputPath);
}

// The first "name (N).ext" from 2 up that neither exists nor is another
// output of this run, taken for this file.
QString Controller::claimSecondName(Run &run, const QString &outputPath)
{
    const QFileInfo taken(outputPath);
    const QString suffix = taken.suffix().isEmpty() ? QString() : u'.' + taken.suffix();
    const QString stem = taken.suffix().isEmpty() ? taken.fileName() : taken.completeBaseName();
    QMutexLocker lock(&run.mutex);
    for (int n = 2;; ++n) {
        const QString candidate = taken.dir().filePath(QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(suffix));
        if (!run.claimed.contains(candidate) && !QFileInfo::exists(candidate)) {
            run.claimed.insert(candidate);
            return candidate;
        }
    }
}

// A finished file: its row, its log line and the count of files done; a
// file the stop cut short goes back to waiting and is not counted.
void Controller::report(Run &run, int i, const FileOutcome &outcome)
{
    const ItemStatus status = outcome.item.status;
    QMutexLocker lock(&run.mutex);
    if (status == ItemStatus::Analysed || status == ItemStatus::Trimmed)
        Q_EMIT fileProgress(i, 100);
    if (!outcome.settled) {
        Q_EMIT itemChanged(i, outcome.item);
        return;
    }
    outcome.addTo(run.summary);
    if (status == ItemStatus::Trimmed)
        run.writtenFrom.insert(outcome.item.outputPath, outcome.item.path);
    Q_EMIT itemChanged(i, outcome.item);
    if (!outcome.line.isEmpty())
        Q_EMIT message(outcome.line, outcome.severity);
    Q_EMIT batchProgress(++run.reported, int(run.items.size()));
}

} // namespace ks
