#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

namespace ks {

// Plays one stretch of a file through ffplay, one at a time. The child is
// the player's own and never outlives it.
class EdgePlayer final : public QObject
{
    Q_OBJECT

public:
    explicit EdgePlayer(QObject *parent = nullptr);
    ~EdgePlayer() override;

    // The ffplay to play with; empty when there is none.
    void setProgram(const QString &ffplay);
    bool isAvailable() const { return !m_program.isEmpty(); }

    // Starts ffplay with `arguments`, after stopping what was playing;
    // `what` names the stretch, for playing() to tell.
    void play(int what, const QStringList &arguments);
    void stop();
    int playing() const { return m_playing; } // -1: nothing

    // Why a player that ended heard nothing: it was not started, it failed,
    // or it found no audio device (ffplay then ends at once and says so
    // only on its error output). Empty when it played.
    static QString problemOf(bool started, bool normalExit, int exitCode, const QByteArray &errorOutput);

Q_SIGNALS:
    // Playing ended by itself; `problem` says why nothing was heard, or is empty.
    void ended(const QString &problem);

private:
    Q_DISABLE_COPY_MOVE(EdgePlayer)

    void end(const QString &problem);

    QString m_program;
    QProcess *m_process = nullptr;
    int m_playing = -1;
};

} // namespace ks
