#include "exactcut.h"
#include "fixtures.h"
#include "ilstcarry.h"
#include "mediaprobe.h"
#include "mp4box.h"
#include "mp4cutter.h"
#include "queueitem.h"
#include "settings.h"
#include "trimagain.h"
#include "trimengine.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <optional>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_Mp4Cutter : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir; // one per case

private Q_SLOTS:
    void init() { m_dir.emplace(); }
    void cutsToTheSample_data();
    void cutsToTheSample();
    void silenceJoined_data();
    void silenceJoined();
    void sbrIsTurnedDown_data();
    void sbrIsTurnedDown();
    void heAacProbeIsTurnedDown_data();
    void heAacProbeIsTurnedDown();
    void itunesItemsSurviveReencoding();
    void itunesItemsGoBackInEitherLayout_data();
    void itunesItemsGoBackInEitherLayout();
};

namespace {

QList<float> ffmpegDecode(const QString &path)
{
    return test::pcmSamples<float>(test::programOutput(test::ffmpegExecutable(),
            { u"-v"_s, u"error"_s, u"-i"_s, path, u"-map"_s, u"0:a:0"_s, u"-f"_s, u"f32le"_s, u"-"_s }));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Each chapter as "title|start|end", in ms.
QStringList chaptersOf(const QString &path)
{
    QStringList all;
    const QJsonObject probed = QJsonDocument::fromJson(
            test::runFfprobe({ u"-v"_s, u"error"_s, u"-show_chapters"_s, u"-of"_s, u"json"_s, path }))
                                       .object();
    for (const QJsonValue &chapter : probed[u"chapters"].toArray()) {
        all << u"%1|%2|%3"_s.arg(chapter[u"tags"][u"title"].toString())
                        .arg(std::llround(chapter[u"start_time"].toString().toDouble() * 1000))
                        .arg(std::llround(chapter[u"end_time"].toString().toDouble() * 1000));
    }
    return all;
}

// The source's chapters moved back by the cut and clipped to its end.
QStringList chaptersAfter(const QStringList &chapters, double startSec, double keptSec)
{
    QStringList moved;
    for (const QString &chapter : chapters) {
        const QStringList parts = chapter.split(u'|');
        const qint64 from = std::max<qint64>(parts[1].toLongLong() - std::llround(startSec * 1000), 0);
        const qint64 to = std::min(parts[2].toLongLong() - std::llround(startSec * 1000), std::llround(keptSec * 1000));
        if (to > from)
            moved << u"%1|%2|%3"_s.arg(parts[0]).arg(from).arg(to);
    }
    return moved;
}

// Replaces the edit list of an MP4 ffmpeg wrote (its movie last) with
// iTunes' gapless tag saying the same: 1024 samples of priming, `samples`
// long. Dated back, as the file was.
bool tagGapless(const QString &path, qint64 samples)
{
    QByteArray bytes = contents(path);
    const qsizetype at = bytes.lastIndexOf("moov") - 4;
    std::vector<Mp4Box> boxes;
    if (at < 0 || !Mp4Box::readAll(reinterpret_cast<const uchar *>(bytes.constData()) + at, bytes.size() - at, boxes))
        return false;
    Mp4Box &moov = boxes.front();
    Mp4Box &trak = *moov.child("trak");
    trak.children.erase(std::remove_if(trak.children.begin(), trak.children.end(),
                                [](const Mp4Box &box) { return box.type == "edts"; }),
            trak.children.end());
    const qint64 padding = (1024 - (1024 + samples) % 1024) % 1024;
    const QByteArray text = QString::asprintf(" 00000000 00000400 %08llX %016llX", padding, samples).toLatin1()
            + QByteArray(" 00000000").repeated(8);
    const QByteArray fullBox(4, '\0');
    moov.find("udta/meta/ilst")
            ->children.push_back({ "----", {},
                    { { "mean", fullBox + "com.apple.iTunes", {}, false }, { "name", fullBox + "iTunSMPB", {}, false },
                            { "data", QByteArray::fromHex("0000000100000000") + text, {}, false } },
                    true });
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes.left(at) + moov.bytes()) > 0
            && file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
}

// The chapters of `path` as its Nero list has them, read from a copy at
// `copy` whose track reference to the chapter track is broken.
QStringList neroChaptersOf(const QString &path, const QString &copy)
{
    QByteArray withoutTrack = contents(path);
    QFile nero(copy);
    if (!nero.open(QIODevice::WriteOnly) || nero.write(withoutTrack.replace("chap", "xxxx")) <= 0)
        return { u"cannot write "_s + copy };
    nero.close();
    return chaptersOf(copy);
}

// AAC in `path`, titled; a book has a cover and four chapters (0, 1, 4.5 and 8 s on).
QString makeSource(const QString &path, const test::ToneShape &tone, bool book, const QStringList &extra)
{
    const QString chapters = QFileInfo(path).dir().filePath(u"chapters.txt"_s);
    QFile list(chapters);
    if (!QDir().mkpath(QFileInfo(path).path()) || !list.open(QIODevice::WriteOnly))
        return u"cannot write the chapters"_s;
    list.write(";FFMETADATA1\ntitle=Kept\nartist=Also kept\n"
               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=Before\n"
               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=4500\ntitle=Across the start\n"
               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=4500\nEND=8000\ntitle=Across the end\n"
               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=8000\nEND=10000\ntitle=After\n");
    list.close();
    QStringList muxing{ u"-c:a"_s, u"aac"_s, u"-metadata"_s, u"title=Kept"_s };
    QStringList inputs;
    if (book) {
        inputs = QStringList{ u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=red:s=32x32:d=1"_s, u"-i"_s, chapters };
        muxing << u"-map"_s << u"0:a"_s << u"-map"_s << u"1:v"_s << u"-frames:v"_s << u"1"_s << u"-c:v"_s << u"png"_s
               << u"-disposition:v"_s << u"attached_pic"_s << u"-map_metadata"_s << u"2"_s << u"-map_chapters"_s
               << u"2"_s;
    }
    return test::makeAudio(path, tone, muxing + extra, inputs);
}

// The 'moov' of a file ffmpeg wrote, and where it starts.
std::optional<Mp4Box> movieOf(const QByteArray &bytes, qsizetype &at)
{
    at = bytes.lastIndexOf("moov") - 4;
    const auto data = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 length = at < 0 ? 0 : Mp4Box::lengthAt(data + at, bytes.size() - at);
    std::vector<Mp4Box> boxes;
    if (length == 0 || !Mp4Box::readAll(data + at, length, boxes) || boxes.size() != 1)
        return std::nullopt;
    return boxes.front();
}

QList<QByteArray> itemsOf(const QString &path)
{
    qsizetype at = 0;
    const std::optional<Mp4Box> moov = movieOf(contents(path), at);
    const Mp4Box *ilst = moov ? moov->find("udta/meta/ilst") : nullptr;
    QList<QByteArray> items;
    for (const Mp4Box &item : ilst ? ilst->children : std::vector<Mp4Box>())
        items << item.bytes();
    return items;
}

// An iTunes item holding one value of a well-known type (1 UTF-8, 21 a signed integer).
Mp4Box item(const QByteArray &type, quint32 dataType, const QByteArray &value)
{
    const QByteArray flags = QByteArray::fromHex("00000000") + QByteArray::fromHex("00000000");
    Mp4Box data{ "data", flags, {}, false };
    qToBigEndian<quint32>(dataType, data.payload.data());
    data.payload += value;
    return { type, data.bytes(), {}, false };
}

// Adds items ffmpeg's muxer does not write (a rating, a purchase date, a
// free-form mood) to the iTunes tags of a file it wrote, its movie last; dated back.
bool addItunesItems(const QString &path)
{
    QByteArray bytes = contents(path);
    qsizetype at = 0;
    std::optional<Mp4Box> moov = movieOf(bytes, at);
    Mp4Box *ilst = moov ? moov->find("udta/meta/ilst") : nullptr;
    if (!ilst)
        return false;
    const QByteArray fullBox(4, '\0');
    ilst->children.push_back(item("rtng", 21, QByteArray(1, '\x01')));
    ilst->children.push_back(item("purd", 1, "2024-05-01 09:30:00"));
    ilst->children.push_back({ "----", {},
            { { "mean", fullBox + "com.apple.iTunes", {}, false }, { "name", fullBox + "MOOD", {}, false },
                    { "data", QByteArray::fromHex("0000000100000000") + "Calm", {}, false } },
            true });
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes.left(at) + moov->bytes()) > 0
            && file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
}

// An MP4 with a cover and iTunes items ffmpeg does not write; empty when it could not be made.
QString makeTaggedM4a(const QString &path, const test::ToneShape &tone)
{
    const QString made = test::makeAudio(path, tone,
            { u"-c:a"_s, u"aac"_s, u"-map"_s, u"0:a"_s, u"-map"_s, u"1:v"_s, u"-frames:v"_s, u"1"_s, u"-c:v"_s,
                    u"png"_s, u"-disposition:v"_s, u"attached_pic"_s, u"-metadata"_s, u"title=Kept"_s, u"-metadata"_s,
                    u"sort_album=Album, The"_s },
            { u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=red:s=32x32:d=1"_s });
    return !made.isEmpty() ? made : addItunesItems(path) ? QString() : u"cannot add the iTunes items"_s;
}

// Whether every item of `source` stands in `written` byte for byte.
bool keepsEveryItem(const QString &source, const QString &written, QString &missing)
{
    const QList<QByteArray> kept = itemsOf(written);
    for (const QByteArray &item : itemsOf(source)) {
        if (!kept.contains(item))
            missing += QString::fromLatin1(item.mid(4, 4)) + u' ';
    }
    return missing.isEmpty() && !kept.isEmpty();
}

} // namespace

void tst_Mp4Cutter::cutsToTheSample_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<test::ToneShape>("tone");
    QTest::addColumn<bool>("book");       // with chapters and a cover
    QTest::addColumn<bool>("fragmented"); // turned down, so written by ffmpeg
    QTest::addColumn<bool>("itunesTag");  // iTunes' gapless tag in place of the edit list
    QTest::addColumn<double>("startSec");
    QTest::addColumn<double>("keptSec");

    // Cuts inside the tone show what the decoder makes of the first frames
    // kept; the others leave less than a silence to cut, so a second run has nothing to do.
    QTest::newRow("m4a, 44.1 kHz stereo, inside the tone")
            << u"m4a"_s << test::ToneShape{ 1.0, 2.0, 1.5, 44100, 2 } << false << false << false << 1.4013 << 1.0;
    QTest::newRow("m4b with chapters and a cover, silence to silence")
            << u"m4b"_s << test::ToneShape{ 2.5, 3.0, 4.5, 44100, 1 } << true << false << false << 2.1537 << 3.7012;
    QTest::newRow("m4a, 48 kHz mono, from the first sample")
            << u"m4a"_s << test::ToneShape{ 0.0, 1.5, 1.2, 48000, 1, 1000 } << false << false << false << 0.0 << 1.8;
    QTest::newRow("m4a with iTunes' gapless tag, no edit list")
            << u"m4a"_s << test::ToneShape{ 1.0, 2.0, 1.5, 44100, 1 } << false << false << true << 1.6125 << 0.7;
    QTest::newRow("fragmented falls back")
            << u"m4a"_s << test::ToneShape{ 1.0, 1.0, 1.0, 44100, 1 } << false << true << false << 0.5 << 1.0;
}

void tst_Mp4Cutter::cutsToTheSample()
{
    QFETCH(QString, suffix);
    QFETCH(test::ToneShape, tone);
    QFETCH(bool, book);
    QFETCH(bool, fragmented);
    QFETCH(bool, itunesTag);
    QFETCH(double, startSec);
    QFETCH(double, keptSec);
    const QString input = m_dir->filePath(u"in/a."_s + suffix);
    const QStringList fragments{ u"-movflags"_s, u"frag_keyframe+empty_moov"_s };
    QCOMPARE(makeSource(input, tone, book, fragmented ? fragments : QStringList()), QString());
    if (itunesTag)
        QVERIFY(tagGapless(input, Mp4Cutter::samplesOf(input)));

    // The cut through the engine's real road, a stream copy asked for.
    const MediaInfo source = probeMedia(test::systemTools(), input, {});
    QVERIFY(ExactCut::handles(source));
    const bool exact = !fragmented;
    const int rate = ExactCut::sampleRate(source);
    QueueItem item;
    item.path = input;
    item.outputPath = m_dir->filePath(u"out/a."_s + suffix);
    item.durationSec = exact ? double(ExactCut::samplesOf(input, source)) / rate : test::decodedSeconds(input);
    item.headChangeSec = -startSec;
    item.tailChangeSec = startSec + keptSec - item.durationSec;
    const StepResult result = TrimEngine::apply(item, Settings(), test::systemTools(), {}, {}, &source);
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    QCOMPARE(item.reencoded, false);
    QCOMPARE(result.rewrite == u" (lossless, exact)"_s, exact);
    if (!exact) {
        QCOMPARE(ExactCut::samplesOf(input, source), -1);
        return;
    }

    // The edit list holds the plan to the sample; ffmpeg 5.1 ignores where
    // an edit ends and plays the last frame out, never less than planned.
    const ExactCut::Span span = ExactCut::spanOf(input, RewritePlan::cutFor(item), source);
    QCOMPARE(span.first, std::llround(startSec * rate));
    QCOMPARE(span.count, std::llround(keptSec * rate));
    QCOMPARE(Mp4Cutter::samplesOf(item.outputPath), span.count);
    QCOMPARE(item.newDurationSec, double(span.count) / rate);
    const QList<float> decoded = ffmpegDecode(item.outputPath);
    const qint64 decodedCount = decoded.size() / tone.channels;
    QVERIFY2(decodedCount >= span.count && decodedCount < span.count + 1024, qPrintable(QString::number(decodedCount)));

    // Every kept sample is the source's own, from the first.
    const QList<float> original = ffmpegDecode(input);
    const double snr
            = test::signalToNoise(original, span.first * tone.channels, decoded.first(span.count * tone.channels));
    qInfo("%s: %lld samples planned and in the edit list, ffmpeg decodes %lld, SNR %.1f dB", QTest::currentDataTag(),
            span.count, decodedCount, snr);
    QVERIFY2(snr > 90, qPrintable(u"SNR %1 dB"_s.arg(snr)));

    // Tags, the cover and the chapters (in the text track and, read
    // without it, in the Nero list) as the source had them, the chapters moved.
    const QJsonObject before = test::probeJson(input);
    const QJsonObject after = test::probeJson(item.outputPath);
    QJsonObject tags = after[u"format"][u"tags"].toObject();
    if (itunesTag) {
        // The gapless tag's length is the cut's; the rest of it the decode checks.
        QCOMPARE(tags.take(u"iTunSMPB"_s).toString().section(u' ', 4, 4).toLongLong(nullptr, 16), span.count);
        tags[u"iTunSMPB"_s] = before[u"format"][u"tags"][u"iTunSMPB"];
    }
    QCOMPARE(tags, before[u"format"][u"tags"].toObject());
    QCOMPARE(after[u"streams"].toArray().size(), before[u"streams"].toArray().size());
    const QStringList moved = chaptersAfter(chaptersOf(input), startSec, keptSec);
    QCOMPARE(moved.size(), book ? 2 : 0);
    QCOMPARE(chaptersOf(item.outputPath), moved);
    QCOMPARE(neroChaptersOf(item.outputPath, m_dir->filePath(u"nero."_s + suffix)), moved);

    // Planned and trimmed again in place, the result stays as it is to the byte.
    QCOMPARE(test::changedByAnotherRun(item.outputPath, Settings()), QString());
}

void tst_Mp4Cutter::silenceJoined_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<test::ToneShape>("tone");
    QTest::addColumn<bool>("book");        // with chapters and a cover
    QTest::addColumn<EndMode>("headMode"); // the head's silence made 1.5 s long
    QTest::addColumn<EndMode>("tailMode"); // the tail's made 1.3 s long
    const auto up = EndMode::TopUp, set = EndMode::Exact, alone = EndMode::LeaveAlone;
    // Measured with ffmpeg's decoder: every kept sample as the source's decode has it, to the bit.
    QTest::newRow("m4a, 44.1 kHz stereo, both ends topped up")
            << u"m4a"_s << test::ToneShape{ 1.0, 2.0, 0.8, 44100, 2 } << false << up << up;
    QTest::newRow("m4b with chapters and a cover, head set exactly, tail topped up")
            << u"m4b"_s << test::ToneShape{ 1.2, 7.0, 0.8, 44100, 1 } << true << set << up;
    QTest::newRow("m4a, 48 kHz mono, tail set exactly")
            << u"m4a"_s << test::ToneShape{ 1.0, 1.5, 0.8, 48000, 1 } << false << alone << set;
}

// Silence joined at either end in AAC frames of its own: the edit list
// plays exactly the plan, the source's frames copied as they were.
void tst_Mp4Cutter::silenceJoined()
{
    QFETCH(QString, suffix);
    QFETCH(test::ToneShape, tone);
    QFETCH(bool, book);
    QFETCH(EndMode, headMode);
    QFETCH(EndMode, tailMode);
    const QString input = m_dir->filePath(u"in/a."_s + suffix);
    QCOMPARE(makeSource(input, tone, book, {}), QString());
    const Settings settings = test::endsSetTo(headMode, 1500, tailMode, 1300);
    QueueItem item;
    MediaInfo source;
    const StepResult result = test::planAndTrim(input, m_dir->filePath(u"out/a."_s + suffix), settings, item, source);
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    QCOMPARE(result.rewrite, u" (lossless, exact)"_s);
    QCOMPARE(item.reencoded, false);

    const int rate = ExactCut::sampleRate(source);
    const ExactCut::Span span = ExactCut::spanOf(input, RewritePlan::cutFor(item), source);
    QCOMPARE(span.headPad > 0, headMode != EndMode::LeaveAlone);
    QCOMPARE(span.tailPad > 0, tailMode != EndMode::LeaveAlone);
    QCOMPARE(Mp4Cutter::samplesOf(item.outputPath), span.total());
    QCOMPARE(item.newDurationSec, double(span.total()) / rate);
    const QList<float> decoded = ffmpegDecode(item.outputPath);
    const qint64 decodedCount = decoded.size() / tone.channels;
    QVERIFY2(decodedCount >= span.total() && decodedCount < span.total() + 1024,
            qPrintable(QString::number(decodedCount)));
    const QList<float> original = ffmpegDecode(input);
    const double snr
            = test::signalToNoise(original, 0, decoded.mid(span.headPad * tone.channels, span.count * tone.channels));
    qInfo("%s: %lld + %lld + %lld samples planned and in the edit list, ffmpeg decodes %lld, SNR %.1f dB",
            QTest::currentDataTag(), span.headPad, span.count, span.tailPad, decodedCount, snr);
    QVERIFY2(snr > 90, qPrintable(u"SNR %1 dB"_s.arg(snr)));
    // Silence, but for the encoder's priming and padding that the source's edit list dropped.
    float loudest = 0;
    for (qint64 i = 0; i < (span.headPad - 2048) * tone.channels; ++i)
        loudest = std::max(loudest, std::fabs(decoded.at(i)));
    for (qint64 i = (span.headPad + span.count + 2048) * tone.channels; i < span.total() * tone.channels; ++i)
        loudest = std::max(loudest, std::fabs(decoded.at(i)));
    QVERIFY2(loudest < 1e-4f, qPrintable(QString::number(loudest)));

    // Tags and the cover kept; each chapter later by the head's silence, the first from the start, the last to the end.
    const QJsonObject before = test::probeJson(input);
    const QJsonObject after = test::probeJson(item.outputPath);
    QCOMPARE(after[u"format"][u"tags"].toObject(), before[u"format"][u"tags"].toObject());
    QCOMPARE(after[u"streams"].toArray().size(), before[u"streams"].toArray().size());
    QStringList moved;
    const qint64 headMs = std::llround(span.headPad * 1000.0 / rate);
    const QStringList chapters = chaptersOf(input);
    for (qsizetype i = 0; i < chapters.size(); ++i) {
        const QStringList c = chapters.at(i).split(u'|');
        const qint64 end
                = i + 1 == chapters.size() ? std::llround(span.total() * 1000.0 / rate) : c.at(2).toLongLong() + headMs;
        moved << u"%1|%2|%3"_s.arg(c.at(0)).arg(i == 0 ? 0 : c.at(1).toLongLong() + headMs).arg(end);
    }
    QCOMPARE(moved.size(), book ? 4 : 0);
    QCOMPARE(chaptersOf(item.outputPath), moved);
    QCOMPARE(neroChaptersOf(item.outputPath, m_dir->filePath(u"nero."_s + suffix)), moved);

    // Planned and trimmed again in place, the result stays as it is to the byte.
    QCOMPARE(test::changedByAnotherRun(item.outputPath, settings), QString());
}

void tst_Mp4Cutter::sbrIsTurnedDown_data()
{
    QTest::addColumn<bool>("sbr"); // the AAC config's sync extension says SBR is present
    QTest::newRow("AAC-LC at 22.05 kHz, cut exactly") << false;
    QTest::newRow("SBR signalled: twice the rate, turned down") << true;
}

// No encoder here writes HE-AAC: an AAC-LC file whose config says SBR is
// present decodes as one, at twice the rate its boxes count in.
void tst_Mp4Cutter::sbrIsTurnedDown()
{
    QFETCH(bool, sbr);
    const QString input = m_dir->filePath(u"in/a.m4a"_s);
    QCOMPARE(test::makeAudio(input, { 1.0, 1.5, 1.2, 22050, 1 }, { u"-c:a"_s, u"aac"_s }), QString());
    QByteArray bytes = contents(input);
    // ffmpeg's config: AAC-LC at 22.05 kHz mono, then the sync extension (0x2B7, SBR) saying "absent".
    const qsizetype config = bytes.indexOf(QByteArray::fromHex("138856E500"));
    QVERIFY(config > 0);
    if (sbr) {
        bytes[config + 4] = char(0xA0); // present, at 44.1 kHz
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()
                && file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    }
    const MediaInfo source = probeMedia(test::systemTools(), input, {});
    QCOMPARE(source.sampleRate, sbr ? 44100 : 22050);
    QCOMPARE(Mp4Cutter::samplesOf(input) > 0, !sbr);

    const double startSec = 0.8, keptSec = 1.9;
    QueueItem item;
    item.path = input;
    item.outputPath = m_dir->filePath(u"out/a.m4a"_s);
    item.durationSec = test::decodedSeconds(input);
    item.headChangeSec = -startSec;
    item.tailChangeSec = startSec + keptSec - item.durationSec;
    const StepResult result = TrimEngine::apply(item, Settings(), test::systemTools(), {}, {}, &source);
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    qInfo("%s: %s", QTest::currentDataTag(), qPrintable(result.rewrite));
    QCOMPARE(result.rewrite == u" (lossless, exact)"_s, !sbr);
    // Turned down, the file is cut on its frames of 2048 output samples.
    const double decoded = test::decodedSeconds(item.outputPath);
    QVERIFY2(std::fabs(decoded - keptSec) <= (sbr ? 2 * 2048.0 / 44100 : 1024.0 / 22050),
            qPrintable(u"%1 s decoded, %2 s planned"_s.arg(decoded).arg(keptSec)));
}

void tst_Mp4Cutter::heAacProbeIsTurnedDown_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<bool>("handled");
    QTest::newRow("LC") << u"LC"_s << true;
    QTest::newRow("HE-AAC, SBR found in the frames") << u"HE-AAC"_s << false;
    QTest::newRow("HE-AACv2") << u"HE-AACv2"_s << false;
}

void tst_Mp4Cutter::heAacProbeIsTurnedDown()
{
    QFETCH(QString, profile);
    QFETCH(bool, handled);
    const QByteArray json = u"{\"format\": {\"format_name\": \"mov,mp4,m4a,3gp,3g2,mj2\", \"duration\": \"3.0\"},"
                            "\"streams\": [{\"codec_type\": \"audio\", \"codec_name\": \"aac\", \"profile\": \"%1\","
                            "\"sample_rate\": \"44100\", \"channels\": 2}]}"_s.arg(profile)
                                    .toUtf8();
    const MediaInfo info = parseProbeOutput(json);
    QVERIFY(info.ok);
    QCOMPARE(info.profile, profile);
    QCOMPARE(Mp4Cutter::handles(info), handled);
}

// A re-encode goes through ffmpeg, whose muxer drops what it does not know.
void tst_Mp4Cutter::itunesItemsSurviveReencoding()
{
    const QString input = m_dir->filePath(u"in/a.m4a"_s);
    const test::ToneShape tone{ 0.1, 1.5, 0.1, 44100, 2 };
    QCOMPARE(makeTaggedM4a(input, tone), QString());
    const MediaInfo source = probeMedia(test::systemTools(), input, {});
    QCOMPARE(source.pictures, 1);
    QueueItem item;
    item.path = input;
    item.outputPath = m_dir->filePath(u"out/a.m4a"_s);
    item.durationSec = double(ExactCut::samplesOf(input, source)) / tone.sampleRate;
    item.headChangeSec = 0.4;
    item.tailChangeSec = 0.25;
    Settings reencode;
    reencode.trimMethod = TrimMethod::ReEncode;
    const StepResult result = TrimEngine::apply(item, reencode, test::systemTools(), {}, {}, &source);
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    QVERIFY(item.reencoded);

    QString missing;
    QVERIFY2(keepsEveryItem(input, item.outputPath, missing), qPrintable(u"lost: "_s + missing));
    QCOMPARE(test::probeJson(item.outputPath)[u"streams"].toArray().size(), 2);
    const double planned = item.durationSec + 0.65;
    const double decoded = test::decodedSeconds(item.outputPath);
    qInfo("%d items kept; %.6f s decoded, %.6f s planned", int(itemsOf(input).size()), decoded, planned);
    COMPARE_NEAR(decoded, planned, 1024.0 / tone.sampleRate);
}

void tst_Mp4Cutter::itunesItemsGoBackInEitherLayout_data()
{
    QTest::addColumn<bool>("movieFirst"); // the chunk offsets move with the movie's size
    QTest::newRow("movie after the media") << false;
    QTest::newRow("movie before the media") << true;
}

void tst_Mp4Cutter::itunesItemsGoBackInEitherLayout()
{
    QFETCH(bool, movieFirst);
    const QString input = m_dir->filePath(u"a.m4a"_s);
    const QString copied = m_dir->filePath(u"copy.m4a"_s);
    QCOMPARE(makeTaggedM4a(input, { 0.2, 1.0, 0.2, 44100, 1 }), QString());
    QStringList args{ u"-v"_s, u"error"_s, u"-i"_s, input, u"-map"_s, u"0"_s, u"-c"_s, u"copy"_s };
    if (movieFirst)
        args << u"-movflags"_s << u"+faststart"_s;
    QCOMPARE(test::runProgram(test::ffmpegExecutable(), args << copied).exitCode, 0);
    QString missing;
    QVERIFY(!keepsEveryItem(input, copied, missing) && missing.contains(u"rtng"_s));

    QCOMPARE(IlstCarry::copy(input, copied), QString());
    missing.clear();
    QVERIFY2(keepsEveryItem(input, copied, missing), qPrintable(u"lost: "_s + missing));
    const QByteArray bytes = contents(copied);
    QCOMPARE(bytes.indexOf("moov") < bytes.indexOf("mdat"), movieFirst);
    // The same frames from where the offsets now say they are.
    QCOMPARE(ffmpegDecode(copied), ffmpegDecode(input));
}

QTEST_GUILESS_MAIN(tst_Mp4Cutter)
#include "tst_mp4cutter.moc"
