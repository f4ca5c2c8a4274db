#include "mp4cutter.h"

#include "fileidentity.h"
#include "mappedfile.h"
#include "mediaprobe.h"
#include "mp4box.h"
#include "silencepackets.h"

#include <QFile>
#include <QList>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace ks {

// Box layouts as ISO/IEC 14496-12 defines them: mvhd 8.2.2, tkhd 8.3.2,
// elst 8.6.6, mdhd 8.4.2, stts 8.6.1.2, stsz 8.7.3, stsc 8.7.4, stco/co64
// 8.7.5, stss 8.6.2, sbgp 8.9.2; Nero's 'chpl' and iTunes' 'iTunSMPB' as
// their writers lay them out.

namespace {

constexpr qint64 FrameSamples = 1024;     // an AAC-LC access unit
constexpr qint64 ChapterTicks = 10000000; // 'chpl' counts in 100 ns

quint64 field(const QByteArray &bytes, qint64 at, int width)
{
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | quint8(bytes.at(at + i));
    return value;
}

void setField(QByteArray &bytes, qint64 at, int width, quint64 value)
{
    for (int i = width - 1; i >= 0; --i, value >>= 8)
        bytes[at + i] = char(value & 0xFF);
}

QByteArray be(quint64 value, int width)
{
    QByteArray bytes(width, '\0');
    setField(bytes, 0, width, value);
    return bytes;
}

// A full box's version: its times and durations are 4 bytes wide in version 0, 8 in 1.
int versionOf(const Mp4Box &box)
{
    return box.payload.isEmpty() ? -1 : quint8(box.payload.at(0));
}

// The timescale and duration of an 'mvhd' or 'mdhd'; the duration of a 'tkhd' (its timescale is the movie's).
struct Times
{
    qint64 scaleAt = 0;
    qint64 durationAt = 0;
    int width = 4;
};

Times timesOf(const Mp4Box &box)
{
    const bool wide = versionOf(box) == 1;
    if (box.type == "tkhd")
        return { 0, wide ? 28 : 20, wide ? 8 : 4 };
    return { wide ? 20 : 12, wide ? 24 : 16, wide ? 8 : 4 };
}

bool fits(const Mp4Box &box, qint64 end)
{
    return box.payload.size() >= end;
}

bool setDuration(Mp4Box &box, quint64 duration)
{
    const Times times = timesOf(box);
    if (!fits(box, times.durationAt + times.width) || (times.width == 4 && duration > 0xFFFFFFFFu))
        return false;
    setField(box.payload, times.durationAt, times.width, duration);
    return true;
}

// A track's samples where its sample table puts them.
struct Samples
{
    std::vector<qint64> offsets;
    std::vector<qint64> sizes;
    std::vector<qint64> chunks;
    std::vector<qint64> durations;
    bool wideOffsets = false; // 'co64'
    qint64 uniformSize = 0;   // 'stsz' with one size for all
};

QString readSamples(const Mp4Box &stbl, qint64 fileSize, Samples &s)
{
    const Mp4Box *stts = stbl.child("stts");
    const Mp4Box *stsc = stbl.child("stsc");
    const Mp4Box *stsz = stbl.child("stsz");
    const Mp4Box *stco = stbl.child("stco");
    const Mp4Box *co64 = stbl.child("co64");
    const QString damaged = QStringLiteral("an MP4 sample table that does not add up");
    if (!stts || !stsc || !stsz || (!stco == !co64))
        return damaged;
    const Mp4Box &chunkBox = stco ? *stco : *co64;
    s.wideOffsets = co64 != nullptr;
    const int offsetWidth = s.wideOffsets ? 8 : 4;
    if (!fits(*stts, 8) || !fits(*stsc, 8) || !fits(*stsz, 12) || !fits(chunkBox, 8))
        return damaged;
    const qint64 sampleCount = qint64(field(stsz->payload, 8, 4));
    s.uniformSize = qint64(field(stsz->payload, 4, 4));
    const qint64 chunkCount = qint64(field(chunkBox.payload, 4, 4));
    const qint64 timeEntries = qint64(field(stts->payload, 4, 4));
    const qint64 chunkEntries = qint64(field(stsc->payload, 4, 4));
    if ((s.uniformSize == 0 && !fits(*stsz, 12 + 4 * sampleCount)) || !fits(chunkBox, 8 + offsetWidth * chunkCount)
            || !fits(*stts, 8 + 8 * timeEntries) || !fits(*stsc, 8 + 12 * chunkEntries) || sampleCount > fileSize)
        return damaged;
    for (qint64 i = 0; i < timeEntries; ++i) {
        const qint64 count = qint64(field(stts->payload, 8 + 8 * i, 4));
        if (count > sampleCount - qint64(s.durations.size()))
            return damaged;
        s.durations.insert(s.durations.end(), size_t(count), qint64(field(stts->payload, 12 + 8 * i, 4)));
    }
    for (qint64 i = 0; i < chunkEntries; ++i) {
        const qint64 firstChunk = qint64(field(stsc->payload, 8 + 12 * i, 4));
        const qint64 perChunk = qint64(field(stsc->payload, 12 + 12 * i, 4));
        const qint64 nextChunk = i + 1 < chunkEntries ? qint64(field(stsc->payload, 20 + 12 * i, 4)) : chunkCount + 1;
        if (field(stsc->payload, 16 + 12 * i, 4) != 1 || firstChunk < 1 || nextChunk <= firstChunk
                || nextChunk > chunkCount + 1)
            return damaged;
        for (qint64 chunk = firstChunk; chunk < nextChunk; ++chunk) {
            qint64 at = qint64(field(chunkBox.payload, 8 + offsetWidth * (chunk - 1), offsetWidth));
            for (qint64 n = 0; n < perChunk && qint64(s.sizes.size()) < sampleCount; ++n) {
                const qint64 size
                        = s.uniformSize ? s.uniformSize : qint64(field(stsz->payload, 12 + 4 * s.sizes.size(), 4));
                if (at + size > fileSize)
                    return damaged;
                s.offsets.push_back(at);
                s.sizes.push_back(size);
                s.chunks.push_back(chunk);
                at += size;
            }
        }
    }
    if (qint64(s.sizes.size()) != sampleCount || qint64(s.durations.size()) != sampleCount || sampleCount == 0)
        return damaged;
    return QString();
}

// A track's edit list when it is one plain entry: its duration (movie
// timescale) and where in the media it starts. `present` is false without one.
struct Edit
{
    bool present = false;
    bool plain = true;
    quint64 duration = 0;
    qint64 mediaTime = 0;
};

Edit editOf(const Mp4Box &trak)
{
    Edit edit;
    const Mp4Box *elst = trak.find("edts/elst");
    if (!trak.child("edts"))
        return edit;
    edit.present = true;
    const int width = elst && versionOf(*elst) == 1 ? 8 : 4;
    if (!elst || !fits(*elst, 8 + 2 * width + 4) || field(elst->payload, 4, 4) != 1
            || field(elst->payload, 8 + 2 * width, 4) != 0x00010000) {
        edit.plain = false;
        return edit;
    }
    edit.duration = field(elst->payload, 8, width);
    edit.mediaTime = width == 8 ? qint64(field(elst->payload, 16, 8)) : qint32(field(elst->payload, 12, 4));
    edit.plain = edit.mediaTime >= 0;
    return edit;
}

QByteArray plainEdit(quint64 duration, qint64 mediaTime)
{
    const bool wide = duration > 0xFFFFFFFFu || mediaTime > 0x7FFFFFFF;
    const int width = wide ? 8 : 4;
    return be(wide ? 0x01000000 : 0, 4) + be(1, 4) + be(duration, width) + be(quint64(mediaTime), width)
            + be(0x00010000, 4);
}

QByteArray handlerOf(const Mp4Box &trak)
{
    const Mp4Box *hdlr = trak.find("mdia/hdlr");
    return hdlr && fits(*hdlr, 12) ? hdlr->payload.mid(8, 4) : QByteArray();
}

quint32 trackIdOf(const Mp4Box &trak)
{
    const Mp4Box *tkhd = trak.child("tkhd");
    const int at = tkhd && versionOf(*tkhd) == 1 ? 20 : 12;
    return tkhd && fits(*tkhd, at + 4) ? quint32(field(tkhd->payload, at, 4)) : 0;
}

// Only the boxes a cut rewrites, and what it copies as it is.
bool onlyKnownTables(const Mp4Box &stbl, bool audio)
{
    static const QByteArray Known[] = { "stsd", "stts", "stsc", "stsz", "stco", "co64" };
    for (const Mp4Box &box : stbl.children) {
        const bool known = std::find(std::begin(Known), std::end(Known), box.type) != std::end(Known)
                || (audio && (box.type == "stss" || box.type == "sgpd" || box.type == "sbgp"));
        if (!known)
            return false;
    }
    const Mp4Box *stsd = stbl.child("stsd");
    return stsd && fits(*stsd, 8) && field(stsd->payload, 4, 4) == 1;
}

// The data of a track is in this file.
bool selfContained(const Mp4Box &trak)
{
    const Mp4Box *dref = trak.find("mdia/minf/dinf/dref");
    return dref && fits(*dref, 20) && field(dref->payload, 4, 4) == 1 && (field(dref->payload, 16, 4) & 1);
}

// Whether the track's AudioSpecificConfig (ISO/IEC 14496-3, 1.6.2.1), in
// its 'esds' descriptors (ISO/IEC 14496-1, 7.2.6), signals SBR: as its own
// object type, or after the AAC config in a sync extension.
bool signalsSbr(const QByteArray &stsd)
{
    qint64 at = stsd.indexOf("esds");
    if (at < 0)
        return false;
    at += 8; // the type, version and flags
    const auto byte = [&stsd](qint64 i) { return i < stsd.size() ? quint8(stsd.at(i)) : 0; };
    const auto descriptor = [&](int tag) {
        qint64 length = 0;
        if (byte(at) != tag)
            return qint64(-1);
        for (int i = 1; i <= 4; ++i) {
            length = length << 7 | (byte(at + i) & 0x7F);
            if (!(byte(at + i) & 0x80)) {
                at += 1 + i;
                return length;
            }
        }
        return qint64(-1);
    };
    if (descriptor(3) < 0)
        return false;
    const quint8 flags = byte(at + 2);
    at += 3 + ((flags & 0x80) ? 2 : 0) + ((flags & 0x40) ? 1 + byte(at + 3 + ((flags & 0x80) ? 2 : 0)) : 0)
            + ((flags & 0x20) ? 2 : 0);
    if (descriptor(4) < 0)
        return false;
    at += 13;
    const qint64 length = descriptor(5);
    if (length < 2 || at + length > stsd.size())
        return false;
    qint64 bit = at * 8;
    const qint64 end = bit + length * 8;
    const auto bits = [&](int count) {
        quint32 value = 0;
        for (int i = 0; i < count; ++i, ++bit)
            value = value << 1 | ((byte(bit / 8) >> (7 - bit % 8)) & 1);
        return value;
    };
    const quint32 objectType = bits(5);
    if (objectType == 5 || objectType == 29)
        return true;
    if (bits(4) == 15)
        bits(24);
    // A channel layout of its own (0) is not read past.
    if (objectType != 2 || bits(4) == 0)
        return false;
    bits(1); // frame length
    if (bits(1))
        bits(14); // core coder delay
    bits(1);
    return end - bit >= 16 && bits(11) == 0x2B7 && bits(5) == 5 && bits(1) == 1;
}

// iTunes' gapless tag, " 00000000 PRIMING PADDING SAMPLES ...", in hexadecimal.
Mp4Box *smpbData(Mp4Box &moov)
{
    Mp4Box *ilst = moov.find("udta/meta/ilst");
    if (!ilst)
        return nullptr;
    for (Mp4Box &item : ilst->children) {
        const Mp4Box *name = item.child("name");
        if (item.type == "----" && name && name->payload.mid(4) == "iTunSMPB")
            return item.child("data");
    }
    return nullptr;
}

QList<QByteArray> smpbFields(const Mp4Box &data)
{
    return data.payload.mid(8).split(' ');
}

struct TopBox
{
    QByteArray type;
    qint64 at = 0;
    qint64 length = 0;
};

// The file's boxes and the one audio track, as a cut needs them.
struct Movie
{
    QString refusal;
    std::vector<TopBox> top;
    Mp4Box moov;
    int audio = -1;            // the audio 'trak' among moov's children
    std::vector<int> chapters; // its chapter text tracks
    Samples samples;
    std::vector<Samples> chapterSamples;
    qint64 rate = 0; // the audio's media timescale: one tick a sample
    qint64 movieScale = 0;
    qint64 mediaTime = 0; // where output starts in the media: the priming
    qint64 output = 0;    // samples a decoder outputs
    bool edited = false;  // the audio has an edit list
};

Movie readMovie(const uchar *data, qint64 size)
{
    Movie m;
    const auto refuse = [&m](const QString &why) {
        m.refusal = why;
        return m;
    };
    if (!data)
        return refuse(QStringLiteral("cannot read the MP4"));
    int moovCount = 0;
    int mdatCount = 0;
    for (qint64 at = 0; at < size;) {
        const qint64 length = Mp4Box::lengthAt(data + at, size - at);
        if (length == 0)
            return refuse(QStringLiteral("MP4 boxes that do not fit the file"));
        TopBox box{ QByteArray(reinterpret_cast<const char *>(data + at + 4), 4), at, length };
        if (box.type == "moof")
            return refuse(QStringLiteral("a fragmented MP4"));
        moovCount += box.type == "moov";
        mdatCount += box.type == "mdat";
        m.top.push_back(box);
        at += length;
    }
    const auto moovAt
            = std::find_if(m.top.cbegin(), m.top.cend(), [](const TopBox &box) { return box.type == "moov"; });
    std::vector<Mp4Box> moov;
    if (moovCount != 1 || mdatCount == 0 || !Mp4Box::readAll(data + moovAt->at, moovAt->length, moov)
            || moov.size() != 1)
        return refuse(QStringLiteral("not one MP4 movie"));
    m.moov = std::move(moov.front());
    const Mp4Box *mvhd = m.moov.child("mvhd");
    if (m.moov.child("mvex") || !mvhd || !fits(*mvhd, timesOf(*mvhd).durationAt + timesOf(*mvhd).width))
        return refuse(QStringLiteral("a fragmented MP4"));
    m.movieScale = qint64(field(mvhd->payload, timesOf(*mvhd).scaleAt, 4));

    std::vector<int> texts;
    for (int i = 0; i < int(m.moov.children.size()); ++i) {
        const Mp4Box &box = m.moov.children.at(size_t(i));
        if (box.type != "trak")
            continue;
        const QByteArray handler = handlerOf(box);
        if (handler == "soun" && m.audio < 0)
            m.audio = i;
        else if (handler == "text")
            texts.push_back(i);
        else
            return refuse(handler == "soun" ? QStringLiteral("more than one audio track")
                                            : QStringLiteral("a track other than the audio and its chapters"));
    }
    if (m.audio < 0)
        return refuse(QStringLiteral("no audio track"));
    const Mp4Box &audio = m.moov.children.at(size_t(m.audio));
    const Mp4Box *chap = audio.find("tref/chap");
    for (int text : texts) {
        const quint32 id = trackIdOf(m.moov.children.at(size_t(text)));
        bool referenced = false;
        for (qint64 at = 0; chap && at + 4 <= chap->payload.size(); at += 4)
            referenced = referenced || field(chap->payload, at, 4) == id;
        if (!referenced)
            return refuse(QStringLiteral("a text track that is not the chapters"));
    }

    const Mp4Box *stbl = audio.find("mdia/minf/stbl");
    const Mp4Box *mdhd = audio.find("mdia/mdhd");
    if (!stbl || !mdhd || !onlyKnownTables(*stbl, true) || !selfContained(audio)
            || stbl->child("stsd")->payload.mid(12, 4) != "mp4a" || !fits(*mdhd, 24) || !fits(*stbl->child("stsd"), 44))
        return refuse(QStringLiteral("an MP4 audio track of an unusual kind"));
    m.rate = qint64(field(mdhd->payload, timesOf(*mdhd).scaleAt, 4));
    // A media clock other than the sample rate would not count samples.
    if (m.rate <= 0 || qint64(field(stbl->child("stsd")->payload, 40, 2)) != m.rate)
        return refuse(QStringLiteral("an MP4 audio track of an unusual kind"));
    if (signalsSbr(stbl->child("stsd")->payload))
        return refuse(QStringLiteral("HE-AAC, whose frames decode to twice their samples"));
    if (const QString why = readSamples(*stbl, size, m.samples); !why.isEmpty())
        return refuse(why);
    const std::vector<qint64> &durations = m.samples.durations;
    const bool lastShorter = durations.back() <= FrameSamples;
    if (std::any_of(durations.cbegin(), durations.cend() - 1, [](qint64 d) { return d != FrameSamples; })
            || !lastShorter)
        return refuse(QStringLiteral("AAC frames of other than 1024 samples"));
    if (const Mp4Box *sbgp = stbl->child("sbgp")) {
        const int at = versionOf(*sbgp) == 1 ? 12 : 8;
        if (!fits(*sbgp, at + 12) || field(sbgp->payload, at, 4) != 1
                || field(sbgp->payload, at + 4, 4) != m.samples.sizes.size())
            return refuse(QStringLiteral("an MP4 audio track of an unusual kind"));
    }
    const qint64 media = qint64(durations.size() - 1) * FrameSamples + durations.back();

    const Edit edit = editOf(audio);
    Mp4Box *smpb = smpbData(m.moov);
    const QList<QByteArray> gapless = smpb ? smpbFields(*smpb) : QList<QByteArray>();
    if (smpb && gapless.size() < 5)
        return refuse(QStringLiteral("a damaged iTunSMPB tag"));
    m.edited = edit.present;
    if (edit.present) {
        if (!edit.plain || m.movieScale <= 0)
            return refuse(QStringLiteral("an MP4 edit list of several entries"));
        m.mediaTime = edit.mediaTime;
        m.output = qint64(std::llround(double(edit.duration) * m.rate / m.movieScale));
    } else {
        m.mediaTime = smpb ? gapless.at(2).toLongLong(nullptr, 16) : 0;
        m.output = smpb ? gapless.at(4).toLongLong(nullptr, 16) : media - m.mediaTime;
    }
    if (m.output <= 0 || m.mediaTime + m.output > media)
        return refuse(QStringLiteral("an MP4 edit list that does not fit its audio"));

    for (int text : texts) {
        const Mp4Box &trak = m.moov.children.at(size_t(text));
        const Mp4Box *textTables = trak.find("mdia/minf/stbl");
        const Edit textEdit = editOf(trak);
        Samples samples;
        const Mp4Box *textClock = trak.find("mdia/mdhd");
        if (!textTables || !textClock || !fits(*textClock, timesOf(*textClock).durationAt)
                || field(textClock->payload, timesOf(*textClock).scaleAt, 4) == 0
                || !onlyKnownTables(*textTables, false) || !selfContained(trak) || !textEdit.plain
                || textEdit.mediaTime != 0 || !readSamples(*textTables, size, samples).isEmpty())
            return refuse(QStringLiteral("chapters of an unusual kind"));
        m.chapters.push_back(text);
        m.chapterSamples.push_back(samples);
    }
    return m;
}

// Bytes of the source that go into the new media data.
struct Copy
{
    qint64 from = 0;
    qint64 length = 0;
    const char *bytes = nullptr; // these instead, joined silence
};

QByteArray runLengths(const std::vector<qint64> &values)
{
    QByteArray entries;
    quint32 count = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i + 1 < values.size() && values[i + 1] == values[i])
            continue;
        entries += be(i + 1 - count, 4) + be(quint64(values[i]), 4);
        count = quint32(i + 1);
    }
    return entries;
}

// Rewrites a track's sample tables for the samples `kept` of `s`, laid out
// as `copies` from `base` on (one chunk each): the caller adds the bytes.
void setTables(Mp4Box &stbl, const Samples &s, const std::vector<qint64> &kept, const std::vector<qint64> &durations,
        const std::vector<Copy> &chunks, const std::vector<qint64> &perChunk, qint64 base, qint64 first)
{
    const QByteArray fullBox(4, '\0');
    QByteArray stts = runLengths(durations);
    stbl.child("stts")->payload = fullBox + be(quint64(stts.size() / 8), 4) + stts;
    QByteArray stsc;
    for (size_t i = 0; i < perChunk.size(); ++i) {
        if (i == 0 || perChunk[i] != perChunk[i - 1])
            stsc += be(i + 1, 4) + be(quint64(perChunk[i]), 4) + be(1, 4);
    }
    stbl.child("stsc")->payload = fullBox + be(quint64(stsc.size() / 12), 4) + stsc;
    QByteArray stsz = fullBox + be(quint64(s.uniformSize), 4) + be(kept.size(), 4);
    for (qint64 i = 0; !s.uniformSize && i < qint64(kept.size()); ++i)
        stsz += be(quint64(s.sizes.at(size_t(kept[size_t(i)]))), 4);
    stbl.child("stsz")->payload = stsz;
    const int width = s.wideOffsets ? 8 : 4;
    QByteArray offsets = fullBox + be(chunks.size(), 4);
    qint64 at = base;
    for (const Copy &chunk : chunks) {
        offsets += be(quint64(at), width);
        at += chunk.length;
    }
    stbl.child(s.wideOffsets ? "co64" : "stco")->payload = offsets;
    if (Mp4Box *stss = stbl.child("stss")) {
        QByteArray sync;
        const qint64 count = fits(*stss, 8) ? qint64(field(stss->payload, 4, 4)) : 0;
        for (qint64 i = 0; i < count && fits(*stss, 12 + 4 * i); ++i) {
            const qint64 n = qint64(field(stss->payload, 8 + 4 * i, 4)) - 1 - first;
            if (n >= 0 && n < qint64(kept.size()))
                sync += be(quint64(n + 1), 4);
        }
        stss->payload = fullBox + be(quint64(sync.size() / 4), 4) + sync;
    }
    if (Mp4Box *sbgp = stbl.child("sbgp"))
        setField(sbgp->payload, versionOf(*sbgp) == 1 ? 16 : 12, 4, kept.size());
}

// Nero's chapter list: version 1 with 4 reserved bytes, a count, then each
// start (in 100 ns) and title. Chapters moved back by `from`, the ones
// outside [from, to) dropped; with `from` before the start, moved on, the
// first still at the start. False when the list does not read.
bool moveChapterList(QByteArray &chpl, qint64 from, qint64 to)
{
    const qint64 head = chpl.isEmpty() ? 0 : quint8(chpl.at(0)) == 1 ? 8 : 4;
    if (chpl.size() < head + 1)
        return false;
    const int count = quint8(chpl.at(head));
    struct Entry
    {
        qint64 start;
        QByteArray title;
    };
    std::vector<Entry> entries;
    qint64 at = head + 1;
    for (int i = 0; i < count; ++i) {
        if (at + 9 > chpl.size() || at + 9 + quint8(chpl.at(at + 8)) > chpl.size())
            return false;
        entries.push_back({ qint64(field(chpl, at, 8)), chpl.mid(at + 9, quint8(chpl.at(at + 8))) });
        at += 9 + entries.back().title.size();
    }
    QByteArray kept;
    int keptCount = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const bool endsBefore = i + 1 < entries.size() && entries[i + 1].start <= from;
        if (endsBefore || entries[i].start >= to)
            continue;
        const qint64 start = keptCount == 0 && from < 0 ? 0 : std::max<qint64>(entries[i].start - from, 0);
        kept += be(quint64(start), 8) + char(entries[i].title.size()) + entries[i].title;
        ++keptCount;
    }
    chpl = chpl.left(head) + char(keptCount) + kept + chpl.mid(at);
    return true;
}

// The AudioSpecificConfig of an 'mp4a' entry's 'esds': the decoder
// specific info inside the decoder config inside the ES descriptor.
QByteArray audioConfigOf(const QByteArray &stsd)
{
    const qint64 esds = stsd.indexOf("esds");
    qint64 at = esds + 8; // past the type and the full box's version and flags
    const auto descriptor = [&](int tag) {
        if (at < 0 || at >= stsd.size() || quint8(stsd.at(at)) != tag)
            return qint64(-1);
        qint64 size = 0;
        for (int i = 1; i <= 4 && at + i < stsd.size(); ++i) {
            size = size << 7 | (quint8(stsd.at(at + i)) & 0x7F);
            if (!(quint8(stsd.at(at + i)) & 0x80)) {
                at += i + 1;
                return size;
            }
        }
        return qint64(-1);
    };
    if (esds < 0 || descriptor(0x03) < 0 || at + 3 > stsd.size())
        return QByteArray();
    const quint8 flags = quint8(stsd.at(at + 2));
    at += 3 + (flags & 0x80 ? 2 : 0);
    if (flags & 0x40)
        at += at < stsd.size() ? 1 + quint8(stsd.at(at)) : 0;
    at += flags & 0x20 ? 2 : 0;
    if (descriptor(0x04) < 0)
        return QByteArray();
    at += 13;
    const qint64 size = descriptor(0x05);
    return size < 0 ? QByteArray() : stsd.mid(at, size);
}

// Access units of silence in plain AAC LC, coded as the source's `config`
// says, after the first (which carries the encoder's name); empty with why.
QString aacSilence(const QByteArray &config, qint64 rate, const SilencePackets &silence, QList<QByteArray> &units)
{
    // Two bytes: LC, a rate by its index, a channel layout; no SBR or PS
    // signalled, or signalled as absent (0x2B7, SBR, not present), as ffmpeg does.
    const bool plain = config.size() == 2 || (config.size() == 5 && config.endsWith(QByteArray::fromHex("56e500")));
    if (!plain || (quint8(config.at(0)) >> 3) != 2)
        return QStringLiteral("AAC silence is joined only to plain AAC LC");
    const int channels = (quint8(config.at(1)) >> 3) & 0x0F;
    QString why;
    const QString path
            = silence.encode(int(rate), channels, std::max(silence.head(), silence.tail()) + 4 * FrameSamples,
                    { QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("64k") },
                    QStringLiteral("aac"), why);
    if (path.isEmpty())
        return why;
    QFile file(path);
    const QByteArray adts = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    for (qint64 at = 0; at + 7 <= adts.size();) {
        const auto byte = [&](int i) { return quint8(adts.at(at + i)); };
        const qint64 length = (byte(3) & 0x03) << 11 | byte(4) << 3 | byte(5) >> 5;
        const qint64 header = byte(1) & 0x01 ? 7 : 9;
        // The same object type, rate and layout as the source's config.
        const quint8 profile = byte(2) >> 6, rateIndex = (byte(2) >> 2) & 0x0F;
        const int layout = (byte(2) & 0x01) << 2 | byte(3) >> 6;
        const int wantedRate = (quint8(config.at(0)) & 0x07) << 1 | quint8(config.at(1)) >> 7;
        if (byte(0) != 0xFF || (byte(1) & 0xF6) != 0xF0 || length <= header || at + length > adts.size() || profile != 1
                || rateIndex != wantedRate || layout != channels || (byte(6) & 0x03) != 0)
            return QStringLiteral("AAC silence could not be coded as this file's");
        if (at > 0)
            units << adts.mid(at + header, length - header);
        at += length;
    }
    return units.isEmpty() ? QStringLiteral("AAC silence could not be coded as this file's") : QString();
}

} // namespace

bool Mp4Cutter::handles(const MediaInfo &source)
{
    // With SBR (HE-AAC, signalled or found in the frames) a frame decodes
    // to twice its 1024 samples, at twice the rate its boxes count in.
    return source.ok && source.formatName.startsWith(QLatin1String("mov,mp4")) && source.codec == QLatin1String("aac")
            && !source.profile.startsWith(QLatin1String("HE-AAC"));
}

qint64 Mp4Cutter::samplesOf(const QString &path)
{
    const MappedFile file(path);
    const Movie m = readMovie(file.data(), file.size());
    return m.refusal.isEmpty() ? m.output : -1;
}

StepResult Mp4Cutter::cut(const QString &sourcePath, const QString &outputPath, qint64 firstSample, qint64 sampleCount,
        const SilencePackets &silence)
{
    if (FileIdentity::of(sourcePath).isSameFile(FileIdentity::of(outputPath)))
        return StepResult::failure(QStringLiteral("an MP4 cut cannot be written over its source"));
    const MappedFile file(sourcePath);
    Movie m = readMovie(file.data(), file.size());
    if (!m.refusal.isEmpty())
        return StepResult::leftAlone(m.refusal);
    if (firstSample < 0 || sampleCount < 1 || firstSample + sampleCount > m.output)
        return StepResult::failure(QStringLiteral("the cut lies outside the audio"));

    // The frame before the first one kept lets the decoder's overlap settle;
    // the edit list starts output after it.
    const qint64 start = m.mediaTime + firstSample;
    const qint64 firstFrame = std::max<qint64>(start / FrameSamples - 1, 0);
    const qint64 lastFrame = (start + sampleCount - 1) / FrameSamples;
    qint64 mediaTime = start - firstFrame * FrameSamples;

    // Silence joins only at the file's own ends, where the edit list drops
    // no more than the encoder's priming and padding: frames of it before
    // the first copied, to start output in them, and after the last.
    QList<QByteArray> silentUnits;
    QByteArray headSilence;
    QByteArray tailSilence;
    std::vector<qint64> silentSizes;
    qint64 silentBefore = 0;
    const qint64 total = silence.head() + sampleCount + silence.tail();
    if (!silence.none()) {
        if ((silence.head() > 0 && firstSample > 0) || (silence.tail() > 0 && firstSample + sampleCount < m.output))
            return StepResult::leftAlone(QStringLiteral("silence is joined only to an encoder's own ends"));
        const QByteArray config
                = audioConfigOf(m.moov.children.at(size_t(m.audio)).find("mdia/minf/stbl/stsd")->payload);
        if (const QString why = aacSilence(config, m.rate, silence, silentUnits); !why.isEmpty())
            return why == QLatin1String("cancelled") ? StepResult::stopped() : StepResult::leftAlone(why);
        silentBefore = std::max<qint64>(silence.head() - mediaTime + FrameSamples - 1, 0) / FrameSamples;
        mediaTime += silentBefore * FrameSamples - silence.head();
        const qint64 framed = (silentBefore + lastFrame - firstFrame + 1) * FrameSamples;
        const qint64 after = std::max<qint64>(mediaTime + total - framed + FrameSamples - 1, 0) / FrameSamples;
        for (qint64 i = 0; i < silentBefore + after; ++i) {
            const QByteArray &unit = silentUnits.at(int(i % silentUnits.size()));
            (i < silentBefore ? headSilence : tailSilence) += unit;
            silentSizes.push_back(unit.size());
        }
    }

    // What the new media data holds: each chapter title, then the audio in
    // the source's chunks.
    std::vector<Copy> copies;
    std::vector<std::vector<qint64>> chapterKept(m.chapters.size());
    std::vector<std::vector<qint64>> chapterDurations(m.chapters.size());
    std::vector<qint64> chapterScale(m.chapters.size());
    for (size_t t = 0; t < m.chapters.size(); ++t) {
        const Mp4Box &mdhd = *m.moov.children.at(size_t(m.chapters[t])).find("mdia/mdhd");
        chapterScale[t] = qint64(field(mdhd.payload, timesOf(mdhd).scaleAt, 4));
        const qint64 from = std::llround(double(firstSample) * chapterScale[t] / m.rate);
        const qint64 to = std::llround(double(firstSample + sampleCount) * chapterScale[t] / m.rate);
        const Samples &s = m.chapterSamples[t];
        qint64 begins = 0;
        for (size_t i = 0; i < s.sizes.size(); ++i) {
            const qint64 ends = begins + s.durations[i];
            const qint64 length = std::min(ends, to) - std::max(begins, from);
            if (length > 0) {
                chapterKept[t].push_back(qint64(i));
                chapterDurations[t].push_back(length);
                copies.push_back({ s.offsets[i], s.sizes[i] });
            }
            begins = ends;
        }
        // The first chapter takes in the silence joined before it, the last the silence after.
        if (!chapterDurations[t].empty()) {
            chapterDurations[t].front() += std::llround(double(silence.head()) * chapterScale[t] / m.rate);
            chapterDurations[t].back() += std::llround(double(silence.tail()) * chapterScale[t] / m.rate);
        }
    }
    std::vector<Copy> audioChunks;
    std::vector<qint64> perChunk;
    std::vector<qint64> kept;
    std::vector<qint64> durations;
    // Joined silence, one chunk at either end, counts among the samples after the source's own.
    Samples samples = m.samples;
    const auto joinSilence = [&](const QByteArray &bytes, qint64 from, qint64 to) {
        if (from == to)
            return;
        audioChunks.push_back({ 0, bytes.size(), bytes.constData() });
        perChunk.push_back(to - from);
        for (qint64 i = from; i < to; ++i) {
            kept.push_back(qint64(samples.sizes.size()));
            samples.sizes.push_back(silentSizes[size_t(i)]);
            durations.push_back(FrameSamples);
        }
        samples.uniformSize = 0;
    };
    joinSilence(headSilence, 0, silentBefore);
    for (qint64 i = firstFrame; i <= lastFrame; ++i) {
        const bool sameChunk = i > firstFrame && m.samples.chunks[size_t(i)] == m.samples.chunks[size_t(i - 1)];
        if (!sameChunk) {
            audioChunks.push_back({ m.samples.offsets[size_t(i)], 0 });
            perChunk.push_back(0);
        }
        audioChunks.back().length += m.samples.sizes[size_t(i)];
        ++perChunk.back();
        kept.push_back(i);
        durations.push_back(m.samples.durations[size_t(i)]);
    }
    if (silentSizes.size() > size_t(silentBefore)) {
        durations.back() = FrameSamples; // the source's last frame, no longer the last
        joinSilence(tailSilence, silentBefore, qint64(silentSizes.size()));
    }
    qint64 mdatData = 0;
    for (const Copy &copy : copies)
        mdatData += copy.length;
    for (const Copy &copy : audioChunks)
        mdatData += copy.length;
    const bool wideMdat = mdatData + 8 > 0xFFFFFFFFll;
    const qint64 mdatHeader = wideMdat ? 16 : 8;

    // The movie counts in samples from here on, so the edit list says the
    // length to the sample.
    const qint64 mediaLength = qint64(kept.size() - 1) * FrameSamples + durations.back();
    const auto buildMoov = [&](qint64 base, QByteArray &out) -> QString {
        Mp4Box moov = m.moov;
        const QString unusual = QStringLiteral("an MP4 whose durations do not fit its boxes");
        Mp4Box &mvhd = *moov.child("mvhd");
        setField(mvhd.payload, timesOf(mvhd).scaleAt, 4, quint64(m.rate));
        if (!setDuration(mvhd, quint64(total)))
            return unusual;
        Mp4Box &audio = moov.children.at(size_t(m.audio));
        if (!m.edited) {
            Mp4Box edts{ "edts", {}, { Mp4Box{ "elst", {}, {}, false } }, true };
            audio.children.insert(audio.children.begin() + 1, edts);
        }
        audio.find("edts/elst")->payload = plainEdit(quint64(total), mediaTime);
        if (!setDuration(*audio.child("tkhd"), quint64(total))
                || !setDuration(*audio.find("mdia/mdhd"), quint64(mediaLength)))
            return unusual;
        qint64 at = base;
        for (size_t t = 0; t < m.chapters.size(); ++t) {
            Mp4Box &trak = moov.children.at(size_t(m.chapters[t]));
            std::vector<Copy> chunks;
            for (qint64 i : chapterKept[t])
                chunks.push_back({ 0, m.chapterSamples[t].sizes[size_t(i)] });
            setTables(*trak.find("mdia/minf/stbl"), m.chapterSamples[t], chapterKept[t], chapterDurations[t], chunks,
                    std::vector<qint64>(chunks.size(), 1), at, chapterKept[t].empty() ? 0 : chapterKept[t].front());
            for (const Copy &chunk : chunks)
                at += chunk.length;
            qint64 length = 0;
            for (qint64 d : chapterDurations[t])
                length += d;
            const auto inMovie = quint64(std::llround(double(length) * m.rate / chapterScale[t]));
            if (Mp4Box *elst = trak.find("edts/elst"))
                elst->payload = plainEdit(inMovie, 0);
            if (!setDuration(*trak.child("tkhd"), inMovie) || !setDuration(*trak.find("mdia/mdhd"), quint64(length)))
                return unusual;
        }
        setTables(*audio.find("mdia/minf/stbl"), samples, kept, durations, audioChunks, perChunk, at,
                firstFrame - silentBefore);
        if (Mp4Box *chpl = moov.find("udta/chpl"); chpl
                && !moveChapterList(chpl->payload,
                        std::llround(double(firstSample - silence.head()) * ChapterTicks / m.rate),
                        std::llround(double(firstSample + sampleCount) * ChapterTicks / m.rate)))
            return QStringLiteral("a damaged Nero chapter list");
        if (Mp4Box *smpb = smpbData(moov)) {
            // The same widths, so the tag keeps its length.
            QList<QByteArray> fields = smpbFields(*smpb);
            const qint64 padding = mediaLength - mediaTime - total;
            const qint64 values[] = { mediaTime, padding, total };
            for (int i = 0; i < 3; ++i) {
                const QByteArray text = QByteArray::number(values[i], 16).toUpper();
                if (text.size() > fields[i + 2].size())
                    return QStringLiteral("a damaged iTunSMPB tag");
                fields[i + 2] = text.rightJustified(fields[i + 2].size(), '0');
            }
            smpb->payload = smpb->payload.left(8) + fields.join(' ');
        }
        out = moov.bytes();
        return QString();
    };

    // The top-level boxes in their order, the movie and the media data rewritten, any other media data left out.
    QByteArray moov;
    qint64 before = 0;
    bool moovFirst = false;
    for (const TopBox &box : m.top) {
        if (box.type == "mdat")
            break;
        moovFirst = moovFirst || box.type == "moov";
        before += box.type == "moov" ? 0 : box.length;
    }
    if (moovFirst) {
        if (const QString why = buildMoov(0, moov); !why.isEmpty())
            return StepResult::leftAlone(why);
        before += moov.size();
    }
    if (const QString why = buildMoov(before + mdatHeader, moov); !why.isEmpty())
        return StepResult::leftAlone(why);
    if (!m.samples.wideOffsets && before + mdatHeader + mdatData > 0xFFFFFFFFll)
        return StepResult::leftAlone(QStringLiteral("an MP4 cut that would need 64-bit offsets"));

    QFile out(outputPath);
    const uchar *data = file.data();
    const auto put = [&out](const char *at, qint64 length) { return out.write(at, length) == length; };
    bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    bool mdatDone = false;
    for (const TopBox &box : m.top) {
        if (box.type == "moov") {
            written = written && put(moov.constData(), moov.size());
        } else if (box.type == "mdat" && !mdatDone) {
            mdatDone = true;
            const QByteArray header = wideMdat ? be(1, 4) + "mdat" + be(quint64(mdatData + 16), 8)
                                               : be(quint64(mdatData + 8), 4) + "mdat";
            written = written && put(header.constData(), header.size());
            for (const std::vector<Copy> *list : { &copies, &audioChunks }) {
                for (const Copy &copy : *list)
                    written = written
                            && put(copy.bytes ? copy.bytes : reinterpret_cast<const char *>(data + copy.from),
                                    copy.length);
            }
        } else if (box.type != "mdat") {
            written = written && put(reinterpret_cast<const char *>(data + box.at), box.length);
        }
    }
    if (written && out.flush())
        return StepResult::success();
    const QString why = out.errorString();
    out.close();
    out.remove();
    return StepResult::failure(QStringLiteral("cannot write the MP4 cut: %1").arg(why));
}

} // namespace ks
