#include "runfeedback.h"

#include "addedpaths.h"
#include "logconsole.h"
#include "panelstyle.h"
#include "queuemodel.h"
#include "queueview.h"
#include "runtexts.h"
#include "settings.h"
#include "settingsstore.h"
#include "severity.h"
#include "textformat.h"
#include "vfdpanel.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace ks {

namespace {

// How long a result may wait for its row.
constexpr int RowFlushMs = 250;

} // namespace

RunFeedback::RunFeedback(QueueView *view, VfdPanel *panel, LogConsole *log, QLabel *status, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_panel(panel)
    , m_log(log)
    , m_status(status)
    , m_clockTimer(new QTimer(this))
    , m_rowTimer(new QTimer(this))
{
    m_rowTimer->setSingleShot(true);
    m_rowTimer->setInterval(RowFlushMs);
    connect(m_rowTimer, &QTimer::timeout, this, &RunFeedback::flushRows);
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this,
            [this] { m_panel->setElapsedSeconds(int(m_clock.elapsed() / 1000)); });
}

// The settings the next run will use, as the panel's chips read them.
void RunFeedback::showSettings(const Settings &settings)
{
    const QString separator = PanelStyle::separator();
    m_panel->setDetection(tr("%1 dB").arg(settings.thresholdDb, 0, 'f', 0) + separator
            + tr("%1 S").arg(settings.minSilenceSec, 0, 'f', 2));
    m_panel->setEnds(tr("HEAD %1").arg(endModeLabel(settings.leadMode, settings.leadTargetMs)) + separator
            + tr("TAIL %1").arg(endModeLabel(settings.tailMode, settings.tailTargetMs)));
    QStringList output{ tr("OUT") };
    if (settings.outputMode == OutputMode::InPlace) {
        output << tr("IN PLACE") << (settings.makeBackup ? tr("BACKUP ON") : tr("NO BACKUP"));
    } else {
        output << tr("MIRROR") << (settings.outputRoot.isEmpty() ? tr("NOT SET") : native(settings.outputRoot));
    }
    m_panel->setOutput(PanelStyle::join(output));
}

void RunFeedback::scanStarted(const QString &folder)
{
    m_panel->setPhase(VfdPanel::Scanning);
    m_scanning.append(native(folder));
    m_status->setText(tr("Scanning %1...").arg(m_scanning.last()));
    m_log->append(tr("Scanning %1").arg(native(folder)), Severity::Information);
}

void RunFeedback::batchStarted(bool analyseOnly, int count)
{
    m_panel->setPhase(analyseOnly ? VfdPanel::Analysing : VfdPanel::Trimming);
    m_panel->setErrorLit(false);
    m_panel->setSkipLit(false);
    m_panel->setBatchProgress(0);
    m_panel->setFileProgress(0);

    m_clock.restart();
    m_audioDone = 0.0;
    m_filesDone = 0;
    m_currentIndex = -1;
    m_working.clear();
    m_panel->setElapsedSeconds(0);
    m_clockTimer->start();

    if (analyseOnly) {
        m_status->setText(tr("Analysing..."));
        m_log->append(tr("Analysing %1 file(s).").arg(count), Severity::Information);
    } else {
        m_status->setText(tr("Trimming..."));
        m_log->append(tr("Trimming %1 file(s).").arg(count), Severity::Information);
    }
}

// The count goes to the status line only; the log keeps what was found.
// Scans run in the order asked, so the first folder waiting is the one.
void RunFeedback::onScanProgress(int filesFound)
{
    m_status->setText(
            tr("Scanning %1...").arg(m_scanning.value(0)) + PanelStyle::separator() + QLocale().toString(filesFound));
}

void RunFeedback::onScanFinished(const QStringList &files, const QString &root, bool cancelled)
{
    // Several dropped folders are scanned one after another; the window is
    // idle again when the last one is in.
    if (!m_scanning.isEmpty())
        m_scanning.removeFirst();
    // The destination's own copies are not sources.
    const Settings &settings = appSettings();
    Delivery delivery;
    delivery.sources
            = settings.outputMode == OutputMode::InPlace ? files : AddedPaths::outside(files, settings.outputRoot);
    delivery.root = root;
    delivery.destination = settings.outputRoot;
    delivery.found = int(files.size());
    delivery.cancelled = cancelled;
    m_deliveries.append(delivery);
    if (m_deliveries.size() == 1)
        addNextSlice();
}

// A large scan goes into the queue a thousand files at a time, with the
// window's events handled in between, so that the window keeps answering
// while a whole library goes in.
void RunFeedback::addNextSlice()
{
    constexpr qsizetype SliceSize = 1000;
    Delivery &delivery = m_deliveries.first();
    QueueModel *queue = m_view->queue();
    if (delivery.next == 0)
        queue->reserve(queue->rowCount() + delivery.sources.size());
    delivery.added += queue->addFiles(delivery.sources.mid(delivery.next, SliceSize), delivery.root);
    delivery.next += SliceSize;
    if (delivery.next < delivery.sources.size()) {
        QTimer::singleShot(0, this, &RunFeedback::addNextSlice);
        return;
    }
    const Delivery done = m_deliveries.takeFirst();
    reportDelivery(done);
    if (!m_deliveries.isEmpty()) {
        QTimer::singleShot(0, this, &RunFeedback::addNextSlice);
        return;
    }
    if (m_scanning.isEmpty()) {
        m_panel->setPhase(VfdPanel::Idle);
        m_status->setText(tr("Idle"));
        Q_EMIT finished();
    }
}

void RunFeedback::reportDelivery(const Delivery &delivery)
{
    if (delivery.cancelled)
        m_log->append(tr("Scan stopped - %1 file(s) found.").arg(delivery.found), Severity::Warning);
    else
        m_log->append(tr("Scan complete - %1 file(s) found.").arg(delivery.found), Severity::Success);
    // What was found but not added, and why, so the count above is not taken for the queue's.
    const int inside = delivery.found - int(delivery.sources.size());
    const int queued = int(delivery.sources.size()) - delivery.added;
    if (inside > 0 || queued > 0) {
        QStringList why;
        if (queued > 0)
            why << tr("%n already queued", nullptr, queued);
        if (inside > 0)
            why << tr("%n inside the destination folder %1", nullptr, inside).arg(native(delivery.destination));
        m_log->append(tr("%n added; not added: %1.", nullptr, delivery.added).arg(why.join(QStringLiteral("; "))),
                inside > 0 ? Severity::Warning : Severity::Information);
    }
}

void RunFeedback::onItemChanged(int index, const QueueItem &item)
{
    m_pendingRows.insert(item.id, item);
    if (!m_rowTimer->isActive())
        m_rowTimer->start();
    // With several files at once, the panel follows the one started last,
    // and when that one ends, the one started before it that still runs.
    const bool working = item.status == ItemStatus::Analysing || item.status == ItemStatus::Trimming;
    m_working.removeIf([index](const Working &w) { return w.index == index; });
    if (working) {
        m_working.append({ index, QFileInfo(item.path).fileName(), item.durationSec, 0 });
        showWorking();
        m_followId = item.id;
    } else if (index == m_currentIndex && !m_working.isEmpty()) {
        showWorking();
    }
    if (!working && item.status != ItemStatus::Pending) {
        m_audioDone += item.durationSec;
        ++m_filesDone;
    }

    switch (item.status) {
    case ItemStatus::Trimmed:
        m_panel->markToday();
        break;
    case ItemStatus::Skipped:
        m_panel->setSkipLit(true);
        break;
    case ItemStatus::Failed:
        m_panel->setErrorLit(true);
        break;
    default:
        break;
    }
}

// A result goes to the row of its item's id, or nowhere once that row is gone.
void RunFeedback::flushRows()
{
    m_rowTimer->stop();
    if (m_pendingRows.isEmpty())
        return;
    QueueModel *queue = m_view->queue();
    queue->setItemsById(m_pendingRows.values());
    m_pendingRows.clear();
    if (m_followId != 0) {
        const int row = queue->rowOfId(std::exchange(m_followId, 0));
        if (row >= 0)
            m_view->follow(row);
    }
}

void RunFeedback::showWorking()
{
    const Working &last = m_working.constLast();
    m_currentIndex = last.index;
    m_panel->setCurrentFile(last.name);
    m_panel->setFileProgress(last.percent);
}

void RunFeedback::onFileProgress(int index, int percent)
{
    for (Working &w : m_working) {
        if (w.index == index)
            w.percent = percent;
    }
    if (index == m_currentIndex)
        m_panel->setFileProgress(percent);
}

void RunFeedback::onBatchProgress(int done, int total)
{
    m_panel->setBatchProgress(total < 1 ? 0 : int(double(done) / total * 100.0));
    // Long files count from their first percent, not from their end.
    double runningDone = 0.0;
    double runningLeft = 0.0;
    for (const Working &w : std::as_const(m_working)) {
        runningDone += w.durationSec * w.percent / 100.0;
        runningLeft += w.durationSec * (100 - w.percent) / 100.0;
    }
    const int waiting = std::max(total - done - int(m_working.size()), 0);
    const QString left
            = timeLeft(m_audioDone, m_filesDone, waiting, m_clock.elapsed() / 1000.0, runningDone, runningLeft);
    m_status->setText(
            left.isEmpty() ? tr("%1 of %2").arg(done).arg(total) : tr("%1 of %2 - %3").arg(done).arg(total).arg(left));
}

QString RunFeedback::timeLeft(double audioDoneSec, int filesDone, int filesWaiting, double elapsedSec,
        double runningDoneSec, double runningLeftSec)
{
    constexpr int FewFiles = 3;
    if (filesDone < FewFiles || (filesWaiting <= 0 && runningLeftSec <= 0) || audioDoneSec <= 0 || elapsedSec <= 0)
        return QString();
    const double audioPerSecond = (audioDoneSec + runningDoneSec) / elapsedSec;
    const double audioLeft = audioDoneSec / filesDone * filesWaiting + runningLeftSec;
    const int minutes = int(std::ceil(audioLeft / audioPerSecond / 60.0));
    return minutes <= 1 ? tr("about a minute left") : tr("about %1 min left").arg(minutes);
}

void RunFeedback::onBatchFinished(const BatchSummary &summary, bool cancelled, bool analyseOnly)
{
    flushRows();
    m_clockTimer->stop();
    m_panel->setPhase(VfdPanel::Idle);
    m_panel->setElapsedSeconds(-1);
    const QString last = tr("LAST %1").arg(QTime::currentTime().toString(QStringLiteral("HH:mm")));
    // An analysis says what a trim of the same files would do.
    m_panel->setSummary(PanelStyle::join({ last, tr("%1 SCANNED").arg(summary.processed),
            analyseOnly ? tr("%1 WOULD CHANGE").arg(summary.wouldChange) : tr("%1 WRITTEN").arg(summary.written),
            tr("%1 SKIPPED").arg(summary.skipped), tr("%1 FAIL").arg(summary.failed),
            (analyseOnly ? tr("%1 S TO CUT") : tr("%1 S CUT")).arg(summary.secondsCut, 0, 'f', 1),
            (analyseOnly ? tr("%1 S TO ADD") : tr("%1 S ADDED")).arg(summary.secondsAdded, 0, 'f', 1) }));
    m_lastRun = RunTexts::totalsLine(summary, cancelled, analyseOnly);
    m_log->append(m_lastRun, summary.failed > 0 ? Severity::Warning : Severity::Success);
    m_status->setText(tr("Idle"));
    Q_EMIT finished();
}

void RunFeedback::onMessage(const QString &text, Severity severity)
{
    m_log->append(text, severity);
}

} // namespace ks
