#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace ks {

// The enumerations are stored by their integer values, in the records and in
// the settings store; a value read from an old or edited store may lie outside
// the named ones and is kept as it is.

// What to do with the silence at one end of a file.
enum class EndMode : int { LeaveAlone = 0, CutBack = 1, TopUp = 2, Exact = 3 };

enum class OutputMode : int { Mirror = 0, InPlace = 1 };

enum class TrimMethod : int { StreamCopy = 0, ReEncode = 1 };

// What to do when silence must be added but the method is a stream copy.
enum class PadFallback : int { ReEncode = 0, Skip = 1 };

// What a re-encode may spend: what the source spent, or a named level.
enum class ReencodeQuality : int { Source = 0, High = 1, Medium = 2, Small = 3 };
// What a mirror trim does where the destination already holds a file of the
// output's name: write over it, leave it (and the source) alone, or write
// beside it as "name (2).ext".
enum class ExistingOutputs : int { Replace = 0, Skip = 1, KeepBoth = 2 };

// Everything the user can set, plus the update check's bookkeeping. A plain
// value: runs work on a copy taken when they start.
struct Settings
{
    double thresholdDb = -50.0;
    double minSilenceSec = 0.5;
    double maxTrimSec = 900.0;
    EndMode leadMode = EndMode::CutBack;
    EndMode tailMode = EndMode::CutBack;
    int leadTargetMs = 150;
    int tailTargetMs = 150;
    OutputMode outputMode = OutputMode::Mirror;
    TrimMethod trimMethod = TrimMethod::StreamCopy;
    QString outputRoot;
    bool keepMtime = true;
    bool makeBackup = true;
    bool skipUntrimmed = true;
    PadFallback padFallback = PadFallback::ReEncode;
    ReencodeQuality reencodeQuality = ReencodeQuality::Source;
    ExistingOutputs existingOutputs = ExistingOutputs::Replace;
    QStringList extensions{ QStringLiteral("mp3"), QStringLiteral("wav"), QStringLiteral("flac"), QStringLiteral("ogg"),
        QStringLiteral("m4a"), QStringLiteral("aac"), QStringLiteral("wma"), QStringLiteral("aiff"),
        QStringLiteral("opus"), QStringLiteral("oga"), QStringLiteral("m4b"), QStringLiteral("aif"),
        QStringLiteral("aifc"), QStringLiteral("wv") };
    bool recursive = true;
    int parallelJobs = 0; // files worked on at once; 0 is one per processor core
    QString ffmpegPath;
    QString ffprobePath;
    bool autoCheck = true;
    bool desktopNotifications = true; // taskbar progress, and a notification after a long run
    QString skippedVersion;
    QDateTime lastCheck;
};

// Short upper-case label of an end's treatment for the status panel:
// "OFF", "MAX 150 MS", "MIN 150 MS" or "SET 150 MS"; empty for an unknown mode.
QString endModeLabel(EndMode mode, int targetMs);

} // namespace ks

Q_DECLARE_METATYPE(ks::Settings)
