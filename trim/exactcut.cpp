#include "exactcut.h"

#include "mediaprobe.h"
#include "mp2cutter.h"
#include "mp3cutter.h"
#include "mp4cutter.h"
#include "oggcutter.h"
#include "silencepackets.h"

#include <algorithm>
#include <cmath>

namespace ks {

namespace {

struct Cutter
{
    bool (*handles)(const MediaInfo &source);
    StepResult (*cut)(const QString &sourcePath, const QString &outputPath, qint64 firstSample, qint64 sampleCount,
            const SilencePackets &silence);
    qint64 (*samplesOf)(const QString &path);
    // Where a cut meant to begin at a sample begins, for a cutter that cannot begin on every one.
    qint64 (*firstKept)(const QString &sourcePath, qint64 firstSample) = nullptr;
    // The same count and its rate from the file's bytes, with no probe to say what it is.
    qint64 (*lengthOf)(const QString &path, int &sampleRate) = nullptr;
    // Where a cut meant to end before a sample ends, for a cutter that cuts on whole frames.
    qint64 (*endKept)(const QString &sourcePath, qint64 endSample) = nullptr;
};

const Cutter Cutters[] = {
    { OggCutter::handles, OggCutter::cut, OggCutter::samplesOf, OggCutter::firstKept, OggCutter::lengthOf },
    { Mp3Cutter::handles, Mp3Cutter::cut, Mp3Cutter::samplesOf, nullptr, Mp3Cutter::lengthOf },
    { Mp2Cutter::handles, Mp2Cutter::cut, Mp3Cutter::samplesOf, Mp2Cutter::firstKept, Mp3Cutter::lengthOf,
            Mp2Cutter::endKept },
    { Mp4Cutter::handles, Mp4Cutter::cut, Mp4Cutter::samplesOf },
};

const Cutter *cutterFor(const MediaInfo &source)
{
    for (const Cutter &cutter : Cutters) {
        if (cutter.handles(source))
            return &cutter;
    }
    return nullptr;
}

} // namespace

bool ExactCut::handles(const MediaInfo &source)
{
    return cutterFor(source) != nullptr;
}

ExactCut::Length ExactCut::lengthOf(const QString &path)
{
    for (const Cutter &cutter : Cutters) {
        Length length;
        if (cutter.lengthOf)
            length.samples = cutter.lengthOf(path, length.sampleRate);
        if (length.known())
            return length;
    }
    return {};
}

int ExactCut::sampleRate(const MediaInfo &source)
{
    return source.codec == QLatin1String("opus") ? 48000 : source.sampleRate;
}

ExactCut::Span ExactCut::spanOf(const QString &sourcePath, const RewritePlan::Cut &cut, const MediaInfo &source)
{
    Span span;
    const Cutter *cutter = cutterFor(source);
    const qint64 total = cutter ? cutter->samplesOf(sourcePath) : -1;
    if (total < 0)
        return span;
    const int rate = sampleRate(source);
    span.wantedFirst = std::llround(cut.startSec * rate);
    // The plan's length is ffprobe's, which counts an Opus pre-skip in.
    const qint64 wantedEnd = std::min(span.wantedFirst + std::llround(cut.keptSec * rate), total);
    span.wantedCount = wantedEnd - span.wantedFirst;
    const qint64 end = cutter->endKept ? std::min(cutter->endKept(sourcePath, wantedEnd), total) : wantedEnd;
    span.first = cutter->firstKept ? cutter->firstKept(sourcePath, span.wantedFirst) : span.wantedFirst;
    span.count = span.first < 0 ? 0 : end - span.first;
    span.headPad = std::llround(cut.headPadSec * rate);
    span.tailPad = std::llround(cut.tailPadSec * rate);
    return span;
}

StepResult ExactCut::write(const QString &sourcePath, const QString &outputPath, const RewritePlan::Cut &cut,
        const MediaInfo &source, const QString &ffmpeg, const CancelCallback &cancelled)
{
    const Span span = spanOf(sourcePath, cut, source);
    if (span.first < 0)
        return StepResult::leftAlone(QStringLiteral("not a file a lossless cut takes"));
    const SilencePackets silence(span.headPad, span.tailPad, ffmpeg, cancelled);
    StepResult result = cutterFor(source)->cut(sourcePath, outputPath, span.first, span.count, silence);
    // How far either end lies outside the plan: a start on a packet before
    // it, or whole frames at both ends.
    const qint64 off
            = std::max(span.wantedFirst - span.first, span.first + span.count - span.wantedFirst - span.wantedCount);
    const bool framed = cutterFor(source)->endKept != nullptr;
    result.rewrite = off == 0 ? QStringLiteral(" (lossless, exact)")
                              : QStringLiteral(" (lossless, within %1 ms%2)")
                                        .arg(std::ceil(off * 1000.0 / sampleRate(source)), 0, 'f', 0)
                                        .arg(framed ? QStringLiteral(" (frame)") : QString());
    return result;
}

qint64 ExactCut::samplesOf(const QString &path, const MediaInfo &source)
{
    const Cutter *cutter = cutterFor(source);
    return cutter ? cutter->samplesOf(path) : -1;
}

} // namespace ks
