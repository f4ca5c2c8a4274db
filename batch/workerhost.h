#pragma once

#include "batchsummary.h"
#include "queueitem.h"
#include "settings.h"
#include "severity.h"
#include "stoptoken.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <functional>

namespace ks {

class Controller;

// The worker thread and the controller that lives on it, as the window and
// the command line both use them. Each request goes over as a queued call
// with a stop token of its own; results come back as the controller's own
// signals, re-emitted here on the owner's thread. Destroying the host stops
// every job and waits for the thread.
class WorkerHost final : public QObject
{
    Q_OBJECT

public:
    explicit WorkerHost(QObject *parent = nullptr);
    ~WorkerHost() override;

    // Each returns the job's token, already raised if Stop comes before
    // the job starts.
    StopToken scan(const QString &root, const QStringList &extensions, bool recursive);
    StopToken process(const QList<ks::QueueItem> &items, const ks::Settings &settings, bool analyseOnly);
    // Raises the token of every job not yet finished, queued ones too.
    void requestStop();

    // The controller, to queue work of one's own on its thread (tests hold
    // the worker with it).
    Controller *controller() const { return m_controller; }

Q_SIGNALS:
    void scanProgress(int filesFound);
    void scanFinished(const QStringList &files, const QString &root, bool cancelled, int namesNotUtf8);
    void itemChanged(int index, const ks::QueueItem &item);
    void fileProgress(int index, int percent);
    void batchProgress(int done, int total);
    void batchFinished(const ks::BatchSummary &summary, bool cancelled, bool analyseOnly);
    void message(const QString &text, ks::Severity severity);

private:
    Q_DISABLE_COPY_MOVE(WorkerHost)

    StopToken request(const std::function<void(Controller *, const StopToken &)> &job);

    QThread m_thread;
    Controller *m_controller = nullptr;
    QMutex m_tokensMutex;
    QList<StopToken> m_tokens; // of the jobs requested and not known to be finished
};

} // namespace ks
