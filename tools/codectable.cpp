#include "codectable.h"

#include "encoderlist.h"

#include <algorithm>
#include <array>

namespace ks {

namespace {

enum class Rate {
    None,    // lossless: no rate at all
    Bits,    // the source's bit rate, as it is
    Nearest, // the nearest rate of the encoder's own table
    Opus,    // a bit rate within what libopus takes for the channels
    Quality, // VBR quality, never a bit rate
};

struct Codec
{
    QLatin1String name;
    QLatin1String encoder;
    bool lossless;
    bool needsReencode;
    Rate rate;
    int minBits = 0; // what the encoder takes, for Rate::Bits
    int maxBits = 0;
    int delay = 0; // see CodecTable::encoderDelay
    int frame = 0; // see CodecTable::frameSamples
};

// Delays measured on this machine's ffmpeg 5.1: half a second of silence, a
// noise burst, encoded into a container that records no delay (ADTS, raw
// MP2 and AC-3, ASF, Matroska for MP3) and decoded again; the delay is the
// lag of the best cross-correlation with the source, the same at 22.05, 32,
// 44.1 and 48 kHz. Vorbis and Opus measured 0 in every container they go in.
// WMA's decoder drops its first frame instead: see frameSamples.
constexpr Codec Codecs[] = {
    { QLatin1String("mp3"), QLatin1String("libmp3lame"), false, false, Rate::Nearest, 0, 0, 1105, 1152 },
    { QLatin1String("aac"), QLatin1String("aac"), false, false, Rate::Bits, 16000, 512000, 1024, 1024 },
    { QLatin1String("ac3"), QLatin1String("ac3"), false, false, Rate::Nearest, 0, 0, 256, 1536 },
    { QLatin1String("eac3"), QLatin1String("eac3"), false, true, Rate::Nearest, 0, 0, 256, 1536 },
    { QLatin1String("mp2"), QLatin1String("mp2"), false, true, Rate::Nearest, 0, 0, 481, 1152 },
    { QLatin1String("vorbis"), QLatin1String("libvorbis"), false, true, Rate::Quality, 0, 0, 0, 2048 },
    { QLatin1String("opus"), QLatin1String("libopus"), false, true, Rate::Opus, 0, 0, 0, 960 },
    { QLatin1String("wmav1"), QLatin1String("wmav1"), false, true, Rate::Bits, 24000, 440000, 0, 2048 },
    { QLatin1String("wmav2"), QLatin1String("wmav2"), false, true, Rate::Bits, 24000, 440000, 0, 2048 },
    { QLatin1String("flac"), QLatin1String("flac"), true, true, Rate::None },
    { QLatin1String("alac"), QLatin1String("alac"), true, true, Rate::None },
    { QLatin1String("wavpack"), QLatin1String("wavpack"), true, true, Rate::None },
};

// The rates (kbit/s) that the encoders of a fixed table accept.
constexpr std::array<int, 14> Mp3Rates{ 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320 };
constexpr std::array<int, 19> Ac3Rates{ 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512,
    576, 640 };
constexpr std::array<int, 14> Mp2Rates{ 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384 };

template<size_t N>
int nearest(const std::array<int, N> &rates, int kbps)
{
    return *std::min_element(
            rates.begin(), rates.end(), [kbps](int a, int b) { return std::abs(a - kbps) < std::abs(b - kbps); });
}

const Codec *find(const QString &name, bool byEncoder = false)
{
    for (const Codec &entry : Codecs) {
        if (name.compare(byEncoder ? entry.encoder : entry.name, Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

} // namespace

bool CodecTable::isPcm(const QString &codec)
{
    return codec.startsWith(QLatin1String("pcm_"), Qt::CaseInsensitive);
}

QString CodecTable::encoderFor(const QString &codec)
{
    if (const Codec *entry = find(codec))
        return entry->encoder;
    // PCM re-encodes as itself.
    return isPcm(codec) ? codec.toLower() : QString();
}

QString CodecTable::encoderFor(const QString &codec, const EncoderList &listed)
{
    const QString chosen = encoderFor(codec);
    if (listed.isEmpty() || listed.contains(chosen))
        return chosen;
    const QStringList writers = listed.writing(codec);
    if (writers.isEmpty())
        return chosen; // which the caller finds missing
    return writers.contains(codec) ? codec : writers.first();
}

QString CodecTable::displayName(const QString &codec)
{
    if (codec.startsWith(QLatin1String("musepack")))
        return QStringLiteral("Musepack");
    return codec.toUpper();
}

bool CodecTable::isLossless(const QString &codec)
{
    const Codec *entry = find(codec);
    return isPcm(codec) || (entry && entry->lossless);
}

bool CodecTable::needsReencode(const QString &codec)
{
    // A copy of PCM cuts on the demuxer's packets (4 KiB, a quarter second
    // at 8 kHz mono); written again as itself it is cut to the sample, bit
    // for bit the same.
    const Codec *entry = find(codec);
    return isPcm(codec) || (entry && entry->needsReencode);
}

QStringList CodecTable::encoderOptions(const QString &encoder, int claimedBitRate, int channels)
{
    const Codec *entry = find(encoder, true);
    // A claim below any real encoding's (a header's 128 b/s) says nothing:
    // the encoder's own default serves better than a rate made from it.
    constexpr int LeastPlausible = 8000;
    const int bitRate = claimedBitRate >= LeastPlausible ? claimedBitRate : 0;
    const int kbps = (bitRate + 500) / 1000;
    const QString bits = QStringLiteral("-b:a");
    if (!entry)
        return {};
    switch (entry->rate) {
    case Rate::None:
        return {};
    case Rate::Bits:
        if (bitRate <= 0)
            return {};
        return { bits, QString::number(std::clamp(bitRate, entry->minBits, entry->maxBits)) };
    case Rate::Nearest: {
        if (bitRate <= 0)
            return {};
        // A rate off the table is a VBR source: MP3 follows it by quality.
        const QString name = entry->name;
        int rate = 0;
        if (name == QLatin1String("mp3"))
            rate = nearest(Mp3Rates, kbps);
        else if (name == QLatin1String("mp2"))
            rate = nearest(Mp2Rates, kbps);
        else
            rate = nearest(Ac3Rates, kbps);
        if (name == QLatin1String("mp3") && std::abs(rate - kbps) > 1)
            return { QStringLiteral("-q:a"), QStringLiteral("2") };
        return { bits, QStringLiteral("%1k").arg(rate) };
    }
    case Rate::Opus: {
        const int perChannel = channels > 0 ? channels : 2;
        const int rate
                = std::clamp(bitRate > 0 ? bitRate : 96000 * perChannel / 2, 6000 * perChannel, 256000 * perChannel);
        return { bits, QString::number(rate) };
    }
    case Rate::Quality:
        return { QStringLiteral("-q:a"), QStringLiteral("6") };
    }
    return {};
}

int CodecTable::encoderDelay(const QString &encoder, int sampleRate)
{
    const Codec *entry = find(encoder, true);
    if (!entry)
        return 0;
    // Measured as the others: all of the first frame is lost.
    if (entry->name.startsWith(QLatin1String("wmav")))
        return -frameSamples(entry->name, sampleRate);
    return entry->delay;
}

int CodecTable::frameSamples(const QString &codec, int sampleRate)
{
    const Codec *entry = find(codec);
    if (!entry || entry->lossless)
        return 0;
    // WMA's frame shrinks with the rate, as its decoder sets it up.
    if (entry->name.startsWith(QLatin1String("wmav"))) {
        const bool v1 = entry->name == QLatin1String("wmav1");
        if (sampleRate <= 16000)
            return 512;
        return sampleRate <= 22050 || (v1 && sampleRate <= 32000) ? 1024 : 2048;
    }
    return entry->frame;
}

QString encoderForCodec(const QString &codec)
{
    return CodecTable::encoderFor(codec);
}

} // namespace ks
