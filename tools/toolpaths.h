#pragma once

#include "encoderlist.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace ks {

// The ffmpeg and ffprobe one run uses, resolved once when it starts and
// handed down by value, so a change in Preferences reaches only the next run.
struct ToolPaths
{
    QString ffmpeg;
    QString ffprobe;
    // The encoders this ffmpeg has, asked once per run; empty when not asked.
    EncoderList encoders;

    bool isComplete() const { return !ffmpeg.isEmpty() && !ffprobe.isEmpty(); }

    // Resolves both tools from the paths configured in a run's settings.
    static ToolPaths resolve(const QString &configuredFfmpeg, const QString &configuredFfprobe);

    // Asks ffmpeg for its encoders (`ffmpeg -hide_banner -encoders`); a stop
    // ends the child, since a tool that hangs would otherwise hold the run.
    void listEncoders(const std::function<bool()> &cancelled = {});

    // What to tell the user when isComplete() is false.
    static QString notFoundMessage();
};

} // namespace ks
