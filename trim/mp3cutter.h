#pragma once

#include "stepresult.h"

#include <QByteArrayView>
#include <QString>

#include <initializer_list>

namespace ks {

struct MediaInfo;
class SilencePackets;

// Cuts an MP3 to a stretch of what a gapless decoder outputs, to the sample,
// without decoding it: the frames are copied byte for byte, with a few before
// the stretch for the decoder to settle on, behind a new Xing/Info frame whose
// LAME tag says how many samples to drop at each end (ffmpeg and mpg123 honour
// it). The tags at either end are kept as they were.
class Mp3Cutter final
{
public:
    // An MP3 whose layer III frames run unbroken between its tags.
    static bool handles(const MediaInfo &source);

    // Writes `outputPath` with samples [firstSample, firstSample + sampleCount)
    // of `sourcePath`, counted as a gapless decoder outputs them, and as much
    // silence as `silence` says before and after them, in frames of its own
    // that decode to nothing but zeros.
    static StepResult cut(const QString &sourcePath, const QString &outputPath, qint64 firstSample, qint64 sampleCount,
            const SilencePackets &silence);

    // How many samples a gapless decoder outputs for `path`, read from its
    // own frames and LAME tag; -1 when they do not tell.
    static qint64 samplesOf(const QString &path);
    // The same from the file's bytes alone, with the rate they play at; -1
    // for a file that is not such an MP3.
    static qint64 lengthOf(const QString &path, int &sampleRate);

    // Fails when `outputPath` is `sourcePath`, which a cut reads as it writes.
    static StepResult apart(const QString &sourcePath, const QString &outputPath);
    // Writes `pieces` one after the other as `outputPath`, which is removed again when that fails.
    static StepResult writeOut(const QString &outputPath, std::initializer_list<QByteArrayView> pieces);
};

} // namespace ks
