#pragma once

#include "batchsummary.h"
#include "queueitem.h"
#include "settings.h"
#include "severity.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <atomic>

class QThreadPool;

namespace ks {

// The worker of the program. It lives on its own thread and does the slow
// jobs: folder scans, and batches of several files at once on a small pool
// of threads of its own, each file with its own child processes. The window
// starts them through queued calls and hears back only through the signals,
// results by value; the one thing both sides touch is the stop flag.
class Controller final : public QObject
{
    Q_OBJECT

public:
    explicit Controller(QObject *parent = nullptr);

    // Asks the running job to stop; safe from any thread, and to repeat.
    void requestStop() { m_stop.store(true); }
    bool isBusy() const { return m_busy.load(); }

    // "head -1.250 s, tail -" for result texts and log lines.
    static QString describeChange(const QueueItem &item);

    // Files worked on at once for the setting: 0 is one per processor core.
    static int jobCount(int parallelJobs);

public Q_SLOTS:
    void scan(const QString &root, const QStringList &extensions, bool recursive);
    void process(const QList<ks::QueueItem> &items, const ks::Settings &settings, bool analyseOnly);

Q_SIGNALS:
    void scanFinished(const QStringList &files, const QString &root, bool cancelled);
    void itemChanged(int index, const ks::QueueItem &item);
    void fileProgress(int index, int percent);
    void batchProgress(int done, int total);
    void batchFinished(const ks::BatchSummary &summary, bool cancelled, bool analyseOnly);
    void message(const QString &text, ks::Severity severity);

private:
    Q_DISABLE_COPY_MOVE(Controller)

    struct Run;
    void runFiles(Run &run);
    void processFile(Run &run, int index);

    QThreadPool *m_pool;
    std::atomic<bool> m_stop{ false };
    std::atomic<bool> m_busy{ false };
};

} // namespace ks
