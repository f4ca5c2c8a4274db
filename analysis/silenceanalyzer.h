#pragma once

#include "toolpaths.h"
#include "toolrunner.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace ks {

struct Settings;

// Measures the silence at the head and the tail of a file with ffmpeg's
// silencedetect filter.
class SilenceAnalyzer final
{
public:
    // One reported silence in seconds; the end is -1.0 when none was reported.
    using Interval = QPair<double, double>;

    struct Result
    {
        bool ok = false; // the detector ran to completion
        double headSec = 0.0;
        double tailSec = 0.0;
        bool silentThroughout = false; // head and tail are then 0
        bool cancelled = false;
        QList<Interval> intervals; // sorted by start
        QString error;
    };

    // Decodes the first audio stream of `path`; blocks until ffmpeg ends or
    // `cancelled` stops it. Progress is reported from ffmpeg's progress lines
    // as a share of `durationSec`, without a final 100.
    static Result analyse(const ToolPaths &tools, const QString &path, double durationSec, const Settings &settings,
                          const CancelCallback &cancelled, const ProgressCallback &progress);

    // The ffmpeg arguments of one measurement.
    static QStringList arguments(const QString &path, const Settings &settings);

    // Adds what one line of the detector's output says to `intervals`.
    static void collectLine(const QString &line, QList<Interval> &intervals);

    // Head, tail and the whole-file rule from the silences of a completed run.
    static Result evaluate(QList<Interval> intervals, double durationSec);

    // A silence that starts this close to the beginning is the head; one that
    // ends this close to the end is the tail.
    static constexpr double HeadTolerance = 0.1;
    static constexpr double TailTolerance = 0.1;
    // Head and tail that cover the file to within this are one silence.
    static constexpr double WholeFileTolerance = 0.25;
};

} // namespace ks
