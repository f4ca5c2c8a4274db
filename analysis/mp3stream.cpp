#include "mp3stream.h"

#include "mappedfile.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>

namespace ks {

Mp3Stream::Frame Mp3Stream::frameAt(const uchar *at, qint64 left)
{
    Frame frame;
    if (left < 4 || at[0] != 0xFF || (at[1] & 0xE0) != 0xE0)
        return frame;
    const int version = (at[1] >> 3) & 3;     // 0: 2.5, 2: 2, 3: 1
    const int layer = 4 - ((at[1] >> 1) & 3); // 4: reserved
    const int rateIndex = at[2] >> 4;
    const int sampleIndex = (at[2] >> 2) & 3;
    if (version == 1 || (layer != 3 && (layer != 2 || version == 0)) || rateIndex == 15 || sampleIndex == 3)
        return frame;
    static constexpr std::array<int, 15> Mpeg1Rates{ 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320 };
    static constexpr std::array<int, 15> Layer2Rates{ 0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320,
        384 };
    static constexpr std::array<int, 15> Mpeg2Rates{ 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160 };
    static constexpr std::array<int, 3> SampleRates{ 44100, 48000, 32000 };
    frame.layer = layer;
    frame.mpeg1 = version == 3;
    frame.mono = (at[3] >> 6) == 3;
    frame.crc = (at[1] & 1) == 0;
    frame.sampleRate = SampleRates.at(sampleIndex) >> (frame.mpeg1 ? 0 : version == 2 ? 1 : 2);
    frame.samples = frame.mpeg1 || layer == 2 ? 1152 : 576;
    if (layer == 3)
        frame.sideInfo = frame.mpeg1 ? (frame.mono ? 17 : 32) : (frame.mono ? 9 : 17);
    frame.freeFormat = rateIndex == 0;
    const auto &rates = !frame.mpeg1 ? Mpeg2Rates : layer == 2 ? Layer2Rates : Mpeg1Rates;
    frame.bitRate = rates.at(rateIndex) * 1000;
    if (!frame.freeFormat)
        frame.length = frame.samples / 8 * frame.bitRate / frame.sampleRate + ((at[2] >> 1) & 1);
    return frame;
}

bool Mp3Stream::carriesTag(const uchar *at, qint64 left, const Frame &frame)
{
    const qint64 tag = frame.tagOffset();
    if (frame.layer != 3 || left < tag + 8 || frame.length < tag + 8)
        return false;
    const auto text = reinterpret_cast<const char *>(at + tag);
    return qstrncmp(text, "Xing", 4) == 0 || qstrncmp(text, "Info", 4) == 0;
}

qint64 Mp3Stream::id3v2Length(const uchar *data, qint64 size)
{
    if (size < 10 || qstrncmp(reinterpret_cast<const char *>(data), "ID3", 3) != 0)
        return 0;
    const qint64 body
            = (qint64(data[6] & 0x7F) << 21) | ((data[7] & 0x7F) << 14) | ((data[8] & 0x7F) << 7) | (data[9] & 0x7F);
    return std::min(size, 10 + body + ((data[5] & 0x10) ? 10 : 0));
}

Mp3Stream Mp3Stream::read(const uchar *data, qint64 size)
{
    Mp3Stream stream;
    const auto starts = [&](qint64 at, const char *text) {
        const auto length = qint64(std::strlen(text));
        return at >= 0 && at + length <= size && std::memcmp(data + at, text, length) == 0;
    };
    qint64 at = id3v2Length(data, size);
    while (at < size && data[at] == 0)
        ++at;
    stream.audioStart = at;
    qint64 end = size;
    if (end - 128 >= at && starts(end - 128, "TAG"))
        end -= 128;
    if (end - 32 >= at && starts(end - 32, "APETAGEX")) {
        // The footer's size counts the items and itself; a header adds 32.
        const qint64 length = qFromLittleEndian<quint32>(data + end - 20) + ((data[end - 9] & 0x80) ? 32 : 0);
        end = std::max(at, end - length);
    }
    stream.audioEnd = end;

    while (at < end) {
        const Frame frame = frameAt(data + at, end - at);
        const bool first = at == stream.audioStart;
        if (frame.freeFormat) {
            stream.problem = QStringLiteral("free-format MP3 frames at byte %1").arg(at);
        } else if (frame.length == 0 || (!first && !frame.sameStream(stream.format))) {
            stream.problem = QStringLiteral("MP3 frames out of sync at byte %1").arg(at);
        } else if (at + frame.length > end) {
            stream.problem = QStringLiteral("MP3's last frame cut short at byte %1").arg(at);
        } else if (first && starts(at + 36, "VBRI")) {
            stream.problem = QStringLiteral("MP3 with a VBRI header");
        }
        if (!stream.problem.isEmpty())
            return stream;
        if (first && carriesTag(data + at, end - at, frame)) {
            stream.tagFrame = at;
            // The Xing fields each flag announces, then the LAME tag, which
            // ffmpeg honours only under these names.
            const uchar *tag = data + at + frame.tagOffset();
            const quint32 flags = qFromBigEndian<quint32>(tag + 4);
            if (flags & 1)
                stream.taggedFrames = qFromBigEndian<quint32>(tag + 8);
            const qint64 lame = at + frame.tagOffset() + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0)
                    + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
            if (lame + 36 <= at + frame.length
                    && (starts(lame, "LAME") || starts(lame, "Lavf") || starts(lame, "Lavc"))) {
                stream.lameTag = lame;
                const quint32 numbers = qFromBigEndian<quint32>(data + lame + 20) & 0xFFFFFF;
                stream.delay = int(numbers >> 12);
                stream.padding = int(numbers & 0xFFF);
            }
        } else {
            stream.frames.push_back(at);
        }
        if (first)
            stream.format = frame;
        at += frame.length;
    }
    if (stream.frames.empty())
        stream.problem = QStringLiteral("no MP3 frames");
    return stream;
}

Mp3Stream Mp3Stream::read(const QString &path)
{
    const MappedFile file(path);
    if (!file.data()) {
        Mp3Stream stream;
        stream.problem = QStringLiteral("cannot read the MP3");
        return stream;
    }
    return read(file.data(), file.size());
}

qint64 Mp3Stream::outputSamples() const
{
    const qint64 decoded = qint64(frames.size()) * format.samples;
    if (!problem.isEmpty() || (lameTag >= 0 && taggedFrames != qint64(frames.size())))
        return -1;
    if (lameTag < 0)
        return decoded;
    // A padding short of the decoder's delay ends the output at the last frame.
    return std::max<qint64>(-1, decoded - delay - std::max(padding, DecoderDelay));
}

} // namespace ks
