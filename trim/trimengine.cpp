#include "trimengine.h"

#include "backups.h"
#include "codectable.h"
#include "filereplacer.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "settings.h"
#include "silenceanalyzer.h"
#include "toolmessage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace ks {

namespace {

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Ogg's muxer cannot write attached pictures; mapping one makes ffmpeg refuse
// the whole file.
bool canCarryPictures(const QString &suffix)
{
    static const QStringList ogg{ QStringLiteral("ogg"), QStringLiteral("oga"), QStringLiteral("ogx"),
                                  QStringLiteral("opus"), QStringLiteral("spx") };
    return !ogg.contains(suffix.toLower());
}

// The muxer, where the output's suffix does not choose the right one: the
// iPod muxer of .m4a and .m4b takes only AAC and ALAC, so anything else goes
// into plain MP4; a suffix ffmpeg does not know takes the probed format's.
QStringList muxerArguments(const QString &suffix, const MediaInfo &source)
{
    static const QStringList known{
        QStringLiteral("mp3"), QStringLiteral("m4a"), QStringLiteral("m4b"), QStringLiteral("mp4"),
        QStringLiteral("mov"), QStringLiteral("aac"), QStringLiteral("ogg"), QStringLiteral("oga"),
        QStringLiteral("opus"), QStringLiteral("flac"), QStringLiteral("wav"), QStringLiteral("aif"),
        QStringLiteral("aiff"), QStringLiteral("aifc"), QStringLiteral("wv"), QStringLiteral("wma"),
        QStringLiteral("asf"), QStringLiteral("ac3"), QStringLiteral("eac3"), QStringLiteral("mka"),
        QStringLiteral("mkv"), QStringLiteral("webm"), QStringLiteral("mp2"), QStringLiteral("caf"),
        QStringLiteral("au"), QStringLiteral("spx"), QStringLiteral("w64"),
    };
    if ((suffix == QLatin1String("m4a") || suffix == QLatin1String("m4b"))
        && source.codec != QLatin1String("aac") && source.codec != QLatin1String("alac")) {
        // FLAC in MP4 is still marked experimental in this ffmpeg's muxer.
        if (source.codec == QLatin1String("flac"))
            return { QStringLiteral("-strict"), QStringLiteral("experimental"), QStringLiteral("-f"), QStringLiteral("mp4") };
        return { QStringLiteral("-f"), QStringLiteral("mp4") };
    }
    if (!known.contains(suffix) && !source.formatName.isEmpty()) {
        // The demuxer's name is the muxer's, but for raw AAC.
        const QString format = source.formatName.section(QLatin1Char(','), 0, 0);
        return { QStringLiteral("-f"), format == QLatin1String("aac") ? QStringLiteral("adts") : format };
    }
    return {};
}

// MP4 keeps only the iTunes tags it knows unless asked to write every tag as
// a free-form one; that is asked only of files that have such tags
// (ReplayGain, custom keys), so ordinary files keep their iTunes atoms.
bool hasFreeFormTags(const MediaInfo &source)
{
    static const QStringList itunes{
        QStringLiteral("title"), QStringLiteral("artist"), QStringLiteral("album_artist"), QStringLiteral("album"),
        QStringLiteral("composer"), QStringLiteral("comment"), QStringLiteral("genre"), QStringLiteral("date"),
        QStringLiteral("copyright"), QStringLiteral("grouping"), QStringLiteral("lyrics"),
        QStringLiteral("description"), QStringLiteral("synopsis"), QStringLiteral("show"),
        QStringLiteral("episode_id"), QStringLiteral("network"), QStringLiteral("track"), QStringLiteral("disc"),
        QStringLiteral("compilation"), QStringLiteral("gapless_playback"), QStringLiteral("encoder"),
        QStringLiteral("media_type"), QStringLiteral("podcast"), QStringLiteral("keywords"),
        QStringLiteral("category"), QStringLiteral("major_brand"), QStringLiteral("minor_version"),
        QStringLiteral("compatible_brands"), QStringLiteral("creation_time"), QStringLiteral("sort_name"),
        QStringLiteral("sort_artist"), QStringLiteral("sort_album"), QStringLiteral("sort_album_artist"),
        QStringLiteral("sort_composer"),
    };
    return std::any_of(source.tagKeys.cbegin(), source.tagKeys.cend(),
                       [](const QString &key) { return !itunes.contains(key.toLower()); });
}

StepResult failAndRemove(const QString &temporary, const QString &why, const QString &detail = {})
{
    QFile::remove(temporary);
    return StepResult::failure(why, detail);
}

} // namespace

double TrimEngine::adjustmentFor(double measuredSec, EndMode mode, double targetSec)
{
    if (mode == EndMode::LeaveAlone)
        return 0.0;
    const double measured = std::max(measuredSec, 0.0);
    const double target = std::max(targetSec, 0.0);
    const double delta = target - measured;
    const bool keep = (mode == EndMode::CutBack && delta < 0) || (mode == EndMode::TopUp && delta > 0)
            || mode == EndMode::Exact;
    // A change of exactly the tolerance is kept, whatever binary rounding did to it.
    if (!keep || std::fabs(delta) < Tolerance - 1e-9)
        return 0.0;
    return delta;
}

StepResult TrimEngine::plan(QueueItem &item, const Settings &settings, const ToolPaths &tools,
                            const CancelCallback &cancelled, const ProgressCallback &progress, MediaInfo *probed)
{
    if (const QFileInfo file(item.path); file.isFile() && file.size() == 0)
        return StepResult::failure(QStringLiteral("empty file"));
    const MediaInfo info = probeMedia(tools, item.path, cancelled);
    if (probed)
        *probed = info;
    if (info.cancelled)
        return StepResult::stopped();
    if (!info.ok)
        return StepResult::failure(info.error, info.detail);
    item.durationSec = info.durationSec;
    item.sizeBytes = QFileInfo(item.path).size();

    const SilenceAnalyzer::Result silence =
            SilenceAnalyzer::analyse(tools, item.path, info.durationSec, settings, cancelled, progress);
    if (silence.cancelled)
        return StepResult::stopped();
    if (!silence.ok)
        return StepResult::failure(silence.error, silence.detail);

    // The header's length is only a claim; the decode is what a player gets.
    if (silence.decodedSec <= 0)
        return StepResult::failure(QStringLiteral("no decodable audio"));
    const double header = info.durationSec;
    const double shortBy = header - silence.decodedSec;
    if (header > 0 && shortBy > LengthTolerance
        && (!silence.decodeError.isEmpty() || shortBy > std::max(0.5, header * 0.05))) {
        return StepResult::failure(QStringLiteral("damaged audio: decoding stopped at %1 s of %2 s")
                                           .arg(fixed(silence.decodedSec, 1), fixed(header, 1)));
    }
    if (std::fabs(shortBy) > LengthTolerance || header <= 0)
        item.durationSec = silence.decodedSec;
    if (probed)
        probed->durationSec = item.durationSec;

    const StepResult verdict = judge(item, silence, settings);
    if (verdict.kind == StepResult::Kind::Done && progress)
        progress(100);
    return verdict;
}

StepResult TrimEngine::judge(QueueItem &item, const SilenceAnalyzer::Result &silence, const Settings &settings)
{
    if (silence.silentThroughout) {
        item.headSec = item.tailSec = 0.0;
        item.headChangeSec = item.tailChangeSec = 0.0;
        item.newDurationSec = item.durationSec;
        return StepResult::leftAlone(QStringLiteral("file is silent end to end - left alone"));
    }

    item.headSec = silence.headSec;
    item.tailSec = silence.tailSec;
    // Cutting back takes only a silence of the minimum length or more; topping
    // up and setting exactly work from the true length, so a second run agrees.
    const auto measuredFor = [&settings](double silenceSec, EndMode mode) {
        return mode == EndMode::CutBack && silenceSec < settings.minSilenceSec - 1e-9 ? 0.0 : silenceSec;
    };
    item.headChangeSec = adjustmentFor(measuredFor(item.headSec, settings.leadMode), settings.leadMode,
                                       settings.leadTargetMs / 1000.0);
    item.tailChangeSec = adjustmentFor(measuredFor(item.tailSec, settings.tailMode), settings.tailMode,
                                       settings.tailTargetMs / 1000.0);
    item.newDurationSec = item.durationSec + item.headChangeSec + item.tailChangeSec;

    // Only removal counts against the safety limit; added silence never does.
    const double removal = -std::min(item.headChangeSec, 0.0) - std::min(item.tailChangeSec, 0.0);
    if (removal > settings.maxTrimSec) {
        return StepResult::failure(QStringLiteral("would remove %1 s, over the %2 s safety limit")
                                           .arg(fixed(removal, 1), fixed(settings.maxTrimSec, 0)));
    }
    if (item.newDurationSec <= MinimumLength + 1e-9)
        return StepResult::failure(QStringLiteral("nothing would be left after the trim"));
    return StepResult::success();
}

TrimEngine::Cut TrimEngine::cutFor(const QueueItem &item)
{
    Cut cut;
    cut.startSec = item.headChangeSec < 0 ? -item.headChangeSec : 0.0;
    cut.keptSec = item.durationSec + std::min(item.headChangeSec, 0.0) + std::min(item.tailChangeSec, 0.0);
    cut.headPadSec = std::max(item.headChangeSec, 0.0);
    cut.tailPadSec = std::max(item.tailChangeSec, 0.0);
    return cut;
}

QString TrimEngine::temporaryPathFor(const QString &outputPath)
{
    const QFileInfo info(outputPath);
    return info.dir().filePath(QLatin1Char('.') + info.completeBaseName() + QLatin1String(".kstmp.")
                               + info.suffix());
}

QStringList TrimEngine::ffmpegArguments(const QString &sourcePath, const QString &outputPath, const Cut &cut,
                                        const MediaInfo &source, const QString &encoder)
{
    const QString suffix = QFileInfo(outputPath).suffix();
    const bool pictures = canCarryPictures(suffix);
    QStringList args{ QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-nostats"),
                      QStringLiteral("-y"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                      QStringLiteral("-progress"), QStringLiteral("pipe:1"),
                      QStringLiteral("-ss"), fixed(cut.startSec, 3), QStringLiteral("-t"), fixed(cut.keptSec, 3),
                      QStringLiteral("-i"), sourcePath, QStringLiteral("-map"), QStringLiteral("0:a:0") };
    // Cover art rides along: every video stream that is an attached picture.
    if (pictures) {
        args << QStringLiteral("-map") << QStringLiteral("0:v?") << QStringLiteral("-map")
             << QStringLiteral("-0:V?");
    }
    args << QStringLiteral("-map_metadata") << QStringLiteral("0");

    if (cut.needsPadding()) {
        QStringList filters;
        if (cut.headPadSec > 0)
            filters << QStringLiteral("adelay=%1:all=1").arg(static_cast<qint64>(cut.headPadSec * 1000 + 0.5));
        if (cut.tailPadSec > 0)
            filters << QStringLiteral("apad=pad_dur=%1").arg(fixed(cut.tailPadSec, 3));
        args << QStringLiteral("-af") << filters.join(QLatin1Char(','));
    }

    if (!encoder.isEmpty()) {
        args << QStringLiteral("-c:a") << encoder
             << CodecTable::encoderOptions(encoder, source.bitRate, source.channels);
        if (source.sampleRate > 0)
            args << QStringLiteral("-ar") << QString::number(source.sampleRate);
        if (source.channels > 0)
            args << QStringLiteral("-ac") << QString::number(source.channels);
    } else {
        args << QStringLiteral("-c:a") << QStringLiteral("copy");
    }
    if (pictures)
        args << QStringLiteral("-c:v") << QStringLiteral("copy");

    const QString kind = suffix.toLower();
    if (kind == QLatin1String("mp3"))
        args << QStringLiteral("-id3v2_version") << QStringLiteral("3");
    // AIFF keeps its tags and cover in an ID3 chunk only when asked.
    if (kind == QLatin1String("aif") || kind == QLatin1String("aiff") || kind == QLatin1String("aifc"))
        args << QStringLiteral("-write_id3v2") << QStringLiteral("1");
    const bool mp4 = kind == QLatin1String("m4a") || kind == QLatin1String("m4b") || kind == QLatin1String("mp4")
            || kind == QLatin1String("mov");
    // Writing every tag as a free-form one drops the cover, so a file with
    // a cover keeps its iTunes tags only.
    if (mp4 && source.pictures == 0 && hasFreeFormTags(source))
        args << QStringLiteral("-movflags") << QStringLiteral("+use_metadata_tags");
    // The new length as an output limit too: chapters are clipped to it,
    // and one that would start after the end is dropped.
    args << QStringLiteral("-t") << fixed(cut.expectedSec(), 6);
    args << muxerArguments(kind, source) << temporaryPathFor(outputPath);
    return args;
}

StepResult TrimEngine::apply(QueueItem &item, const Settings &settings, const ToolPaths &tools,
                             const CancelCallback &cancelled, const ProgressCallback &progress, const MediaInfo *probed)
{
    const Cut cut = cutFor(item);
    if (cut.keptSec <= MinimumLength + 1e-9)
        return StepResult::failure(QStringLiteral("nothing would be left after the trim"));

    const bool inPlace = settings.outputMode == OutputMode::InPlace;
    if (inPlace) {
        // A link named directly is kept; the file it leads to is trimmed.
        const QFileInfo named(item.path);
        if (named.isSymLink())
            item.outputPath = named.canonicalFilePath();
        const QFileInfo target(item.outputPath);
        // Read-only is a wish of the file's owner, even to root.
        if (!target.isWritable() || !(target.permissions() & QFile::WriteOwner))
            return StepResult::failure(QStringLiteral("file is read-only"));
    }

    const bool streamCopyWanted = settings.trimMethod == TrimMethod::StreamCopy;
    if (cut.needsPadding() && streamCopyWanted && settings.padFallback == PadFallback::Skip) {
        return StepResult::leftAlone(QStringLiteral("needs %1 s of silence added, which a stream copy cannot do")
                                             .arg(fixed(cut.headPadSec + cut.tailPadSec, 2)));
    }

    // The source's codec decides the encoder, and whether a stream copy would
    // be exact. It is known before anything is written, mostly from the plan.
    const MediaInfo source = probed && probed->ok ? *probed : probeMedia(tools, item.path, cancelled);
    if (source.cancelled)
        return StepResult::stopped();
    if (!source.ok)
        return StepResult::failure(source.error, source.detail);
    const bool reencode = cut.needsPadding() || !streamCopyWanted || CodecTable::needsReencode(source.codec);
    QString encoder;
    if (reencode) {
        // Refused before anything is written: no encoder known, or none in this ffmpeg.
        encoder = CodecTable::encoderFor(source.codec);
        if (encoder.isEmpty() || (!tools.encoders.isEmpty() && !tools.encoders.contains(encoder)))
            return StepResult::failure(QStringLiteral("no encoder available for %1").arg(source.codec));
    }

    const QString outputDir = QFileInfo(item.outputPath).absolutePath();
    if (!QDir().mkpath(outputDir))
        return StepResult::failure(QStringLiteral("cannot create %1").arg(native(outputDir)));

    const QString temporary = temporaryPathFor(item.outputPath);
    QFile::remove(temporary);

    const QStringList args = ffmpegArguments(item.path, item.outputPath, cut, source, encoder);
    item.reencoded = reencode;
    const double expected = cut.expectedSec();
    const ToolRun run = runTool(
            tools.ffmpeg, args, cancelled,
            [&](const QString &line) { reportProgressLine(line, expected, progress); }, {});

    if (run.cancelled) {
        QFile::remove(temporary);
        return StepResult::stopped();
    }
    if (const QString error = ToolMessage::writeError(run.stdErr); !error.isEmpty())
        return failAndRemove(temporary, error, run.stdErr.trimmed());
    if (!run.started || run.exitCode != 0) {
        const QString reason = ToolMessage::oneLine(run.stdErr, item.path, temporary, item.outputPath);
        return failAndRemove(temporary, reason.isEmpty() ? QStringLiteral("ffmpeg failed") : reason,
                             run.stdErr.trimmed());
    }
    const QFileInfo written(temporary);
    if (!written.exists() || written.size() == 0)
        return failAndRemove(temporary, QStringLiteral("ffmpeg produced no output"));

    // Nothing is replaced until the new file reads back as what was planned.
    const MediaInfo result = probeMedia(tools, temporary, cancelled);
    if (result.cancelled) {
        QFile::remove(temporary);
        return StepResult::stopped();
    }
    if (const QString wrong = verify(result, source, expected, canCarryPictures(QFileInfo(item.outputPath).suffix()));
        !wrong.isEmpty())
        return failAndRemove(temporary, wrong);

    const QFileInfo original(inPlace ? item.outputPath : item.path);
    const QDateTime modified = original.lastModified();
    // An existing backup is the older copy, from which the current file
    // derives: it is kept as it is.
    bool keptBackup = false;
    if (inPlace && settings.makeBackup) {
        const QString backup = Backups::pathFor(item.outputPath);
        keptBackup = Backups::exists(item.outputPath);
        if (!keptBackup && (!QFile::copy(item.outputPath, backup) || !FileReplacer::flushToDisk(backup)))
            return failAndRemove(temporary,
                                 QStringLiteral("cannot write backup %1").arg(native(backup)));
        // The copy is the runner's; a restore must give back the owner's file.
        if (!keptBackup)
            FileReplacer::takeOwnership(backup, original);
    }
    if (inPlace) {
        QFile::setPermissions(temporary, original.permissions());
        // The new file is the owner's as the old one was; where that cannot
        // be (only root may give a file away) it stays the runner's.
        FileReplacer::takeOwnership(temporary, original);
    }

    // The new file must be on the disk before it takes the original's place.
    if (!FileReplacer::flushToDisk(temporary))
        return failAndRemove(temporary, QStringLiteral("cannot write %1").arg(native(item.outputPath)));
    const bool targetExists = QFileInfo::exists(item.outputPath);
    if (!FileReplacer::replace(temporary, item.outputPath)) {
        return failAndRemove(temporary, (targetExists ? QStringLiteral("cannot replace %1")
                                                      : QStringLiteral("cannot write %1"))
                                                .arg(native(item.outputPath)));
    }

    if (settings.keepMtime) {
        QFile output(item.outputPath);
        if (output.open(QIODevice::ReadWrite))
            output.setFileTime(modified, QFileDevice::FileModificationTime);
    }
    item.newDurationSec = result.durationSec;
    if (progress)
        progress(100);
    StepResult done = StepResult::success();
    // Why a file asked to be stream copied was re-encoded.
    if (reencode && streamCopyWanted) {
        done.rewrite = cut.needsPadding()
                ? QStringLiteral(" (re-encoded to add silence)")
                : QStringLiteral(" (re-encoded: stream copy cannot cut %1 exactly)").arg(source.codec);
    }
    if (keptBackup)
        done.message = QStringLiteral("kept the existing backup");
    return done;
}

QString TrimEngine::verify(const MediaInfo &written, const MediaInfo &source, double plannedSec, bool picturesKept)
{
    if (!written.ok)
        return QStringLiteral("written file cannot be read back - original kept");
    if (written.codec != source.codec || written.sampleRate != source.sampleRate
        || written.channels != source.channels) {
        return QStringLiteral("written file has %1 %2 Hz %3 ch, not %4 %5 Hz %6 ch - original kept")
                .arg(written.codec).arg(written.sampleRate).arg(written.channels)
                .arg(source.codec).arg(source.sampleRate).arg(source.channels);
    }
    if (picturesKept && written.pictures < source.pictures)
        return QStringLiteral("written file lost its cover art - original kept");
    if (std::fabs(written.durationSec - plannedSec) > LengthTolerance) {
        return QStringLiteral("written file is %1 s long, %2 s was planned - original kept")
                .arg(fixed(written.durationSec, 1), fixed(plannedSec, 1));
    }
    return QString();
}

} // namespace ks
