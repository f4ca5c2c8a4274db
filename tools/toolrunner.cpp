#include "toolrunner.h"

#include "toolmessage.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>

#include <algorithm>
#include <atomic>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace ks {

namespace {

constexpr int StartTimeoutMs = 8000;
constexpr int StopPollMs = 100;
constexpr int KillTimeoutMs = 3000;

std::atomic<int> g_stallLimitMs{ DefaultStallLimitMs };

void flushPending(const QString &pending, const LineCallback &onLine)
{
    if (!onLine)
        return;
    const QString rest = pending.trimmed();
    if (!rest.isEmpty())
        onLine(rest);
}

} // namespace

void feedLines(
        QStringDecoder &decoder, QString &pending, const QByteArray &chunk, const LineCallback &onLine, QString &total)
{
    if (chunk.isEmpty())
        return;
    const QString text = decoder.decode(chunk);
    total += text;
    if (!onLine)
        return;
    pending += text;
    qsizetype newline;
    while ((newline = pending.indexOf(QLatin1Char('\n'))) >= 0) {
        onLine(pending.left(newline).trimmed());
        pending.remove(0, newline + 1);
    }
}

void setStallLimit(int ms)
{
    g_stallLimitMs = std::max(ms, 1);
}

int stallLimit()
{
    return g_stallLimitMs;
}

void bindToParent(QProcess &process)
{
#ifdef Q_OS_LINUX
    // In the child, between fork and exec: only async-signal-safe calls. A
    // parent gone before the flag was set would never send the signal. The
    // signal follows the thread that started the child, which runTool keeps
    // waiting until the child ends.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
    });
#else
    Q_UNUSED(process)
#endif
}

QString inputRefusal(const QString &path)
{
    const QFileInfo input(path);
    if (input.exists() && !input.isFile())
        return QStringLiteral("not a regular file");
    return QString();
}

ToolRun runTool(const QString &program, const QStringList &arguments, const CancelCallback &cancelled,
        const LineCallback &onStdOut, const LineCallback &onStdErr)
{
    ToolRun run;
    if (program.isEmpty()) {
        run.stdErr = QStringLiteral("tool not found");
        return run;
    }

    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    bindToParent(process);
    // The child's standard input stays an open pipe that is never written.
    process.start(program, arguments, QIODevice::ReadWrite);
    if (!process.waitForStarted(StartTimeoutMs)) {
        run.stdErr = QStringLiteral("failed to start %1").arg(QFileInfo(program).fileName());
        return run;
    }
    run.started = true;

    QStringDecoder outDecoder(QStringDecoder::System);
    QStringDecoder errDecoder(QStringDecoder::System);
    QString outPending;
    QString errPending;
    const auto readBoth = [&] {
        const QByteArray out = process.readAllStandardOutput();
        const QByteArray err = process.readAllStandardError();
        feedLines(outDecoder, outPending, out, onStdOut, run.stdOut);
        feedLines(errDecoder, errPending, err, onStdErr, run.stdErr);
        return !out.isEmpty() || !err.isEmpty();
    };
    const auto stop = [&process] {
        process.kill();
        process.waitForFinished(KillTimeoutMs);
    };

    // Output on standard output ends a wait at once, and so does the child's
    // end; once standard output is closed, only the end can. The slice bounds
    // how late a stop is seen (the callback can only be polled) and nothing
    // else: with no stop to watch, the wait lasts up to the stall limit.
    bool outputClosed = false;
    QObject::connect(&process, &QProcess::readChannelFinished, [&outputClosed] { outputClosed = true; });
    const int limit = stallLimit();
    QElapsedTimer quiet;
    quiet.start();
    while (process.state() != QProcess::NotRunning) {
        const qint64 left = limit - quiet.elapsed();
        const int wait = int(std::clamp<qint64>(left, 1, cancelled ? StopPollMs : left));
        if (outputClosed)
            process.waitForFinished(wait);
        else
            process.waitForReadyRead(wait);
        if (readBoth())
            quiet.restart();
        if (cancelled && cancelled()) {
            stop();
            run.cancelled = true;
            return run;
        }
        if (process.state() != QProcess::NotRunning && quiet.hasExpired(limit)) {
            stop();
            flushPending(outPending, onStdOut);
            flushPending(errPending, onStdErr);
            run.stalled = true;
            if (!run.stdErr.isEmpty() && !run.stdErr.endsWith(QLatin1Char('\n')))
                run.stdErr += QLatin1Char('\n');
            run.stdErr += ToolMessage::stalled(QFileInfo(program).fileName(), limit);
            return run;
        }
    }

    readBoth();
    flushPending(outPending, onStdOut);
    flushPending(errPending, onStdErr);
    run.exitCode = process.exitCode();
    return run;
}

void discardChild(QProcess *process, const QObject *receiver)
{
    if (!process)
        return;
    process->disconnect(receiver);
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(KillTimeoutMs);
    }
    process->deleteLater();
}

double progressSeconds(const QString &line)
{
    const QString value = line.mid(line.indexOf(QLatin1Char('=')) + 1);
    if (line.startsWith(QLatin1String("out_time_us=")))
        return value.toDouble() / 1000000.0;
    if (line.startsWith(QLatin1String("out_time="))) {
        const QStringList parts = value.trimmed().split(QLatin1Char(':'));
        if (parts.size() != 3)
            return -1.0;
        return parts.at(0).toDouble() * 3600.0 + parts.at(1).toDouble() * 60.0 + parts.at(2).toDouble();
    }
    return -1.0;
}

void reportProgressLine(const QString &line, double expectedSec, const ProgressCallback &progress)
{
    if (!progress || expectedSec <= 0)
        return;
    const double seconds = progressSeconds(line);
    if (!(seconds >= 0)) // also refuses NaN
        return;
    const double percent = seconds / expectedSec * 100.0;
    progress(std::clamp(static_cast<int>(std::min(percent, 1000.0)), 0, 100));
}

} // namespace ks
