#pragma once

#include "encoderlist.h"
#include "stepresult.h"

#include <QString>
#include <QStringList>

namespace ks {

struct MediaInfo;
struct QueueItem;
struct Settings;

// How one planned file will be written, decided before anything is: what is
// kept of the source and added around it, the way it is written and why,
// or why it is not written at all.
class RewritePlan final
{
public:
    // What one rewrite keeps of the source and adds around it, in seconds.
    struct Cut
    {
        double startSec = 0.0; // where the kept audio begins in the source
        double keptSec = 0.0;
        double headPadSec = 0.0;
        double tailPadSec = 0.0;
        bool endKept = true; // the source's end is kept, wherever the decode ends it

        bool needsPadding() const { return headPadSec > 0 || tailPadSec > 0; }
        double expectedSec() const { return headPadSec + keptSec + tailPadSec; }
        double endSec() const { return startSec + keptSec; } // where the kept audio ends in the source
    };

    // A stream copy keeps the codec's frames as they are; a re-encode
    // decodes and writes them again with the plan's encoder. The writer
    // switches on it, so another way of writing (a lossless cutter of one
    // container) is one more value, one more case there, and the rule in
    // make() that picks it. An exact cut copies the frames too, and sets the
    // container's fields so that playback starts and ends on the sample.
    enum class Method { StreamCopy, ReEncode, Exact };

    // `encoders` are those this ffmpeg has; an empty list was never asked,
    // and every known encoder is taken to be there. Without `exact`, as
    // when the exact cutter turned the file down (`whyNotExact`, which the
    // reason of a re-encode that adds silence gives), the plan is what it
    // would be without that cutter.
    static RewritePlan make(const QueueItem &item, const Settings &settings, const MediaInfo &source,
            const EncoderList &encoders, bool exact = true, const QString &whyNotExact = QString());

    static Cut cutFor(const QueueItem &item);

    // The filter that adds `headPadSec` of silence before the sound and
    // `tailPadSec` after it; empty when nothing is added.
    static QString paddingFilter(double headPadSec, double tailPadSec);

    // The filters that cut `cut` out of the decoded stream to the sample,
    // counted from its first decoded sample at `sampleRate`, and pad it; for
    // an encoder that puts `delaySamples` of its own ahead of the sound (or,
    // negative, loses as many), the head is shifted so that the sound
    // decodes where the plan puts it.
    static QString cutFilter(const Cut &cut, int sampleRate, int delaySamples);

    const Cut &cut() const { return m_cut; }
    Method method() const { return m_method; }
    bool reencodes() const { return m_method == Method::ReEncode; }
    const QString &encoder() const { return m_encoder; }                   // empty for a stream copy
    const QStringList &encoderOptions() const { return m_encoderOptions; } // its rate
    // How a file is re-encoded and, when a stream copy was asked for, why,
    // as the result carries it (" (re-encoded to add silence, with aac at
    // 96 kbit/s)"), or that it is cut exactly (" (lossless, exact)"); empty
    // for a stream copy.
    const QString &reason() const { return m_reason; }
    // Done when the file is to be written; else left alone or refused, and why.
    const StepResult &verdict() const { return m_verdict; }
    bool writes() const { return m_verdict.kind == StepResult::Kind::Done; }

    // A new length at or below this leaves nothing worth keeping (compared
    // as the decimal number it is, not its binary rounding).
    static constexpr double MinimumLength = 0.05;

private:
    Cut m_cut;
    Method m_method = Method::StreamCopy;
    QString m_encoder;
    QStringList m_encoderOptions;
    QString m_reason;
    StepResult m_verdict = StepResult::success();
};

} // namespace ks
