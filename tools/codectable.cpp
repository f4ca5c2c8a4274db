#include "codectable.h"

#include "encoderlist.h"

#include <algorithm>
#include <array>

namespace ks {

namespace {

enum class Rate {
    None,    // lossless: no rate at all
    Bits,    // the source's bit rate, within what the encoder takes
    Nearest, // the nearest rate of the encoder's own table
    Opus,    // a bit rate within what libopus takes for the channels
    Vorbis,  // the nominal rate, within what libvorbis manages
};

struct Codec
{
    QLatin1String name;
    QLatin1String encoder;
    bool lossless;
    bool needsReencode;
    Rate rate;
    std::array<int, 3> levels{}; // kbit/s per channel at High, Medium, Small
    int minBits = 0;             // what the encoder takes, for Rate::Bits
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
    { QLatin1String("mp3"), QLatin1String("libmp3lame"), false, false, Rate::Nearest, { 128, 96, 64 }, 0, 0, 1105,
            1152 },
    { QLatin1String("aac"), QLatin1String("aac"), false, false, Rate::Bits, { 96, 64, 48 }, 16000, 512000, 1024, 1024 },
    { QLatin1String("ac3"), QLatin1String("ac3"), false, false, Rate::Nearest, { 192, 128, 96 }, 0, 0, 256, 1536 },
    { QLatin1String("eac3"), QLatin1String("eac3"), false, true, Rate::Nearest, { 192, 128, 96 }, 0, 0, 256, 1536 },
    { QLatin1String("mp2"), QLatin1String("mp2"), false, true, Rate::Nearest, { 128, 96, 64 }, 0, 0, 481, 1152 },
    { QLatin1String("vorbis"), QLatin1String("libvorbis"), false, true, Rate::Vorbis, { 96, 64, 48 }, 0, 0, 0, 2048 },
    { QLatin1String("opus"), QLatin1String("libopus"), false, true, Rate::Opus, { 64, 48, 32 }, 0, 0, 0, 960 },
    // A copy of Speex in Ogg starts where the source does, whatever cut it was asked for.
    { QLatin1String("speex"), QLatin1String("libspeex"), false, true, Rate::Bits, { 24, 16, 8 }, 2150, 44200 },
    { QLatin1String("wmav1"), QLatin1String("wmav1"), false, true, Rate::Bits, { 96, 64, 48 }, 24000, 440000, 0, 2048 },
    { QLatin1String("wmav2"), QLatin1String("wmav2"), false, true, Rate::Bits, { 96, 64, 48 }, 24000, 440000, 0, 2048 },
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

CodecTable::EncoderSetting CodecTable::encoderSetting(
        const QString &encoder, int claimedBitRate, int channels, int sampleRate, Level level)
{
    const Codec *entry = find(encoder, true);
    if (!entry || entry->rate == Rate::None)
        return {};
    const int count = channels > 0 ? channels : 2;
    // A claim below any real encoding's (a header's 128 b/s) says nothing:
    // the encoder's own default serves better than a rate made from it.
    constexpr int LeastPlausible = 8000;
    // A level of no name (an edited store's) is the source's.
    const auto named = size_t(int(level) - 1);
    const int bitRate = named < entry->levels.size() ? entry->levels[named] * 1000 * count
            : claimedBitRate >= LeastPlausible       ? claimedBitRate
                                                     : 0;
    const QString bits = QStringLiteral("-b:a");
    const auto at = [&bits](int rate, QStringList extra = {}) {
        return EncoderSetting{ extra << bits << QString::number(rate),
            QStringLiteral("%1 kbit/s").arg((rate + 500) / 1000) };
    };
    switch (entry->rate) {
    case Rate::None:
        return {};
    case Rate::Bits:
        return bitRate > 0 ? at(std::clamp(bitRate, entry->minBits, entry->maxBits)) : EncoderSetting();
    case Rate::Nearest: {
        if (bitRate <= 0)
            return {};
        const int kbps = (bitRate + 500) / 1000;
        const QString name = entry->name;
        int rate = 0;
        if (name == QLatin1String("mp3"))
            rate = nearest(Mp3Rates, kbps);
        else if (name == QLatin1String("mp2"))
            rate = nearest(Mp2Rates, kbps);
        else
            rate = nearest(Ac3Rates, kbps);
        // A rate off the table is a VBR source: LAME's average follows it
        // where a quality level would land by the music, not by the source.
        if (name == QLatin1String("mp3") && std::abs(rate - kbps) > 1)
            return at(std::clamp(kbps, 32, 320) * 1000, { QStringLiteral("-abr"), QStringLiteral("1") });
        return at(rate * 1000);
    }
    case Rate::Opus:
        return at(std::clamp(bitRate > 0 ? bitRate : 48000 * count, 6000 * count, 256000 * count));
    case Rate::Vorbis:
        // libvorbis takes a rate as the quality whose nominal rate it is,
        // only up to 48 kHz and within its range; elsewhere quality 6.
        if (bitRate <= 0 || sampleRate > 48000)
            return { { QStringLiteral("-q:a"), QStringLiteral("6") }, QStringLiteral("quality 6") };
        return at(std::clamp(bitRate, std::max(32000, 24000 * count), 240000 * count));
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
