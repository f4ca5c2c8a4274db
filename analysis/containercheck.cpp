#include "containercheck.h"

#include <QFile>
#include <QtEndian>

#include <array>

namespace ks {

namespace {

// A file mapped into memory for as long as it lives; empty when it cannot be.
class Mapped
{
public:
    explicit Mapped(const QString &path)
        : m_file(path)
    {
        if (m_file.open(QIODevice::ReadOnly) && m_file.size() > 0)
            m_data = m_file.map(0, m_file.size());
    }

    const uchar *data() const { return m_data; }
    qint64 size() const { return m_data ? m_file.size() : 0; }

private:
    QFile m_file;
    uchar *m_data = nullptr;
};

struct Frame
{
    qint64 length = 0; // 0: not a layer III frame header
    int sideInfo = 0;
};

Frame readFrame(const uchar *at, qint64 left)
{
    if (left < 4 || at[0] != 0xFF || (at[1] & 0xE0) != 0xE0)
        return {};
    const int version = (at[1] >> 3) & 3; // 0: 2.5, 2: 2, 3: 1
    const int layer = (at[1] >> 1) & 3;   // 1: layer III
    const int rateIndex = at[2] >> 4;
    const int sampleIndex = (at[2] >> 2) & 3;
    if (version == 1 || layer != 1 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3)
        return {};
    static constexpr std::array<int, 15> Mpeg1Rates{ 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320 };
    static constexpr std::array<int, 15> Mpeg2Rates{ 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160 };
    static constexpr std::array<int, 3> SampleRates{ 44100, 48000, 32000 };
    const bool mpeg1 = version == 3;
    const int sampleRate = SampleRates.at(sampleIndex) >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int bitRate = (mpeg1 ? Mpeg1Rates : Mpeg2Rates).at(rateIndex) * 1000;
    const bool mono = (at[3] >> 6) == 3;
    Frame frame;
    frame.length = (mpeg1 ? 144 : 72) * bitRate / sampleRate + ((at[2] >> 1) & 1);
    frame.sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return frame;
}

bool carriesTag(const uchar *at, qint64 left, const Frame &frame)
{
    const qint64 tag = 4 + frame.sideInfo;
    if (left < tag + 4 || frame.length < tag + 4)
        return false;
    const auto text = reinterpret_cast<const char *>(at + tag);
    return qstrncmp(text, "Xing", 4) == 0 || qstrncmp(text, "Info", 4) == 0;
}

// The ID3v2 tag's length at the start, footer included, or 0.
qint64 id3Length(const uchar *data, qint64 size)
{
    if (size < 10 || qstrncmp(reinterpret_cast<const char *>(data), "ID3", 3) != 0)
        return 0;
    const qint64 body
            = (qint64(data[6] & 0x7F) << 21) | ((data[7] & 0x7F) << 14) | ((data[8] & 0x7F) << 7) | (data[9] & 0x7F);
    return 10 + body + ((data[5] & 0x10) ? 10 : 0);
}

// The next offset from `from` where a frame starts that is followed by
// another frame or the end of the file, or -1.
qint64 findFrame(const uchar *data, qint64 size, qint64 from)
{
    for (qint64 at = from; at + 4 <= size; ++at) {
        const Frame frame = readFrame(data + at, size - at);
        if (frame.length == 0)
            continue;
        const qint64 next = at + frame.length;
        if (next == size || readFrame(data + next, size - next).length > 0)
            return at;
    }
    return -1;
}

} // namespace

ContainerCheck::Mp3Layout ContainerCheck::mp3Layout(const QString &path, bool wholeFile)
{
    Mp3Layout layout;
    const Mapped file(path);
    const uchar *data = file.data();
    const qint64 size = file.size();
    qint64 at = findFrame(data, size, id3Length(data, size));
    if (at < 0)
        return layout;
    layout.framed = true;
    const Frame first = readFrame(data + at, size - at);
    layout.taggedFirst = carriesTag(data + at, size - at, first);
    at += first.length;
    while (wholeFile && at < size) {
        Frame frame = readFrame(data + at, size - at);
        if (frame.length == 0) {
            // Whatever lies between frames (a tag at the end) is passed over.
            at = findFrame(data, size, at + 1);
            if (at < 0)
                break;
            frame = readFrame(data + at, size - at);
        }
        if (carriesTag(data + at, size - at, frame))
            ++layout.taggedLater;
        at += frame.length;
    }
    return layout;
}

QString ContainerCheck::wavProblem(const QString &path)
{
    const Mapped file(path);
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
