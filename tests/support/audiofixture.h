#pragma once

#include "toolpaths.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace ks::test {

// The shape of a generated test file: digital silence, a sine tone, digital
// silence. A tone of 0 s gives a file that is silent end to end.
struct ToneSpec
{
    double leadSec = 1.0;
    double toneSec = 2.0;
    double tailSec = 2.0;
    int sampleRate = 44100;
    int channels = 1;
    int frequency = 440;
};

// Generates audio with the real ffmpeg from its lavfi sources. The codec
// follows the suffix: mp3, wav, flac, ogg (vorbis), m4a (aac), aiff.
// `extraInputs` follow the generated input (another "-i" for a cover, say);
// `extraArgs` go just before the output path (tags, maps, ...).
// Returns an empty string on success, else what went wrong.
QString makeAudio(const QString &path, const ToneSpec &spec = {}, const QStringList &extraArgs = {},
                  const QStringList &extraInputs = {});

// Runs ffmpeg or ffprobe from the system path with `args`; returns standard
// output, and standard error in `err` when given. `ok` is false unless it exited 0.
QByteArray runFfmpeg(const QStringList &args, bool *ok = nullptr, QString *err = nullptr);
QByteArray runFfprobe(const QStringList &args, bool *ok = nullptr, QString *err = nullptr);

// ffprobe's format and streams of a file, as JSON.
QJsonObject probeJson(const QString &path);

// The length of the first audio stream as decoded, in seconds (samples / rate),
// independent of what the container declares.
double decodedSeconds(const QString &path);

QString ffmpegExecutable();
QString ffprobeExecutable();
// The system's ffmpeg and ffprobe, as a run would be handed them.
inline ToolPaths systemTools()
{
    return { ffmpegExecutable(), ffprobeExecutable(), {} };
}

} // namespace ks::test
