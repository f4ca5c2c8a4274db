#include "mp3cutter.h"

#include "fileidentity.h"
#include "mappedfile.h"
#include "mediaprobe.h"
#include "mp3stream.h"
#include "silencepackets.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>

namespace ks {

namespace {

// The Xing fields as written here (flags, frames, bytes, table of contents,
// quality), then the LAME tag.
constexpr int XingSize = 120;
constexpr int LameSize = 36;

// The CRC-16 of the LAME tag: polynomial 0x8005 taken bit-reversed, from 0.
quint16 lameCrc(const uchar *data, qint64 size, quint16 crc = 0)
{
    static const std::array<quint16, 256> table = [] {
        std::array<quint16, 256> entries{};
        for (int i = 0; i < 256; ++i) {
            auto value = quint16(i);
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 1) ? quint16((value >> 1) ^ 0xA001) : quint16(value >> 1);
            entries.at(i) = value;
        }
        return entries;
    }();
    for (qint64 i = 0; i < size; ++i)
        crc = quint16((crc >> 8) ^ table.at((crc ^ data[i]) & 0xFF));
    return crc;
}

// Which source frames a cut copies and what a gapless decoder drops around them.
struct Span
{
    qint64 first = 0; // the first and last source frame copied
    qint64 last = 0;
    int carrier = 0;  // a silent frame before them
    qint64 delay = 0; // the LAME tag's numbers
    qint64 padding = 0;
    qint64 silentBefore = 0; // empty frames for the silence joined at either end
    qint64 silentAfter = 0;
};

// The LAME tag's delay and padding are 12 bits each.
constexpr qint64 MaxGap = 4095;

Span spanFor(const Mp3Stream &source, qint64 firstSample, qint64 sampleCount, qint64 head, qint64 tail)
{
    const int perFrame = source.format.samples;
    const qint64 start = source.firstOutput() + firstSample; // among the frames' decoded samples
    const qint64 wanted = start / perFrame;
    const int into = int(start % perFrame);
    // The decoder's overlap and filter bank carry over from the granule
    // before: one frame of two granules, two of one.
    const qint64 before = std::min<qint64>(wanted, source.format.mpeg1 ? 1 : 2);
    Span span;
    span.first = wanted - before;
    span.last = (start + sampleCount - 1) / perFrame;
    // A silent frame in front carries the bit reservoir the first frame
    // copied draws on, and at the very start makes room for the decoder's
    // own delay.
    span.carrier = span.first > 0 || before * perFrame + into < Mp3Stream::DecoderDelay ? 1 : 0;
    span.delay = (span.carrier + before) * perFrame + into - Mp3Stream::DecoderDelay;
    // The silence at the head begins in empty frames before all, and plays
    // out what the delay dropped; at the tail it plays out the padding first.
    span.silentBefore = std::max<qint64>(head - span.delay + perFrame - 1, 0) / perFrame;
    span.delay += span.silentBefore * perFrame - head;
    const qint64 frames = span.silentBefore + span.carrier + span.last - span.first + 1;
    // A decoder flushes its own delay out of the padding, so that much at least follows the end.
    const qint64 padding = frames * perFrame - span.delay - head - sampleCount - tail;
    span.silentAfter = std::max<qint64>(Mp3Stream::DecoderDelay + perFrame - 1 - padding, 0) / perFrame;
    span.padding = padding + span.silentAfter * perFrame;
    return span;
}

// A frame of the stream `header` starts that decodes to silence: no CRC, no
// padding, zeros after the header, at the lowest bit rate from the header's
// up that leaves `room` bytes after the side information.
QByteArray silentFrame(const uchar *header, const Mp3Stream::Frame &format, int room)
{
    std::array<uchar, 4> bytes{ header[0], uchar(header[1] | 0x01), uchar(header[2] & ~0x02), header[3] };
    while (Mp3Stream::frameAt(bytes.data(), 4).length < format.tagOffset() + room && bytes[2] < 0xE0)
        bytes[2] += 0x10;
    QByteArray frame(int(Mp3Stream::frameAt(bytes.data(), 4).length), '\0');
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    return frame;
}

// Fills the end of `frame` with the main data that comes before the source's
// frame `next`, as far as it reaches: what the bit reservoir holds there.
void carryReservoir(QByteArray &frame, const Mp3Stream &source, const uchar *data, qint64 next)
{
    qint64 end = frame.size();
    for (qint64 i = next - 1; i >= 0 && end > source.format.tagOffset(); --i) {
        const qint64 at = source.frames.at(i);
        const Mp3Stream::Frame header = Mp3Stream::frameAt(data + at, source.audioEnd - at);
        const qint64 size = std::min<qint64>(header.length - header.dataOffset(), end - source.format.tagOffset());
        end -= size;
        std::memcpy(frame.data() + end, data + at + header.length - size, size_t(size));
    }
}

} // namespace

bool Mp3Cutter::handles(const MediaInfo &source)
{
    return source.ok && source.formatName == QLatin1String("mp3") && source.codec == QLatin1String("mp3")
            && source.framesInSync;
}

StepResult Mp3Cutter::cut(const QString &sourcePath, const QString &outputPath, qint64 firstSample, qint64 sampleCount,
        const SilencePackets &silence)
{
    if (const StepResult separate = apart(sourcePath, outputPath); !separate.ok())
        return separate;
    const MappedFile file(sourcePath);
    const uchar *data = file.data();
    if (!data)
        return StepResult::failure(QStringLiteral("cannot read the MP3"));
    const Mp3Stream source = Mp3Stream::read(data, file.size());
    if (!source.problem.isEmpty())
        return StepResult::failure(source.problem);
    const qint64 length = source.outputSamples();
    if (length < 0)
        return StepResult::failure(QStringLiteral("MP3's Xing frame count does not match its frames"));
    if (firstSample < 0 || sampleCount < 1 || firstSample + sampleCount > length) {
        return StepResult::failure(QStringLiteral("samples %1 to %2 are not within the MP3's %3")
                                           .arg(firstSample)
                                           .arg(firstSample + sampleCount)
                                           .arg(length));
    }

    // Beyond the file's own ends lie only its encoder's lead-in and padding,
    // which the silence joined there plays out.
    if ((silence.head() > 0 && firstSample > 0) || (silence.tail() > 0 && firstSample + sampleCount < length))
        return StepResult::leftAlone(QStringLiteral("silence is joined only to an encoder's own ends"));
    const Span span = spanFor(source, firstSample, sampleCount, silence.head(), silence.tail());
    if (span.delay > MaxGap || span.padding > MaxGap)
        return StepResult::leftAlone(QStringLiteral("the LAME tag cannot hold this delay and padding"));
    const qint64 from = source.frames.at(span.first);
    const qint64 to = span.last + 1 < qint64(source.frames.size()) ? source.frames.at(span.last + 1) : source.audioEnd;
    QByteArray tagFrame
            = silentFrame(data + (source.tagFrame >= 0 ? source.tagFrame : from), source.format, XingSize + LameSize);
    QByteArray carrier;
    if (span.carrier) {
        // Headed as the frame after it: ffmpeg takes a frame for junk unless
        // the next has its channel mode and flags.
        carrier = silentFrame(data + from, source.format, source.format.reservoir());
        carryReservoir(carrier, source, data, span.first);
    }
    // Empty frames, headed as their neighbours, before and after what is copied.
    const QByteArray before = silentFrame(data + from, source.format, 0);
    const QByteArray after = silentFrame(data + source.frames.at(span.last), source.format, 0);
    const QByteArray head = before.repeated(int(span.silentBefore)) + carrier;
    const QByteArray tail = after.repeated(int(span.silentAfter));
    const qint64 copied = span.last - span.first + 1;
    const qint64 frameCount = span.silentBefore + span.carrier + copied + span.silentAfter;
    const qint64 bytes = tagFrame.size() + head.size() + to - from + tail.size();
    const auto bytesOf = [](const QByteArray &frames) { return reinterpret_cast<const uchar *>(frames.constData()); };
    const quint16 musicCrc
            = lameCrc(bytesOf(tail), tail.size(), lameCrc(data + from, to - from, lameCrc(bytesOf(head), head.size())));

    // The Xing fields and the LAME tag (Mp3 Info Tag rev 1), all big-endian.
    const auto frameData = reinterpret_cast<uchar *>(tagFrame.data());
    uchar *tag = frameData + source.format.tagOffset();
    bool varies = false;
    for (qint64 i = span.first; i <= span.last; ++i)
        varies = varies || (data[source.frames.at(i) + 2] >> 4) != (data[from + 2] >> 4);
    if (source.tagFrame >= 0)
        std::memcpy(tag, data + source.tagFrame + source.format.tagOffset(), 4);
    else
        std::memcpy(tag, varies ? "Xing" : "Info", 4);
    qToBigEndian<quint32>(0x0F, tag + 4);
    qToBigEndian<quint32>(quint32(frameCount), tag + 8);
    qToBigEndian<quint32>(quint32(bytes), tag + 12);
    // Where each hundredth of the frames starts, in 256ths of the bytes.
    for (qint64 i = 0; i < 100; ++i) {
        const qint64 frame = i * frameCount / 100;
        const qint64 ahead = span.silentBefore + span.carrier; // frames before the first copied
        const qint64 at = frame < span.silentBefore ? frame * before.size()
                : frame < ahead                     ? span.silentBefore * before.size()
                : frame < ahead + copied            ? head.size() + source.frames.at(span.first + frame - ahead) - from
                                                    : head.size() + to - from + (frame - ahead - copied) * after.size();
        tag[16 + i] = uchar(std::min<qint64>(255, (tagFrame.size() + at) * 256 / bytes));
    }
    uchar *lame = tag + XingSize;
    if (source.lameTag >= 0)
        std::memcpy(lame, data + source.lameTag, LameSize);
    else
        std::memcpy(lame, "LAME", 4); // the name ffmpeg looks for
    lame[21] = uchar(span.delay >> 4);
    lame[22] = uchar((span.delay & 0xF) << 4 | span.padding >> 8);
    lame[23] = uchar(span.padding & 0xFF);
    qToBigEndian<quint32>(quint32(bytes), lame + 28);
    qToBigEndian<quint16>(musicCrc, lame + 32);
    // Over the frame up to this field: its first 190 bytes in MPEG-1 stereo.
    qToBigEndian<quint16>(lameCrc(frameData, lame + 34 - frameData), lame + 34);

    return writeOut(outputPath,
            { QByteArrayView(data, source.audioStart), QByteArrayView(tagFrame), QByteArrayView(head),
                    QByteArrayView(data + from, to - from), QByteArrayView(tail),
                    QByteArrayView(data + source.audioEnd, file.size() - source.audioEnd) });
}

StepResult Mp3Cutter::apart(const QString &sourcePath, const QString &outputPath)
{
    if (FileIdentity::of(sourcePath).isSameFile(FileIdentity::of(outputPath)))
        return StepResult::failure(QStringLiteral("an MPEG audio cut cannot be written over its source"));
    return StepResult::success();
}

StepResult Mp3Cutter::writeOut(const QString &outputPath, std::initializer_list<QByteArrayView> pieces)
{
    QFile out(outputPath);
    bool ok = out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (const QByteArrayView piece : pieces)
        ok = ok && out.write(piece.data(), piece.size()) == piece.size();
    if (ok && out.flush())
        return StepResult::success();
    const QString why = out.errorString();
    out.close();
    out.remove();
    return StepResult::failure(QStringLiteral("cannot write the cut: %1").arg(why));
}

qint64 Mp3Cutter::samplesOf(const QString &path)
{
    int sampleRate = 0;
    return lengthOf(path, sampleRate);
}

qint64 Mp3Cutter::lengthOf(const QString &path, int &sampleRate)
{
    const Mp3Stream stream = Mp3Stream::read(path);
    sampleRate = stream.format.sampleRate;
    return stream.frames.empty() ? -1 : stream.outputSamples();
}

} // namespace ks
