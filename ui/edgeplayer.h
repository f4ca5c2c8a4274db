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

Q_SIGNALS:
    // Playing ended by itself, or could not start (`failed`).
    void ended(bool failed);

private:
    Q_DISABLE_COPY_MOVE(EdgePlayer)

    void end(bool failed);

    QString m_program;
    QProcess *m_process = nullptr;
    int m_playing = -1;
};

} // namespace ks
