#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QByteArray;
class QObject;
class QProcess;
class QStringDecoder;

namespace ks {

using CancelCallback = std::function<bool()>;
using ProgressCallback = std::function<void(int percent)>;
using LineCallback = std::function<void(const QString &line)>;

// How one run of an external tool ended, with everything it printed.
struct ToolRun
{
    bool started = false;
    bool cancelled = false;
    int exitCode = -1; // -1 until the child has finished on its own
    QString stdOut;
    QString stdErr;       // or the runner's own reason when the child did not run
    bool stalled = false; // stopped for making no progress; its reason ends stdErr
};

// A child that prints nothing for this long is stopped. ffmpeg's progress
// lines keep coming however long the file and ffprobe answers at once, so
// one this quiet will never finish (a stuck network mount, a blocked read).
constexpr int DefaultStallLimitMs = 5 * 60 * 1000;

// The limit every later run in this process keeps to.
void setStallLimit(int ms);
int stallLimit();

// Makes a child started by `process` die with this process (on Linux), so a
// killed program leaves no tool running on.
void bindToParent(QProcess &process);

// Why `path` must not be handed to a tool as input, or an empty string. A
// FIFO or a device would keep the child waiting or reading for ever; a path
// that does not exist is left for the tool to report.
QString inputRefusal(const QString &path);

// Runs `program` with `arguments` (never through a shell) and blocks until it
// ends, which is noticed at once. Output and error arrive line by line on the
// callbacks while it runs; `cancelled` is polled at least every 100 ms and
// kills the child when it says so, as does the stall limit. Any callback may
// be empty. Callers judge success by exitCode 0.
ToolRun runTool(const QString &program, const QStringList &arguments, const CancelCallback &cancelled,
        const LineCallback &onStdOut, const LineCallback &onStdErr);

// Decodes one chunk read from a channel and appends it to `total`; with a
// callback, also hands every complete line (trimmed, empty ones included) to
// it and keeps the unfinished rest in `pending`. The decoder is the channel's
// own for the whole run, so a character split between two reads comes out whole.
void feedLines(
        QStringDecoder &decoder, QString &pending, const QByteArray &chunk, const LineCallback &onLine, QString &total);

// Ends a child started asynchronously: kills it if still running, reaps it
// so nothing is left behind, and deletes the process object later. Its
// signals no longer reach `receiver`.
void discardChild(QProcess *process, const QObject *receiver);

// Seconds of output position in one line of ffmpeg's "-progress" stream, or
// -1.0 when the line carries none.
double progressSeconds(const QString &line);

// The shared progress handler of the ffmpeg steps: turns a progress line into
// a whole percentage of `expectedSec` and reports it.
void reportProgressLine(const QString &line, double expectedSec, const ProgressCallback &progress);

} // namespace ks
