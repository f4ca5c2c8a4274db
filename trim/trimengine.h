#pragma once

#include "rewriteplan.h"
#include "silenceanalyzer.h"
#include "stepresult.h"
#include "toolpaths.h"
#include "toolrunner.h"

#include <QString>
#include <QStringList>

namespace ks {

struct MediaInfo;
struct QueueItem;
struct Settings;
enum class EndMode : int;

// Plans each file's change and writes the new file.
class TrimEngine final
{
public:
    // The change for one end: negative removes that much silence, positive
    // adds that much, 0 leaves the end alone. A top-up or exact change
    // shorter than one frame of a lossy source (`frameSec`) is none.
    static double adjustmentFor(double measuredSec, EndMode mode, double targetSec, double frameSec = 0.0);

    // Probes the file, measures its silence and stores the plan in `item`.
    // What the probe learnt goes to `probed`, when given, for apply to reuse.
    static StepResult plan(QueueItem &item, const Settings &settings, const ToolPaths &tools,
            const CancelCallback &cancelled, const ProgressCallback &progress, MediaInfo *probed = nullptr);

    // Carries out the plan stored in `item`, writing item.outputPath through a
    // temporary file beside it: probe, plan the rewrite, write, verify,
    // commit. The source is never touched before the new file is complete.
    // `probed` is the plan's probe of the source; without it the source is
    // probed again.
    static StepResult apply(QueueItem &item, const Settings &settings, const ToolPaths &tools,
            const CancelCallback &cancelled, const ProgressCallback &progress, const MediaInfo *probed = nullptr);

    // The planning rules after measuring: fills the item's plan fields from
    // the measurement and refuses plans that remove too much or leave nothing.
    static StepResult judge(
            QueueItem &item, const SilenceAnalyzer::Result &silence, const Settings &settings, double frameSec = 0.0);

    // Why a written file may not replace anything, or an empty string: it
    // must read back with the source's audio stream, keep the pictures that
    // were mapped, and decode as long as planned; `reencoded`, to within
    // WholeSoundTolerance short of it.
    static QString verify(const MediaInfo &written, const MediaInfo &source, double plannedSec, bool picturesKept,
            bool reencoded = false);

    // ".Song.live.kstmp.mp3" beside "Song.live.mp3".
    static QString temporaryPathFor(const QString &outputPath);
    // Whether a file's name is one such temporary, which nothing but the
    // write that made it may touch.
    static bool isTemporaryName(const QString &fileName);

    // The ffmpeg arguments that write `plan` of the probed `source`.
    static QStringList ffmpegArguments(
            const QString &sourcePath, const QString &outputPath, const RewritePlan &plan, const MediaInfo &source);

    // A written file this close to its planned length is right.
    static constexpr double LengthTolerance = SilenceAnalyzer::LengthTolerance;
    // A re-encode cut to the sample may come out this much short (the
    // rounding of a decode's length read to the millisecond).
    static constexpr double WholeSoundTolerance = 0.002;
    // Changes smaller than this are not worth a rewrite.
    static constexpr double Tolerance = 0.005;
    // A new length at or below this leaves nothing worth keeping (compared,
    // as the tolerance is, as the decimal number it is).
    static constexpr double MinimumLength = RewritePlan::MinimumLength;
};

} // namespace ks
