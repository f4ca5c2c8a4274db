#include "silenceanalyzer.h"

#include "mp3stream.h"
#include "settings.h"
#include "textformat.h"
#include "toolmessage.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace ks {

namespace {

const QRegularExpression &startPattern()
{
    static const QRegularExpression pattern(QStringLiteral("silence_start:\\s*(-?[0-9.]+)"));
    return pattern;
}

const QRegularExpression &endPattern()
{
    static const QRegularExpression pattern(QStringLiteral("silence_end:\\s*(-?[0-9.]+)"));
    return pattern;
}

const QRegularExpression &detectorPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\[silencedetect @ (0x[0-9a-fA-F]+)\\]"));
    return pattern;
}

const QRegularExpression &firstSamplePattern()
{
    static const QRegularExpression pattern(
            QStringLiteral("^\\[Parsed_ashowinfo_[0-9]+ @ [^\\]]*\\] n:0 pts:\\S+ pts_time:(\\S+)"));
    return pattern;
}

// On float samples: on 16-bit ones the detector ends a silence up to 36 ms
// later, so the same song would measure differently as FLAC and as MP3.
QString detectorFilter(const Settings &settings)
{
    return QStringLiteral("aformat=sample_fmts=flt|fltp,silencedetect=noise=%1dB:d=%2")
            .arg(settings.thresholdDb, 0, 'f', 2)
            .arg(SilenceAnalyzer::ShortestSilence, 0, 'f', 3);
}

// The detector, and beside it a branch that shows when the first decoded
// sample comes: only a silence that starts there has nothing before it.
QString measuringFilter(const QString &input, const Settings &settings, const QString &output)
{
    return QStringLiteral("%1%2,asplit[%3][first%3];[first%3]atrim=end_sample=1,ashowinfo,anullsink")
            .arg(input, detectorFilter(settings), output);
}

// The silence detector prints its times to six significant digits.
double printedPrecision(double seconds)
{
    return std::pow(10.0, std::floor(std::log10(std::max(std::fabs(seconds), 1e-3))) - 5) + 2e-6;
}

bool startsAtHead(double startSec, double firstSampleSec)
{
    return startSec <= SilenceAnalyzer::HeadTolerance && startSec <= firstSampleSec + printedPrecision(firstSampleSec);
}

// A silence ended by sound ends before the decode does, however close to it.
bool runsToEnd(const SilenceAnalyzer::Interval &silence, double endSec)
{
    return silence.second < 0 || (endSec > 0 && silence.second >= endSec - printedPrecision(endSec));
}

// One run of ffmpeg over the given arguments: the silences of each detector,
// the furthest point of the output, and the decoder's first complaint.
struct Pass
{
    ToolRun run;
    QHash<QString, QList<SilenceAnalyzer::Interval>> byDetector;
    double reachedSec = 0.0;
    double firstSampleSec = 0.0;
    QString complaint;
};

Pass runPass(const ToolPaths &tools, const QStringList &args, double expectedSec, const CancelCallback &cancelled,
        const ProgressCallback &progress)
{
    Pass pass;
    pass.run = runTool(
            tools.ffmpeg, args, cancelled,
            [&](const QString &line) {
                pass.reachedSec = std::max(pass.reachedSec, progressSeconds(line));
                reportProgressLine(line, expectedSec, progress);
            },
            [&](const QString &line) {
                SilenceAnalyzer::collectLine(line, pass.byDetector);
                SilenceAnalyzer::readFirstSample(line, pass.firstSampleSec);
                if (pass.complaint.isEmpty())
                    pass.complaint = SilenceAnalyzer::decodeComplaint(line);
            });
    return pass;
}

// A stuck decode would be stuck again over the whole file.
SilenceAnalyzer::Result stalledResult(const Pass &pass)
{
    SilenceAnalyzer::Result result;
    result.error = ToolMessage::oneLine(pass.run.stdErr, QString());
    result.detail = pass.run.stdErr.trimmed();
    return result;
}

QList<SilenceAnalyzer::Interval> allOf(const Pass &pass)
{
    QList<SilenceAnalyzer::Interval> intervals;
    for (const auto &detected : pass.byDetector)
        intervals << detected;
    return intervals;
}

} // namespace

QStringList SilenceAnalyzer::windowArguments(
        const QString &path, const Settings &settings, double headSec, double tailStartSec, const ByteRange &tail)
{
    // The tail's timestamps start at 0 after the seek, or at the range's
    // first frame; shifting them back puts both windows in the file's own
    // time. Concatenated, the output reaches headSec plus the tail's end,
    // which shows how far it decoded.
    const bool range = tail.from >= 0;
    const QString shift = range ? QStringLiteral("atrim=start_sample=%1:end_sample=%2,asetpts=PTS-STARTPTS+%3/(SR*TB)")
                                          .arg(tail.firstSample)
                                          .arg(tail.endSample)
                                          .arg(tail.fileSample)
                                : QStringLiteral("asetpts=PTS+%1/TB").arg(fixed(tailStartSec, 6));
    const QString filter = QStringLiteral("%1;[1:a:0]%2,%3[t];[h][t]concat=n=2:v=0:a=1[o]")
                                   .arg(measuringFilter(QStringLiteral("[0:a:0]"), settings, QStringLiteral("h")),
                                           shift, detectorFilter(settings));
    QStringList args{ QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-nostats"),
        QStringLiteral("-progress"), QStringLiteral("pipe:1"), QStringLiteral("-t"), fixed(headSec, 6),
        QStringLiteral("-i"), path };
    // The path follows "file:", which takes commas and colons as they are.
    if (range)
        args << QStringLiteral("-f") << QStringLiteral("mp3") << QStringLiteral("-i")
             << QStringLiteral("subfile,,start,%1,end,%2,,:file:%3")
                        .arg(tail.from)
                        .arg(tail.to)
                        .arg(QFileInfo(path).absoluteFilePath());
    else
        args << QStringLiteral("-ss") << fixed(tailStartSec, 6) << QStringLiteral("-i") << path;
    return args
            + QStringList{ QStringLiteral("-filter_complex"), filter, QStringLiteral("-map"), QStringLiteral("[o]"),
                  QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-") };
}

SilenceAnalyzer::ByteRange SilenceAnalyzer::tailRange(const Mp3Stream &stream, double tailStartSec)
{
    ByteRange range;
    const qint64 samples = stream.outputSamples();
    const int perFrame = stream.format.samples;
    if (samples <= 0 || tailStartSec <= 0)
        return range;
    // The frame the window starts in, and before it two frames for the
    // decoder's overlap and as many as hold the main data their bit
    // reservoir may reach back to.
    const qint64 first = std::min<qint64>(samples, std::llround(tailStartSec * stream.format.sampleRate));
    const auto window = qint64((first + stream.firstOutput()) / perFrame);
    qint64 from = window - 2;
    for (qint64 reservoir = 0; from > 0 && reservoir < stream.format.reservoir(); --from)
        reservoir += stream.frames.at(from) - stream.frames.at(from - 1) - stream.format.dataOffset();
    if (from <= 0 || window >= qint64(stream.frames.size()) || window * perFrame < stream.firstOutput())
        return range;
    range.from = stream.frames.at(from);
    range.to = stream.audioEnd;
    range.firstSample = (window - from) * perFrame;
    range.endSample = stream.firstOutput() + samples - from * perFrame;
    range.fileSample = window * perFrame - stream.firstOutput();
    return range;
}

QStringList SilenceAnalyzer::arguments(const QString &path, const Settings &settings)
{
    const QString filter = measuringFilter(QStringLiteral("[0:a:0]"), settings, QStringLiteral("o"));
    return { QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-nostats"),
        QStringLiteral("-progress"), QStringLiteral("pipe:1"), QStringLiteral("-i"), path,
        QStringLiteral("-filter_complex"), filter, QStringLiteral("-map"), QStringLiteral("[o]"), QStringLiteral("-f"),
        QStringLiteral("null"), QStringLiteral("-") };
}

void SilenceAnalyzer::collectLine(const QString &line, QList<Interval> &intervals)
{
    const QRegularExpressionMatch start = startPattern().match(line);
    if (start.hasMatch())
        intervals.append({ start.captured(1).toDouble(), -1.0 });
    const QRegularExpressionMatch end = endPattern().match(line);
    // An end with no start before it says nothing about where the silence began.
    if (end.hasMatch() && !intervals.isEmpty())
        intervals.last().second = end.captured(1).toDouble();
}

void SilenceAnalyzer::collectLine(const QString &line, QHash<QString, QList<Interval>> &byDetector)
{
    const QRegularExpressionMatch detector = detectorPattern().match(line);
    collectLine(line, byDetector[detector.hasMatch() ? detector.captured(1) : QString()]);
}

void SilenceAnalyzer::readFirstSample(const QString &line, double &firstSampleSec)
{
    const QRegularExpressionMatch first = firstSamplePattern().match(line);
    bool ok = false;
    const double seconds = first.hasMatch() ? first.captured(1).toDouble(&ok) : 0.0;
    if (ok)
        firstSampleSec = seconds;
}

QString SilenceAnalyzer::decodeComplaint(const QString &line)
{
    static const QRegularExpression complaint(
            QStringLiteral("error|corrupt|invalid|header missing|damaged|truncat|mismatch"),
            QRegularExpression::CaseInsensitiveOption);
    if (line.contains(QLatin1String("silence_")) || !complaint.match(line).hasMatch())
        return QString();
    return ToolMessage::withoutPrefix(line);
}

SilenceAnalyzer::Result SilenceAnalyzer::evaluate(
        QList<Interval> intervals, double durationSec, double firstSampleSec, double endSec)
{
    std::sort(
            intervals.begin(), intervals.end(), [](const Interval &a, const Interval &b) { return a.first < b.first; });
    Result result;
    result.ok = true;
    result.intervals = intervals;
    if (intervals.isEmpty())
        return result;

    const Interval &first = intervals.first();
    const Interval &last = intervals.last();
    const auto endOf
            = [durationSec](const Interval &silence) { return silence.second < 0 ? durationSec : silence.second; };
    // The tail runs from the last silence's start to the end of the file,
    // which the header may put a little past where the decode ends.
    const bool atHead = startsAtHead(first.first, firstSampleSec);
    const bool atEnd = runsToEnd(last, endSec < 0 ? durationSec : endSec);

    // Silent end to end only when one silence covers the whole file.
    if (atHead && intervals.size() == 1 && atEnd) {
        result.silentThroughout = true;
        return result;
    }
    if (atHead)
        result.headSec = std::max(endOf(first) - std::max(first.first, 0.0), 0.0);
    if (atEnd && durationSec > last.first)
        result.tailSec = durationSec - last.first;
    return result;
}

SilenceAnalyzer::Result SilenceAnalyzer::analyse(const ToolPaths &tools, const QString &path, double durationSec,
        const Settings &settings, const CancelCallback &cancelled, const ProgressCallback &progress,
        const Mp3Stream *stream)
{
    Result result;
    if (const QString refused = inputRefusal(path); !refused.isEmpty()) {
        result.error = refused;
        return result;
    }
    // Windows at each end, widened while a silence runs into the inner edge.
    constexpr double Edge = 0.1;
    double head = FirstWindow;
    double tail = FirstWindow;
    while (durationSec > 0 && head + tail + Edge < durationSec) {
        const ByteRange range = stream ? tailRange(*stream, durationSec - tail) : ByteRange();
        const double tailStart
                = range.from >= 0 ? double(range.fileSample) / stream->format.sampleRate : durationSec - tail;
        const Pass pass = runPass(tools, windowArguments(path, settings, head, tailStart, range), head + durationSec,
                cancelled, progress);
        if (pass.run.cancelled) {
            result.cancelled = true;
            result.error = QStringLiteral("cancelled");
            return result;
        }
        // A window that does not decode as far as the header says falls
        // back to the whole file, which finds out what is wrong.
        if (pass.run.stalled)
            return stalledResult(pass);
        // The head window runs `head` from the first sample.
        const double tailEnd = pass.reachedSec - head - pass.firstSampleSec;
        if (!pass.run.started || pass.run.exitCode != 0 || std::fabs(tailEnd - durationSec) > LengthTolerance)
            break;
        QList<Interval> intervals = allOf(pass);
        bool headOpen = false;
        bool tailOpen = false;
        for (Interval &silence : intervals) {
            const bool inHead = silence.first < tailStart - Edge;
            if (inHead && silence.second < 0)
                silence.second = head; // ended by the window, not by sound
            if (inHead && startsAtHead(silence.first, pass.firstSampleSec) && silence.second >= head - Edge)
                headOpen = true;
            if (!inHead && runsToEnd(silence, tailEnd) && silence.first <= tailStart + Edge)
                tailOpen = true;
        }
        if (!headOpen && !tailOpen) {
            // The tail's times, as the head's, count from the file's start.
            const double end = tailEnd + pass.firstSampleSec;
            result = evaluate(intervals, end, pass.firstSampleSec, end);
            result.decodedSec = tailEnd;
            result.decodeError = pass.complaint;
            return result;
        }
        head *= headOpen ? 2 : 1;
        tail *= tailOpen ? 2 : 1;
    }

    const Pass pass = runPass(tools, arguments(path, settings), durationSec, cancelled, progress);
    // Counted from the first decoded sample, which a late first packet puts past 0.
    const double decoded = pass.reachedSec - pass.firstSampleSec;
    if (pass.run.cancelled) {
        result.cancelled = true;
        result.error = QStringLiteral("cancelled");
        return result;
    }
    if (pass.run.stalled)
        return stalledResult(pass);
    if (!pass.run.started || pass.run.exitCode != 0) {
        // A decoder that complained and delivered nothing found no audio;
        // one that rejects data the probe took for audio found damage.
        const QString why = ToolMessage::oneLine(pass.run.stdErr, path);
        result.error = pass.run.exitCode > 0 && decoded <= 0 && !pass.complaint.isEmpty()
                ? QStringLiteral("no decodable audio")
                : pass.run.stdErr.contains(QLatin1String("Invalid data found when processing input"))
                ? QStringLiteral("damaged audio (the decoder rejects its data)")
                : why.isEmpty() ? QStringLiteral("silence detection failed")
                                : QStringLiteral("silence detection failed: %1").arg(why);
        result.detail = pass.run.stdErr.trimmed();
        return result;
    }
    // The tail runs to where the decode ends, never to a header's claim,
    // which may count an encoder's padding in.
    const double end = decoded > 0 ? pass.reachedSec : durationSec;
    result = evaluate(allOf(pass), end, pass.firstSampleSec, decoded > 0 ? end : -1.0);
    result.decodedSec = decoded;
    result.decodeError = pass.complaint;
    return result;
}

} // namespace ks
