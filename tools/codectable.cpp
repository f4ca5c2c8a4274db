#include "codectable.h"

namespace ks {

namespace {

struct Codec
{
    QLatin1String name;
    QLatin1String encoder;
    bool lossless;
    bool needsReencode;
};

// Lossless codecs are always re-encoded: a stream copy would cut them on
// whole frames and keep the source's frame numbering and length.
constexpr Codec Codecs[] = {
    { QLatin1String("mp3"), QLatin1String("libmp3lame"), false, false },
    { QLatin1String("aac"), QLatin1String("aac"), false, false },
    { QLatin1String("vorbis"), QLatin1String("libvorbis"), false, false },
    { QLatin1String("opus"), QLatin1String("libopus"), false, false },
    { QLatin1String("flac"), QLatin1String("flac"), true, true },
    { QLatin1String("alac"), QLatin1String("alac"), true, true },
};

const Codec *find(const QString &codec)
{
    for (const Codec &entry : Codecs) {
        if (codec.compare(entry.name, Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

bool isPcm(const QString &codec)
{
    return codec.startsWith(QLatin1String("pcm_"), Qt::CaseInsensitive);
}

} // namespace

QString CodecTable::encoderFor(const QString &codec)
{
    if (const Codec *entry = find(codec))
        return entry->encoder;
    // PCM re-encodes as itself.
    return isPcm(codec) ? codec.toLower() : QString();
}

bool CodecTable::isLossless(const QString &codec)
{
    const Codec *entry = find(codec);
    return isPcm(codec) || (entry && entry->lossless);
}

bool CodecTable::needsReencode(const QString &codec)
{
    const Codec *entry = find(codec);
    return entry && entry->needsReencode;
}

} // namespace ks
