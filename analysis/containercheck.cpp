#include "containercheck.h"

#include "mappedfile.h"
#include "mp3stream.h"

#include <QFile>
#include <QtEndian>

#include <iterator>

namespace ks {

namespace {

// The next offset from `from` where a frame starts that is followed by
// another frame or the end of the file, or -1.
qint64 findFrame(const uchar *data, qint64 size, qint64 from)
{
    for (qint64 at = from; at + 4 <= size; ++at) {
        const Mp3Stream::Frame frame = Mp3Stream::frameAt(data + at, size - at);
        if (frame.length == 0)
            continue;
        const qint64 next = at + frame.length;
        if (next == size || Mp3Stream::frameAt(data + next, size - next).length > 0)
            return at;
    }
    return -1;
}

} // namespace

ContainerCheck::Mp3Layout ContainerCheck::mp3Layout(const QString &path, bool wholeFile)
{
    Mp3Layout layout;
    const MappedFile file(path);
    const uchar *data = file.data();
    const qint64 size = file.size();
    qint64 at = findFrame(data, size, Mp3Stream::id3v2Length(data, size));
    if (at < 0)
        return layout;
    layout.framed = true;
    const Mp3Stream::Frame first = Mp3Stream::frameAt(data + at, size - at);
    layout.taggedFirst = Mp3Stream::carriesTag(data + at, size - at, first);
    at += first.length;
    while (wholeFile && at < size) {
        Mp3Stream::Frame frame = Mp3Stream::frameAt(data + at, size - at);
        if (frame.length == 0) {
            // Whatever lies between frames (a tag at the end) is passed over.
            at = findFrame(data, size, at + 1);
            if (at < 0)
                break;
            frame = Mp3Stream::frameAt(data + at, size - at);
        }
        if (Mp3Stream::carriesTag(data + at, size - at, frame))
            ++layout.taggedLater;
        at += frame.length;
    }
    return layout;
}

ContainerCheck::AdtsRun ContainerCheck::adtsRun(const QString &path)
{
    // ISO/IEC 13818-7 sampling_frequency_index.
    constexpr int Rates[] = { 96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350 };
    AdtsRun run;
    const MappedFile file(path);
    const uchar *data = file.data();
    const qint64 size = file.size();
    // Frames from the first on, until whatever follows them (a tag at the end).
    for (qint64 at = Mp3Stream::id3v2Length(data, size); at + 7 <= size;) {
        const uchar *h = data + at;
        const int rateIndex = (h[2] >> 2) & 0xF;
        const qint64 length = ((h[3] & 0x3) << 11) | (h[4] << 3) | (h[5] >> 5);
        if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0 || rateIndex >= int(std::size(Rates)) || length < 7
                || at + length > size)
            break;
        run.sampleRate = Rates[rateIndex];
        run.samples += 1024 * ((h[6] & 0x3) + 1);
        run.bytes += length;
        at += length;
    }
    return run;
}

bool ContainerCheck::endsWithId3v1(const QString &path)
{
    QFile file(path);
    constexpr qint64 TagSize = 128;
    return file.open(QIODevice::ReadOnly) && file.size() >= TagSize && file.seek(file.size() - TagSize)
            && file.read(3) == "TAG";
}

QString ContainerCheck::wavProblem(const QString &path)
{
    const MappedFile file(path);
    const uchar *data = file.data();
    const qint64 size = file.size();
    const auto id = [&](qint64 at, const char *name) {
        return at + 4 <= size && qstrncmp(reinterpret_cast<const char *>(data + at), name, 4) == 0;
    };
    const auto u32 = [&](qint64 at) { return qFromLittleEndian<quint32>(data + at); };
    constexpr quint32 Unset = 0xFFFFFFFF;
    const bool rf64 = id(0, "RF64") || id(0, "BW64");
    if (size < 12 || !(id(0, "RIFF") || rf64) || !id(8, "WAVE"))
        return QStringLiteral("not a RIFF WAVE file");

    // RF64 keeps the true sizes in the ds64 chunk, the first after WAVE.
    quint64 riffSize = u32(4);
    quint64 dataSize64 = 0;
    if (rf64) {
        if (!id(12, "ds64") || size < 36)
            return QStringLiteral("RF64 file without its ds64 chunk");
        riffSize = qFromLittleEndian<quint64>(data + 20);
        dataSize64 = qFromLittleEndian<quint64>(data + 28);
    } else if (riffSize == Unset) {
        return QStringLiteral("RIFF size unset (0xFFFFFFFF)");
    }
    if (riffSize + 9 < quint64(size))
        return QStringLiteral("RIFF size short of the data on disk");
    if (riffSize + 8 > quint64(size))
        return QStringLiteral("RIFF size past the end of the file");

    // The chunks must tile the file exactly; a size short of its data
    // leaves the walk in the middle of the audio.
    bool sawData = false;
    qint64 at = 12;
    while (at + 8 <= size) {
        for (int i = 0; i < 4; ++i) {
            if (data[at + i] < 0x20 || data[at + i] > 0x7E)
                return QStringLiteral("chunk sizes do not add up to the file");
        }
        quint64 length = u32(at + 4);
        if (id(at, "data")) {
            sawData = true;
            if (length == Unset && !rf64)
                return QStringLiteral("data size unset (0xFFFFFFFF)");
            if (rf64 && length == Unset)
                length = dataSize64;
        }
        if (length > quint64(size - at - 8))
            return QStringLiteral("chunk sizes do not add up to the file");
        at += 8 + qint64(length) + qint64(length & 1);
    }
    if (!sawData || at < size - 1)
        return QStringLiteral("chunk sizes do not add up to the file");
    return QString();
}

QString ContainerCheck::writtenProblem(const QString &path, const QString &formatName)
{
    const QString format = formatName.section(QLatin1Char(','), 0, 0);
    if (format == QLatin1String("wav")) {
        const QString wrong = wavProblem(path);
        return wrong.isEmpty() ? QString()
                               : QStringLiteral("written WAV's header does not fit the file (%1)").arg(wrong);
    }
    if (format == QLatin1String("mp3") && mp3Layout(path, true).taggedLater > 0)
        return QStringLiteral("written MP3 has its gapless header in the wrong place");
    return QString();
}

} // namespace ks
