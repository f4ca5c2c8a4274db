#pragma once

#include <QString>

namespace ks {

// The ffmpeg and ffprobe one run uses, resolved once when it starts and
// handed down by value, so a change in Preferences reaches only the next run.
struct ToolPaths
{
    QString ffmpeg;
    QString ffprobe;

    bool isComplete() const { return !ffmpeg.isEmpty() && !ffprobe.isEmpty(); }

    // Resolves both tools from the paths configured in a run's settings.
    static ToolPaths resolve(const QString &configuredFfmpeg, const QString &configuredFfprobe);

    // What to tell the user when isComplete() is false.
    static QString notFoundMessage();
};

} // namespace ks
