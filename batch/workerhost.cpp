#include "workerhost.h"

#include "controller.h"
#include "recordtypes.h"

namespace ks {

WorkerHost::WorkerHost(QObject *parent)
    : QObject(parent)
    , m_controller(new Controller)
{
    registerRecordTypes();

    m_thread.setObjectName(QStringLiteral("kestrova-worker"));
    m_controller->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_controller, &QObject::deleteLater);
    connect(m_controller, &Controller::scanProgress, this, &WorkerHost::scanProgress);
    connect(m_controller, &Controller::scanFinished, this, &WorkerHost::scanFinished);
    connect(m_controller, &Controller::itemChanged, this, &WorkerHost::itemChanged);
    connect(m_controller, &Controller::fileProgress, this, &WorkerHost::fileProgress);
    connect(m_controller, &Controller::batchProgress, this, &WorkerHost::batchProgress);
    connect(m_controller, &Controller::batchFinished, this, &WorkerHost::batchFinished);
    connect(m_controller, &Controller::message, this, &WorkerHost::message);
    m_thread.start();
}

WorkerHost::~WorkerHost()
{
    requestStop();
    m_thread.quit();
    m_thread.wait();
}

// A token whose job holds no copy any more is finished: the job dropped it
// at its end, and no one else can take it up again.
StopToken WorkerHost::request(const std::function<void(Controller *, const StopToken &)> &job)
{
    const StopToken token = StopToken::make();
    {
        QMutexLocker lock(&m_tokensMutex);
        m_tokens.removeIf([](const StopToken &kept) { return !kept.isShared(); });
        m_tokens.append(token);
    }
    QMetaObject::invokeMethod(
            m_controller, [controller = m_controller, job, token] { job(controller, token); }, Qt::QueuedConnection);
    return token;
}

StopToken WorkerHost::scan(const QString &root, const QStringList &extensions, bool recursive)
{
    return request([=](Controller *controller, const StopToken &stop) {
        controller->scan(root, extensions, recursive, stop);
    });
}

StopToken WorkerHost::process(const QList<QueueItem> &items, const Settings &settings, bool analyseOnly)
{
    return request([=](Controller *controller, const StopToken &stop) {
        controller->process(items, settings, analyseOnly, stop);
    });
}

void WorkerHost::requestStop()
{
    QMutexLocker lock(&m_tokensMutex);
    for (const StopToken &token : std::as_const(m_tokens))
        token.raise();
}

} // namespace ks
