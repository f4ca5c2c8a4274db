#include "decodedlength.h"

namespace ks {

QStringList DecodedLength::arguments(const QString &path)
{
    return { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("a:0"),
        QStringLiteral("-show_entries"), QStringLiteral("frame=nb_samples"), QStringLiteral("-of"),
        QStringLiteral("csv=p=0"), path };
}

DecodedLength::Result DecodedLength::count(const ToolPaths &tools, const QString &path, const CancelCallback &cancelled)
{
    Result result;
    if (!inputRefusal(path).isEmpty())
        return result;
    qint64 samples = 0;
    bool readable = true;
    const ToolRun run = runTool(tools.ffprobe, arguments(path), cancelled,
            [&](const QString &line) {
                // A frame's side data (AC-3's downmix) follows its count, after a comma or on lines of its own.
                const QString count = line.section(QLatin1Char(','), 0, 0);
                bool ok = false;
                samples += count.toLongLong(&ok);
                readable = readable && (ok || count.isEmpty());
            },
            {});
    result.cancelled = run.cancelled;
    if (run.started && run.exitCode == 0 && readable && samples > 0)
        result.samples = samples;
    return result;
}

} // namespace ks
