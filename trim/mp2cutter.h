#pragma once

#include "silencepackets.h"
#include "stepresult.h"

#include <QString>

namespace ks {

struct MediaInfo;

// Cuts an MP2 (MPEG audio layer II) file on its frames, without decoding
// it. A layer II frame holds all its own data and there is no field to say
// what a decoder should drop, so a cut copies whole frames byte for byte,
// from the one that holds its first sample to the one that holds its last,
// between the source's ID3 tags as they were.
class Mp2Cutter final
{
public:
    static constexpr int FrameSamples = 1152;

    // An MP2 whose frames run unbroken between its tags.
    static bool handles(const MediaInfo &source);

    // Writes `outputPath` with the frames that hold samples
    // [firstSample, firstSample + sampleCount) of `sourcePath`; a cut that
    // asks for `silence` is left to a re-encode.
    static StepResult cut(const QString &sourcePath, const QString &outputPath, qint64 firstSample, qint64 sampleCount,
            const SilencePackets &silence);

    // Where the frame holding `sample` begins.
    static qint64 firstKept(const QString &sourcePath, qint64 sample);
    // Where the frame holding the sample before `end` ends.
    static qint64 endKept(const QString &sourcePath, qint64 end);
};

} // namespace ks
