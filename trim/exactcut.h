#pragma once

#include "rewriteplan.h"
#include "stepresult.h"
#include "toolrunner.h"

#include <QString>

namespace ks {

struct MediaInfo;

// The one place a lossless, sample-exact cut is asked for: it turns the
// plan's seconds into samples and hands them to the cutter of the file's
// container and codec. Another cutter is one more line in its list.
class ExactCut final
{
public:
    static bool handles(const MediaInfo &source);

    // What the cut keeps, in samples of the decoded stream: where it begins
    // (on a packet boundary where a decoder would not honour any other
    // start), and how many (to a frame's end where it cannot end sooner); and the silence joined before and after it.
    // `first` is -1 for a file no cutter takes.
    struct Span
    {
        qint64 first = -1;
        qint64 count = 0;
        qint64 wantedFirst = 0; // where the plan wanted it to begin
        qint64 headPad = 0;
        qint64 tailPad = 0;
        qint64 total() const { return headPad + count + tailPad; } // what the written file decodes to
        qint64 wantedCount = 0; // and how many it wanted: a cut on whole frames keeps more
    };
    static Span spanOf(const QString &sourcePath, const RewritePlan::Cut &cut, const MediaInfo &source);

    // Writes `cut` of the source to `outputPath`, silence joined as the cut
    // pads it (coded by `ffmpeg` where the cutter needs it). Its `rewrite`
    // says how exactly (" (lossless, within 12 ms)" where the head could not
    // be); a file the cutter turns down is left alone (Skipped), with why,
    // for the caller's other ways.
    static StepResult write(const QString &sourcePath, const QString &outputPath, const RewritePlan::Cut &cut,
            const MediaInfo &source, const QString &ffmpeg = QString(), const CancelCallback &cancelled = {});

    // What a decoder will output from `path`, read from its own fields; -1 when that cannot be told.
    static qint64 samplesOf(const QString &path, const MediaInfo &source);

    // What a decoder outputs from a file a cutter knows by its bytes alone,
    // before anything has probed it.
    struct Length
    {
        qint64 samples = -1;
        int sampleRate = 0;
        bool known() const { return samples > 0 && sampleRate > 0; }
        double seconds() const { return known() ? double(samples) / sampleRate : 0.0; }
    };
    static Length lengthOf(const QString &path);

    // The rate samples are counted in: Opus always decodes at 48 kHz.
    static int sampleRate(const MediaInfo &source);
};

} // namespace ks
