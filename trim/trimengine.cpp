#include "trimengine.h"

#include "codectable.h"
#include "filereplacer.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "settings.h"
#include "silenceanalyzer.h"

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

QString lastLine(const QString &text)
{
    return text.trimmed().section(QLatin1Char('\n'), -1).trimmed();
}

StepResult failAndRemove(const QString &temporary, const QString &why)
{
    QFile::remove(temporary);
    return StepResult::failure(why);
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
                            const CancelCallback &cancelled, const ProgressCallback &progress)
{
    const MediaInfo info = probeMedia(tools, item.path, cancelled);
    if (info.cancelled)
        return StepResult::stopped();
    if (!info.ok)
        return StepResult::failure(info.error);
    item.durationSec = info.durationSec;
    item.sizeBytes = QFileInfo(item.path).size();

    const SilenceAnalyzer::Result silence =
            SilenceAnalyzer::analyse(tools, item.path, info.durationSec, settings, cancelled, progress);
    if (silence.cancelled)
        return StepResult::stopped();
    if (!silence.ok)
        return StepResult::failure(silence.error);

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
    item.headChangeSec = adjustmentFor(item.headSec, settings.headMode, settings.headTargetMs / 1000.0);
    item.tailChangeSec = adjustmentFor(item.tailSec, settings.tailMode, settings.tailTargetMs / 1000.0);
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

QString TrimEngine::backupPathFor(const QString &sourcePath)
{
    return sourcePath + QLatin1String(".bak");
}

QStringList TrimEngine::ffmpegArguments(const QString &sourcePath, const QString &outputPath, const Cut &cut,
                                        const MediaInfo *encodeLike, const QString &encoder)
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

    if (encodeLike) {
        args << QStringLiteral("-c:a") << encoder;
        if (encodeLike->bitRate > 0 && !CodecTable::isLossless(encoder))
            args << QStringLiteral("-b:a") << QString::number(encodeLike->bitRate);
        if (encodeLike->sampleRate > 0)
            args << QStringLiteral("-ar") << QString::number(encodeLike->sampleRate);
        if (encodeLike->channels > 0)
            args << QStringLiteral("-ac") << QString::number(encodeLike->channels);
    } else {
        args << QStringLiteral("-c:a") << QStringLiteral("copy");
    }
    if (pictures)
        args << QStringLiteral("-c:v") << QStringLiteral("copy");

    if (suffix.compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0)
        args << QStringLiteral("-id3v2_version") << QStringLiteral("3");
    args << temporaryPathFor(outputPath);
    return args;
}

StepResult TrimEngine::apply(QueueItem &item, const Settings &settings, const ToolPaths &tools,
                             const CancelCallback &cancelled, const ProgressCallback &progress)
{
    const Cut cut = cutFor(item);
    if (cut.keptSec <= MinimumLength + 1e-9)
        return StepResult::failure(QStringLiteral("nothing would be left after the trim"));

    const bool streamCopyWanted = settings.trimMethod == TrimMethod::StreamCopy;
    if (cut.needsPadding() && streamCopyWanted && settings.padFallback == PadFallback::Skip) {
        return StepResult::leftAlone(QStringLiteral("needs %1 s of silence added, which a stream copy cannot do")
                                             .arg(fixed(cut.headPadSec + cut.tailPadSec, 2)));
    }

    // The source's codec decides the encoder, and whether a stream copy would
    // be exact. It is known before anything is written.
    const MediaInfo source = probeMedia(tools, item.path, cancelled);
    if (source.cancelled)
        return StepResult::stopped();
    const bool reencode = cut.needsPadding() || !streamCopyWanted || CodecTable::needsReencode(source.codec);
    QString encoder;
    if (reencode) {
        encoder = source.ok ? CodecTable::encoderFor(source.codec) : QString();
        if (encoder.isEmpty())
            return StepResult::failure(QStringLiteral("no encoder available for %1").arg(source.codec));
    }

    const QString outputDir = QFileInfo(item.outputPath).absolutePath();
    if (!QDir().mkpath(outputDir))
        return StepResult::failure(QStringLiteral("cannot create %1").arg(native(outputDir)));

    const QString temporary = temporaryPathFor(item.outputPath);
    QFile::remove(temporary);

    const QStringList args = ffmpegArguments(item.path, item.outputPath, cut, reencode ? &source : nullptr, encoder);
    item.reencoded = reencode;
    const double expected = cut.expectedSec();
    const ToolRun run = runTool(
            tools.ffmpeg, args, cancelled,
            [&](const QString &line) { reportProgressLine(line, expected, progress); }, {});

    if (!run.started || run.cancelled || run.exitCode != 0) {
        if (run.cancelled) {
            QFile::remove(temporary);
            return StepResult::stopped();
        }
        const QString reason = lastLine(run.stdErr);
        return failAndRemove(temporary, reason.isEmpty() ? QStringLiteral("ffmpeg failed") : reason);
    }
    const QFileInfo written(temporary);
    if (!written.exists() || written.size() == 0)
        return failAndRemove(temporary, QStringLiteral("ffmpeg produced no output"));

    const QFileInfo original(item.path);
    const QDateTime modified = original.lastModified();
    const bool inPlace = settings.outputMode == OutputMode::InPlace;
    if (inPlace && settings.makeBackup) {
        const QString backup = backupPathFor(item.path);
        QFile::remove(backup);
        if (!QFile::copy(item.path, backup) || !FileReplacer::flushToDisk(backup))
            return failAndRemove(temporary,
                                 QStringLiteral("cannot write backup %1").arg(native(backup)));
    }
    if (inPlace)
        QFile::setPermissions(temporary, original.permissions());

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
    if (progress)
        progress(100);
    return StepResult::success();
}

} // namespace ks
