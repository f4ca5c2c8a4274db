#include "mediaprobe.h"


#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ks {

QStringList probeArguments(const QString &path)
{
    return { QStringLiteral("-v"),
             QStringLiteral("error"),
             QStringLiteral("-select_streams"),
             QStringLiteral("a:0"),
             QStringLiteral("-show_entries"),
             QStringLiteral("format=duration,bit_rate,format_name"),
             QStringLiteral("-show_entries"),
             QStringLiteral("stream=codec_name,sample_rate,channels,bit_rate"),
             QStringLiteral("-of"),
             QStringLiteral("json"),
             path };
}

MediaInfo parseProbeOutput(const QByteArray &json)
{
    MediaInfo info;
    const QJsonObject root = QJsonDocument::fromJson(json).object();

    const QJsonObject format = root.value(QLatin1String("format")).toObject();
    info.durationSec = format.value(QLatin1String("duration")).toString().toDouble();
    info.formatName = format.value(QLatin1String("format_name")).toString();
    info.bitRate = format.value(QLatin1String("bit_rate")).toString().toInt();

    const QJsonArray streams = root.value(QLatin1String("streams")).toArray();
    if (streams.isEmpty()) {
        info.error = QStringLiteral("no audio stream");
        return info;
    }
    const QJsonObject stream = streams.first().toObject();
    info.codec = stream.value(QLatin1String("codec_name")).toString();
    info.sampleRate = stream.value(QLatin1String("sample_rate")).toString().toInt();
    info.channels = stream.value(QLatin1String("channels")).toInt();
    const int streamBitRate = stream.value(QLatin1String("bit_rate")).toString().toInt();
    if (streamBitRate > 0)
        info.bitRate = streamBitRate;

    if (info.durationSec > 0 && !info.codec.isEmpty())
        info.ok = true;
    else
        info.error = QStringLiteral("unreadable audio stream");
    return info;
}

MediaInfo probeMedia(const ToolPaths &tools, const QString &path, const CancelCallback &cancelled)
{
    const ToolRun run = runTool(tools.ffprobe, probeArguments(path), cancelled, {}, {});
    MediaInfo info;
    if (run.cancelled) {
        info.cancelled = true;
        info.error = QStringLiteral("cancelled");
        return info;
    }
    if (!run.started || run.exitCode != 0) {
        info.error = run.stdErr.trimmed();
        if (info.error.isEmpty())
            info.error = QStringLiteral("ffprobe failed");
        return info;
    }
    return parseProbeOutput(run.stdOut.toUtf8());
}

} // namespace ks
