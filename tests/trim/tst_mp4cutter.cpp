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

// How the source is made: plain AAC in MP4, or a book (chapters and a cover), fragmented (turned down, so written by
// ffmpeg), its config saying SBR is present (turned down too), iTunes' gapless tag in place of the edit list.
enum class Made { Plain, Book, Fragmented, SbrSignalled, ItunesGapless };

class tst_Mp4Cutter : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir; // one per case

private Q_SLOTS:
    void init() { m_dir.emplace(); }
    void cutsToTheSample_data();
    void cutsToTheSample();
    void heAacProbeIsTurnedDown_data();
    void heAacProbeIsTurnedDown();
    void itunesItemsKept_data();
    void itunesItemsKept();
};

namespace {

// A red square as a second input, made the cover.
const QStringList CoverInput{ u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=red:s=32x32:d=1"_s };
const QStringList AsCover{ u"-map"_s, u"0:a"_s, u"-map"_s, u"1:v"_s, u"-frames:v"_s, u"1"_s, u"-c:v"_s, u"png"_s,
    u"-disposition:v"_s, u"attached_pic"_s };

QList<float> ffmpegDecode(const QString &path)
{
    return test::pcmSamples<float>(test::programOutput(test::ffmpegExecutable(),
            { u"-v"_s, u"error"_s, u"-i"_s, path, u"-map"_s, u"0:a:0"_s, u"-f"_s, u"f32le"_s, u"-"_s }));
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

// A free-form iTunes item ("----"), its value UTF-8.
Mp4Box freeForm(const QByteArray &name, const QByteArray &value)
{
    const QByteArray fullBox(4, '\0');
    return { "----", {},
        { { "mean", fullBox + "com.apple.iTunes", {}, false }, { "name", fullBox + name, {}, false },
                { "data", QByteArray::fromHex("0000000100000000") + value, {}, false } },
        true };
}

// Rewrites the movie of an MP4 ffmpeg wrote (its movie last) by `edit`; dated back, as the file was.
bool editMovie(const QString &path, const std::function<void(Mp4Box &)> &edit)
{
    const QByteArray bytes = test::contents(path);
    qsizetype at = 0;
    std::optional<Mp4Box> moov = movieOf(bytes, at);
    if (!moov || !moov->find("udta/meta/ilst"))
        return false;
    edit(*moov);
    return test::writeFile(path, bytes.left(at) + moov->bytes()) && test::dateBack(path);
}

// AAC in `path`, titled, after `inputs`; a book has a cover and four chapters (0, 1, 4.5 and 8 s on).
QString makeSource(const QString &path, const test::ToneShape &tone, bool book, const QStringList &extra,
        const QStringList &inputs = {})
{
    const QString chapters = QFileInfo(path).dir().filePath(u"chapters.txt"_s);
    if (!test::writeFile(chapters,
                ";FFMETADATA1\ntitle=Kept\nartist=Also kept\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=Before\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=4500\ntitle=Across the start\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=4500\nEND=8000\ntitle=Across the end\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=8000\nEND=10000\ntitle=After\n"))
        return u"cannot write the chapters"_s;
    QStringList muxing{ u"-c:a"_s, u"aac"_s, u"-metadata"_s, u"title=Kept"_s };
    if (book)
        muxing += AsCover + QStringList{ u"-map_metadata"_s, u"2"_s, u"-map_chapters"_s, u"2"_s };
    return test::makeAudio(path, tone, muxing + extra, book ? CoverInput + QStringList{ u"-i"_s, chapters } : inputs);
}

// An iTunes item holding one value of a well-known type (1 UTF-8, 21 a signed integer).
Mp4Box item(const QByteArray &type, quint32 dataType, const QByteArray &value)
{
    QByteArray data(8, '\0');
    qToBigEndian<quint32>(dataType, data.data());
    return { type, Mp4Box{ "data", data + value, {}, false }.bytes(), {}, false };
}

// Whether every item of `source` stands in `written` byte for byte.
bool keepsEveryItem(const QString &source, const QString &written, QString &missing)
{
    const auto itemsOf = [](const QString &path) {
        qsizetype at = 0;
        const std::optional<Mp4Box> moov = movieOf(test::contents(path), at);
        const Mp4Box *ilst = moov ? moov->find("udta/meta/ilst") : nullptr;
        QList<QByteArray> items;
        for (const Mp4Box &item : ilst ? ilst->children : std::vector<Mp4Box>())
            items << item.bytes();
        return items;
    };
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
    QTest::addColumn<test::ToneShape>("tone");
    QTest::addColumn<Made>("made");
    QTest::addColumn<double>("startSec"); // a cut by hand; with keptSec 0, the run plans it by the ends' modes
    QTest::addColumn<double>("keptSec");
    QTest::addColumn<EndMode>("headMode"); // the head's silence made 1.5 s long
    QTest::addColumn<EndMode>("tailMode"); // the tail's made 1.3 s long
    QTest::addColumn<int>("chapters");     // of the book's four, those kept
    const auto row = [](const char *tag, const test::ToneShape &tone, Made made, double startSec, double keptSec,
                             EndMode headMode, EndMode tailMode, int chapters) {
        QTest::newRow(tag) << tone << made << startSec << keptSec << headMode << tailMode << chapters;
    };
    const auto back = EndMode::CutBack, up = EndMode::TopUp, set = EndMode::Exact, alone = EndMode::LeaveAlone;
    // Cuts inside the tone show what the decoder makes of the first frames kept; the others leave less than a
    // silence to cut back, so a second run has nothing to do.
    row("m4a, 44.1 kHz stereo, inside the tone", { 1.0, 2.0, 1.5, 44100, 2 }, Made::Plain, 1.4013, 1.0, back, back, 0);
    row("m4b with chapters and a cover, silence to silence", { 2.5, 3.0, 4.5, 44100, 1 }, Made::Book, 2.1537, 3.7012,
            back, back, 2);
    row("m4a, 48 kHz mono, from the first sample", { 0.0, 1.5, 1.2, 48000, 1, 1000 }, Made::Plain, 0.0, 1.8, back, back,
            0);
    row("m4a with iTunes' gapless tag, no edit list", { 1.0, 2.0, 1.5, 44100, 1 }, Made::ItunesGapless, 1.6125, 0.7,
            back, back, 0);
    row("fragmented falls back", { 1.0, 1.0, 1.0, 44100, 1 }, Made::Fragmented, 0.5, 1.0, back, back, 0);
    // No encoder here writes HE-AAC: an AAC-LC file whose config says SBR is present decodes as one, at twice the rate
    // its boxes count in.
    row("SBR signalled: twice the rate, turned down", { 1.0, 1.5, 1.2, 22050, 1 }, Made::SbrSignalled, 0.8, 1.9, back,
            back, 0);
    // Silence joined in AAC frames of its own, the source's frames copied as they were.
    row("m4a, 44.1 kHz stereo, both ends topped up", { 1.0, 2.0, 0.8, 44100, 2 }, Made::Plain, 0.0, 0.0, up, up, 0);
    row("m4b, head set exactly, tail topped up", { 1.2, 7.0, 0.8, 44100, 1 }, Made::Book, 0.0, 0.0, set, up, 4);
    row("m4a, 48 kHz mono, tail set exactly", { 1.0, 1.5, 0.8, 48000, 1 }, Made::Plain, 0.0, 0.0, alone, set, 0);
}

void tst_Mp4Cutter::cutsToTheSample()
{
    QFETCH(test::ToneShape, tone);
    QFETCH(Made, made);
    QFETCH(double, startSec);
    QFETCH(double, keptSec);
    QFETCH(EndMode, headMode);
    QFETCH(EndMode, tailMode);
    QFETCH(int, chapters);
    const QString suffix = made == Made::Book ? u"m4b"_s : u"m4a"_s;
    const QString input = m_dir->filePath(u"in/a."_s + suffix);
    const QStringList fragments{ u"-movflags"_s, u"frag_keyframe+empty_moov"_s };
    QCOMPARE(makeSource(input, tone, made == Made::Book, made == Made::Fragmented ? fragments : QStringList()),
            QString());
    const bool sbr = made == Made::SbrSignalled;
    if (made == Made::ItunesGapless) { // iTunes' gapless tag saying what the edit list did: 1024 samples of priming
        const qint64 samples = Mp4Cutter::samplesOf(input), padding = (1024 - (1024 + samples) % 1024) % 1024;
        QVERIFY(editMovie(input, [&](Mp4Box &moov) {
            std::vector<Mp4Box> &trak = moov.child("trak")->children;
            trak.erase(std::remove_if(trak.begin(), trak.end(), [](const Mp4Box &box) { return box.type == "edts"; }),
                    trak.end());
            moov.find("udta/meta/ilst")
                    ->children.push_back(freeForm("iTunSMPB",
                            QString::asprintf(" 00000000 00000400 %08llX %016llX", padding, samples).toLatin1()
                                    + QByteArray(" 00000000").repeated(8)));
        }));
    }
    // ffmpeg's config, AAC-LC at 22.05 kHz mono: its SBR sync extension (0x2B7) made to say "present, at 44.1 kHz".
    if (sbr) {
        QByteArray bytes = test::contents(input);
        QVERIFY(bytes.replace(QByteArray::fromHex("138856E500"), QByteArray::fromHex("138856E5A0"))
                        != test::contents(input)
                && test::writeFile(input, bytes) && test::dateBack(input));
    }

    // Through the engine's real road, a stream copy asked for.
    const bool exact = made != Made::Fragmented && !sbr;
    const Settings settings = test::endsSetTo(headMode, 1500, tailMode, 1300);
    const QString output = m_dir->filePath(u"out/a."_s + suffix);
    QueueItem item;
    MediaInfo source;
    const StepResult result = keptSec == 0 ? test::planAndTrim(input, output, settings, item, source) : [&] {
        source = probeMedia(test::systemTools(), input, {});
        item.path = input;
        item.outputPath = output;
        item.durationSec = exact ? double(ExactCut::samplesOf(input, source)) / ExactCut::sampleRate(source)
                                 : test::decodedSeconds(input);
        item.headChangeSec = -startSec;
        item.tailChangeSec = startSec + keptSec - item.durationSec;
        return TrimEngine::apply(item, settings, test::systemTools(), {}, {}, &source);
    }();
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    QCOMPARE(source.sampleRate, sbr ? 2 * tone.sampleRate : tone.sampleRate);
    QCOMPARE(item.reencoded, false);
    QCOMPARE(result.rewrite == u" (lossless, exact)"_s, exact);
    if (!exact) { // cut on its frames, of 2048 output samples with SBR
        QCOMPARE(Mp4Cutter::samplesOf(input), qint64(-1));
        COMPARE_NEAR(test::decodedSeconds(item.outputPath), keptSec, 2 * 2048.0 / source.sampleRate);
        return;
    }

    // The edit list holds the plan to the sample; ffmpeg 5.1 ignores where an edit ends and plays the last frame
    // out, never less than planned.
    const int rate = ExactCut::sampleRate(source);
    const ExactCut::Span span = ExactCut::spanOf(input, RewritePlan::cutFor(item), source);
    QCOMPARE(span.first, std::llround(startSec * rate));
    QCOMPARE(span.count, keptSec > 0 ? std::llround(keptSec * rate) : Mp4Cutter::samplesOf(input));
    QCOMPARE(span.headPad > 0, headMode == EndMode::TopUp || headMode == EndMode::Exact);
    QCOMPARE(span.tailPad > 0, tailMode == EndMode::TopUp || tailMode == EndMode::Exact);
    QCOMPARE(Mp4Cutter::samplesOf(item.outputPath), span.total());
    QCOMPARE(item.newDurationSec, double(span.total()) / rate);
    const QList<float> decoded = ffmpegDecode(item.outputPath);
    const qint64 decodedCount = decoded.size() / tone.channels;
    QVERIFY2(decodedCount >= span.total() && decodedCount < span.total() + 1024,
            qPrintable(u"ffmpeg decodes %1 of %2"_s.arg(decodedCount).arg(span.total())));
    const double snr = test::signalToNoise(ffmpegDecode(input), span.first * tone.channels,
            decoded.mid(span.headPad * tone.channels, span.count * tone.channels));
    QVERIFY2(snr > 90, qPrintable(u"SNR %1 dB"_s.arg(snr)));
    // Silence, but for the encoder's priming and padding that the source's edit list dropped.
    float loudest = 0;
    for (qint64 i = 0; i < decoded.size(); ++i) {
        if (i < (span.headPad - 2048) * tone.channels || i >= (span.headPad + span.count + 2048) * tone.channels)
            loudest = std::max(loudest, std::fabs(decoded.at(i)));
    }
    QVERIFY2(loudest < 1e-4f, qPrintable(QString::number(loudest)));

    const QJsonObject before = test::probeJson(input);
    const QJsonObject after = test::probeJson(item.outputPath);
    QJsonObject tags = after[u"format"][u"tags"].toObject();
    if (before[u"format"][u"tags"].toObject().contains(u"iTunSMPB")) {
        // The gapless tag's length is the cut's; the rest of it the decode checks.
        QCOMPARE(tags.take(u"iTunSMPB"_s).toString().section(u' ', 4, 4).toLongLong(nullptr, 16), span.total());
        tags[u"iTunSMPB"_s] = before[u"format"][u"tags"][u"iTunSMPB"];
    }
    QCOMPARE(tags, before[u"format"][u"tags"].toObject());
    QCOMPARE(after[u"streams"].toArray().size(), before[u"streams"].toArray().size());
    // The source's chapters moved with the cut and kept within what was written: the first from its start, the last
    // to its end; in the text track and, read without it, in the Nero list.
    const qint64 movedMs = std::llround((span.headPad - span.first) * 1000.0 / rate);
    const qint64 totalMs = std::llround(span.total() * 1000.0 / rate);
    QStringList moved;
    for (const QString &chapter : chaptersOf(input)) {
        const QStringList c = chapter.split(u'|');
        const qint64 from = c.at(1).toLongLong() + movedMs, to = c.at(2).toLongLong() + movedMs;
        if (to > 0 && from < totalMs)
            moved << u"%1|%2|%3"_s.arg(c.at(0))
                             .arg(moved.isEmpty() ? 0 : from)
                             .arg(moved.size() + 1 == chapters ? totalMs : to);
    }
    QCOMPARE(moved.size(), chapters);
    QCOMPARE(chaptersOf(item.outputPath), moved);
    const QString nero = m_dir->filePath(u"nero."_s + suffix);
    QVERIFY(test::writeFile(nero, test::contents(item.outputPath).replace("chap", "xxxx")));
    QCOMPARE(chaptersOf(nero), moved);

    // Planned and trimmed again in place, the result stays as it is to the byte.
    QCOMPARE(test::changedByAnotherRun(item.outputPath, settings), QString());
}

void tst_Mp4Cutter::heAacProbeIsTurnedDown_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<bool>("handled");
    QTest::newRow("LC") << u"LC"_s << true;
    QTest::newRow("HE-AAC, SBR found in the frames") << u"HE-AAC"_s << false;
}

void tst_Mp4Cutter::heAacProbeIsTurnedDown()
{
    QFETCH(QString, profile);
    QFETCH(bool, handled);
    const MediaInfo info = parseProbeOutput(
            R"({"format": {"format_name": "mov,mp4,m4a,3gp,3g2,mj2", "duration": "3.0"}, "streams": [{"codec_type": )"
            R"("audio", "codec_name": "aac", "profile": ")"
            + profile.toUtf8() + R"(", "sample_rate": "44100", "channels": 2}]})");
    QVERIFY(info.ok);
    QCOMPARE(info.profile, profile);
    QCOMPARE(Mp4Cutter::handles(info), handled);
}

void tst_Mp4Cutter::itunesItemsKept_data()
{
    QTest::addColumn<bool>("reencoded");  // through ffmpeg, whose muxer drops what it does not know
    QTest::addColumn<bool>("movieFirst"); // else copied by ffmpeg, the items carried back: the chunk offsets move
    QTest::newRow("re-encoded") << true << false;
    QTest::newRow("copied, movie after the media") << false << false;
    QTest::newRow("copied, movie before the media") << false << true;
}

void tst_Mp4Cutter::itunesItemsKept()
{
    QFETCH(bool, reencoded);
    QFETCH(bool, movieFirst);
    const QString input = m_dir->filePath(u"in/a.m4a"_s), written = m_dir->filePath(u"written.m4a"_s);
    const test::ToneShape tone{ 0.1, 1.5, 0.1, 44100, 2 };
    // With a cover and iTunes items ffmpeg's muxer does not write (a rating, a purchase date, a free-form mood).
    QCOMPARE(makeSource(input, tone, false, AsCover + QStringList{ u"-metadata"_s, u"sort_album=Album, The"_s },
                     CoverInput),
            QString());
    QVERIFY(editMovie(input, [](Mp4Box &moov) {
        std::vector<Mp4Box> &items = moov.find("udta/meta/ilst")->children;
        items.push_back(item("rtng", 21, QByteArray(1, '\x01')));
        items.push_back(item("purd", 1, "2024-05-01 09:30:00"));
        items.push_back(freeForm("MOOD", "Calm"));
    }));
    QString missing;
    if (reencoded) {
        const MediaInfo source = probeMedia(test::systemTools(), input, {});
        QCOMPARE(source.pictures, 1);
        QueueItem item;
        item.path = input;
        item.outputPath = written;
        item.durationSec = double(ExactCut::samplesOf(input, source)) / tone.sampleRate;
        item.headChangeSec = 0.4;
        item.tailChangeSec = 0.25;
        Settings reencode;
        reencode.trimMethod = TrimMethod::ReEncode;
        const StepResult result = TrimEngine::apply(item, reencode, test::systemTools(), {}, {}, &source);
        QVERIFY2(result.proceeds(), qPrintable(result.message));
        QVERIFY(item.reencoded);
        QCOMPARE(test::probeJson(written)[u"streams"].toArray().size(), 2);
    } else {
        QStringList args{ u"-v"_s, u"error"_s, u"-i"_s, input, u"-map"_s, u"0"_s, u"-c"_s, u"copy"_s };
        if (movieFirst)
            args << u"-movflags"_s << u"+faststart"_s;
        QCOMPARE(test::runProgram(test::ffmpegExecutable(), args << written).exitCode, 0);
        QVERIFY(!keepsEveryItem(input, written, missing) && missing.contains(u"rtng"_s));
        missing.clear();
        QCOMPARE(IlstCarry::copy(input, written), QString());
        const QByteArray bytes = test::contents(written);
        QCOMPARE(bytes.indexOf("moov") < bytes.indexOf("mdat"), movieFirst);
        // The same frames from where the offsets now say they are.
        QCOMPARE(ffmpegDecode(written), ffmpegDecode(input));
    }
    QVERIFY2(keepsEveryItem(input, written, missing), qPrintable(u"lost: "_s + missing));
}

QTEST_GUILESS_MAIN(tst_Mp4Cutter)
#include "tst_mp4cutter.moc"
