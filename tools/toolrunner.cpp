#include "toolrunner.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>

#include <algorithm>

namespace ks {

namespace {

constexpr int StartTimeoutMs = 8000;
constexpr int PollIntervalMs = 100;
constexpr int KillTimeoutMs = 3000;

void flushPending(const QString &pending, const LineCallback &onLine)
{
    if (!onLine)
        return;
    const QString rest = pending.trimmed();
    if (!rest.isEmpty())
        onLine(rest);
}

} // namespace

void feedLines(QStringDecoder &decoder, QString &pending, const QByteArray &chunk, const LineCallback &onLine,
               QString &total)
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
        feedLines(outDecoder, outPending, process.readAllStandardOutput(), onStdOut, run.stdOut);
        feedLines(errDecoder, errPending, process.readAllStandardError(), onStdErr, run.stdErr);
    };

    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(PollIntervalMs);
        readBoth();
        if (cancelled && cancelled()) {
            process.kill();
            process.waitForFinished(KillTimeoutMs);
            run.cancelled = true;
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
