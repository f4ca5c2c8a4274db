#pragma once

#include "batchsummary.h"
#include "queueitem.h"
#include "settings.h"
#include "severity.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QThread>

namespace ks {

class Controller;

// The worker thread and the controller that lives on it, as the window and
// the command line both use them. Requests go over as queued calls, results
// come back as the controller's own signals, re-emitted here on the owner's
// thread. Destroying the host stops the job and waits for the thread.
class WorkerHost final : public QObject
{
    Q_OBJECT

public:
    explicit WorkerHost(QObject *parent = nullptr);
    ~WorkerHost() override;

    // The controller, for its thread-safe stop flag only.
    Controller *controller() const { return m_controller; }
    void requestStop();

Q_SIGNALS:
    void requestScan(const QString &root, const QStringList &extensions, bool recursive);
    void requestProcess(const QList<ks::QueueItem> &items, const ks::Settings &settings, bool analyseOnly);

    void scanFinished(const QStringList &files, const QString &root, bool cancelled);
    void itemChanged(int index, const ks::QueueItem &item);
    void fileProgress(int index, int percent);
    void batchProgress(int done, int total);
    void batchFinished(const ks::BatchSummary &summary, bool cancelled, bool analyseOnly);
    void message(const QString &text, ks::Severity severity);

private:
    Q_DISABLE_COPY_MOVE(WorkerHost)

    QThread m_thread;
    Controller *m_controller = nullptr;
};

} // namespace ks
