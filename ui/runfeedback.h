#pragma once

#include "batchsummary.h"
#include "queueitem.h"
#include "severity.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>

class QLabel;
class QTimer;

namespace ks {

struct Settings;
class LogConsole;
class QueueView;
class VfdPanel;

// Follows a running scan or batch for the window: puts the worker's results
// into the queue, and keeps the panel, the status line, the log and the run
// clock up to date. Says `finished` when the window is idle again.
class RunFeedback final : public QObject
{
    Q_OBJECT

public:
    RunFeedback(QueueView *view, VfdPanel *panel, LogConsole *log, QLabel *status, QObject *parent = nullptr);

    // "about 3 min left" from the audio processed per second so far, once
    // a few files are done; empty before that. The files still running
    // count by the audio done and left in them, files waiting by the
    // average of those done.
    static QString timeLeft(double audioDoneSec, int filesDone, int filesWaiting, double elapsedSec,
            double runningDoneSec, double runningLeftSec);

    void showSettings(const Settings &settings);
    void scanStarted(const QString &folder);
    void batchStarted(bool analyseOnly, int count);
    // Puts the results still held back into the queue's rows at once.
    void flushRows();
    // The last run's totals line, kept with the queue between sessions.
    const QString &lastRun() const { return m_lastRun; }
    void setLastRun(const QString &line) { m_lastRun = line; }

public Q_SLOTS:
    void onScanProgress(int filesFound);
    void onScanFinished(const QStringList &files, const QString &root, bool cancelled);
    void onItemChanged(int index, const ks::QueueItem &item);
    void onFileProgress(int index, int percent);
    void onBatchProgress(int done, int total);
    void onBatchFinished(const ks::BatchSummary &summary, bool cancelled, bool analyseOnly);
    void onMessage(const QString &text, ks::Severity severity);

Q_SIGNALS:
    void finished();

private:
    Q_DISABLE_COPY_MOVE(RunFeedback)

    QueueView *m_view;
    VfdPanel *m_panel;
    LogConsole *m_log;
    QLabel *m_status;
    QTimer *m_clockTimer;
    QElapsedTimer m_clock;
    QStringList m_scanning; // folders asked for and not yet delivered, in the order asked
    // A scan's files on their way into the queue, a slice at a time.
    struct Delivery
    {
        QStringList sources; // found, less the destination's own copies
        QString root;
        QString destination;
        int found = 0;
        bool cancelled = false;
        qsizetype next = 0; // the first source not yet offered to the queue
        int added = 0;
    };
    QList<Delivery> m_deliveries; // in the order the scans finished
    void addNextSlice();
    void reportDelivery(const Delivery &delivery);
    double m_audioDone = 0.0; // seconds of audio in the files finished this run
    int m_filesDone = 0;
    // The files being worked on, in the order they started.
    struct Working
    {
        int index;
        QString name;
        double durationSec;
        int percent;
    };
    void showWorking();

    // Results reach the rows a few times a second, not one by one: each
    // change makes the table measure up to a thousand rows for its columns.
    QTimer *m_rowTimer;
    QHash<quint64, QueueItem> m_pendingRows; // by the item's id, the latest only
    quint64 m_followId = 0;                  // the file started last, to scroll to

    QList<Working> m_working;
    int m_currentIndex = -1; // the file the panel shows
    QString m_lastRun;
};

} // namespace ks
