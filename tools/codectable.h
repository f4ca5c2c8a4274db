#pragma once

#include <QString>
#include <QStringList>

namespace ks {

// What the program knows about each audio codec, as ffprobe names it: the
// encoder that writes it again, whether it is lossless, whether a stream
// copy can cut it where a trim needs it cut, and the options its encoder
// takes to sound like the source.
class CodecTable final
{
public:
    // The ffmpeg encoder for `codec`, or an empty string when none is known.
    static QString encoderFor(const QString &codec);
    static bool isLossless(const QString &codec);
    // True when a stream copy would not give the planned cut (or not one
    // that players honour), so the codec is re-encoded with its own encoder
    // whatever method was chosen. Copies stay for codecs that cut on small
    // frames and play everywhere: MP3, AAC, AC-3 and PCM.
    static bool needsReencode(const QString &codec);
    // The encoder's rate or quality options for a source of `bitRate` bits
    // per second: quality for the VBR encoders, a bit rate only where the
    // encoder takes it, none for lossless ones.
    static QStringList encoderOptions(const QString &encoder, int bitRate, int channels);

    // The encoders in `ffmpeg -hide_banner -encoders` output.
    static QStringList parseEncoders(const QString &listing);
};

// The ffmpeg encoder that writes `codec` again, as CodecTable::encoderFor.
QString encoderForCodec(const QString &codec);

} // namespace ks
