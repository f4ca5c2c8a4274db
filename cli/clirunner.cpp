#include "clirunner.h"

#include "addedpaths.h"
#include "queuecsv.h"
#include "queuemodel.h"
#include "runtexts.h"
#include "settingsstore.h"
#include "signalwatcher.h"
#include "terminaltext.h"
#include "textformat.h"
#include "toolpaths.h"
#include "workerhost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include <unistd.h>

namespace ks {

namespace {

bool isBelow(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

bool writeLine(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fputc('\n', stream);
    // A script reading the output wants each file's line when it finishes.
    return std::fflush(stream) == 0 && !std::ferror(stream);
}

} // namespace

CliRunner::CliRunner(const CliOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_queue(new QueueModel(this))
    , m_report(
              { options.json, options.quiet, options.analyseOnly(), !options.resumeFrom.isEmpty() },
              [this](const QString &line) { printOut(line); }, [this](const QString &line) { printErr(line); })
    , m_progress(!options.quiet && isatty(STDERR_FILENO))
{
}

CliRunner::~CliRunner()
{
    SignalWatcher::setStopTarget(nullptr);
}

QString CliRunner::refusalHint(RunRefusal refusal)
{
    switch (refusal) {
    case RunRefusal::None:
        break;
    case RunRefusal::EmptyQueue:
        return QStringLiteral("Name files, or folders that hold files of the scanned types (see --extensions).");
    case RunRefusal::ToolsMissing:
        return QStringLiteral("On the command line, give their paths with --ffmpeg and --ffprobe.");
    case RunRefusal::NothingToChange:
        return QStringLiteral("Set a target for at least one end with --head or --tail.");
    case RunRefusal::NoDestination:
        return QStringLiteral("Give one with --out DIR, or overwrite the originals with --in-place.");
    case RunRefusal::OntoSources:
        return QStringLiteral("Give another folder with --out DIR.");
    }
    return QString();
}

void CliRunner::start()
{
    m_report.runStarted();
    if (!m_options.noSettings) {
        for (const QString &note : loadSettings(m_settings, StoreUse::ReadOnly))
            complain(note);
    }
    m_options.applyTo(m_settings);
    const ToolPaths tools = ToolPaths::resolve(m_settings.ffmpegPath, m_settings.ffprobePath);
    const RunRefusal refusal = firstRunRefusal(-1, m_settings, tools, m_options.analyseOnly());
    if (refusal != RunRefusal::None) {
        refuse(refusal);
        return;
    }
    if (QString error; !m_options.resumeFrom.isEmpty() && !m_resume.load(m_options.resumeFrom, &error)) {
        refuse(error);
        return;
    }
    if (!m_options.baseDir.isEmpty() && m_settings.outputMode == OutputMode::Mirror)
        m_base = QDir::cleanPath(QDir::current().absoluteFilePath(m_options.baseDir));
    m_pendingPaths = m_options.paths;
    if (!m_options.filesFrom.isEmpty() && !readPathList())
        return;
    startWorker();
    m_phase = Phase::Queuing;
    queueNextPath();
}

bool CliRunner::readPathList()
{
    const bool standardInput = m_options.filesFrom == QLatin1String("-");
    QFile list(m_options.filesFrom);
    const bool opened = standardInput ? list.open(stdin, QIODevice::ReadOnly) : list.open(QIODevice::ReadOnly);
    if (!opened) {
        refuse(QStringLiteral("cannot read %1: %2").arg(native(m_options.filesFrom), list.errorString()));
        return false;
    }
    m_pendingPaths << CliOptions::readPathList(list.readAll(), m_options.nullSeparated);
    if (m_pendingPaths.isEmpty()) {
        // An empty list given on purpose, such as a scheduler's empty share of
        // a library, is a run over nothing, not a mistake.
        m_phase = Phase::Done;
        printTotals(BatchSummary(), false);
        finish(Success);
        return false;
    }
    return true;
}

void CliRunner::stop()
{
    if (m_phase == Phase::Done)
        return;
    if (!m_stopRequested && !m_options.quiet && !m_outputClosed)
        printErr(QStringLiteral("Stopping... (press Ctrl-C again to quit at once)"));
    m_stopRequested = true;
    if (m_worker)
        m_worker->requestStop();
}

void CliRunner::startWorker()
{
    m_worker = new WorkerHost(this);
    connect(m_worker, &WorkerHost::scanProgress, this, &CliRunner::onScanProgress);
    connect(m_worker, &WorkerHost::scanFinished, this, &CliRunner::onScanFinished);
    connect(m_worker, &WorkerHost::itemChanged, this, &CliRunner::onItemChanged);
    connect(m_worker, &WorkerHost::fileProgress, this, &CliRunner::onFileProgress);
    connect(m_worker, &WorkerHost::batchProgress, this, &CliRunner::onBatchProgress);
    connect(m_worker, &WorkerHost::batchFinished, this, &CliRunner::onBatchFinished);
    connect(m_worker, &WorkerHost::message, this, &CliRunner::onMessage);
}

// A signal raises the token of the job asked for last at once; the tokens
// are all kept, so that the one a handler holds is never freed under it.
void CliRunner::follow(const StopToken &job)
{
    m_jobs.append(job);
    SignalWatcher::setStopTarget(job.flag());
}

// Paths are taken in the order given; a folder is scanned on the worker, as
// "Add folder" does, and the next path waits for its files.
void CliRunner::queueNextPath()
{
    while (!m_pendingPaths.isEmpty()) {
        if (m_stopRequested) {
            finish(SignalWatcher::StoppedExitCode);
            return;
        }
        const QString given = m_pendingPaths.takeFirst();
        if (m_namesNotUtf8Given.contains(given)) {
            complain(QStringLiteral("'%1': skipped: its name is not valid UTF-8").arg(given));
            ++m_namesNotUtf8;
            continue;
        }
        const QFileInfo info(given);
        if (!info.exists()) {
            complain(QStringLiteral("'%1': no such file or folder").arg(given));
            ++m_missingPaths;
            continue;
        }
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (!m_base.isEmpty() && !isBelow(path, m_base)) {
            complain(QStringLiteral("'%1': outside the base folder %2").arg(given, native(m_base)));
            ++m_missingPaths;
            continue;
        }
        if (info.isDir()) {
            if (!info.isReadable()) {
                complain(QStringLiteral("'%1': cannot read this folder").arg(given));
                ++m_missingPaths;
                continue;
            }
            m_scanText = QStringLiteral("Scanning %1").arg(native(path));
            m_scanFound = 0;
            drawProgress();
            follow(m_worker->scan(path, m_settings.extensions, m_settings.recursive));
            return;
        }
        const QString root = m_base.isEmpty() ? QFileInfo(path).absolutePath() : m_base;
        m_queue->addFiles(notDoneBefore({ path }, root), root);
    }
    allQueued();
}

void CliRunner::onScanProgress(int filesFound)
{
    m_scanFound = filesFound;
    drawProgress();
}

void CliRunner::onScanFinished(const QStringList &found, const QString &root, bool cancelled, int namesNotUtf8)
{
    m_namesNotUtf8 += namesNotUtf8;
    const QStringList files
            = m_settings.outputMode == OutputMode::InPlace ? found : AddedPaths::outside(found, m_settings.outputRoot);
    if (files.isEmpty() && !cancelled && !m_options.quiet) {
        complain(QStringLiteral("warning: no files ending in %1 in '%2'")
                         .arg(m_settings.extensions.join(QStringLiteral(", ")), native(root)));
    }
    const QString mirrorRoot = m_base.isEmpty() ? root : m_base;
    m_queue->addFiles(notDoneBefore(files, mirrorRoot), mirrorRoot);
    m_scanText.clear();
    if (cancelled || m_stopRequested) {
        finish(SignalWatcher::StoppedExitCode);
        return;
    }
    queueNextPath();
}

// Passes over the files --resume finds done, keeping their earlier records.
QStringList CliRunner::notDoneBefore(const QStringList &files, const QString &root)
{
    QStringList rest;
    for (const QString &file : files) {
        // A copy counts only where this run would write it.
        const QStringList outputs = m_settings.outputMode == OutputMode::InPlace
                ? QStringList{ file, QFileInfo(file).canonicalFilePath() }
                : QStringList{ QDir::cleanPath(m_settings.outputRoot + u'/' + QDir(root).relativeFilePath(file)) };
        const QJsonObject record = m_resume.doneRecord(file, outputs);
        if (record.isEmpty())
            rest << file;
        else if (!m_resumed.contains(record))
            m_resumed << record;
    }
    return rest;
}

void CliRunner::allQueued()
{
    const int count = m_queue->rowCount();
    if (count == 0 && !m_resumed.isEmpty()) {
        // All done before: a run over nothing, which succeeds.
        for (const QJsonObject &record : std::as_const(m_resumed))
            m_report.printResumed(record);
        m_phase = Phase::Done;
        printTotals(BatchSummary(), false);
        finish(m_missingPaths > 0 || !writeCsv() ? SomethingFailed : Success);
        return;
    }
    RunRefusal refusal = count == 0 ? RunRefusal::EmptyQueue : RunRefusal::None;
    if (refusal == RunRefusal::None)
        refusal = queueRefusal(m_queue->items(), m_settings, m_options.analyseOnly());
    if (refusal != RunRefusal::None) {
        refuse(refusal);
        return;
    }
    if (!m_options.analyseOnly() && m_settings.outputMode == OutputMode::InPlace && !m_options.yes) {
        if (!isatty(STDIN_FILENO)) {
            refuse(QStringLiteral("%1 file(s) would be rewritten in place; without a terminal to ask on, "
                                  "give --yes to allow it.")
                            .arg(count));
            return;
        }
        if (!confirmInPlace(count)) {
            // Declined, as a refusal: nothing ran, and nothing failed.
            printErr(QStringLiteral("Nothing was changed."));
            finish(Refused);
            return;
        }
    }
    startBatch();
}

// The window's question, asked on the terminal. Nothing runs meanwhile, so
// a Ctrl-C here may end the program at once.
bool CliRunner::confirmInPlace(int count)
{
    m_phase = Phase::Confirming;
    m_progress.clear();
    SignalWatcher::setStopTarget(nullptr);
    const QString question = RunTexts::inPlaceQuestion(count, m_settings) + QLatin1String(" [y/N] ");
    const QByteArray bytes = question.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);

    char answer[64] = {};
    const bool read = std::fgets(answer, sizeof answer, stdin) != nullptr;
    if (!read)
        std::fputc('\n', stderr);
    const QString reply = QString::fromLocal8Bit(answer).trimmed().toLower();
    return reply == QLatin1String("y") || reply == QLatin1String("yes");
}

void CliRunner::startBatch()
{
    m_queue->resetForRun();
    m_phase = Phase::Running;
    m_total = m_queue->rowCount();
    if (!m_options.json && !m_options.quiet) {
        if (m_options.analyseOnly())
            printOut(QStringLiteral("Analysing %1 file(s).").arg(m_total));
        else if (m_settings.outputMode == OutputMode::InPlace)
            printOut(QStringLiteral("Trimming %1 file(s) in place.").arg(m_total));
        else
            printOut(QStringLiteral("Trimming %1 file(s) into %2.").arg(m_total).arg(native(m_settings.outputRoot)));
    }
    for (const QJsonObject &record : std::as_const(m_resumed))
        m_report.printResumed(record);
    if (m_stopRequested) {
        finish(SignalWatcher::StoppedExitCode);
        return;
    }
    follow(m_worker->process(m_queue->items(), m_settings, m_options.analyseOnly()));
}

void CliRunner::onItemChanged(int index, const QueueItem &item)
{
    m_queue->setItemById(item);
    if (item.status == ItemStatus::Analysing || item.status == ItemStatus::Trimming) {
        m_current = index;
        m_filePercent = 0;
        drawProgress();
        return;
    }
    // Finished (or put back by a stop): its log lines follow at once.
    m_report.fileFinished(index, item);
}

void CliRunner::onFileProgress(int index, int percent)
{
    if (index != m_current)
        return;
    m_filePercent = percent;
    drawProgress();
}

void CliRunner::onBatchProgress(int done, int total)
{
    m_done = done;
    m_total = total;
    m_report.printReady();
    drawProgress();
}

// A message outside any file (a scan's warning) is said on standard error
// as the program's own; the rest are the files' log lines.
void CliRunner::onMessage(const QString &text, Severity level)
{
    if (m_phase == Phase::Running)
        m_report.addLine(text, level);
    else if (level == Severity::Error)
        complain(text);
    else if (level == Severity::Warning && !m_options.quiet)
        complain(QStringLiteral("warning: ") + text);
    else
        m_report.printLine(text, level);
}

void CliRunner::onBatchFinished(const BatchSummary &summary, bool cancelled, bool analyseOnly)
{
    Q_UNUSED(analyseOnly)
    const bool stopped = cancelled || m_stopRequested;
    // The files the stop cut short are reported too, back to waiting.
    m_report.printReady(true);
    m_phase = Phase::Done;
    printTotals(summary, stopped);
    const bool reported = writeCsv();
    if (stopped)
        finish(SignalWatcher::StoppedExitCode);
    else
        finish(summary.failed > 0 || m_missingPaths > 0 || !reported ? SomethingFailed : Success);
}

// The queue as it ended, stopped files included; a report that cannot be
// written counts as a failure of the run.
bool CliRunner::writeCsv()
{
    if (m_options.csvPath.isEmpty())
        return true;
    const QString error = QueueCsv::save(m_queue->items(), m_options.csvPath);
    if (!error.isEmpty())
        complain(QStringLiteral("cannot write the report %1 - %2").arg(native(m_options.csvPath), error));
    return error.isEmpty();
}

void CliRunner::printTotals(const BatchSummary &summary, bool cancelled)
{
    m_progress.clear();
    BatchSummary counted = summary;
    counted.processed += m_namesNotUtf8;
    counted.skipped += m_namesNotUtf8;
    m_report.printTotals(counted, cancelled, m_missingPaths, int(m_resumed.size()));
}

void CliRunner::finish(int exitCode)
{
    if (exitCode == SignalWatcher::StoppedExitCode && m_outputClosed)
        exitCode = SignalWatcher::OutputClosedExitCode;
    if (m_phase != Phase::Done && exitCode == SignalWatcher::StoppedExitCode)
        printTotals(BatchSummary(), true);
    m_phase = Phase::Done;
    m_progress.clear();
    Q_EMIT finished(exitCode);
}

// The sentence the window's log gives, then what mends it here.
void CliRunner::refuse(RunRefusal refusal)
{
    refuse(refusalText(refusal) + QLatin1Char('\n') + refusalHint(refusal));
}

void CliRunner::refuse(const QString &reason)
{
    complain(reason);
    finish(Refused);
}

void CliRunner::printOut(const QString &line)
{
    m_progress.clear();
    // JSON escapes control characters itself; plain text is made safe here.
    const QString shown = m_options.json ? line : terminalSafe(line);
    if (!writeLine(stdout, shown.toLocal8Bit()) && !m_outputClosed) {
        // Nobody reads the results any more: stop as a Ctrl-C would.
        m_outputClosed = true;
        stop();
    }
    drawProgress();
}

void CliRunner::printErr(const QString &line)
{
    m_progress.clear();
    // A message may hold a hint on a line of its own; each line is made safe.
    QStringList lines = line.split(u'\n');
    for (QString &part : lines)
        part = terminalSafe(part);
    writeLine(stderr, lines.join(u'\n').toLocal8Bit());
    drawProgress();
}

void CliRunner::drawProgress()
{
    if (!m_progress.isEnabled())
        return;
    if (m_phase == Phase::Queuing) {
        m_progress.show(m_scanFound > 0 ? m_scanText + QStringLiteral(" - %1 file(s)").arg(m_scanFound) : m_scanText);
    } else if (m_phase == Phase::Running && m_current >= 0 && m_current < m_queue->rowCount() && m_total > 0) {
        const QString name = QFileInfo(m_queue->items().at(m_current).path).fileName();
        m_progress.show(ProgressLine::runText(
                name, m_filePercent, m_current, m_done, m_total, ProgressLine::terminalWidth() - 1));
    } else {
        m_progress.show(QString());
    }
}

} // namespace ks
