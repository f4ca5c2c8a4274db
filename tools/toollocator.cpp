#include "toollocator.h"

#include "codectable.h"
#include "toolpaths.h"
#include "toolrunner.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

namespace ks {

namespace {

// A folder is "executable" too; only a runnable file will do.
bool isRunnableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QString locateTool(const QString &configuredPath, const QString &baseName)
{
    if (!configuredPath.isEmpty() && isRunnableFile(configuredPath))
        return configuredPath;

#ifdef Q_OS_WIN
    const QString fileName = baseName + QStringLiteral(".exe");
#else
    const QString fileName = baseName;
#endif
    const QString appDir = QCoreApplication::applicationDirPath();
    for (const QLatin1String folder : { QLatin1String("/ffmpeg/"), QLatin1String("/"), QLatin1String("/tools/") }) {
        const QString candidate = appDir + folder + fileName;
        if (isRunnableFile(candidate))
            return candidate;
    }
    return QStandardPaths::findExecutable(baseName);
}

void ToolPaths::listEncoders(const std::function<bool()> &cancelled)
{
    const ToolRun run
            = runTool(ffmpeg, { QStringLiteral("-hide_banner"), QStringLiteral("-encoders") }, cancelled, {}, {});
    encoders = run.exitCode == 0 ? CodecTable::parseEncoders(run.stdOut) : QStringList();
}

ToolPaths ToolPaths::resolve(const QString &configuredFfmpeg, const QString &configuredFfprobe)
{
    return { locateTool(configuredFfmpeg, QStringLiteral("ffmpeg")),
             locateTool(configuredFfprobe, QStringLiteral("ffprobe")), {} };
}

QString ToolPaths::notFoundMessage()
{
#ifdef Q_OS_WIN
    return QStringLiteral("ffmpeg/ffprobe not found. They ship with Kestrova in the ffmpeg folder beside the "
                          "program - reinstall to restore them, or set their paths in Preferences.");
#else
    // Here the tools come from the system's packages.
    return QStringLiteral("ffmpeg/ffprobe not found. Install them (sudo apt install ffmpeg), or set their paths "
                          "in Preferences.");
#endif
}

} // namespace ks
