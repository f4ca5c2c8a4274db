#include "trimengine.h"

#include "chaptermap.h"
#include "codectable.h"
#include "containercheck.h"
#include "decodedlength.h"
#include "exactcut.h"
#include "formattable.h"
#include "id3carry.h"
#include "ilstcarry.h"
#include "mediaprobe.h"
#include "mp3probe.h"
#include "mp3stream.h"
#include "outputcommit.h"
#include "queueitem.h"
#include "settings.h"
#include "silenceanalyzer.h"
#include "sourcecheck.h"
#include "sourcelock.h"
#include "textformat.h"
#include "toolmessage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <future>

namespace ks {

namespace {

StepResult failAndRemove(const QString &temporary, const QString &why, const QString &detail = {})
{
    QFile::remove(temporary);
    return StepResult::failure(why, detail);
}

// In place, a link named directly is kept; the file it leads to is trimmed.
void followLink(QueueItem &item)
{
    const QFileInfo named(item.path);
    if (named.isSymLink())
        item.outputPath = named.canonicalFilePath();
}

// The source as the plan's probe saw it, or probed again.
StepResult probeSource(const QString &path, const ToolPaths &tools, const CancelCallback &cancelled,
        const MediaInfo *probed, MediaInfo &source)
{
    source = probed && probed->ok ? *probed : probeMedia(tools, path, cancelled);
    if (source.cancelled)
        return StepResult::stopped();
    if (!source.ok)
        return StepResult::failure(source.error, source.detail);
    return StepResult::success();
}

// ffmpeg's write is planned from ffprobe's view of a source read from its
// bytes: those alone serve only an exact cut.
StepResult probeForFfmpeg(
        const QString &path, const ToolPaths &tools, const CancelCallback &cancelled, MediaInfo &source)
{
    MediaInfo probed;
    if (const StepResult read = probeSource(path, tools, cancelled, nullptr, probed); !read.ok())
        return read;
    // The plan's length and the file it was made from stay.
    probed.durationSec = source.durationSec;
    probed.file = source.file;
    source = probed;
    return StepResult::success();
}

// Where the new file goes: a file rewritten in place must be writable
// (read-only is a wish of the file's owner, even to root), a folder made.
StepResult prepareTarget(const QString &outputPath, bool inPlace)
{
    if (inPlace) {
        const QFileInfo target(outputPath);
        if (!target.isWritable() || !(target.permissions() & QFile::WriteOwner))
            return StepResult::failure(QStringLiteral("file is read-only"));
    }
    const QString outputDir = QFileInfo(outputPath).absolutePath();
    if (!QDir().mkpath(outputDir))
        return StepResult::failure(QStringLiteral("cannot create %1").arg(native(outputDir)));
    return StepResult::success();
}

// Cuts the source into the temporary file without ffmpeg.
StepResult writeExact(const QueueItem &item, const RewritePlan &plan, const MediaInfo &source, const ToolPaths &tools,
        const CancelCallback &cancelled)
{
    const QString temporary = TrimEngine::temporaryPathFor(item.outputPath);
    if (cancelled && cancelled())
        return StepResult::stopped();
    const StepResult written = ExactCut::write(item.path, temporary, plan.cut(), source, tools.ffmpeg, cancelled);
    const bool stopped = written.proceeds() && cancelled && cancelled();
    if (!written.proceeds() || stopped)
        QFile::remove(temporary);
    return stopped ? StepResult::stopped() : written;
}

// Writes the temporary file beside the output: with ffmpeg, but for an exact cut.
StepResult write(const QueueItem &item, const RewritePlan &plan, const MediaInfo &source, const ToolPaths &tools,
        const CancelCallback &cancelled, const ProgressCallback &progress)
{
    const QString temporary = TrimEngine::temporaryPathFor(item.outputPath);
    QFile::remove(temporary);
    if (plan.method() == RewritePlan::Method::Exact)
        return writeExact(item, plan, source, tools, cancelled);
    const double expected = plan.cut().expectedSec();
    const ToolRun run = runTool(tools.ffmpeg, TrimEngine::ffmpegArguments(item.path, item.outputPath, plan, source),
            cancelled, [&](const QString &line) { reportProgressLine(line, expected, progress); }, {});
    if (run.cancelled) {
        QFile::remove(temporary);
        return StepResult::stopped();
    }
    if (const QString error = ToolMessage::writeError(run.stdErr); !error.isEmpty())
        return failAndRemove(temporary, error, run.stdErr.trimmed());
    if (!run.started || run.exitCode != 0) {
        QString reason = ToolMessage::oneLine(run.stdErr, item.path, temporary, item.outputPath);
        // A container ffmpeg only reads is written again only by re-encoding into another.
        const QString encoder = CodecTable::encoderFor(source.codec, tools.encoders);
        if (!plan.reencodes() && ToolMessage::isUnwritable(run.stdErr)
                && (encoder.isEmpty() || (!tools.encoders.isEmpty() && !tools.encoders.contains(encoder))))
            reason = QStringLiteral("%1 cannot be cut without re-encoding and there is no encoder for it")
                             .arg(CodecTable::displayName(source.codec));
        return failAndRemove(
                temporary, reason.isEmpty() ? QStringLiteral("ffmpeg failed") : reason, run.stdErr.trimmed());
    }
    const QFileInfo written(temporary);
    if (!written.exists() || written.size() == 0)
        return failAndRemove(temporary, QStringLiteral("ffmpeg produced no output"));
    if (FormatTable::carriesId3ByHand(written.suffix(), source)) {
        if (const QString why = Id3Carry::copy(item.path, temporary); !why.isEmpty())
            return failAndRemove(temporary, why);
    }
    if (source.formatName.startsWith(QLatin1String("mov,mp4"))) {
        if (const QString why = IlstCarry::copy(item.path, temporary); !why.isEmpty())
            return failAndRemove(temporary, why);
    }
    return StepResult::success();
}

// Nothing is replaced until the new file reads back as what was planned.
StepResult readBack(const QueueItem &item, const RewritePlan &plan, const MediaInfo &source, const ToolPaths &tools,
        const CancelCallback &cancelled, MediaInfo &written)
{
    const QString &outputPath = item.outputPath;
    const QString temporary = TrimEngine::temporaryPathFor(outputPath);
    const bool exact = plan.method() == RewritePlan::Method::Exact;
    // An exact cut copied every coded byte and only rewrote the container's
    // fields, which are read back here; anything else is probed as a player would.
    written = exact ? source : probeMedia(tools, temporary, cancelled);
    if (written.cancelled) {
        QFile::remove(temporary);
        return StepResult::stopped();
    }
    const bool pictures = FormatTable::carriesPictures(QFileInfo(outputPath).suffix(), source);
    // The container's own sizes and frames first: what ffprobe read from them may only be an estimate.
    if (const QString wrong = written.ok ? ContainerCheck::writtenProblem(temporary, written.formatName) : QString();
            !wrong.isEmpty())
        return failAndRemove(temporary, wrong + QStringLiteral(" - original kept"));
    if (written.ok && exact) {
        const qint64 planned = ExactCut::spanOf(item.path, plan.cut(), source).total();
        const qint64 samples = ExactCut::samplesOf(temporary, source);
        if (samples != planned) {
            return failAndRemove(temporary,
                    QStringLiteral("written file holds %1 samples, %2 were planned - original kept")
                            .arg(samples)
                            .arg(planned));
        }
        // The file's own count is exact, where ffprobe counts an Opus pre-skip in.
        written.durationSec = double(samples) / ExactCut::sampleRate(source);
        written.gaplessHeader
                = source.formatName == QLatin1String("mp3") && ContainerCheck::mp3Layout(temporary, false).taggedFirst;
    } else if (written.ok && written.sampleRate > 0) {
        // What a decoder gets, where the header may count an encoder's delay and padding in.
        const DecodedLength::Result decoded = DecodedLength::count(tools, temporary, cancelled);
        if (decoded.cancelled) {
            QFile::remove(temporary);
            return StepResult::stopped();
        }
        if (decoded.samples < 0)
            return failAndRemove(temporary, QStringLiteral("written file cannot be decoded - original kept"));
        written.durationSec = double(decoded.samples) / written.sampleRate;
    }
    if (const QString wrong = TrimEngine::verify(written, source, plan.cut().expectedSec(), pictures, plan.reencodes());
            !wrong.isEmpty())
        return failAndRemove(temporary, wrong);
    return StepResult::success();
}

} // namespace

double TrimEngine::adjustmentFor(double measuredSec, EndMode mode, double targetSec, double frameSec)
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
    // Measured again after a re-encode, a lossy file's ends move by up to a
    // frame: that close to the target is on it, or every run would re-encode.
    if (mode != EndMode::CutBack && std::fabs(delta) < frameSec)
        return 0.0;
    return delta;
}

StepResult TrimEngine::plan(QueueItem &item, const Settings &settings, const ToolPaths &tools,
        const CancelCallback &cancelled, const ProgressCallback &progress, MediaInfo *probed)
{
    if (const QFileInfo file(item.path); file.isFile() && file.size() == 0)
        return StepResult::failure(QStringLiteral("empty file"));
    // Another run is rewriting it: what would be measured is neither file.
    if (SourceLock(item.path).busy())
        return SourceCheck::heldByAnotherRun();
    // The file as this plan is made from it, before anything reads it.
    const FileIdentity identity = FileIdentity::of(item.path);
    // Where the file's own fields give its length, the probe runs beside the
    // measurement: each is mostly a child starting up.
    // A plain MP3 says by its bytes what ffprobe would, and its length,
    // without a child; what ffmpeg is to write is probed as ffmpeg reads it.
    Mp3Stream frames;
    const MediaInfo read
            = settings.trimMethod == TrimMethod::StreamCopy ? Mp3Probe::read(item.path, &frames) : MediaInfo();
    const Mp3Stream *stream = read.ok ? &frames : nullptr;
    const ExactCut::Length own = read.ok
            ? ExactCut::Length{ std::llround(read.durationSec * read.sampleRate), read.sampleRate }
            : ExactCut::lengthOf(item.path);
    std::future<MediaInfo> probing;
    if (!read.ok)
        probing = std::async(
                std::launch::async, [&tools, &item, &cancelled] { return probeMedia(tools, item.path, cancelled); });
    SilenceAnalyzer::Result silence;
    if (own.known())
        silence = SilenceAnalyzer::analyse(tools, item.path, own.seconds(), settings, cancelled, progress, stream);
    MediaInfo info = probing.valid() ? probing.get() : read;
    info.file = identity;
    // Where a file's own fields say exactly what a decoder outputs, ffprobe's
    // length may count in a late start or an Opus pre-skip.
    const bool exact = info.ok && ExactCut::handles(info);
    const qint64 samples = !exact                                         ? -1
            : own.known() && ExactCut::sampleRate(info) == own.sampleRate ? own.samples
                                                                          : ExactCut::samplesOf(item.path, info);
    if (samples > 0)
        info.durationSec = double(samples) / ExactCut::sampleRate(info);
    if (probed)
        *probed = info;
    if (info.cancelled)
        return StepResult::stopped();
    if (!info.ok)
        return StepResult::failure(info.error, info.detail);
    item.durationSec = info.durationSec;
    item.sizeBytes = QFileInfo(item.path).size();

    // Measured from a length the probe does not confirm, it is measured again.
    if (!own.known() || std::fabs(own.seconds() - info.durationSec) > 1e-6)
        silence = SilenceAnalyzer::analyse(tools, item.path, info.durationSec, settings, cancelled, progress, stream);
    if (silence.cancelled)
        return StepResult::stopped();
    if (!silence.ok)
        return StepResult::failure(silence.error, silence.detail);
    // Where the file's own fields end it (an MP4 edit list), a decoder that
    // honours them stops there, while ffmpeg plays the last frame out: the
    // tail is what lies before that end, the length an exact cut works in.
    if (const double over = silence.decodedSec - info.durationSec; samples > 0 && silence.tailSec > 0 && over > 0)
        silence.tailSec = std::max(silence.tailSec - over, 0.0);
    // Probed before a rewrite and measured after it, the numbers would
    // belong to no one file (and read as damage).
    if (identity.exists && !FileIdentity::of(item.path).isUnchanged(identity))
        return SourceCheck::judge(item.path, identity);

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
    // Cut and verified on the decoded timeline: a header's length may count
    // an encoder's delay and padding in, or be only an estimate. Where the
    // file's own fields gave the exact count, that stays.
    if (!ExactCut::handles(info) || std::fabs(shortBy) > LengthTolerance || header <= 0)
        item.durationSec = silence.decodedSec;
    if (probed)
        probed->durationSec = item.durationSec;

    const int frame = CodecTable::frameSamples(info.codec, info.sampleRate);
    const StepResult verdict
            = judge(item, silence, settings, info.sampleRate > 0 ? double(frame) / info.sampleRate : 0);
    if (verdict.kind == StepResult::Kind::Done && progress)
        progress(100);
    return verdict;
}

StepResult TrimEngine::judge(
        QueueItem &item, const SilenceAnalyzer::Result &silence, const Settings &settings, double frameSec)
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
    item.headChangeSec = adjustmentFor(
            measuredFor(item.headSec, settings.leadMode), settings.leadMode, settings.leadTargetMs / 1000.0, frameSec);
    item.tailChangeSec = adjustmentFor(
            measuredFor(item.tailSec, settings.tailMode), settings.tailMode, settings.tailTargetMs / 1000.0, frameSec);
    item.newDurationSec = item.durationSec + item.headChangeSec + item.tailChangeSec;

    // Only removal counts against the safety limit; added silence never does.
    const double removal = -std::min(item.headChangeSec, 0.0) - std::min(item.tailChangeSec, 0.0);
    if (removal > settings.maxTrimSec) {
        return StepResult::failure(QStringLiteral("would remove %1 s, over the %2 s safety limit")
                                           .arg(fixed(removal, 1), fixed(settings.maxTrimSec, 0)));
    }
    // A file too short to keep anything is only refused a change.
    if (item.newDurationSec <= MinimumLength + 1e-9 && (item.headChangeSec != 0.0 || item.tailChangeSec != 0.0))
        return StepResult::failure(QStringLiteral("nothing would be left after the trim"));
    return StepResult::success();
}

bool TrimEngine::isTemporaryName(const QString &fileName)
{
    return fileName.startsWith(QLatin1Char('.')) && fileName.contains(QLatin1String(".kstmp."));
}

QString TrimEngine::temporaryPathFor(const QString &outputPath)
{
    const QFileInfo info(outputPath);
    return info.dir().filePath(QLatin1Char('.') + info.completeBaseName() + QLatin1String(".kstmp.") + info.suffix());
}

QStringList TrimEngine::ffmpegArguments(
        const QString &sourcePath, const QString &outputPath, const RewritePlan &plan, const MediaInfo &source)
{
    const RewritePlan::Cut &cut = plan.cut();
    const QString suffix = QFileInfo(outputPath).suffix();
    const bool pictures = FormatTable::carriesPictures(suffix, source);
    QStringList args{ QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-nostats"),
        QStringLiteral("-y"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-progress"),
        QStringLiteral("pipe:1") };
    // A re-encode cuts the decoded stream to the sample; a copy cuts on the
    // codec's frames. Neither is held to a header's length where the end is
    // kept: the header may claim less than the decode gives.
    if (!plan.reencodes()) {
        args << QStringLiteral("-ss") << fixed(cut.startSec, 3);
        if (!cut.endKept)
            args << QStringLiteral("-t") << fixed(cut.keptSec, 3);
    }
    args << QStringLiteral("-i") << sourcePath;
    args << ChapterMap::arguments(source, cut) << QStringLiteral("-map") << QStringLiteral("0:a:0");
    // Cover art rides along: every video stream that is an attached picture.
    if (pictures) {
        args << QStringLiteral("-map") << QStringLiteral("0:v?") << QStringLiteral("-map") << QStringLiteral("-0:V?");
    }
    args << QStringLiteral("-map_metadata") << QStringLiteral("0");

    // A delay the container does not record is made up for at the head.
    int delay = 0;
    switch (plan.method()) {
    case RewritePlan::Method::StreamCopy:
    case RewritePlan::Method::Exact: // written without ffmpeg; as a copy, were it asked for
        args << QStringLiteral("-c:a") << QStringLiteral("copy");
        break;
    case RewritePlan::Method::ReEncode:
        if (!FormatTable::recordsEncoderDelay(suffix, source, plan.encoder()))
            delay = CodecTable::encoderDelay(plan.encoder(), source.sampleRate);
        if (const QString filter = RewritePlan::cutFilter(cut, source.sampleRate, delay); !filter.isEmpty())
            args << QStringLiteral("-af") << filter;
        args << QStringLiteral("-c:a") << plan.encoder() << plan.encoderOptions();
        if (source.sampleRate > 0)
            args << QStringLiteral("-ar") << QString::number(source.sampleRate);
        if (source.channels > 0)
            args << QStringLiteral("-ac") << QString::number(source.channels);
        break;
    }
    if (pictures)
        args << QStringLiteral("-c:v") << QStringLiteral("copy");
    args << FormatTable::tagArguments(suffix, source, cut);
    // Cut short, the new length is an output limit too: chapters are clipped
    // to it, and one that would start after the end is dropped. Silence
    // added for a decoder to drop counts in.
    if (!cut.endKept) {
        const double dropped = delay < 0 && source.sampleRate > 0 ? -double(delay) / source.sampleRate : 0.0;
        args << QStringLiteral("-t") << fixed(cut.expectedSec() + dropped, 6);
    }
    args << FormatTable::muxerArguments(suffix, source) << temporaryPathFor(outputPath);
    return args;
}

StepResult TrimEngine::apply(QueueItem &item, const Settings &settings, const ToolPaths &tools,
        const CancelCallback &cancelled, const ProgressCallback &progress, const MediaInfo *probed)
{
    const bool inPlace = settings.outputMode == OutputMode::InPlace;
    if (inPlace)
        followLink(item);
    const SourceLock lock(item.path);
    if (lock.busy())
        return SourceCheck::heldByAnotherRun();
    MediaInfo source;
    if (const StepResult read = probeSource(item.path, tools, cancelled, probed, source); !read.ok())
        return read;
    // Only a re-encode needs to know what this ffmpeg can encode.
    RewritePlan plan = RewritePlan::make(item, settings, source, tools.encoders);
    if (plan.writes() && plan.method() != RewritePlan::Method::Exact && source.fromBytes) {
        if (const StepResult read = probeForFfmpeg(item.path, tools, cancelled, source); !read.ok())
            return read;
        plan = RewritePlan::make(item, settings, source, tools.encoders);
    }
    if (plan.reencodes())
        plan = RewritePlan::make(item, settings, source, tools.availableEncoders(cancelled));
    if (!plan.writes())
        return plan.verdict();
    // Nothing is written from a file still being recorded, or other than planned.
    const FileIdentity planned = source.file.exists ? source.file : FileIdentity::of(item.path);
    if (const StepResult same = SourceCheck::judge(item.path, planned); !same.proceeds())
        return same;
    if (const StepResult ready = prepareTarget(item.outputPath, inPlace); !ready.ok())
        return ready;

    StepResult written = write(item, plan, source, tools, cancelled, progress);
    // A stream the exact cutter turns down (a chain, a second stream) is written as it would be without it.
    if (written.skipped() && plan.method() == RewritePlan::Method::Exact) {
        if (const StepResult read = probeForFfmpeg(item.path, tools, cancelled, source); !read.ok())
            return read;
        plan = RewritePlan::make(item, settings, source, tools.availableEncoders(cancelled), false, written.message);
        if (!plan.writes())
            return plan.verdict();
        written = write(item, plan, source, tools, cancelled, progress);
    }
    item.reencoded = plan.reencodes();
    if (!written.ok())
        return written;
    MediaInfo result;
    if (const StepResult checked = readBack(item, plan, source, tools, cancelled, result); !checked.ok())
        return checked;
    StepResult done
            = OutputCommit::run(temporaryPathFor(item.outputPath), item.outputPath, item.path, planned, settings);
    if (!done.proceeds())
        return done;

    item.newDurationSec = result.durationSec;
    if (progress)
        progress(100);
    done.rewrite = written.rewrite.isEmpty() ? plan.reason() : written.rewrite;
    return done;
}

QString TrimEngine::verify(
        const MediaInfo &written, const MediaInfo &source, double plannedSec, bool picturesKept, bool reencoded)
{
    if (!written.ok)
        return QStringLiteral("written file cannot be read back - original kept");
    if (written.codec != source.codec || written.sampleRate != source.sampleRate
            || written.channels != source.channels) {
        return QStringLiteral("written file has %1 %2 Hz %3 ch, not %4 %5 Hz %6 ch - original kept")
                .arg(written.codec)
                .arg(written.sampleRate)
                .arg(written.channels)
                .arg(source.codec)
                .arg(source.sampleRate)
                .arg(source.channels);
    }
    if (picturesKept && written.pictures < source.pictures)
        return QStringLiteral("written file lost its cover art - original kept");
    // A player takes the encoder's delay and padding from the first frame only.
    if (source.gaplessHeader && written.formatName == QLatin1String("mp3") && !written.gaplessHeader)
        return QStringLiteral("written MP3 lost its gapless header - original kept");
    // A re-encode cuts to the sample: any shortfall is sound lost, however
    // close the length; a decoder may only add the encoder's last frame.
    const double shortBy = plannedSec - written.durationSec;
    if (std::fabs(shortBy) > LengthTolerance || (reencoded && shortBy > WholeSoundTolerance)) {
        const int digits = std::fabs(shortBy) > LengthTolerance ? 1 : 3;
        return QStringLiteral("written file is %1 s long, %2 s was planned - original kept")
                .arg(fixed(written.durationSec, digits), fixed(plannedSec, digits));
    }
    return QString();
}

} // namespace ks
