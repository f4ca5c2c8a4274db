#include "rewriteplan.h"

#include "codectable.h"
#include "exactcut.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "settings.h"
#include "textformat.h"

#include <algorithm>
#include <cmath>

namespace ks {

RewritePlan RewritePlan::make(const QueueItem &item, const Settings &settings, const MediaInfo &source,
        const EncoderList &encoders, bool exact, const QString &whyNotExact)
{
    RewritePlan plan;
    plan.m_cut = cutFor(item);
    // Only the audio would be written: a film or a clip would lose its picture.
    if (source.videos > 0) {
        plan.m_verdict = StepResult::leftAlone(QStringLiteral("has a video stream - left alone"));
        return plan;
    }
    const Cut &cut = plan.m_cut;
    if (cut.keptSec <= MinimumLength + 1e-9) {
        const bool changes = cut.startSec > 0 || cut.keptSec < item.durationSec || cut.needsPadding();
        plan.m_verdict = changes ? StepResult::failure(QStringLiteral("nothing would be left after the trim"))
                                 : StepResult::leftAlone(QStringLiteral("nothing to change - left alone"));
        return plan;
    }
    const bool copyWanted = settings.trimMethod == TrimMethod::StreamCopy;
    // The exact cutters join coded silence to the file's own frames, as a copy would.
    if (copyWanted && exact && ExactCut::handles(source)) {
        plan.m_method = Method::Exact;
        plan.m_reason = QStringLiteral(" (lossless, exact)");
        return plan;
    }
    if (cut.needsPadding() && copyWanted && settings.padFallback == PadFallback::Skip) {
        plan.m_verdict
                = StepResult::leftAlone(QStringLiteral("needs %1 s of silence added, which a stream copy cannot do")
                                                .arg(fixed(cut.headPadSec + cut.tailPadSec, 2)));
        return plan;
    }
    // The source's codec decides the encoder, and whether a copy would cut exactly.
    if (!cut.needsPadding() && copyWanted && !CodecTable::needsReencode(source.codec))
        return plan;

    plan.m_method = Method::ReEncode;
    plan.m_encoder = CodecTable::encoderFor(source.codec, encoders);
    if (plan.m_encoder.isEmpty() || (!encoders.isEmpty() && !encoders.contains(plan.m_encoder))) {
        plan.m_verdict = StepResult::failure(QStringLiteral("no encoder available for %1").arg(source.codec));
        return plan;
    }
    // PCM written again as itself is the same samples, bit for bit.
    const bool pcm = CodecTable::isPcm(source.codec);
    // Settings' levels run in the codec table's order.
    const CodecTable::EncoderSetting rate = CodecTable::encoderSetting(plan.m_encoder, source.bitRate, source.channels,
            source.sampleRate, CodecTable::Level(settings.reencodeQuality));
    plan.m_encoderOptions = rate.options;
    const QString with = QStringLiteral("with ") + plan.m_encoder
            + (rate.rate.isEmpty() ? QString() : QStringLiteral(" at ") + rate.rate);
    if (!copyWanted)
        plan.m_reason = QStringLiteral(" (re-encoded %1)").arg(with);
    else
        plan.m_reason = cut.needsPadding()
                ? QStringLiteral(" (re-encoded to add silence%1, %2)")
                          .arg(whyNotExact.isEmpty() ? QString() : QStringLiteral(": ") + whyNotExact, with)
                : pcm ? QStringLiteral(" (lossless, exact)")
                      : QStringLiteral(" (re-encoded: stream copy cannot cut %1 exactly, %2)").arg(source.codec, with);
    return plan;
}

RewritePlan::Cut RewritePlan::cutFor(const QueueItem &item)
{
    Cut cut;
    cut.startSec = item.headChangeSec < 0 ? -item.headChangeSec : 0.0;
    cut.keptSec = item.durationSec + std::min(item.headChangeSec, 0.0) + std::min(item.tailChangeSec, 0.0);
    cut.headPadSec = std::max(item.headChangeSec, 0.0);
    cut.tailPadSec = std::max(item.tailChangeSec, 0.0);
    cut.endKept = item.tailChangeSec >= 0;
    return cut;
}

QString RewritePlan::paddingFilter(double headPadSec, double tailPadSec)
{
    QStringList filters;
    if (headPadSec > 0)
        filters << QStringLiteral("adelay=%1:all=1").arg(static_cast<qint64>(headPadSec * 1000 + 0.5));
    if (tailPadSec > 0)
        filters << QStringLiteral("apad=pad_dur=%1").arg(fixed(tailPadSec, 3));
    return filters.join(QLatin1Char(','));
}

QString RewritePlan::cutFilter(const Cut &cut, int sampleRate, int delaySamples)
{
    if (sampleRate <= 0) { // a rate the probe did not tell: cut by time
        QStringList filters;
        if (cut.startSec > 0 || !cut.endKept) {
            filters << QStringLiteral("atrim=start=%1").arg(fixed(cut.startSec, 6))
                            + (cut.endKept ? QString() : QStringLiteral(":end=%1").arg(fixed(cut.endSec(), 6)))
                    << QStringLiteral("asetpts=PTS-STARTPTS");
        }
        if (cut.needsPadding())
            filters << paddingFilter(cut.headPadSec, cut.tailPadSec);
        return filters.join(QLatin1Char(','));
    }
    const auto samples = [sampleRate](double seconds) { return qint64(std::llround(seconds * sampleRate)); };
    // Padding the encoder's delay takes the place of is not added; a delay
    // longer than the padding is taken from the kept audio's head.
    const qint64 shift = samples(cut.headPadSec) - delaySamples;
    const qint64 start = samples(cut.startSec) + std::max<qint64>(-shift, 0);
    QStringList filters;
    QStringList bounds;
    if (start > 0)
        bounds << QStringLiteral("start_sample=%1").arg(start);
    if (!cut.endKept)
        bounds << QStringLiteral("end_sample=%1").arg(samples(cut.endSec()));
    if (!bounds.isEmpty())
        filters << QStringLiteral("atrim=") + bounds.join(QLatin1Char(':')) << QStringLiteral("asetpts=PTS-STARTPTS");
    if (shift > 0)
        filters << QStringLiteral("adelay=%1S:all=1").arg(shift);
    if (const qint64 tail = samples(cut.tailPadSec); tail > 0)
        filters << QStringLiteral("apad=pad_len=%1").arg(tail);
    return filters.join(QLatin1Char(','));
}

} // namespace ks
