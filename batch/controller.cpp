#include "controller.h"

#include "severity.h"
#include "mediaprobe.h"
#include "queuemodel.h"
#include "runcheck.h"
#include "toolpaths.h"
#include "trimengine.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QThread>
#include <QThreadPool>
#include <QWaitCondition>

#include <algorithm>
#include <functional>
#include <vector>

#ifdef Q_OS_UNIX
#include <dirent.h>
#endif

namespace ks {

namespace {

constexpr int ScanReportEvery = 250;

// Names that are not valid UTF-8 never reach the program: Qt leaves them
// out of every listing. They are counted from the raw directory entries.
int namesNotUtf8(const QString &root, const QStringList &extensions, bool recursive)
{
    int count = 0;
#ifdef Q_OS_UNIX
    QStringList folders{ root };
    if (recursive) {
        for (QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDirIterator::Subdirectories);
             it.hasNext();)
            folders << it.next();
    }
    for (const QString &folder : std::as_const(folders)) {
        DIR *dir = ::opendir(QFile::encodeName(folder).constData());
        if (!dir)
            continue;
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (QString::fromUtf8(name).toUtf8() == name)
                continue;
            const QByteArray lower = name.toLower();
            const bool scanned = extensions.isEmpty()
                    || std::any_of(extensions.cbegin(), extensions.cend(), [&lower](const QString &extension) {
                           return lower.endsWith('.' + extension.trimmed().toLower().toUtf8());
                       });
            count += scanned ? 1 : 0;
        }
        ::closedir(dir);
    }
#else
    Q_UNUSED(root)
    Q_UNUSED(extensions)
    Q_UNUSED(recursive)
#endif
    return count;
}

} // namespace

Controller::Controller(QObject *parent)
    : QObject(parent)
    , m_pool(new QThreadPool(this))
{
}

QString Controller::describeChange(const QueueItem &item)
{
    return QStringLiteral("head %1, tail %2")
            .arg(QueueModel::changeText(item.headChangeSec), QueueModel::changeText(item.tailChangeSec));
}

void Controller::scan(const QString &root, const QStringList &extensions, bool recursive)
{
    m_stop.store(false);
    m_busy.store(true);

    QStringList filters;
    for (const QString &extension : extensions)
        filters << QStringLiteral("*.") + extension.trimmed().toLower();

    // Regular readable files only; links are not followed into other trees,
    // and a link is not taken for the file it points to.
    QDirIterator it(root, filters, QDir::Files | QDir::Readable | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                    recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    QStringList files;
    while (it.hasNext()) {
        files.append(it.next());
        if (files.size() % ScanReportEvery == 0)
            Q_EMIT message(QStringLiteral("Scanning... %1 file(s)").arg(files.size()), Severity::Information);
        if (m_stop.load())
            break;
    }
    std::sort(files.begin(), files.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    if (const int unreadableNames = m_stop.load() ? 0 : namesNotUtf8(root, extensions, recursive); unreadableNames > 0) {
        Q_EMIT message(QStringLiteral("Skipped %1 file(s) whose names are not valid UTF-8").arg(unreadableNames),
                       Severity::Warning);
    }

    m_busy.store(false);
    Q_EMIT scanFinished(files, root, m_stop.load());
}

// One batch's shared state. Everything below the mutex is touched only
// with it held, and so is every signal, so that reports leave in one order.
struct Controller::Run
{
    Run(const QList<QueueItem> &items, const Settings &settings, const ToolPaths &tools, bool analyseOnly)
        : items(items)
        , settings(settings)
        , tools(tools)
        , analyseOnly(analyseOnly)
    {
    }

    const QList<QueueItem> &items;
    const Settings &settings;
    const ToolPaths tools;
    const bool analyseOnly;
    // For each item, the one before it that writes the same output, or -1:
    // it goes first, so a clash is judged as in a one-at-a-time run.
    std::vector<int> sharesOutputWith;
    std::atomic<int> next{ 0 };

    QMutex mutex;
    QWaitCondition settledChanged;
    std::vector<bool> settled;
    QHash<QString, QString> writtenFrom; // output path -> the source written there in this run
    BatchSummary summary;
    int reported = 0;
};

int Controller::jobCount(int parallelJobs)
{
    return parallelJobs > 0 ? parallelJobs : std::max(QThread::idealThreadCount(), 1);
}

void Controller::process(const QList<QueueItem> &items, const Settings &settings, bool analyseOnly)
{
    m_stop.store(false);
    m_busy.store(true);

    // The tools are found once, from this run's own copy of the settings.
    ToolPaths tools = ToolPaths::resolve(settings.ffmpegPath, settings.ffprobePath);
    const RunRefusal refusal = firstRunRefusal(-1, settings, tools, analyseOnly);
    if (refusal != RunRefusal::None) {
        Q_EMIT message(refusalText(refusal), Severity::Error);
        m_busy.store(false);
        Q_EMIT batchFinished(BatchSummary(), false, analyseOnly);
        return;
    }

    if (!analyseOnly)
        tools.listEncoders([this] { return m_stop.load(); });
    const int total = int(items.size());
    Run run(items, settings, tools, analyseOnly);
    run.settled.assign(size_t(total), false);
    run.sharesOutputWith.assign(size_t(total), -1);
    if (!analyseOnly) {
        QHash<QString, int> lastWriter;
        for (int i = 0; i < total; ++i) {
            const QString output = settings.outputMode == OutputMode::InPlace ? items.at(i).path
                                                                              : mirrorPath(items.at(i), settings.outputRoot);
            if (output.isEmpty())
                continue;
            run.sharesOutputWith[size_t(i)] = lastWriter.value(output, -1);
            lastWriter.insert(output, i);
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

    m_busy.store(false);
    Q_EMIT batchFinished(run.summary, m_stop.load(), analyseOnly);
}

// Takes the next file until none is left. After a stop the rest are passed
// over, but still settled, so that nothing waits on them.
void Controller::runFiles(Run &run)
{
    for (int i = run.next++; i < int(run.items.size()); i = run.next++) {
        if (!m_stop.load())
            processFile(run, i);
        QMutexLocker lock(&run.mutex);
        run.settled[size_t(i)] = true;
        run.settledChanged.wakeAll();
    }
}

void Controller::processFile(Run &run, int i)
{
    const Settings &settings = run.settings;
    const bool analyseOnly = run.analyseOnly;
    const int total = int(run.items.size());
    QueueItem item = run.items.at(i);
    const auto report = [&run](auto &&emitter) {
        QMutexLocker lock(&run.mutex);
        emitter();
    };

    item.status = analyseOnly ? ItemStatus::Analysing : ItemStatus::Trimming;
    item.message.clear();
    item.detail.clear();
    report([&] {
        Q_EMIT itemChanged(i, item);
        Q_EMIT fileProgress(i, 0);
    });
    const QString name = item.displayName();
    const CancelCallback cancelled = [this] { return m_stop.load(); };
    const auto progress = [&](int percent) { report([&] { Q_EMIT fileProgress(i, percent); }); };

    // A row the stop cut short goes back to waiting, as it was queued.
    const auto stopRow = [&] {
        QueueItem stopped = run.items.at(i);
        stopped.status = ItemStatus::Pending;
        stopped.message = QStringLiteral("cancelled");
        report([&] { Q_EMIT itemChanged(i, stopped); });
    };
    // A finished file: its row, its log line and the count of files done; a
    // file the stop cut short is not counted.
    const auto finish = [&](Severity level, const QString &line, const std::function<void(BatchSummary &)> &count) {
        report([&] {
            ++run.summary.processed;
            if (count)
                count(run.summary);
            Q_EMIT itemChanged(i, item);
            if (!line.isEmpty())
                Q_EMIT message(line, level);
            Q_EMIT batchProgress(++run.reported, total);
        });
    };
    const auto fail = [&](const QString &why, bool log, const QString &detail = {}) {
        item.status = ItemStatus::Failed;
        item.message = why;
        item.detail = detail;
        // The tool's whole text follows the short line, joined into one.
        const QString line = QStringLiteral("%1 - %2").arg(name, why);
        finish(Severity::Error,
               !log ? QString() : detail.isEmpty() ? line : line + QStringLiteral(" [") + detail.simplified() + u']',
               [](BatchSummary &summary) { ++summary.failed; });
    };
    const auto skip = [&](const QString &why, Severity level) {
        item.status = ItemStatus::Skipped;
        item.message = why;
        finish(level, QStringLiteral("%1 - %2").arg(name, why), [](BatchSummary &summary) { ++summary.skipped; });
    };
    const auto countChange = [&item](BatchSummary &summary) {
        summary.secondsCut -= std::min(item.headChangeSec, 0.0) + std::min(item.tailChangeSec, 0.0);
        summary.secondsAdded += std::max(item.headChangeSec, 0.0) + std::max(item.tailChangeSec, 0.0);
    };

    // What the plan's probe learnt serves the write too: one probe per file.
    MediaInfo probed;
    const StepResult planned = TrimEngine::plan(
            item, settings, run.tools, cancelled, [&](int percent) { progress(analyseOnly ? percent : percent / 2); },
            &probed);
    if (m_stop.load()) {
        stopRow();
        return;
    }
    const bool changes = item.headChangeSec != 0.0 || item.tailChangeSec != 0.0;

    if (!planned.ok()) {
        fail(planned.message, true, planned.detail);
        return;
    }
    if (planned.skipped()) {
        skip(planned.message, Severity::Warning);
        return;
    }
    if (analyseOnly) {
        item.status = ItemStatus::Analysed;
        item.message = QueueModel::analysisVerdict(item);
        progress(100);
        finish(Severity::Information,
               QStringLiteral("%1 - measured head %2 s, tail %3 s; %4")
                       .arg(name, QString::number(item.headSec, 'f', 2), QString::number(item.tailSec, 'f', 2),
                            changes ? describeChange(item) : QStringLiteral("no change needed")),
               [&](BatchSummary &summary) {
                   if (changes) {
                       ++summary.wouldChange;
                       countChange(summary);
                   }
               });
        return;
    }
    if (!changes && settings.skipUntrimmed) {
        skip(QStringLiteral("already within target"), Severity::Information);
        return;
    }

    const bool mirror = settings.outputMode != OutputMode::InPlace;
    item.outputPath = mirror ? mirrorPath(item, settings.outputRoot) : item.path;
    QString clash;
    {
        // The file before this one with the same output is settled first.
        QMutexLocker lock(&run.mutex);
        const int earlier = run.sharesOutputWith.at(size_t(i));
        while (earlier >= 0 && !run.settled.at(size_t(earlier)))
            run.settledChanged.wait(&run.mutex);
        clash = run.writtenFrom.value(item.outputPath);
    }
    if (m_stop.load()) {
        stopRow();
        return;
    }
    if (mirror && item.outputPath.isEmpty()) {
        fail(QStringLiteral("output would fall outside the destination folder"), true);
        return;
    }
    if (mirror && sameFile(item.outputPath, item.path)) {
        fail(QStringLiteral("output would overwrite the source"), false);
        return;
    }
    if (mirror && !clash.isEmpty()) {
        fail(QStringLiteral("output %1 was already written from %2 in this run")
                     .arg(QDir::toNativeSeparators(item.outputPath), QDir::toNativeSeparators(clash)),
             true);
        return;
    }

    const StepResult applied = TrimEngine::apply(
            item, settings, run.tools, cancelled, [&](int percent) { progress(percent / 2 + 50); }, &probed);
    // A file that was written is reported even when the stop came just
    // after; only a rewrite the stop cut short goes unreported.
    if (applied.cancelled() || (!applied.ok() && m_stop.load())) {
        stopRow();
        return;
    }
    if (applied.skipped()) {
        skip(applied.message, Severity::Warning);
        return;
    }
    if (!applied.ok()) {
        fail(applied.message, true, applied.detail);
        return;
    }
    item.status = ItemStatus::Trimmed;
    const QString &suffix = applied.rewrite;
    item.message = describeChange(item) + suffix;
    const QString note = applied.message.isEmpty() ? QString() : QStringLiteral("; ") + applied.message;
    progress(100);
    finish(Severity::Success, QStringLiteral("%1 - %2%3%4").arg(name, describeChange(item), suffix, note),
           [&](BatchSummary &summary) {
               ++summary.written;
               countChange(summary);
               run.writtenFrom.insert(item.outputPath, item.path);
           });
}

} // namespace ks
