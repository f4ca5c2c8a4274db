#pragma once

#include "batchsummary.h"
#include "clioptions.h"
#include "queueitem.h"
#include "settings.h"
#include "severity.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>

namespace ks {

class QueueModel;
class WorkerHost;

// One command-line run: takes the settings the window would use, lays the
// options over them, makes the window's checks, queues the paths the way the
// window queues files and folders, and drives the controller on its worker
// thread, printing what it reports. Ends with `finished` and the exit status.
class CliRunner final : public QObject
{
    Q_OBJECT

public:
    explicit CliRunner(const CliOptions &options, QObject *parent = nullptr);
    ~CliRunner() override;

    static constexpr int Success = 0;
    static constexpr int SomethingFailed = 1;
    static constexpr int Refused = 2;

public Q_SLOTS:
    void start();
    // A stop from the user (Ctrl-C, SIGTERM): the running file is abandoned
    // through the controller's stop flag and the totals are still printed.
    void stop();

Q_SIGNALS:
    void finished(int exitCode);
    void requestScan(const QString &root, const QStringList &extensions, bool recursive);
    void requestProcess(const QList<ks::QueueItem> &items, const ks::Settings &settings, bool analyseOnly);

private:
    Q_DISABLE_COPY_MOVE(CliRunner)

    enum class Phase { Idle, Queuing, Confirming, Running, Done };

    void startWorker();
    void queueNextPath();
    void allQueued();
    bool confirmInPlace(int count);
    void startBatch();
    struct Line
    {
        QString text;
        Severity level = Severity::Information;
    };
    void printLine(const QString &text, Severity level);
    void printFinished(bool all = false);
    void fileFinished(int index, const QList<Line> &lines);
    void finish(int exitCode);
    void refuse(const QString &reason);
    void restateStop();

    void onScanFinished(const QStringList &files, const QString &root, bool cancelled);
    void onItemChanged(int index, const ks::QueueItem &item);
    void onFileProgress(int index, int percent);
    void onBatchProgress(int done, int total);
    void onBatchFinished(const ks::BatchSummary &summary, bool cancelled, bool analyseOnly);
    void onMessage(const QString &text, ks::Severity severity);

    void printOut(const QString &line);
    void printErr(const QString &line);
    void complain(const QString &text) { printErr(QStringLiteral("kestrova-cli: ") + text); }
    void printTotals(const BatchSummary &summary, bool cancelled);
    void drawProgress();
    void clearProgress();

    CliOptions m_options;
    Settings m_settings;
    QueueModel *m_queue = nullptr;
    WorkerHost *m_worker = nullptr;
    Phase m_phase = Phase::Idle;

    QStringList m_pendingPaths;
    int m_missingPaths = 0;
    bool m_stopRequested = false;
    bool m_outputClosed = false;

    int m_current = -1; // the file started last
    int m_filePercent = 0;
    QMap<int, QList<Line>> m_reports; // finished files not printed yet, with their log lines
    int m_lastFinished = -1;
    int m_nextToPrint = 0;
    int m_done = 0;
    int m_total = 0;

    bool m_progressLine = false; // a live line on a terminal's standard error
    QString m_progressText;      // what the live line shows now, empty when cleared
    QString m_scanText;
};

} // namespace ks
