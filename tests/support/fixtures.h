#pragma once

#include "toolpaths.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstring>

namespace ks::test {

// The shape of a generated test file: digital silence, a sine tone, digital
// silence. A tone of 0 s gives a file that is silent end to end.
struct ToneShape
{
    double leadSec = 1.0;
    double toneSec = 2.0;
    double tailSec = 2.0;
    int sampleRate = 44100;
    int channels = 1;
    int frequency = 440;
};

// Generates audio with the real ffmpeg from its lavfi sources, the codec by the
// suffix (mp3, wav, flac, ogg, m4a, aiff); `extraInputs` follow the generated
// input (a cover), `extraArgs` precede the output. The file is dated an hour back, as a recording long
// finished. Returns what went wrong, if anything.
QString makeAudio(const QString &path, const ToneShape &spec = {}, const QStringList &extraArgs = {},
        const QStringList &extraInputs = {});

// Generates audio from any lavfi source (an "aevalsrc=..." expression of
// sound and silence), the codec by the suffix as for makeAudio; `extraArgs`
// precede the output. Returns what went wrong, if anything.
QString makeFromSource(const QString &path, const QString &source, const QStringList &extraArgs = {});

// Runs the system's ffprobe with `args` and returns its standard output.
QByteArray runFfprobe(const QStringList &args);
// ffprobe's format and streams of a file, as JSON.
QJsonObject probeJson(const QString &path);
// The length of the first audio stream as decoded, in seconds (samples / rate),
// independent of what the container declares; -1 if it cannot be decoded.
double decodedSeconds(const QString &path);

QString ffmpegExecutable();
// The system's ffmpeg and ffprobe, as a run would be handed them.
ToolPaths systemTools();

// An executable shell script `dir`/`name` with `body`, standing in for ffmpeg
// or ffprobe where the real tool cannot fail the way a test needs (hang, print
// garbage, exit 1, write nothing). Returns its path, empty if it cannot be written.
QString writeFakeTool(const QString &dir, const QString &name, const QByteArray &body);

// A file's bytes, empty when it cannot be read.
QByteArray contents(const QString &path);
// Writes `bytes` as the whole of `path`, its folder made as needed.
bool writeFile(const QString &path, const QByteArray &bytes);
// Dates `path`, by default an hour back: a file changed moments ago may still be being written.
bool dateBack(const QString &path, const QDateTime &when = QDateTime::currentDateTime().addSecs(-3600));

// A file's SHA-256, or an empty array when it cannot be read: enough to show
// that a file is byte for byte what it was.
QByteArray sha256(const QString &path);
// The rewrite's temporary files (".name.kstmp.suffix") anywhere below `folder`;
// a finished or stopped run must leave none.
QStringList temporaryFiles(const QString &folder);

// What a program that ran to a good end wrote on its standard output; empty otherwise.
QByteArray programOutput(const QString &program, const QStringList &args);

// How a program ran: its exit status (-1: it did not start, or crashed) and what it wrote.
struct ProgramRun
{
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs `program` in `folder` (empty: the current one) for as long as it takes.
ProgramRun runProgram(const QString &program, const QStringList &args, const QString &folder = {});

// Raw interleaved samples (s16le, f32le) as numbers.
template<typename Sample>
QList<Sample> pcmSamples(const QByteArray &pcm)
{
    QList<Sample> samples(pcm.size() / qsizetype(sizeof(Sample)));
    std::memcpy(samples.data(), pcm.constData(), size_t(samples.size()) * sizeof(Sample));
    return samples;
}

// How close `cut` is to the stretch of `source` it was cut from (beginning at
// `offset`), past its first `skip` samples, in dB; infinite when equal.
template<typename Sample>
double signalToNoise(const QList<Sample> &source, qint64 offset, const QList<Sample> &cut, qint64 skip = 0)
{
    double signal = 0;
    double noise = 0;
    for (qint64 i = skip; i < cut.size() && offset + i < source.size(); ++i) {
        const double wanted = source.at(offset + i);
        signal += wanted * wanted;
        noise += (cut.at(i) - wanted) * (cut.at(i) - wanted);
    }
    return noise == 0 ? INFINITY : 10 * std::log10(signal / noise);
}

} // namespace ks::test

// `actual` within `tolerance` of `expected`; a failure names the value and both numbers.
#define COMPARE_NEAR(actual, expected, tolerance)                                                                      \
    QVERIFY2(qAbs((actual) - (expected)) <= (tolerance),                                                               \
            qPrintable(QStringLiteral("%1 is %2, %3 expected (within %4)")                                             \
                               .arg(QLatin1String(#actual))                                                            \
                               .arg(actual)                                                                            \
                               .arg(expected)                                                                          \
                               .arg(tolerance)))
