#include "toollocator.h"

#include "settings.h"
#include "settingsstore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>

namespace ks {

namespace {

struct ToolCache
{
    std::mutex mutex;
    QString ffmpeg;
    QString ffprobe;
    bool resolved = false;
};

ToolCache &toolCache()
{
    static ToolCache cache;
    return cache;
}

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

void ensureToolsResolved()
{
    ToolCache &cache = toolCache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.resolved)
        return;
    const Settings &settings = appSettings();
    cache.ffmpeg = locateTool(settings.ffmpegPath, QStringLiteral("ffmpeg"));
    cache.ffprobe = locateTool(settings.ffprobePath, QStringLiteral("ffprobe"));
    cache.resolved = true;
}

QString ffmpegPath()
{
    ensureToolsResolved();
    ToolCache &cache = toolCache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    return cache.ffmpeg;
}

QString ffprobePath()
{
    ensureToolsResolved();
    ToolCache &cache = toolCache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    return cache.ffprobe;
}

bool toolsAvailable(QString *error)
{
    if (!ffmpegPath().isEmpty() && !ffprobePath().isEmpty())
        return true;
    if (error) {
        *error = QStringLiteral("ffmpeg/ffprobe not found. They ship with Kestrova in the ffmpeg folder beside the "
                                "program - reinstall to restore them, or set their paths in Preferences.");
    }
    return false;
}

void resetToolCache()
{
    ToolCache &cache = toolCache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    cache.resolved = false;
}

} // namespace ks
