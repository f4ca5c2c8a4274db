#pragma once

#include "stepresult.h"

#include <QString>

namespace ks {

struct MediaInfo;
class SilencePackets;

// Cuts Ogg Opus and Ogg Vorbis without decoding: the coded packets are
// copied byte for byte and only the container's fields (the Opus pre-skip,
// the granule positions) say where playback starts and ends. Samples count
// in the decoded stream, at 48 kHz for Opus and at the stream's rate for
// Vorbis, from the first sample a decoder outputs.
class OggCutter final
{
public:
    // An Ogg file whose audio ffprobe read as Opus or Vorbis; what only its
    // pages tell (a chain, a second stream) makes cut() leave it alone.
    static bool handles(const MediaInfo &source);

    // Writes `sampleCount` samples from `firstSample` to `outputPath`, with
    // `silence` joined before and after them in Opus (Vorbis silence would
    // need the file's own codebooks). A file this does not take is left alone
    // (Skipped), for the caller's other ways.
    static StepResult cut(const QString &sourcePath, const QString &outputPath, qint64 firstSample, qint64 sampleCount,
            const SilencePackets &silence);

    // Where a cut meant to begin at `firstSample` begins so that every
    // decoder starts there: ffmpeg ignores a Vorbis start discard, so
    // Vorbis begins on the packet boundary at or before it. -1 when the file
    // is not taken.
    static qint64 firstKept(const QString &sourcePath, qint64 firstSample);

    // What a decoder outputs, from the file's own fields: the last granule
    // less the pre-skip (Opus) or start discard (Vorbis); -1 when it cannot tell.
    static qint64 samplesOf(const QString &path);
    // The same with the rate it plays at, from the file's bytes alone.
    static qint64 lengthOf(const QString &path, int &sampleRate);
};

} // namespace ks
