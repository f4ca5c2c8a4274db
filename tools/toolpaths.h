#pragma once

#include "encoderlist.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace ks {

// The ffmpeg and ffprobe one run uses, resolved once when it starts and
// handed down by value, so a change in Preferences reaches only the next run.
struct ToolPaths
{
    QString ffmpeg;
    QString ffprobe;
    // The encoders this ffmpeg has when known up front; empty when not asked.
    EncoderList encoders;

    bool isComplete() const { return !ffmpeg.isEmpty() && !ffprobe.isEmpty(); }

    // Resolves both tools from the paths configured in a run's settings.
    static ToolPaths resolve(const QString &configuredFfmpeg, const QString &configuredFfprobe);

    // From now on, every copy of these paths asks ffmpeg for its encoders
    // (`ffmpeg -hide_banner -encoders`) the first time one of them needs
    // them, and only then: a run that re-encodes nothing never asks.
    void askEncodersWhenNeeded();
    // `encoders`, else the list asked for once for all copies, else empty
    // (every known encoder taken to be there). A stop ends the child, since
    // a tool that hangs would otherwise hold the run.
    EncoderList availableEncoders(const std::function<bool()> &cancelled = {}) const;

    // What to tell the user when isComplete() is false.
    static QString notFoundMessage();

    struct EncoderQuery;
    std::shared_ptr<EncoderQuery> encoderQuery = nullptr; // shared by the copies handed to each file
};

} // namespace ks
