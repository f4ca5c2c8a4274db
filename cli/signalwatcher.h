#pragma once

#include <QObject>

#include <atomic>

class QSocketNotifier;

namespace ks {

// Turns SIGINT and SIGTERM into a Qt signal on the thread that made it,
// through a pipe the handler writes to. There is one per process.
//
// While a stop target is set (the flag of the job asked for last), the
// handler also raises it at once: on a terminal Ctrl-C reaches the running
// ffmpeg too, and the flag must be up before that child has ended, or its
// death would be taken for a failed file. Without a target (before any work starts) the first
// signal ends the process at once; so does a second signal at any time.
class SignalWatcher final : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    // The flag must outlive its time as the target.
    static void setStopTarget(std::atomic<bool> *flag);

    // The exit status of a process stopped by a signal.
    static constexpr int StoppedExitCode = 130;
    // ...and of one whose standard output was closed by its reader, as if
    // SIGPIPE had ended it.
    static constexpr int OutputClosedExitCode = 141;

Q_SIGNALS:
    void caught(int signalNumber);

private:
    Q_DISABLE_COPY_MOVE(SignalWatcher)
    void drain();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace ks
