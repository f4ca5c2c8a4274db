#pragma once

#include "batchsummary.h"
#include "clioptions.h"
#include "clireport.h"
#include "progressline.h"
#include "queueitem.h"
#include "resumelist.h"
#include "runcheck.h"
#include "settings.h"
#include "severity.h"
#include "stoptoken.h"

#include <QList>
#include <QObject>
#include <QStringList>

namespace ks {

class QueueModel;
class WorkerHost;

// One command-line run: takes the settings the window would use, lays the
// options over them, makes the window's checks, queues the paths the way the
// window queues files and folders, and drives the controller on its worker
// thread; the report prints what it says. Ends with `finished` and the exit status.
class CliRunner final : public QObject
{
    Q_OBJECT

public:
    explicit CliRunner(const CliOptions &options, QObject *parent = nullptr);
    ~CliRunner() override;

    static constexpr int Success = 0;
    static constexpr int SomethingFailed = 1;
    static constexpr int Refused = 2;

    // Paths given as bytes that are not valid UTF-8, as FolderScan::escapedName
    // shows them (and as they stand among the options' paths): each is skipped, named.
    void setNamesNotUtf8(const QStringList &escaped) { m_namesNotUtf8Given = escaped; }

    // What the command line adds to a refusal's sentence: the option that mends it.
    static QString refusalHint(RunRefusal refusal);

public Q_SLOTS:
    void start();
    // A stop from the user (Ctrl-C, SIGTERM): every job asked for is stopped
    // through its token and the totals are still printed.
    void stop();

Q_SIGNALS:
    void finished(int exitCode);

private:
    Q_DISABLE_COPY_MOVE(CliRunner)

    enum class Phase { Idle, Queuing, Confirming, Running, Done };

    bool readPathList();
    void startWorker();
    void follow(const StopToken &job);
    void queueNextPath();
    QStringList notDoneBefore(const QStringList &files, const QString &root);
    void allQueued();
    bool confirmInPlace(int count);
    void startBatch();
    void finish(int exitCode);
    void refuse(RunRefusal refusal);
    void refuse(const QString &reason);

    void onScanProgress(int filesFound);
    void onScanFinished(const QStringList &files, const QString &root, bool cancelled, int namesNotUtf8);
    void onItemChanged(int index, const ks::QueueItem &item);
    void onFileProgress(int index, int percent);
    void onBatchProgress(int done, int total);
    void onBatchFinished(const ks::BatchSummary &summary, bool cancelled, bool analyseOnly);
    void onMessage(const QString &text, ks::Severity severity);

    void printOut(const QString &line);
    void printErr(const QString &line);
    void complain(const QString &text) { printErr(QStringLiteral("kestrova-cli: ") + text); }
    void printTotals(const BatchSummary &summary, bool cancelled);
    bool writeCsv();
    void drawProgress();

    CliOptions m_options;
    Settings m_settings;
    QueueModel *m_queue = nullptr;
    WorkerHost *m_worker = nullptr;
    Phase m_phase = Phase::Idle;
    CliReport m_report;
    ProgressLine m_progress;
    QList<StopToken> m_jobs; // every job asked for, kept while a signal handler may raise one

    QStringList m_pendingPaths;
    ResumeList m_resume;
    QList<QJsonObject> m_resumed; // the earlier records of the files passed over, in queue order
    QString m_base;               // --base, absolute, when copies are mirrored
    int m_missingPaths = 0;
    QStringList m_namesNotUtf8Given;
    int m_namesNotUtf8 = 0; // files skipped for a name Qt cannot hold, counted among the skipped
    bool m_stopRequested = false;
    bool m_outputClosed = false;

    int m_current = -1; // the file started last
    int m_filePercent = 0;
    int m_done = 0;
    int m_total = 0;
    QString m_scanText; // "Scanning FOLDER" while a scan goes on
    int m_scanFound = 0;
};

} // namespace ks
