#pragma once

#include <QString>

namespace ks {

// What the program knows about each audio codec, as ffprobe names it: the
// encoder that writes it again, whether it is lossless, and whether a stream
// copy can cut it where a trim needs it cut.
class CodecTable final
{
public:
    // The ffmpeg encoder for `codec`, or an empty string when none is known.
    static QString encoderFor(const QString &codec);
    static bool isLossless(const QString &codec);
    // True when a stream copy would not give the planned cut, so the codec is
    // re-encoded with its own encoder whatever method was chosen.
    static bool needsReencode(const QString &codec);
};

} // namespace ks
