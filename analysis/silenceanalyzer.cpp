#include "silenceanalyzer.h"

#include "settings.h"

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

} // namespace

QStringList SilenceAnalyzer::arguments(const QString &path, const Settings &settings)
{
    const QString filter = QStringLiteral("silencedetect=noise=%1dB:d=%2")
                                   .arg(settings.thresholdDb, 0, 'f', 2)
                                   .arg(ShortestSilence, 0, 'f', 3);
    return { QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-nostats"),
             QStringLiteral("-progress"), QStringLiteral("pipe:1"), QStringLiteral("-i"),
             path, QStringLiteral("-map"), QStringLiteral("0:a:0"),
             QStringLiteral("-af"), filter, QStringLiteral("-f"),
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

QString SilenceAnalyzer::decodeComplaint(const QString &line)
{
    static const QRegularExpression prefix(QStringLiteral("^\\[[^\\]]* @ 0x[0-9a-fA-F]+\\]\\s*"));
    static const QRegularExpression complaint(
            QStringLiteral("error|corrupt|invalid|header missing|damaged|truncat|mismatch"),
            QRegularExpression::CaseInsensitiveOption);
    if (line.contains(QLatin1String("silence_")) || !complaint.match(line).hasMatch())
        return QString();
    return line.trimmed().remove(prefix);
}

SilenceAnalyzer::Result SilenceAnalyzer::evaluate(QList<Interval> intervals, double durationSec)
{
    std::sort(intervals.begin(), intervals.end(),
              [](const Interval &a, const Interval &b) { return a.first < b.first; });
    Result result;
    result.ok = true;
    result.intervals = intervals;
    if (intervals.isEmpty())
        return result;

    const Interval &first = intervals.first();
    const Interval &last = intervals.last();
    const auto endOf = [durationSec](const Interval &silence) {
        return silence.second < 0 ? durationSec : silence.second;
    };
    // The tail runs from the last silence's start to the end of the file,
    // even when the detector reports its end a little short of it.
    const bool startsAtHead = first.first <= HeadTolerance;
    const bool runsToEnd = last.second < 0 || (durationSec > 0 && last.second >= durationSec - TailTolerance);

    // Silent end to end only when one silence covers the whole file.
    if (startsAtHead && intervals.size() == 1 && runsToEnd) {
        result.silentThroughout = true;
        return result;
    }
    if (startsAtHead)
        result.headSec = std::max(endOf(first) - std::max(first.first, 0.0), 0.0);
    if (runsToEnd && durationSec > last.first)
        result.tailSec = durationSec - last.first;
    return result;
}

SilenceAnalyzer::Result SilenceAnalyzer::analyse(const ToolPaths &tools, const QString &path, double durationSec,
                                                 const Settings &settings, const CancelCallback &cancelled,
                                                 const ProgressCallback &progress)
{
    QList<Interval> intervals;
    double decoded = 0.0;
    QString complaint;
    const ToolRun run = runTool(
            tools.ffmpeg, arguments(path, settings), cancelled,
            [&](const QString &line) {
                decoded = std::max(decoded, progressSeconds(line));
                reportProgressLine(line, durationSec, progress);
            },
            [&](const QString &line) {
                collectLine(line, intervals);
                if (complaint.isEmpty())
                    complaint = decodeComplaint(line);
            });

    Result result;
    if (run.cancelled) {
        result.cancelled = true;
        result.error = QStringLiteral("cancelled");
        return result;
    }
    if (!run.started || run.exitCode != 0) {
        // A decoder that complained and delivered nothing found no audio.
        result.error = run.exitCode > 0 && decoded <= 0 && !complaint.isEmpty()
                ? QStringLiteral("no decodable audio")
                : QStringLiteral("silence detection failed");
        return result;
    }
    // A header within a frame or two of the decode is kept as the length the
    // cut works in; otherwise the decode is what a player gets.
    const bool headerHolds = durationSec > 0 && std::fabs(decoded - durationSec) <= LengthTolerance;
    result = evaluate(intervals, headerHolds || decoded <= 0 ? durationSec : decoded);
    result.decodedSec = decoded;
    result.decodeError = complaint;
    return result;
}

} // namespace ks
