#include "silenceanalyzer.h"

#include "settings.h"

#include <QRegularExpression>

#include <algorithm>

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
                                   .arg(settings.minSilenceSec, 0, 'f', 3);
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

SilenceAnalyzer::Result SilenceAnalyzer::evaluate(QList<Interval> intervals, double durationSec)
{
    std::sort(intervals.begin(), intervals.end(),
              [](const Interval &a, const Interval &b) { return a.first < b.first; });
    Result result;
    result.ok = true;
    result.intervals = intervals;

    double head = 0.0;
    double tail = 0.0;
    if (!intervals.isEmpty()) {
        const Interval &first = intervals.first();
        if (first.first <= HeadTolerance) {
            const double end = first.second < 0 ? durationSec : first.second;
            head = std::max(end - std::max(first.first, 0.0), 0.0);
        }
        // The tail runs from the last silence's start to the end of the file,
        // even when the detector reports its end a little short of it.
        const Interval &last = intervals.last();
        const bool runsToEnd = last.second < 0
                || (durationSec > 0 && last.second >= durationSec - TailTolerance);
        if (runsToEnd && durationSec > last.first)
            tail = durationSec - last.first;
    }

    if (durationSec > 0 && head + tail >= durationSec - WholeFileTolerance) {
        result.silentThroughout = true;
    } else {
        result.headSec = head;
        result.tailSec = tail;
    }
    return result;
}

SilenceAnalyzer::Result SilenceAnalyzer::analyse(const ToolPaths &tools, const QString &path, double durationSec, const Settings &settings,
                                                 const CancelCallback &cancelled, const ProgressCallback &progress)
{
    QList<Interval> intervals;
    const ToolRun run = runTool(
            tools.ffmpeg, arguments(path, settings), cancelled,
            [&](const QString &line) { reportProgressLine(line, durationSec, progress); },
            [&](const QString &line) { collectLine(line, intervals); });

    Result result;
    if (run.cancelled) {
        result.cancelled = true;
        result.error = QStringLiteral("cancelled");
        return result;
    }
    if (!run.started || run.exitCode != 0) {
        result.error = QStringLiteral("silence detection failed");
        return result;
    }
    return evaluate(intervals, durationSec);
}

} // namespace ks
