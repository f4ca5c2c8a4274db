#include "oggcutter.h"

#include "mediaprobe.h"
#include "silencepackets.h"

#include <QFile>
#include <QList>

#include <ogg/ogg.h>
#include <opus.h>
#include <vorbis/codec.h>

#include <algorithm>
#include <functional>

namespace ks {

namespace {

constexpr int OpusRate = 48000;
// What an Opus decoder needs to settle when it starts in the middle of a
// stream: it predicts each frame's band energies from the last one's, so a
// cold start's error halves with each 20 ms frame. After the customary
// 80 ms a pure tone is still only 30 dB clean, after 320 ms over 100 dB.
constexpr qint64 OpusPreRoll = 15360;
constexpr qint64 MaxPreSkip = 65535; // the header's field is 16 bits
// Silence joined at the head plays out what the pre-skip drops: an
// encoder's own lead-in is that short, a cut file's pre-roll is audio.
constexpr qint64 MaxJoinedPreSkip = 3840;
constexpr qint64 ReadBytes = 1 << 16;

enum class Codec { Opus, Vorbis };

// One logical stream as its pages describe it. Positions count samples from
// the start of the first audio packet's output.
struct Stream
{
    QString refusal; // why the file is not taken; empty when it is
    Codec codec = Codec::Opus;
    int serial = 0;
    int rate = 0;
    QList<QByteArray> headers;
    int preSkip = 0;
    qint64 origin = 0;  // the first audio page's granule less the samples its packets decode
    QList<qint64> ends; // the position after each audio packet
    QList<int> sizes;   // each audio packet's bytes, to know the same packets when copying them
    qint64 lastGranule = -1;

    // Samples decoded before the first one output.
    qint64 discard() const { return codec == Codec::Opus ? preSkip : std::max<qint64>(-origin, 0); }
    qint64 decoded() const { return lastGranule - origin - discard(); }
    // Where the output begins of a stream whose first audio packet is `n`:
    // a Vorbis packet's output starts halfway into the window of the one before.
    qint64 outputFrom(int n) const { return codec == Codec::Vorbis ? ends[n] : n == 0 ? 0 : ends[n - 1]; }
    // The first packet whose output reaches `position`.
    int packetEnding(qint64 position) const
    {
        return int(std::lower_bound(ends.cbegin(), ends.cend(), position) - ends.cbegin());
    }
    // The last packet that ends at or before `position`, or the first.
    int packetBefore(qint64 position) const
    {
        return std::max(int(std::upper_bound(ends.cbegin(), ends.cend(), position) - ends.cbegin()) - 1, 0);
    }
};

// Walks the packets of the one logical stream in the file; `packet` is
// given each, `pageDone` each page once its packets were. Either stops the
// walk with a reason; "" goes on. Returns why the file is not one plain
// Ogg stream, or what stopped the walk.
QString walk(const QString &path, const std::function<QString(ogg_packet &)> &packet,
        const std::function<QString(const ogg_page &)> &pageDone)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the file");
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    ogg_stream_state stream;
    bool started = false;
    bool ended = false;
    QString why;
    while (why.isEmpty()) {
        ogg_page page;
        const int found = ogg_sync_pageout(&sync, &page);
        if (found == 0) {
            char *buffer = ogg_sync_buffer(&sync, ReadBytes);
            const qint64 read = file.read(buffer, ReadBytes);
            if (read <= 0) {
                if (read < 0 || sync.fill > sync.returned)
                    why = QStringLiteral("a damaged Ogg page");
                break;
            }
            ogg_sync_wrote(&sync, long(read));
            continue;
        }
        if (found < 0) {
            why = QStringLiteral("a damaged Ogg page");
        } else if (!started) {
            if (!ogg_page_bos(&page))
                why = QStringLiteral("no start of an Ogg stream");
            ogg_stream_init(&stream, ogg_page_serialno(&page));
            started = true;
        } else if (ogg_page_bos(&page) || ogg_page_serialno(&page) != stream.serialno || ended) {
            why = QStringLiteral("chained or multiplexed Ogg");
        }
        if (!why.isEmpty())
            break;
        if (ogg_stream_pagein(&stream, &page) != 0) {
            why = QStringLiteral("a damaged Ogg page");
            break;
        }
        ended = ogg_page_eos(&page);
        ogg_packet op;
        int out = 0;
        while (why.isEmpty() && (out = ogg_stream_packetout(&stream, &op)) != 0)
            why = out < 0 ? QStringLiteral("a gap in the Ogg stream") : packet(op);
        if (why.isEmpty())
            why = pageDone(page);
    }
    if (why.isEmpty() && (!started || stream.lacing_returned < stream.lacing_fill))
        why = QStringLiteral("an Ogg stream cut off");
    if (started)
        ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    return why;
}

QByteArray bytesOf(const ogg_packet &op)
{
    return QByteArray(reinterpret_cast<const char *>(op.packet), int(op.bytes));
}

// Reads the headers, each audio packet's length and the granules, which must
// add up to what the packets decode.
Stream indexOf(const QString &path)
{
    Stream s;
    vorbis_info info;
    vorbis_comment comment;
    vorbis_info_init(&info);
    vorbis_comment_init(&comment);
    int headerCount = 0;
    long previousBlock = 0;
    qint64 position = 0;
    qint64 pageStart = 0; // the position before the page's first completed packet
    int completed = 0;    // audio packets completed on the page
    const auto packet = [&](ogg_packet &op) -> QString {
        if (s.headers.isEmpty()) {
            if (op.bytes >= 19 && bytesOf(op).startsWith("OpusHead")) {
                s.rate = OpusRate;
                s.preSkip = op.packet[10] | op.packet[11] << 8;
                headerCount = 2;
            } else if (vorbis_synthesis_headerin(&info, &comment, &op) == 0) {
                s.codec = Codec::Vorbis;
                s.rate = int(info.rate);
                headerCount = 3;
            } else {
                return QStringLiteral("neither Opus nor Vorbis");
            }
        } else if (s.headers.size() < headerCount) {
            const bool known = s.codec == Codec::Opus ? bytesOf(op).startsWith("OpusTags")
                                                      : vorbis_synthesis_headerin(&info, &comment, &op) == 0;
            if (!known)
                return QStringLiteral("damaged headers");
        }
        if (s.headers.size() < headerCount) {
            s.headers << bytesOf(op);
            return QString();
        }
        long duration = 0;
        if (s.codec == Codec::Opus) {
            duration = opus_packet_get_nb_samples(op.packet, op.bytes, OpusRate);
        } else {
            const long block = vorbis_packet_blocksize(&info, &op);
            duration = block <= 0 ? -1 : previousBlock == 0 ? 0 : previousBlock / 4 + block / 4;
            previousBlock = block;
        }
        if (duration < 0)
            return QStringLiteral("a damaged audio packet");
        if (completed++ == 0)
            pageStart = position;
        position += duration;
        s.ends << position;
        s.sizes << int(op.bytes);
        return QString();
    };
    const auto pageDone = [&](const ogg_page &page) -> QString {
        s.serial = ogg_page_serialno(&page);
        if (completed == 0)
            return QString();
        completed = 0;
        const qint64 granule = ogg_page_granulepos(&page);
        const bool last = ogg_page_eos(&page);
        // A first page that is also the last can only end the stream early.
        if (s.lastGranule < 0 && !last)
            s.origin = granule - position;
        const qint64 expected = s.origin + position;
        const bool fits = last ? granule > s.origin + pageStart && granule <= expected : granule == expected;
        if (!fits)
            return QStringLiteral("granule positions that do not add up");
        s.lastGranule = granule;
        return QString();
    };
    s.refusal = walk(path, packet, pageDone);
    if (s.refusal.isEmpty() && (s.ends.isEmpty() || s.decoded() <= 0))
        s.refusal = QStringLiteral("no audio");
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return s;
}

// Opus packets of silence put before and after the source's.
struct Joined
{
    QList<QByteArray> head;
    QList<QByteArray> tail;
    qint64 headLength = 0; // what the head's packets decode to
};

qint64 opusSamples(const QByteArray &packet)
{
    return opus_packet_get_nb_samples(reinterpret_cast<const uchar *>(packet.constData()), packet.size(), OpusRate);
}

// Writes the headers and audio packets `from` to `to` of the source again,
// with `joined`'s around them: headers on pages of their own, audio on pages
// of at most about a second, each page's granule the position of its last
// completed packet less `base`, the last page's `lastGranule`, which ends
// playback inside it.
QString copyPackets(const QString &sourcePath, const QString &outputPath, const Stream &s,
        const QList<QByteArray> &headers, int from, int to, qint64 base, qint64 lastGranule, const Joined &joined)
{
    QFile out(outputPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QStringLiteral("cannot write %1: %2").arg(outputPath, out.errorString());
    ogg_stream_state stream;
    ogg_stream_init(&stream, s.serial);
    bool written = true;
    // How many pages were written.
    const auto pages = [&](int (*take)(ogg_stream_state *, ogg_page *)) {
        ogg_page page;
        int count = 0;
        for (; take(&stream, &page) != 0; ++count) {
            written = written && out.write(reinterpret_cast<const char *>(page.header), page.header_len) >= 0
                    && out.write(reinterpret_cast<const char *>(page.body), page.body_len) >= 0;
        }
        return count;
    };
    int packetNo = 0; // of the source, and as many of the output
    int putNo = 0;
    qint64 onPage = 0;
    qint64 position = s.outputFrom(from) - base; // where the next packet's output begins
    qlonglong audioLeft = joined.head.size() + to - from + 1 + joined.tail.size();
    const auto put = [&](const uchar *data, long bytes, qint64 granule, bool last) {
        ogg_packet op{ const_cast<uchar *>(data), bytes, putNo == 0, last, granule, putNo };
        ++putNo;
        ogg_stream_packetin(&stream, &op);
    };
    const auto putAudio = [&](const uchar *data, long bytes, qint64 end) {
        const bool last = --audioLeft == 0;
        put(data, bytes, last ? lastGranule : end, last);
        onPage += end - position;
        position = end;
        if (pages(onPage >= s.rate ? ogg_stream_flush : ogg_stream_pageout) > 0)
            onPage = 0;
    };
    const auto putSilence = [&](const QList<QByteArray> &packets) {
        for (const QByteArray &packet : packets) {
            putAudio(
                    reinterpret_cast<const uchar *>(packet.constData()), packet.size(), position + opusSamples(packet));
        }
    };
    const auto packet = [&](ogg_packet &op) -> QString {
        const int n = packetNo++ - headers.size();
        if (n < 0) {
            const QByteArray &header = headers.at(packetNo - 1);
            put(reinterpret_cast<const uchar *>(header.constData()), header.size(), 0, false);
            // The identification header alone on the first page, the rest ending theirs.
            if (packetNo == 1 || n == -1)
                pages(ogg_stream_flush);
            return QString();
        }
        if (n < from)
            return QString();
        if (n > to || op.bytes != s.sizes.at(n))
            return n > to ? QStringLiteral("done") : QStringLiteral("the file changed while it was cut");
        if (n == from)
            putSilence(joined.head);
        putAudio(op.packet, op.bytes, s.ends.at(n) - base + joined.headLength);
        return QString();
    };
    const QString stopped = walk(sourcePath, packet, [](const ogg_page &) { return QString(); });
    const bool whole = stopped.isEmpty() || stopped == QLatin1String("done");
    if (whole)
        putSilence(joined.tail);
    pages(ogg_stream_flush);
    ogg_stream_clear(&stream);
    if (!whole)
        return stopped;
    if (putNo != headers.size() + joined.head.size() + to - from + 1 + joined.tail.size())
        return QStringLiteral("the file changed while it was cut");
    if (!written || !out.flush())
        return QStringLiteral("cannot write %1: %2").arg(outputPath, out.errorString());
    return QString();
}

// Silence coded for the Opus stream headed by `identification`, as packets
// that decode to at least `head` and `tail` samples each; empty with why
// when they cannot be had.
QString joinedSilence(
        const QByteArray &identification, const SilencePackets &silence, qint64 head, qint64 tail, Joined &joined)
{
    if (head <= 0 && tail <= 0)
        return QString();
    const int channels = quint8(identification.at(9));
    QString why;
    const QString path = silence.encode(OpusRate, channels, std::max(head, tail) + OpusRate / 10,
            { QStringLiteral("-c:a"), QStringLiteral("libopus"), QStringLiteral("-b:a"), QStringLiteral("64k") },
            QStringLiteral("opus"), why);
    if (path.isEmpty())
        return why;
    QList<QByteArray> packets;
    const QString broken = walk(
            path,
            [&packets](ogg_packet &op) {
                packets << bytesOf(op);
                return QString();
            },
            [](const ogg_page &) { return QString(); });
    // The same channels, mapping family and, beyond two channels, the same streams in the same order.
    if (!broken.isEmpty() || packets.size() < 3 || packets.at(0).size() != identification.size()
            || packets.at(0).at(9) != identification.at(9) || packets.at(0).mid(18) != identification.mid(18))
        return QStringLiteral("Opus silence could not be coded for this channel mapping");
    packets.remove(0, 2);
    // The first packets that decode to `length`, and how long they are.
    const auto first = [&packets](qint64 length, QList<QByteArray> &into) {
        qint64 taken = 0;
        for (int i = 0; taken < length && i < packets.size(); ++i) {
            into << packets.at(i);
            taken += opusSamples(packets.at(i));
        }
        return taken;
    };
    joined.headLength = first(head, joined.head);
    if (joined.headLength < head || first(tail, joined.tail) < tail)
        return QStringLiteral("too little Opus silence was coded");
    return QString();
}

} // namespace

bool OggCutter::handles(const MediaInfo &source)
{
    return source.formatName == QLatin1String("ogg")
            && (source.codec == QLatin1String("opus") || source.codec == QLatin1String("vorbis"));
}

qint64 OggCutter::samplesOf(const QString &path)
{
    int sampleRate = 0;
    return lengthOf(path, sampleRate);
}

qint64 OggCutter::lengthOf(const QString &path, int &sampleRate)
{
    // Anything else would be read to its end in search of a page.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(4) != QByteArrayLiteral("OggS"))
        return -1;
    file.close();
    const Stream s = indexOf(path);
    sampleRate = s.codec == Codec::Opus ? 48000 : s.rate;
    return s.refusal.isEmpty() ? s.decoded() : -1;
}

qint64 OggCutter::firstKept(const QString &sourcePath, qint64 firstSample)
{
    const Stream s = indexOf(sourcePath);
    if (!s.refusal.isEmpty())
        return -1;
    if (s.codec == Codec::Opus)
        return firstSample;
    // The boundary where the output of the packet after it begins; inside a
    // source's own discarded packet, its discard is kept and grows.
    const qint64 position = s.discard() + firstSample;
    const qint64 boundary = s.ends.at(s.packetBefore(position));
    return boundary < s.discard() ? firstSample : boundary - s.discard();
}

StepResult OggCutter::cut(const QString &sourcePath, const QString &outputPath, qint64 firstSample, qint64 sampleCount,
        const SilencePackets &silence)
{
    const Stream s = indexOf(sourcePath);
    if (!s.refusal.isEmpty())
        return StepResult::leftAlone(s.refusal);
    if (firstSample < 0 || sampleCount <= 0 || firstSample + sampleCount > s.decoded())
        return StepResult::failure(QStringLiteral("the cut lies outside the audio"));
    if (!silence.none() && s.codec == Codec::Vorbis)
        return StepResult::leftAlone(QStringLiteral("Vorbis silence cannot be joined"));
    // Beyond the file's own ends lie only its encoder's lead-in and flush,
    // which the silence joined there plays out.
    if ((silence.head() > 0 && (firstSample > 0 || s.preSkip > MaxJoinedPreSkip))
            || (silence.tail() > 0 && firstSample + sampleCount < s.decoded()))
        return StepResult::leftAlone(QStringLiteral("silence is joined only to an encoder's own ends"));
    const qint64 start = s.discard() + firstSample;
    const qint64 end = start + sampleCount;
    const int to = s.packetEnding(end);
    QList<QByteArray> headers = s.headers;
    int from = 0;
    qint64 base = 0;
    Joined joined;
    if (s.codec == Codec::Opus) {
        // Decoding starts at least the pre-roll before the cut; the pre-skip drops what lies before it.
        while (from + 1 < s.ends.size() && s.outputFrom(from + 1) <= start - OpusPreRoll)
            ++from;
        base = s.outputFrom(from);
        // The silence joined at the head ends where the pre-skip did; at the tail, where the last packet's output does.
        const QString why = joinedSilence(headers.at(0), silence, silence.head() - (start - base),
                silence.tail() - (s.ends.at(to) - end), joined);
        if (!why.isEmpty())
            return why == QLatin1String("cancelled") ? StepResult::stopped() : StepResult::leftAlone(why);
        const qint64 preSkip = start - base + joined.headLength - silence.head();
        if (preSkip > MaxPreSkip)
            return StepResult::leftAlone(QStringLiteral("an Opus pre-skip past its limit"));
        headers[0][10] = char(preSkip & 0xff);
        headers[0][11] = char(preSkip >> 8);
    } else {
        // The packet before the first sample kept only primes the lapping;
        // what it leaves before the cut is discarded by the first page's granule.
        from = s.packetBefore(start);
        base = start;
    }
    const qint64 lastGranule = end - base + joined.headLength + silence.tail();
    const QString failed = copyPackets(sourcePath, outputPath, s, headers, from, to, base, lastGranule, joined);
    if (!failed.isEmpty()) {
        QFile::remove(outputPath);
        return failed.startsWith(QLatin1String("cannot write")) ? StepResult::failure(failed)
                                                                : StepResult::leftAlone(failed);
    }
    return StepResult::success();
}

} // namespace ks
