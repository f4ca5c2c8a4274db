#include "clirunner.h"

#include "addedpaths.h"
#include "controller.h"
#include "queuemodel.h"
#include "runcheck.h"
#include "runtexts.h"
#include "settingsstore.h"
#include "signalwatcher.h"
#include "toolpaths.h"
#include "workerhost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace ks {

namespace {

bool writeLine(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fputc('\n', stream);
    // A script reading the output wants each file's line when it finishes.
    return std::fflush(stream) == 0 && !std::ferror(stream);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Milliseconds are as far as the measurement goes; more digits are noise.
double seconds(double value)
{
    return std::round(value * 1000.0) / 1000.0;
}

QJsonObject itemJson(const QueueItem &item)
{
    QJsonObject json{
        { QStringLiteral("path"), native(item.path) },
        { QStringLiteral("outputPath"),
          item.outputPath.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(native(item.outputPath)) },
        { QStringLiteral("status"), statusText(item.status) },
        { QStringLiteral("message"), item.message },
        { QStringLiteral("durationSec"), seconds(item.durationSec) },
        { QStringLiteral("headSec"), seconds(item.headSec) },
        { QStringLiteral("tailSec"), seconds(item.tailSec) },
        { QStringLiteral("headChangeSec"), seconds(item.headChangeSec) },
        { QStringLiteral("tailChangeSec"), seconds(item.tailChangeSec) },
        { QStringLiteral("newDurationSec"), seconds(item.newDurationSec) },
        { QStringLiteral("reencoded"), item.reencoded },
    };
    // The tool's whole text, only where a file failed with one.
    if (!item.detail.isEmpty())
        json.insert(QStringLiteral("detail"), item.detail);
    return json;
}

int terminalWidth()
{
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

QString elided(const QString &text, int width)
{
    if (text.size() <= width)
        return text;
    if (width < 4)
        return text.left(std::max(width, 0));
    const int head = (width - 1) / 2;
    return text.left(head) + QChar(0x2026) + text.right(width - 1 - head);
}

} // namespace

CliRunner::CliRunner(const CliOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_queue(new QueueModel(this))
{
    m_progressLine = !options.quiet && isatty(STDERR_FILENO);
}

CliRunner::~CliRunner()
{
    SignalWatcher::setStopTarget(nullptr);
}

void CliRunner::start()
{
    if (!m_options.noSettings) {
        for (const QString &note : loadSettings(m_settings))
            complain(note);
    }
    m_options.applyTo(m_settings);
    const ToolPaths tools = ToolPaths::resolve(m_settings.ffmpegPath, m_settings.ffprobePath);
    switch (firstRunRefusal(-1, m_settings, tools, m_options.analyseOnly())) {
    case RunRefusal::None:
    case RunRefusal::EmptyQueue:
    case RunRefusal::OntoSources:
        break;
    case RunRefusal::ToolsMissing:
        refuse(ToolPaths::notFoundMessage()
               + QStringLiteral("\nOn the command line, give their paths with --ffmpeg and --ffprobe."));
        return;
    case RunRefusal::NothingToChange:
        refuse(QStringLiteral("both the head and the tail are set to leave alone, so there is nothing to change.\n"
                              "Set a target for at least one end with --head or --tail."));
        return;
    case RunRefusal::NoDestination:
        refuse(QStringLiteral("no destination folder for the copies.\n"
                              "Give one with --out DIR, or overwrite the originals with --in-place."));
        return;
    }

    m_pendingPaths = m_options.paths;
    if (!m_options.filesFrom.isEmpty()) {
        const bool standardInput = m_options.filesFrom == QLatin1String("-");
        QFile list(m_options.filesFrom);
        const bool opened = standardInput ? list.open(stdin, QIODevice::ReadOnly) : list.open(QIODevice::ReadOnly);
        if (!opened) {
            refuse(QStringLiteral("cannot read %1: %2").arg(native(m_options.filesFrom), list.errorString()));
            return;
        }
        m_pendingPaths << CliOptions::readPathList(list.readAll(), m_options.nullSeparated);
        if (m_pendingPaths.isEmpty()) {
            refuse(QStringLiteral("no files or folders given in %1").arg(native(m_options.filesFrom)));
            return;
        }
    }

    startWorker();
    m_phase = Phase::Queuing;
    queueNextPath();
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
    connect(this, &CliRunner::requestScan, m_worker, &WorkerHost::requestScan);
    connect(this, &CliRunner::requestProcess, m_worker, &WorkerHost::requestProcess);
    connect(m_worker, &WorkerHost::scanFinished, this, &CliRunner::onScanFinished);
    connect(m_worker, &WorkerHost::itemChanged, this, &CliRunner::onItemChanged);
    connect(m_worker, &WorkerHost::fileProgress, this, &CliRunner::onFileProgress);
    connect(m_worker, &WorkerHost::batchProgress, this, &CliRunner::onBatchProgress);
    connect(m_worker, &WorkerHost::batchFinished, this, &CliRunner::onBatchFinished);
    connect(m_worker, &WorkerHost::message, this, &CliRunner::onMessage);
    SignalWatcher::setStopTarget(m_worker->controller());
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
        const QFileInfo info(given);
        if (!info.exists()) {
            complain(QStringLiteral("'%1': no such file or folder").arg(given));
            ++m_missingPaths;
            continue;
        }
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isDir()) {
            if (!info.isReadable()) {
                complain(QStringLiteral("'%1': cannot read this folder").arg(given));
                ++m_missingPaths;
                continue;
            }
            m_scanText = QStringLiteral("Scanning %1").arg(native(path));
            drawProgress();
            Q_EMIT requestScan(path, m_settings.extensions, m_settings.recursive);
            return;
        }
        m_queue->addFiles({ path }, QFileInfo(path).absolutePath());
    }
    allQueued();
}

void CliRunner::onScanFinished(const QStringList &found, const QString &root, bool cancelled)
{
    const QStringList files =
            m_settings.outputMode == OutputMode::InPlace ? found : AddedPaths::outside(found, m_settings.outputRoot);
    if (files.isEmpty() && !cancelled && !m_options.quiet) {
        printErr(QStringLiteral("kestrova-cli: warning: no files ending in %1 in '%2'")
                         .arg(m_settings.extensions.join(QStringLiteral(", ")), native(root)));
    }
    m_queue->addFiles(files, root);
    m_scanText.clear();
    if (cancelled || m_stopRequested) {
        finish(SignalWatcher::StoppedExitCode);
        return;
    }
    queueNextPath();
}

void CliRunner::allQueued()
{
    const int count = m_queue->rowCount();
    if (count == 0) {
        refuse(QStringLiteral("nothing to do - no files were queued from the paths given."));
        return;
    }
    if (queueRefusal(m_queue->items(), m_settings, m_options.analyseOnly()) == RunRefusal::OntoSources) {
        refuse(QStringLiteral("the destination is the folder being trimmed, so every copy would overwrite its source.\n"
                              "Give another folder with --out DIR."));
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
            printErr(QStringLiteral("Nothing was changed."));
            finish(SomethingFailed);
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
    clearProgress();
    SignalWatcher::setStopTarget(nullptr);
    const QString question = RunTexts::inPlaceQuestion(count, m_settings) + QLatin1String(" [y/N] ");
    const QByteArray bytes = question.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);

    char answer[64] = {};
    const bool read = std::fgets(answer, sizeof answer, stdin) != nullptr;
    SignalWatcher::setStopTarget(m_worker->controller());
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
    if (m_stopRequested) {
        finish(SignalWatcher::StoppedExitCode);
        return;
    }
    Q_EMIT requestProcess(m_queue->items(), m_settings, m_options.analyseOnly());
}

// The controller clears its stop flag when a job starts, so a stop that came
// while the job was still on its way is repeated at its first report.
void CliRunner::restateStop()
{
    if (m_stopRequested && m_worker)
        m_worker->requestStop();
}

void CliRunner::onItemChanged(int index, const QueueItem &item)
{
    restateStop();
    m_queue->setItem(index, item);
    if (item.status == ItemStatus::Analysing || item.status == ItemStatus::Trimming) {
        m_current = index;
        m_filePercent = 0;
        drawProgress();
        return;
    }
    // Finished (or put back by a stop): its log lines follow at once.
    m_reports[index];
    m_lastFinished = index;
}

void CliRunner::onFileProgress(int index, int percent)
{
    restateStop();
    if (index != m_current)
        return;
    m_filePercent = percent;
    drawProgress();
}

void CliRunner::onBatchProgress(int done, int total)
{
    restateStop();
    m_done = done;
    m_total = total;
    printFinished();
    drawProgress();
}

void CliRunner::onMessage(const QString &text, Severity level)
{
    if (m_phase == Phase::Queuing) {
        // Only the scan's "Scanning... N file(s)" comes now: progress, not a result.
        m_scanText = text;
        drawProgress();
        return;
    }
    if (m_lastFinished >= 0 && m_reports.contains(m_lastFinished))
        m_reports[m_lastFinished].append({ text, level });
    else
        printLine(text, level);
}

void CliRunner::printLine(const QString &text, Severity level)
{
    // Errors go to standard error whatever else is asked.
    if (level == Severity::Error)
        printErr(text);
    else if (!m_options.json && !m_options.quiet)
        printOut(text);
}

// Files finish in any order when several run at once; they are printed in
// queue order, each once all before it are out.
void CliRunner::printFinished(bool all)
{
    while (!m_reports.isEmpty()) {
        const auto first = m_reports.begin();
        if (!all && first.key() != m_nextToPrint)
            return;
        const int index = first.key();
        const QList<Line> lines = first.value();
        m_reports.erase(first);
        m_nextToPrint = index + 1;
        fileFinished(index, lines);
    }
}

void CliRunner::fileFinished(int index, const QList<Line> &lines)
{
    const QueueItem &item = m_queue->items().at(index);
    const bool failed = item.status == ItemStatus::Failed;
    for (const Line &line : lines)
        printLine(line.text, line.level);
    if (m_options.json) {
        if (!m_options.quiet || failed)
            printOut(QString::fromUtf8(QJsonDocument(itemJson(item)).toJson(QJsonDocument::Compact)));
        return;
    }
    // A few outcomes are not logged by the controller; every file still gets its line.
    if (!lines.isEmpty())
        return;
    const QString name = item.displayName();
    const QString line = QStringLiteral("%1 - %2").arg(name, item.message);
    if (failed)
        printErr(line);
    else if (!m_options.quiet)
        printOut(line);
}

void CliRunner::onBatchFinished(const BatchSummary &summary, bool cancelled, bool analyseOnly)
{
    Q_UNUSED(analyseOnly)
    const bool stopped = cancelled || m_stopRequested;
    // The files the stop cut short are reported too, back to waiting.
    printFinished(true);
    m_phase = Phase::Done;
    printTotals(summary, stopped);
    if (stopped)
        finish(SignalWatcher::StoppedExitCode);
    else
        finish(summary.failed > 0 || m_missingPaths > 0 ? SomethingFailed : Success);
}

void CliRunner::printTotals(const BatchSummary &summary, bool cancelled)
{
    clearProgress();
    if (m_options.json) {
        const QJsonObject totals{
            { QStringLiteral("command"), m_options.analyseOnly() ? QStringLiteral("analyse") : QStringLiteral("trim") },
            { QStringLiteral("processed"), summary.processed },
            { QStringLiteral("written"), summary.written },
            { QStringLiteral("skipped"), summary.skipped },
            { QStringLiteral("failed"), summary.failed },
            { QStringLiteral("secondsCut"), seconds(summary.secondsCut) },
            { QStringLiteral("secondsAdded"), seconds(summary.secondsAdded) },
            { QStringLiteral("missingPaths"), m_missingPaths },
            { QStringLiteral("cancelled"), cancelled },
        };
        const QJsonObject line{ { QStringLiteral("summary"), totals } };
        printOut(QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)));
        return;
    }
    // The totals line of the window's log.
    printOut(RunTexts::totalsLine(summary, cancelled, m_options.analyseOnly()));
}

void CliRunner::finish(int exitCode)
{
    if (exitCode == SignalWatcher::StoppedExitCode && m_outputClosed)
        exitCode = SignalWatcher::OutputClosedExitCode;
    if (m_phase != Phase::Done && exitCode == SignalWatcher::StoppedExitCode)
        printTotals(BatchSummary(), true);
    m_phase = Phase::Done;
    clearProgress();
    Q_EMIT finished(exitCode);
}

void CliRunner::refuse(const QString &reason)
{
    complain(reason);
    finish(Refused);
}

void CliRunner::printOut(const QString &line)
{
    clearProgress();
    if (!writeLine(stdout, line.toLocal8Bit()) && !m_outputClosed) {
        // Nobody reads the results any more: stop as a Ctrl-C would.
        m_outputClosed = true;
        stop();
    }
    drawProgress();
}

void CliRunner::printErr(const QString &line)
{
    clearProgress();
    writeLine(stderr, line.toLocal8Bit());
    drawProgress();
}

void CliRunner::drawProgress()
{
    if (!m_progressLine)
        return;
    QString text;
    if (m_phase == Phase::Queuing) {
        text = m_scanText;
    } else if (m_phase == Phase::Running && m_current >= 0 && m_current < m_queue->rowCount() && m_total > 0) {
        const QString name = QFileInfo(m_queue->items().at(m_current).path).fileName();
        const int fileShare = m_current >= m_done ? m_filePercent : 0;
        const int batchPercent = (m_done * 100 + fileShare) / m_total;
        const QString tail = QStringLiteral(" %1%  |  batch %2/%3 %4%")
                                     .arg(m_filePercent, 3)
                                     .arg(std::min(m_current + 1, m_total))
                                     .arg(m_total)
                                     .arg(batchPercent, 3);
        text = elided(name, terminalWidth() - 1 - int(tail.size())) + tail;
    }
    text = elided(text, terminalWidth() - 1);
    if (text == m_progressText)
        return;
    const QByteArray bytes = (QStringLiteral("\r") + text + QStringLiteral("\x1b[K")).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    m_progressText = text;
}

void CliRunner::clearProgress()
{
    if (!m_progressLine || m_progressText.isEmpty())
        return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    m_progressText.clear();
}

} // namespace ks
