#pragma once

#include "stepresult.h"

#include <QString>

namespace ks {

struct MediaInfo;
class SilencePackets;

// Cuts AAC in an MP4 (M4A, M4B) to a stretch of what a decoder outputs,
// without decoding it: the access units are copied byte for byte, from the
// one before the stretch (the decoder's overlap) through the one holding its
// end, and the audio track's edit list says where output starts and how many
// samples it lasts. Tags, the cover and other boxes are kept as they were;
// chapters (Nero 'chpl', a chapter text track) move with the cut.
class Mp4Cutter final
{
public:
    // A file ffprobe read as AAC in an MP4, without SBR (HE-AAC); what only
    // its boxes tell (fragments, a second track, an edit list of several
    // entries, SBR signalled in its config) makes cut() leave it alone.
    static bool handles(const MediaInfo &source);

    // Writes `outputPath` with samples [firstSample, firstSample + sampleCount)
    // of `sourcePath`, and `silence` before and after them in plain AAC LC. A
    // file this does not take is left alone (Skipped).
    static StepResult cut(const QString &sourcePath, const QString &outputPath, qint64 firstSample, qint64 sampleCount,
            const SilencePackets &silence);

    // How many samples the audio track's edit list (or iTunes' gapless tag)
    // lets a decoder output; -1 when the file is not one cut() takes.
    static qint64 samplesOf(const QString &path);
};

} // namespace ks
