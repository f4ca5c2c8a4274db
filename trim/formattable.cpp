#include "formattable.h"

#include "mediaprobe.h"

#include <algorithm>
#include <cmath>

namespace ks {

namespace {

enum class Family {
    Plain,
    Mp3,  // tags in ID3v2.3, which every player reads, and ID3v1 where the source had one
    Adts, // raw AAC: tags in an ID3v2 tag at the head
    Mp2,  // raw MPEG audio, whose muxer writes no tags: the source's are carried over
    Mp4,  // iTunes atoms, free-form tags only when asked
    Ipod, // as MP4, but the muxer takes only AAC and ALAC
    Aiff, // tags and cover in an ID3 chunk, only when asked
    Ogg,  // no attached pictures
    Wav,  // RF64 once it outgrows the 4 GB of a RIFF header; the bext chunk only when asked
};

struct Container
{
    QLatin1String suffix;
    QLatin1String format; // the demuxer's name, as ffprobe reports it first
    Family family;
    bool suffixPicksMuxer; // ffmpeg chooses the muxer from the suffix
};

constexpr Container Containers[] = {
    { QLatin1String("mp3"), QLatin1String("mp3"), Family::Mp3, true },
    { QLatin1String("mp4"), QLatin1String("mov"), Family::Mp4, true },
    { QLatin1String("mov"), QLatin1String("mov"), Family::Mp4, true },
    { QLatin1String("m4a"), QLatin1String("mov"), Family::Ipod, true },
    { QLatin1String("m4b"), QLatin1String("mov"), Family::Ipod, true },
    { QLatin1String("aac"), QLatin1String("aac"), Family::Adts, true },
    { QLatin1String("ogg"), QLatin1String("ogg"), Family::Ogg, true },
    { QLatin1String("oga"), QLatin1String("ogg"), Family::Ogg, true },
    { QLatin1String("opus"), QLatin1String("ogg"), Family::Ogg, true },
    { QLatin1String("spx"), QLatin1String("ogg"), Family::Ogg, true },
    { QLatin1String("ogx"), QLatin1String("ogg"), Family::Ogg, false },
    { QLatin1String("flac"), QLatin1String("flac"), Family::Plain, true },
    { QLatin1String("wav"), QLatin1String("wav"), Family::Wav, true },
    { QLatin1String("aiff"), QLatin1String("aiff"), Family::Aiff, true },
    { QLatin1String("aif"), QLatin1String("aiff"), Family::Aiff, true },
    { QLatin1String("aifc"), QLatin1String("aiff"), Family::Aiff, true },
    { QLatin1String("wv"), QLatin1String("wv"), Family::Plain, true },
    { QLatin1String("wma"), QLatin1String("asf"), Family::Plain, true },
    { QLatin1String("asf"), QLatin1String("asf"), Family::Plain, true },
    { QLatin1String("ac3"), QLatin1String("ac3"), Family::Plain, true },
    { QLatin1String("eac3"), QLatin1String("eac3"), Family::Plain, true },
    { QLatin1String("mka"), QLatin1String("matroska"), Family::Plain, true },
    { QLatin1String("mkv"), QLatin1String("matroska"), Family::Plain, true },
    { QLatin1String("webm"), QLatin1String("matroska"), Family::Plain, true },
    { QLatin1String("mp2"), QLatin1String("mp3"), Family::Mp2, true },
    { QLatin1String("caf"), QLatin1String("caf"), Family::Plain, true },
    { QLatin1String("au"), QLatin1String("au"), Family::Plain, true },
    { QLatin1String("w64"), QLatin1String("w64"), Family::Plain, true },
};

constexpr QLatin1String ItunesKeys[] = {
    QLatin1String("title"),
    QLatin1String("artist"),
    QLatin1String("album_artist"),
    QLatin1String("album"),
    QLatin1String("composer"),
    QLatin1String("comment"),
    QLatin1String("genre"),
    QLatin1String("date"),
    QLatin1String("copyright"),
    QLatin1String("grouping"),
    QLatin1String("lyrics"),
    QLatin1String("description"),
    QLatin1String("synopsis"),
    QLatin1String("show"),
    QLatin1String("episode_id"),
    QLatin1String("network"),
    QLatin1String("track"),
    QLatin1String("disc"),
    QLatin1String("compilation"),
    QLatin1String("gapless_playback"),
    QLatin1String("encoder"),
    QLatin1String("media_type"),
    QLatin1String("podcast"),
    QLatin1String("keywords"),
    QLatin1String("category"),
    QLatin1String("major_brand"),
    QLatin1String("minor_version"),
    QLatin1String("compatible_brands"),
    QLatin1String("creation_time"),
    QLatin1String("sort_name"),
    QLatin1String("sort_artist"),
    QLatin1String("sort_album"),
    QLatin1String("sort_album_artist"),
    QLatin1String("sort_composer"),
};

// "mov,mp4,m4a,3gp,3g2,mj2" reads as "mov".
QString probedFormat(const MediaInfo &source)
{
    return source.formatName.section(QLatin1Char(','), 0, 0);
}

const Container *bySuffix(const QString &suffix)
{
    for (const Container &entry : Containers) {
        if (suffix.compare(entry.suffix, Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

// The suffix's container, else the first one of the probed format.
const Container *find(const QString &suffix, const MediaInfo &source)
{
    if (const Container *entry = bySuffix(suffix))
        return entry;
    const QString format = probedFormat(source);
    for (const Container &entry : Containers) {
        if (format == entry.format)
            return &entry;
    }
    return nullptr;
}

Family familyOf(const QString &suffix, const MediaInfo &source)
{
    const Container *entry = find(suffix, source);
    return entry ? entry->family : Family::Plain;
}

// Tags MP4 keeps only when asked to write every tag as a free-form one
// (ReplayGain, custom keys).
bool hasFreeFormTags(const MediaInfo &source)
{
    return std::any_of(source.tagKeys.cbegin(), source.tagKeys.cend(),
            [](const QString &key) { return !FormatTable::isItunesKey(key); });
}

} // namespace

bool FormatTable::carriesPictures(const QString &suffix, const MediaInfo &source)
{
    return familyOf(suffix, source) != Family::Ogg;
}

QStringList FormatTable::muxerArguments(const QString &suffix, const MediaInfo &source)
{
    const Container *entry = bySuffix(suffix);
    QStringList args;
    // FLAC in MP4 is still marked experimental in this ffmpeg's muxer.
    if (entry && (entry->family == Family::Mp4 || entry->family == Family::Ipod)
            && source.codec == QLatin1String("flac"))
        args << QStringLiteral("-strict") << QStringLiteral("experimental");
    if (entry && entry->family == Family::Ipod && source.codec != QLatin1String("aac")
            && source.codec != QLatin1String("alac"))
        return args << QStringLiteral("-f") << QStringLiteral("mp4");
    if ((!entry || !entry->suffixPicksMuxer) && !source.formatName.isEmpty()) {
        // The demuxer's name is the muxer's, but for raw AAC.
        const QString format = probedFormat(source);
        args << QStringLiteral("-f") << (format == QLatin1String("aac") ? QStringLiteral("adts") : format);
    }
    // Past 4 GB a RIFF header's sizes overflow and ffprobe's estimate hides it.
    if (familyOf(suffix, source) == Family::Wav)
        args << QStringLiteral("-rf64") << QStringLiteral("auto");
    return args;
}

QStringList FormatTable::tagArguments(const QString &suffix, const MediaInfo &source, const RewritePlan::Cut &cut)
{
    switch (familyOf(suffix, source)) {
    case Family::Mp3:
        if (source.id3v1)
            return { QStringLiteral("-id3v2_version"), QStringLiteral("3"), QStringLiteral("-write_id3v1"),
                QStringLiteral("1") };
        return { QStringLiteral("-id3v2_version"), QStringLiteral("3") };
    case Family::Adts:
        if (source.tagKeys.isEmpty())
            return {};
        return { QStringLiteral("-write_id3v2"), QStringLiteral("1") };
    case Family::Wav: {
        if (source.timeReference.isEmpty())
            return {};
        // Counted as ffmpeg counts the cut's milliseconds: its first sample
        // is that many samples later, each added one a sample earlier.
        const auto samples = [&source](double sec) {
            return std::llround(std::llround(sec * 1000) * double(source.sampleRate) / 1000);
        };
        const qint64 first = std::max<qint64>(
                0, source.timeReference.toLongLong() + samples(cut.startSec) - samples(cut.headPadSec));
        return { QStringLiteral("-write_bext"), QStringLiteral("1"), QStringLiteral("-metadata"),
            QStringLiteral("time_reference=%1").arg(first) };
    }
    case Family::Aiff:
        return { QStringLiteral("-write_id3v2"), QStringLiteral("1") };
    case Family::Mp4:
    case Family::Ipod:
        // Writing every tag as a free-form one drops the cover, so a file
        // with a cover keeps its iTunes tags only.
        if (source.pictures == 0 && hasFreeFormTags(source))
            return { QStringLiteral("-movflags"), QStringLiteral("+use_metadata_tags") };
        return {};
    case Family::Plain:
    case Family::Ogg:
    case Family::Mp2:
        return {};
    }
    return {};
}

bool FormatTable::carriesId3ByHand(const QString &suffix, const MediaInfo &source)
{
    return familyOf(suffix, source) == Family::Mp2;
}

bool FormatTable::recordsEncoderDelay(const QString &suffix, const MediaInfo &source, const QString &encoder)
{
    const Container *entry = find(suffix, source);
    if (!entry)
        return false;
    switch (entry->family) {
    case Family::Mp4:
    case Family::Ipod:
    case Family::Ogg:
        return true;
    case Family::Mp3:
        return encoder == QLatin1String("libmp3lame");
    case Family::Plain:
        return entry->format == QLatin1String("matroska") && encoder == QLatin1String("libopus");
    case Family::Aiff:
    case Family::Wav:
    case Family::Adts:
    case Family::Mp2:
        return false;
    }
    return false;
}

bool FormatTable::isItunesKey(const QString &key)
{
    return std::any_of(std::begin(ItunesKeys), std::end(ItunesKeys),
            [&key](QLatin1String known) { return key.compare(known, Qt::CaseInsensitive) == 0; });
}

} // namespace ks
