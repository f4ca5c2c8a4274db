#include "edgeplayer.h"

#include "toolrunner.h"

#include <QProcess>

namespace ks {

EdgePlayer::EdgePlayer(QObject *parent)
    : QObject(parent)
{
}

EdgePlayer::~EdgePlayer()
{
    stop();
}

void EdgePlayer::setProgram(const QString &ffplay)
{
    stop();
    m_program = ffplay;
}

void EdgePlayer::play(int what, const QStringList &arguments)
{
    stop();
    if (m_program.isEmpty())
        return;
    m_process = new QProcess(this);
    m_playing = what;
    QProcess *process = m_process;
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        if (process == m_process)
            end(status != QProcess::NormalExit || exitCode != 0);
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (process == m_process && error == QProcess::FailedToStart)
            end(true);
    });
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    bindToParent(*process); // no player outlives the window
    process->start(m_program, arguments, QIODevice::ReadOnly);
}

void EdgePlayer::stop()
{
    m_playing = -1;
    discardChild(std::exchange(m_process, nullptr), this);
}

void EdgePlayer::end(bool failed)
{
    stop();
    Q_EMIT ended(failed);
}

} // namespace ks
