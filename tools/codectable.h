#pragma once

#include <QString>
#include <QStringList>

namespace ks {

class EncoderList;

// What the program knows about each audio codec, as ffprobe names it: the
// encoder that writes it again, whether it is lossless, whether a stream
// copy can cut it where a trim needs it cut, and the options its encoder
// takes to sound like the source.
class CodecTable final
{
public:
    // The ffmpeg encoder for `codec`, or an empty string when none is known.
    static QString encoderFor(const QString &codec);
    // The same among the encoders `listed`: this table's choice where it is
    // listed, else one the listing says writes the codec, the one of the
    // codec's own name first. Never asked (an empty list), this table's.
    static QString encoderFor(const QString &codec, const EncoderList &listed);
    static bool isLossless(const QString &codec);
    // Raw samples, which a re-encode writes again bit for bit.
    static bool isPcm(const QString &codec);
    // The codec as people name it: "APE", "Musepack", "FLAC".
    static QString displayName(const QString &codec);
    // True when a stream copy would not give the planned cut (or not one
    // that players honour), so the codec is re-encoded with its own encoder
    // whatever method was chosen (PCM as itself, bit for bit). Copies stay
    // for codecs that cut on small frames and play everywhere: AAC and AC-3.
    static bool needsReencode(const QString &codec);
    // How much a re-encode may spend: what the source spent, or a level of
    // the encoder's own (Settings' ReencodeQuality, in the same order).
    enum class Level { Source, High, Medium, Small };

    // An encoder's rate options, and the rate they give in words.
    struct EncoderSetting
    {
        QStringList options;
        QString rate; // "128 kbit/s"; empty where the encoder takes no rate
    };

    // The options that give `encoder` the source's rate (`bitRate` bits per
    // second over `channels`), or `level`: a bit rate only within what the
    // encoder takes, a VBR MP3 source by LAME's average rate, none for
    // lossless encoders. An implausible rate leaves the encoder at its default.
    static EncoderSetting encoderSetting(
            const QString &encoder, int bitRate, int channels, int sampleRate, Level level = Level::Source);
    // Samples a decoder gives ahead of what `encoder` was fed at
    // `sampleRate` (negative: that many of its first samples are lost),
    // where the container records no delay.
    static int encoderDelay(const QString &encoder, int sampleRate);
    // Samples in one frame of a lossy `codec`; 0 for a lossless one or one
    // not known. Vorbis counts its long block, Opus its usual 20 ms packet.
    static int frameSamples(const QString &codec, int sampleRate);
};

// The ffmpeg encoder that writes `codec` again, as CodecTable::encoderFor.
QString encoderForCodec(const QString &codec);

} // namespace ks
