#include "toollocator.h"

#include "codectable.h"
#include "toolpaths.h"
#include "toolrunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

namespace ks {

namespace {

QString executableName(const QString &baseName)
{
#ifdef Q_OS_WIN
    return baseName + QStringLiteral(".exe");
#else
    return baseName;
#endif
}

} // namespace

bool ToolLocator::isRunnable(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString ToolLocator::locate(const QString &configuredPath, const QString &baseName)
{
    if (!configuredPath.isEmpty() && isRunnable(configuredPath))
        return configuredPath;

    const QString fileName = executableName(baseName);
    const QString appDir = QCoreApplication::applicationDirPath();
    for (const QLatin1String folder : { QLatin1String("/ffmpeg/"), QLatin1String("/"), QLatin1String("/tools/") }) {
        const QString candidate = appDir + folder + fileName;
        if (isRunnable(candidate))
            return candidate;
    }
    return QStandardPaths::findExecutable(baseName);
}

QString ToolLocator::locatePlayer(const QString &ffmpeg)
{
    // A configured ffmpeg brings its own player.
    if (!ffmpeg.isEmpty()) {
        const QString beside = QFileInfo(ffmpeg).dir().filePath(executableName(QStringLiteral("ffplay")));
        if (isRunnable(beside))
            return beside;
    }
    return locate(QString(), QStringLiteral("ffplay"));
}

QString locateTool(const QString &configuredPath, const QString &baseName)
{
    return ToolLocator::locate(configuredPath, baseName);
}

// Files at once share one question; the first to need the answer asks, the others wait for it.
struct ToolPaths::EncoderQuery
{
    QMutex mutex;
    bool answered = false;
    EncoderList encoders;
};

void ToolPaths::askEncodersWhenNeeded()
{
    encoderQuery = std::make_shared<EncoderQuery>();
}

EncoderList ToolPaths::availableEncoders(const std::function<bool()> &cancelled) const
{
    if (!encoders.isEmpty() || !encoderQuery)
        return encoders;
    QMutexLocker lock(&encoderQuery->mutex);
    if (!encoderQuery->answered) {
        const ToolRun run
                = runTool(ffmpeg, { QStringLiteral("-hide_banner"), QStringLiteral("-encoders") }, cancelled, {}, {});
        encoderQuery->answered = !run.cancelled;
        encoderQuery->encoders = run.exitCode == 0 ? EncoderList::parse(run.stdOut) : EncoderList();
    }
    return encoderQuery->encoders;
}

ToolPaths ToolPaths::resolve(const QString &configuredFfmpeg, const QString &configuredFfprobe)
{
    return { ToolLocator::locate(configuredFfmpeg, QStringLiteral("ffmpeg")),
        ToolLocator::locate(configuredFfprobe, QStringLiteral("ffprobe")), {} };
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
