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
    connect(this, &WorkerHost::requestScan, m_controller, &Controller::scan);
    connect(this, &WorkerHost::requestProcess, m_controller, &Controller::process);
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
    m_controller->requestStop();
    m_thread.quit();
    m_thread.wait();
}

void WorkerHost::requestStop()
{
    m_controller->requestStop();
}

} // namespace ks
