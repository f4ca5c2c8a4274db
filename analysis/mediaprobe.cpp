#include "mediaprobe.h"

#include "containercheck.h"
#include "mp3stream.h"
#include "toolmessage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ks {

QStringList probeArguments(const QString &path, const QString &level)
{
    // Every stream, so the attached pictures are counted along with the audio.
    return { QStringLiteral("-v"), level, QStringLiteral("-show_entries"),
        QStringLiteral("format=duration,bit_rate,format_name:format_tags"), QStringLiteral("-show_entries"),
        QStringLiteral("stream=codec_type,codec_name,profile,sample_rate,channels,bit_rate,start_time"
                       ":stream_disposition=attached_pic"),
        QStringLiteral("-show_chapters"), QStringLiteral("-of"), QStringLiteral("json"), path };
}

MediaInfo parseProbeOutput(const QByteArray &json)
{
    MediaInfo info;
    const QJsonObject root = QJsonDocument::fromJson(json).object();

    const QJsonObject format = root.value(QLatin1String("format")).toObject();
    info.durationSec = format.value(QLatin1String("duration")).toString().toDouble();
    info.formatName = format.value(QLatin1String("format_name")).toString();
    info.bitRate = format.value(QLatin1String("bit_rate")).toString().toInt();
    const QJsonObject tags = format.value(QLatin1String("tags")).toObject();
    info.tagKeys = tags.keys();
    info.timeReference = tags.value(QLatin1String("time_reference")).toString();
    for (const QJsonValue &value : root.value(QLatin1String("chapters")).toArray()) {
        const QJsonObject mark = value.toObject();
        Chapter chapter{ mark.value(QLatin1String("start_time")).toString().toDouble(),
            mark.value(QLatin1String("end_time")).toString().toDouble(), {} };
        const QJsonObject chapterTags = mark.value(QLatin1String("tags")).toObject();
        for (auto tag = chapterTags.begin(); tag != chapterTags.end(); ++tag)
            chapter.tags.append({ tag.key(), tag.value().toString() });
        info.chapters.append(chapter);
    }

    QJsonObject audio;
    for (const QJsonValue &value : root.value(QLatin1String("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        const QString type = stream.value(QLatin1String("codec_type")).toString();
        if (type == QLatin1String("audio") && audio.isEmpty())
            audio = stream;
        else if (type == QLatin1String("video"))
            ++(stream.value(QLatin1String("disposition")).toObject().value(QLatin1String("attached_pic")).toInt()
                            ? info.pictures
                            : info.videos);
    }
    if (audio.isEmpty()) {
        info.error = QStringLiteral("no audio stream");
        return info;
    }
    info.codec = audio.value(QLatin1String("codec_name")).toString();
    info.profile = audio.value(QLatin1String("profile")).toString();
    info.sampleRate = audio.value(QLatin1String("sample_rate")).toString().toInt();
    info.channels = audio.value(QLatin1String("channels")).toInt();
    info.startSec = audio.value(QLatin1String("start_time")).toString().toDouble();
    const int streamBitRate = audio.value(QLatin1String("bit_rate")).toString().toInt();
    if (streamBitRate > 0)
        info.bitRate = streamBitRate;

    // A missing length is learnt from the decode; a missing codec is fatal.
    if (!info.codec.isEmpty() && info.sampleRate > 0)
        info.ok = true;
    else
        info.error = QStringLiteral("unreadable audio stream");
    return info;
}

namespace {

// The first audio packets' timestamps where they do not rise: without them a
// cut has nowhere to begin, and what is written plays out of order.
QString flatTimestamps(const ToolPaths &tools, const QString &path, const CancelCallback &cancelled)
{
    const ToolRun run = runTool(tools.ffprobe,
            { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("a:0"),
                    QStringLiteral("-read_intervals"), QStringLiteral("%+#16"), QStringLiteral("-show_entries"),
                    QStringLiteral("packet=pts"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), path },
            cancelled, {}, {});
    const QStringList stamps = run.stdOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    qint64 last = -1;
    for (const QString &stamp : stamps) {
        bool ok = false;
        const qint64 pts = stamp.trimmed().toLongLong(&ok);
        if (!ok || (pts <= last && last >= 0))
            return QStringLiteral("%1: audio packets stamped %2").arg(path, stamps.join(QLatin1Char(' ')).simplified());
        last = pts;
    }
    return {};
}

} // namespace

MediaInfo probeMedia(const ToolPaths &tools, const QString &path, const CancelCallback &cancelled)
{
    MediaInfo info;
    if (const QString refused = inputRefusal(path); !refused.isEmpty()) {
        info.error = refused;
        return info;
    }
    const ToolRun run = runTool(tools.ffprobe, probeArguments(path), cancelled, {}, {});
    if (run.cancelled) {
        info.cancelled = true;
        info.error = QStringLiteral("cancelled");
        return info;
    }
    if (!run.started || run.exitCode != 0) {
        // A decoder that is missing a feature only warns, and ffprobe then fails without a word.
        const ToolRun told = run.started && run.stdErr.trimmed().isEmpty()
                ? runTool(tools.ffprobe, probeArguments(path, QStringLiteral("warning")), cancelled, {}, {})
                : run;
        info.error = ToolMessage::oneLine(told.stdErr, path);
        info.detail = told.stdErr.trimmed();
        if (info.error.isEmpty())
            info.error = QStringLiteral("ffprobe failed");
        return info;
    }
    info = parseProbeOutput(run.stdOut.toUtf8());
    // What ffprobe estimated from raw AAC's first frames, its frames say.
    if (const ContainerCheck::AdtsRun adts = info.ok && info.formatName == QLatin1String("aac")
                    ? ContainerCheck::adtsRun(path)
                    : ContainerCheck::AdtsRun();
            adts.samples > 0) {
        info.durationSec = adts.seconds();
        info.bitRate = adts.bitRate();
    }
    if (const QString flat = info.ok && info.formatName.startsWith(QLatin1String("matroska"))
                    ? flatTimestamps(tools, path, cancelled)
                    : QString();
            !flat.isEmpty()) {
        info.ok = false;
        info.error = QStringLiteral("damaged audio (its packets carry no timestamps)");
        info.detail = flat;
    }
    if (info.ok && info.formatName == QLatin1String("mp3"))
        info.id3v1 = ContainerCheck::endsWithId3v1(path);
    if (info.ok && (info.codec == QLatin1String("mp3") || info.codec == QLatin1String("mp2"))
            && info.formatName == QLatin1String("mp3")) {
        info.gaplessHeader = ContainerCheck::mp3Layout(path, false).taggedFirst;
        info.framesInSync = Mp3Stream::read(path).problem.isEmpty();
    }
    return info;
}

} // namespace ks
