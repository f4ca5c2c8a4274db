#pragma once

#include "toolpaths.h"
#include "toolrunner.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace ks {

struct Mp3Stream;
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
        bool ok = false;      // the detector ran to completion
        double headSec = 0.0; // the true silence at each end, however short
        double tailSec = 0.0;
        bool silentThroughout = false; // head and tail are then 0
        bool cancelled = false;
        double decodedSec = 0.0;   // how much audio the decode delivered
        QString decodeError;       // the decoder's first complaint, if any
        QList<Interval> intervals; // sorted by start
        QString error;
        QString detail; // ffmpeg's whole text when it failed
    };

    // Measures the first audio stream of `path`; blocks until ffmpeg ends or
    // `cancelled` stops it. Progress is reported from ffmpeg's progress lines
    // as a share of `durationSec`, without a final 100. The ends are judged
    // against the decoded length when the decode delivered any audio.
    //
    // No plan depends on the middle of a file, so a long one is decoded only
    // in a window at each end, widened while its silence reaches the
    // window's inner edge. The whole file is decoded when the windows meet or
    // cannot prove the header's length, which is what a full decode finds.
    // An MP3's tail window is read by its frames (`stream`, when known).
    static Result analyse(const ToolPaths &tools, const QString &path, double durationSec, const Settings &settings,
            const CancelCallback &cancelled, const ProgressCallback &progress, const Mp3Stream *stream = nullptr);

    // Where an MP3's tail window lies in its bytes. Read as a byte range
    // from a few frames before the window (for the bit reservoir and the
    // decoder's overlap), the tail needs no seek, which in a long MP3 costs
    // more than the decode.
    struct ByteRange
    {
        qint64 from = -1; // bytes [from, to) of the file; -1 where the frames do not say
        qint64 to = -1;
        qint64 firstSample = 0; // the window's first and end sample among those the range decodes to
        qint64 endSample = 0;
        qint64 fileSample = 0; // the window's first sample in the file's time
    };
    static ByteRange tailRange(const Mp3Stream &stream, double tailStartSec);

    // The ffmpeg arguments of one measurement. The detector reports every
    // silence of ShortestSilence or more, so the ends are measured whatever
    // their length; those of the minimum silence or more are the same.
    static QStringList arguments(const QString &path, const Settings &settings);
    // The arguments of one windowed measurement: the first `headSec` and
    // everything from `tailStartSec` on, as one stream in file time.
    // With a byte range (`from` not -1), the tail is read from it and starts at its `fileSample`.
    static QStringList windowArguments(
            const QString &path, const Settings &settings, double headSec, double tailStartSec, const ByteRange &tail);

    // A decoder complaint in one line of ffmpeg's standard error, without
    // its "[decoder @ 0x...]" prefix, or an empty string.
    static QString decodeComplaint(const QString &line);

    // Adds what one line of the detector's output says to `intervals`.
    static void collectLine(const QString &line, QList<Interval> &intervals);
    // The same for several detectors at once, each by its log prefix.
    static void collectLine(const QString &line, QHash<QString, QList<Interval>> &byDetector);

    // Reads when the first decoded sample came from the line that shows it.
    static void readFirstSample(const QString &line, double &firstSampleSec);

    // Head, tail and the whole-file rule from the silences of a completed
    // run. Only a silence that starts at the first decoded sample is the
    // head, and only one that lasts until the decode ends (`endSec`, the
    // length when negative) is the tail: whatever comes before or after it,
    // however short, is sound.
    static Result evaluate(
            QList<Interval> intervals, double durationSec, double firstSampleSec = 0.0, double endSec = -1.0);

    // A stream that starts late (or whose decoder drops its first samples)
    // has its head counted from its first sample up to this far in.
    static constexpr double HeadTolerance = 0.1;
    static constexpr double ShortestSilence = 0.01;
    // A decoded length this close to the header's is the same length (a
    // codec frame or two).
    static constexpr double LengthTolerance = 0.1;
    // The first window at each end; each widening doubles it.
    static constexpr double FirstWindow = 20.0;
};

} // namespace ks
