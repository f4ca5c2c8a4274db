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
            end(problemOf(true, status == QProcess::NormalExit, exitCode, process->readAllStandardError()));
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (process == m_process && error == QProcess::FailedToStart)
            end(problemOf(false, false, -1, {}));
    });
    process->setStandardOutputFile(QProcess::nullDevice());
    bindToParent(*process); // no player outlives the window
    process->start(m_program, arguments, QIODevice::ReadOnly);
}

void EdgePlayer::stop()
{
    m_playing = -1;
    discardChild(std::exchange(m_process, nullptr), this);
}

void EdgePlayer::end(const QString &problem)
{
    stop();
    Q_EMIT ended(problem);
}

QString EdgePlayer::problemOf(bool started, bool normalExit, int exitCode, const QByteArray &errorOutput)
{
    if (!started)
        return tr("the player could not be started");
    // SDL's words when it has no device to open, whatever the exit status.
    for (const char *noDevice : { "audio open failed", "No available audio device", "Audio subsystem is not" }) {
        if (errorOutput.contains(noDevice))
            return tr("no audio device could be opened");
    }
    if (!normalExit || exitCode != 0)
        return tr("the player stopped with an error");
    return QString();
}

} // namespace ks
