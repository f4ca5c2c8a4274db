#include "mp3probe.h"

#include "containercheck.h"
#include "mappedfile.h"
#include "mp3stream.h"

#include <QHash>
#include <QStringDecoder>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace ks {

namespace {

// ffmpeg's names for the ID3v2 text frames it renames; others keep their own.
QString tagKey(const QByteArray &frameId)
{
    static const QHash<QByteArray, QString> names{ { "TALB", QStringLiteral("album") },
        { "TCOM", QStringLiteral("composer") }, { "TCON", QStringLiteral("genre") },
        { "TCOP", QStringLiteral("copyright") }, { "TENC", QStringLiteral("encoded_by") },
        { "TIT2", QStringLiteral("title") }, { "TLAN", QStringLiteral("language") },
        { "TPE1", QStringLiteral("artist") }, { "TPE2", QStringLiteral("album_artist") },
        { "TPE3", QStringLiteral("performer") }, { "TPOS", QStringLiteral("disc") },
        { "TPUB", QStringLiteral("publisher") }, { "TRCK", QStringLiteral("track") },
        { "TSSE", QStringLiteral("encoder") }, { "TCMP", QStringLiteral("compilation") },
        { "TDRC", QStringLiteral("date") }, { "TDRL", QStringLiteral("date") },
        { "TDEN", QStringLiteral("creation_time") }, { "TSOA", QStringLiteral("album-sort") },
        { "TSOP", QStringLiteral("artist-sort") }, { "TSOT", QStringLiteral("title-sort") },
        { "TIT1", QStringLiteral("grouping") } };
    return names.value(frameId, QString::fromLatin1(frameId));
}

// The first string of a text field in its ID3v2 encoding; `at` moves past it.
QString textAt(const uchar *data, qint64 &at, qint64 end, uchar encoding)
{
    const bool wide = encoding == 1 || encoding == 2;
    qint64 stop = at;
    while (stop + (wide ? 1 : 0) < end && (data[stop] != 0 || (wide && data[stop + 1] != 0)))
        stop += wide ? 2 : 1;
    const auto bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data + at), stop - at);
    at = std::min(end, stop + (wide ? 2 : 1));
    switch (encoding) {
    case 0:
        return QString::fromLatin1(bytes);
    case 1:
        return QStringDecoder(QStringDecoder::Utf16).decode(bytes);
    case 2:
        return QStringDecoder(QStringDecoder::Utf16BE).decode(bytes);
    default:
        return QString::fromUtf8(bytes);
    }
}

// Reads the tag's keys and pictures as ffmpeg would; false for anything it
// might read otherwise.
bool readId3v2(const uchar *data, qint64 length, QStringList &keys, int &pictures)
{
    if (length == 0)
        return true;
    const int major = data[3];
    // Unsynchronised, with an extended header or a footer: left to ffprobe.
    if ((major != 3 && major != 4) || (data[5] & 0xF0) != 0)
        return false;
    const auto syncSafe = [](const uchar *at) {
        return (qint64(at[0] & 0x7F) << 21) | ((at[1] & 0x7F) << 14) | ((at[2] & 0x7F) << 7) | (at[3] & 0x7F);
    };
    qint64 at = 10;
    while (at + 10 <= length && data[at] != 0) {
        const QByteArray id(reinterpret_cast<const char *>(data + at), 4);
        const qint64 size = major == 4 ? syncSafe(data + at + 4) : qint64(qFromBigEndian<quint32>(data + at + 4));
        const quint16 flags = qFromBigEndian<quint16>(data + at + 8);
        // Compressed, encrypted, grouped or unsynchronised frames.
        if (size < 1 || at + 10 + size > length || (flags & (major == 4 ? 0x004F : 0x00E0)) != 0)
            return false;
        qint64 field = at + 11;
        const qint64 end = at + 10 + size;
        const uchar encoding = data[at + 10];
        if (encoding > 3)
            return false;
        if (id == "APIC") {
            // ffmpeg makes a picture stream only of the types it knows.
            const QString mime = textAt(data, field, end, 0);
            if (mime != QLatin1String("image/jpeg") && mime != QLatin1String("image/jpg")
                    && mime != QLatin1String("image/png"))
                return false;
            ++pictures;
        } else if (id == "TXXX" || id == "COMM") {
            field += id == "COMM" ? 3 : 0; // the language
            const QString description = textAt(data, field, end, encoding);
            if (description.isEmpty() && id == "TXXX")
                return false;
            keys << (description.isEmpty() ? QStringLiteral("comment") : description);
        } else if (id.startsWith('T') && id != "TYER" && id != "TDAT" && id != "TIME" && id != "TXXX") {
            keys << tagKey(id);
        } else {
            return false; // chapters, private data and the like
        }
        at = end;
    }
    return true;
}

// ffmpeg reads an ID3v1 tag only where no other tag gave anything.
void readId3v1(const uchar *tag, QStringList &keys)
{
    const auto field = [tag](int from, int size) {
        return !QByteArray(reinterpret_cast<const char *>(tag + from), size).split('\0').first().trimmed().isEmpty();
    };
    const bool track = tag[125] == 0 && tag[126] != 0;
    const std::pair<const char *, bool> fields[]{ { "title", field(3, 30) }, { "artist", field(33, 30) },
        { "album", field(63, 30) }, { "date", field(93, 4) }, { "comment", field(97, track ? 28 : 30) },
        { "track", track }, { "genre", tag[127] <= 191 } };
    for (const auto &[key, present] : fields) {
        if (present)
            keys << QString::fromLatin1(key);
    }
}

} // namespace

MediaInfo Mp3Probe::read(const QString &path, Mp3Stream *frames)
{
    MediaInfo info;
    if (!inputRefusal(path).isEmpty())
        return info;
    const MappedFile file(path);
    const uchar *data = file.data();
    const qint64 size = file.size();
    if (!data)
        return info;
    const Mp3Stream stream = Mp3Stream::read(data, size);
    const qint64 samples = stream.outputSamples();
    info.id3v1 = size >= 128 && std::memcmp(data + size - 128, "TAG", 3) == 0;
    // Only an ID3v1 tag may follow the frames; layer II is ffprobe's to name.
    if (!stream.problem.isEmpty() || stream.format.layer != 3 || samples <= 0
            || stream.audioEnd != size - (info.id3v1 ? 128 : 0)
            || !readId3v2(data, Mp3Stream::id3v2Length(data, size), info.tagKeys, info.pictures))
        return {};
    if (info.tagKeys.isEmpty() && info.id3v1)
        readId3v1(data + size - 128, info.tagKeys);
    info.tagKeys.removeDuplicates();
    info.tagKeys.sort();

    const Mp3Stream::Frame &format = stream.format;
    info.formatName = info.codec = QStringLiteral("mp3");
    info.sampleRate = format.sampleRate;
    info.channels = format.mono ? 1 : 2;
    info.durationSec = double(samples) / format.sampleRate;
    info.startSec = double(stream.firstOutput()) / format.sampleRate;
    // A Xing tag gives the average of a variable rate, as ffmpeg reads it;
    // otherwise the first frame's rate is the stream's.
    const uchar *first = data + stream.frames.front();
    const uchar *tag = stream.tagFrame >= 0 ? data + stream.tagFrame + format.tagOffset() : nullptr;
    const quint32 flags = tag ? qFromBigEndian<quint32>(tag + 4) : 0;
    if (tag && std::memcmp(tag, "Xing", 4) == 0 && (flags & 3) == 3 && stream.taggedFrames > 0) {
        const double bytes = qFromBigEndian<quint32>(tag + 12);
        info.bitRate
                = int(std::llround(bytes * 8 * format.sampleRate / (double(stream.taggedFrames) * format.samples)));
    } else {
        info.bitRate = Mp3Stream::frameAt(first, 4).bitRate;
    }
    info.gaplessHeader = ContainerCheck::mp3Layout(path, false).taggedFirst;
    info.framesInSync = true;
    info.fromBytes = true;
    info.ok = true;
    if (frames)
        *frames = stream;
    return info;
}

} // namespace ks
