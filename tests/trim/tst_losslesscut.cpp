#include "exactcut.h"
#include "fixtures.h"
#include "id3carry.h"
#include "mediaprobe.h"
#include "mp2cutter.h"
#include "mp3cutter.h"
#include "mp3stream.h"
#include "trimagain.h"
#include "trimengine.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <optional>

using namespace ks;
using namespace Qt::StringLiterals;

// Cuts by stream copy: Ogg (Opus, Vorbis) to the sample and MP2 on whole frames through the engine, MP3 by its own.
class tst_LosslessCut : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir; // one per case

private Q_SLOTS:
    void init() { m_dir.emplace(); }
    void engineCutsWithoutReencoding_data();
    void engineCutsWithoutReencoding();
    void mp3CutsToTheSample_data();
    void mp3CutsToTheSample();
};

namespace {

// A row of the current table, its values in the order of its columns.
template<typename... Values>
void row(const char *tag, const Values &...values)
{
    (QTest::newRow(tag) << ... << values);
}

// What ffmpeg decodes of the file's first audio stream, as raw samples of `format` (f32le, s16le).
template<typename Sample>
QList<Sample> ffmpegDecode(const QString &path, const QString &format)
{
    return test::pcmSamples<Sample>(test::programOutput(test::ffmpegExecutable(),
            { u"-v"_s, u"error"_s, u"-i"_s, path, u"-map"_s, u"0:a:0"_s, u"-f"_s, format, u"-"_s }));
}

QList<qint16> mpg123Decode(const QString &path)
{
    return test::pcmSamples<qint16>(test::programOutput(u"mpg123"_s, { u"-q"_s, u"-s"_s, path }));
}

// ffmpeg's arguments written as one line.
QStringList words(const char *line)
{
    return QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts);
}

// The samples of each channel the codec's own decoder outputs (by the suffix: opus, ogg, mp3).
qint64 referenceDecodedSamples(const QString &path, int channels)
{
    const QByteArray pcm = path.endsWith(u".opus"_s)
            ? test::programOutput(u"opusdec"_s, { u"--quiet"_s, u"--rate"_s, u"48000"_s, path, u"-"_s })
            : path.endsWith(u".ogg"_s) ? test::programOutput(u"oggdec"_s, { u"-Q"_s, u"-R"_s, u"-o"_s, u"-"_s, path })
                                       : test::programOutput(u"mpg123"_s, { u"-q"_s, u"-s"_s, path });
    return pcm.size() / 2 / channels;
}

QStringList facts(const QString &path)
{
    const QJsonObject probed = test::probeJson(path);
    QStringList all;
    for (const QJsonValue &stream : probed[u"streams"].toArray()) {
        all << stream[u"codec_type"].toString() + QString::number(stream[u"disposition"][u"attached_pic"].toInt());
        for (const QString &key : stream[u"tags"].toObject().keys())
            all << key.toLower() + u'=' + stream[u"tags"][key].toString();
    }
    return all.filter(QRegularExpression(u"^(audio0|video1|title=|replaygain_track_gain=)"_s));
}

// A red square as cover art, an input after the generated audio, and the options that map it.
const QStringList CoverInput = words("-f lavfi -i color=c=red:s=32x32:d=1");
const QStringList CoverOptions = words("-map 0:a -map 1:v -frames:v 1 -c:v png -disposition:v attached_pic");
// ID3v2.3 tags with a title and a cover, and an ID3v1 tag, for an MP3 made with CoverInput.
const QStringList Id3WithCover = CoverOptions + words("-id3v2_version 3 -write_id3v1 1 -metadata title=Kept");

// What cuts a file by a stream copy through the engine; chained Opus is the file twice, which a copy does not cut.
enum class Cutter { Opus, ChainedOpus, Vorbis, Mp2, Mp3 };

} // namespace

void tst_LosslessCut::engineCutsWithoutReencoding_data()
{
    QTest::addColumn<Cutter>("cutter");
    QTest::addColumn<test::ToneShape>("tone"); // silence, tone, silence; the rate and channels generated
    QTest::addColumn<QStringList>("options");  // to make the source, beyond its codec
    QTest::addColumn<double>("startSec");      // a cut by hand, in the decoded audio; with keptSec 0, the run plans
    QTest::addColumn<double>("keptSec");
    QTest::addColumn<EndMode>("headMode");     // by the ends' modes: the head's silence made 1.5 s long
    QTest::addColumn<EndMode>("tailMode");     // the tail's made 1.3 s long
    QTest::addColumn<double>("earlyMs");       // how much earlier than planned an Ogg cut may begin
    QTest::addColumn<int>("settling");         // samples at the head that may decode otherwise than in the source
    QTest::addColumn<double>("leastSnr");      // after them, against the source's decode, in dB
    QTest::addColumn<QString>("reencodedWhy"); // how a re-encode says why it was one; empty: copied
    using T = test::ToneShape;
    const auto opus = Cutter::Opus, vorbis = Cutter::Vorbis, mp2 = Cutter::Mp2, mp3 = Cutter::Mp3;
    const auto back = EndMode::CutBack, up = EndMode::TopUp, set = EndMode::Exact, alone = EndMode::LeaveAlone;
    const QStringList no;
    const QString copied;
    // Cuts inside the tone show what the decoder makes of the first packets kept, 80 ms on.
    row("opus, 48 kHz stereo, inside the tone", opus, T{ 1.0, 2.0, 1.5, 48000, 2 }, no, 1.4013, 1.0, back, back, 0.0,
            3840, 90.0, copied);
    row("opus from 44.1 kHz mono, silence to silence", opus, T{ 0.9, 1.5, 1.2, 44100, 1, 1000 }, no, 0.7471, 1.8, back,
            back, 0.0, 3840, 90.0, copied);
    row("opus starting 2 s late", opus, T{ 0.7, 1.0, 0.8, 48000, 1 }, words("-output_ts_offset 2"), 1.0, 0.9, back,
            back, 0.0, 3840, 90.0, copied);
    row("vorbis, 44.1 kHz stereo, inside the tone", vorbis, T{ 1.0, 2.0, 1.5, 44100, 2 }, no, 1.5077, 1.2, back, back,
            24.0, 3528, 90.0, copied);
    row("chained opus falls back", Cutter::ChainedOpus, T{ 1.0, 1.0, 1.0, 48000, 1 }, no, 0.5, 1.0, back, back, 0.0, 0,
            90.0, u" (re-encoded: stream copy cannot cut opus exactly, with libopus at "_s);
    // From silence to silence MP2's frames decode as they did in the source. Cut inside the tone, the first
    // frame's synthesis filter starts without the 512 samples of history its predecessor left, and ffmpeg's
    // rounding carries its error on from frame to frame.
    row("mp2, 44.1 kHz stereo, silence to silence", mp2, T{ 1.0, 2.0, 1.5, 44100, 2 }, words("-b:a 192k"), 0.8503,
            2.2997, back, back, 0.0, 0, qInf(), copied);
    row("mp2, 44.1 kHz stereo, inside the tone", mp2, T{ 1.0, 2.0, 1.5, 44100, 2 }, words("-b:a 192k"), 1.4013, 1.0,
            back, back, 0.0, 512, 69.0, copied);
    // Silence joined, measured with ffmpeg's decoders: every kept sample as the source's decode has it (5.1 Opus to
    // 550 dB, the rest to the bit).
    row("opus, 48 kHz stereo, both ends topped up", opus, T{ 1.0, 2.0, 0.8, 48000, 2 }, no, 0.0, 0.0, up, up, 0.0, 0,
            90.0, copied);
    row("opus 5.1, head set exactly", opus, T{ 1.0, 1.0, 0.8, 48000, 6 }, no, 0.0, 0.0, set, alone, 0.0, 0, 90.0,
            copied);
    row("mp3 CBR stereo, both ends topped up", mp3, T{ 1.0, 2.0, 0.8, 44100, 2 }, no, 0.0, 0.0, up, up, 0.0, 0, 90.0,
            copied);
    row("mp3 VBR with a Xing header, both set exactly", mp3, T{ 1.0, 2.0, 0.8, 44100, 2 }, words("-q:a 4"), 0.0, 0.0,
            set, set, 0.0, 0, 90.0, copied);
    // MPEG-2 frames: half the samples and a shorter side info in each empty frame.
    row("mp3 mono 22.05 kHz at 32 kb/s, head topped up", mp3, T{ 1.0, 1.5, 0.8, 22050, 1 }, words("-b:a 32k"), 0.0, 0.0,
            up, alone, 0.0, 0, 90.0, copied);
    row("mp3 without a LAME header, tail topped up", mp3, T{ 1.0, 1.5, 0.8, 44100, 2 }, words("-write_xing 0"), 0.0,
            0.0, alone, up, 0.0, 0, 90.0, copied);
    row("vorbis silence re-encoded, and says why", vorbis, T{ 1.0, 1.5, 0.8, 44100, 2 }, no, 0.0, 0.0, up, up, 0.0, 0,
            90.0, u" (re-encoded to add silence: Vorbis silence cannot be joined, with libvorbis at 112 kbit/s)"_s);
}

// Through the engine, a stream copy asked for: Ogg and MP3 cut to the sample, MP2 on whole frames.
void tst_LosslessCut::engineCutsWithoutReencoding()
{
    QFETCH(Cutter, cutter);
    QFETCH(test::ToneShape, tone);
    QFETCH(QStringList, options);
    QFETCH(double, startSec);
    QFETCH(double, keptSec);
    QFETCH(EndMode, headMode);
    QFETCH(EndMode, tailMode);
    QFETCH(double, earlyMs);
    QFETCH(int, settling);
    QFETCH(double, leastSnr);
    QFETCH(QString, reencodedWhy);
    const bool mp2 = cutter == Cutter::Mp2, mp3 = cutter == Cutter::Mp3, chained = cutter == Cutter::ChainedOpus;
    const bool opus = cutter == Cutter::Opus || chained;
    const QString input = m_dir->filePath(mp2 ? u"in/a.mp2"_s
                    : mp3                     ? u"in/a.mp3"_s
                    : opus                    ? u"in/a.opus"_s
                                              : u"in/a.ogg"_s);
    options = QStringList{ u"-c:a"_s,
        mp2            ? u"mp2"_s
                : mp3  ? u"libmp3lame"_s
                : opus ? u"libopus"_s
                       : u"libvorbis"_s }
            + options;
    if (!mp2)
        options << u"-metadata"_s << u"title=Ünder the Sky"_s;
    if (mp3)
        options << CoverOptions;
    else if (!mp2) { // a red cover as a FLAC picture block, base64 as the comment holds it
        const QString png = m_dir->filePath(u"cover.png"_s);
        QCOMPARE(test::makeFromSource(png, u"color=c=red:s=8x8"_s, words("-frames:v 1")), QString());
        const QByteArray image = test::contents(png), mime = "image/png";
        QByteArray block;
        QDataStream stream(&block, QIODevice::WriteOnly); // big-endian, as the block is
        stream << quint32(3) << quint32(mime.size());
        stream.writeRawData(mime.constData(), mime.size());
        stream << quint32(0) << quint32(8) << quint32(8) << quint32(24) << quint32(0) << quint32(image.size());
        stream.writeRawData(image.constData(), image.size());
        options << u"-metadata"_s << u"REPLAYGAIN_TRACK_GAIN=-6.5 dB"_s << u"-metadata"_s
                << u"METADATA_BLOCK_PICTURE="_s + QString::fromLatin1(block.toBase64());
    }
    QCOMPARE(test::makeAudio(input, tone, options, mp3 ? CoverInput : QStringList()), QString());
    const QByteArray once = test::contents(input);
    QVERIFY(!chained || (test::writeFile(input, once + once) && test::dateBack(input)));
    if (mp2) { // ffmpeg writes no tags into MP2: an MP3's ID3v2 (with a cover) and ID3v1 tags go around its frames
        const QString tagged = m_dir->filePath(u"tagged.mp3"_s);
        QCOMPARE(test::makeAudio(tagged, { 0.1, 0.1, 0.1 }, Id3WithCover, CoverInput), QString());
        QCOMPARE(Id3Carry::copy(tagged, input), QString());
        QVERIFY(test::dateBack(input));
    }
    const QByteArray sourceBytes = test::contents(input);
    const qint64 head = mp2 ? Mp3Stream::read(input).audioStart : 0, id3v1 = mp2 ? 128 : 0;
    QVERIFY(!mp2 || (sourceBytes.startsWith("ID3") && sourceBytes.right(128).startsWith("TAG") && head > 100));

    MediaInfo source = probeMedia(test::systemTools(), input, {});
    QVERIFY(!mp2 || Mp2Cutter::handles(source));
    const Settings settings = test::endsSetTo(headMode, 1500, tailMode, 1300);
    const QString output = m_dir->filePath(u"out/"_s + QFileInfo(input).fileName());
    QueueItem item;
    const StepResult result = keptSec == 0 ? test::planAndTrim(input, output, settings, item, source) : [&] {
        item.path = input;
        item.outputPath = output;
        item.durationSec = test::decodedSeconds(input);
        item.headChangeSec = -startSec;
        item.tailChangeSec = startSec + keptSec - item.durationSec;
        return TrimEngine::apply(item, settings, test::systemTools(), {}, {}, &source);
    }();
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    const RewritePlan::Cut cut = RewritePlan::cutFor(item);
    QCOMPARE(cut.headPadSec > 0, headMode == EndMode::TopUp || headMode == EndMode::Exact);
    QCOMPARE(cut.tailPadSec > 0, tailMode == EndMode::TopUp || tailMode == EndMode::Exact);
    QCOMPARE(item.reencoded, !reencodedWhy.isEmpty());
    if (item.reencoded) {
        QVERIFY2(result.rewrite.startsWith(reencodedWhy), qPrintable(result.rewrite));
        return;
    }

    // Ogg starts at most `earlyMs` early and ends where planned; MP2 takes the whole frames from the one holding
    // the first planned sample to the one holding the last. The result says how far that lies from the plan.
    const int rate = ExactCut::sampleRate(source);
    const ExactCut::Span span = ExactCut::spanOf(input, cut, source);
    const qint64 frame = mp2 ? Mp2Cutter::FrameSamples : 1;
    const qint64 early = span.wantedFirst - span.first;
    const qint64 late = span.first + span.count - span.wantedFirst - span.wantedCount;
    QCOMPARE(span.wantedFirst, std::llround(startSec * rate));
    if (keptSec > 0)
        QCOMPARE(span.wantedCount, std::llround(keptSec * rate));
    QCOMPARE(span.headPad, std::llround(cut.headPadSec * rate));
    QCOMPARE(span.tailPad, std::llround(cut.tailPadSec * rate));
    QVERIFY2(early >= 0 && early <= (mp2 ? frame - 1 : earlyMs * rate / 1000) && late >= 0 && late < frame
                    && span.first % frame == 0,
            qPrintable(u"%1 early, %2 late, from %3"_s.arg(early).arg(late).arg(span.first)));
    const double off = std::ceil(std::max(early, late) * 1000.0 / rate);
    QCOMPARE(result.rewrite,
            mp2                ? u" (lossless, within %1 ms (frame))"_s.arg(off)
                    : off == 0 ? u" (lossless, exact)"_s
                               : u" (lossless, within %1 ms)"_s.arg(off));
    // Both decoders output the planned samples exactly.
    const QList<float> decoded = ffmpegDecode<float>(item.outputPath, u"f32le"_s);
    QCOMPARE(decoded.size() / tone.channels, span.total());
    if (!mp2)
        QCOMPARE(referenceDecodedSamples(item.outputPath, tone.channels), span.total());
    QCOMPARE(item.newDurationSec, double(span.total()) / rate);

    // The kept samples are the source's own, past what the decoder needs to settle.
    const QList<float> original = ffmpegDecode<float>(input, u"f32le"_s);
    const double snr = test::signalToNoise(original, span.first * tone.channels,
            decoded.mid(span.headPad * tone.channels, span.count * tone.channels), settling * tone.channels);
    QVERIFY2(snr >= leastSnr, qPrintable(u"SNR %1 dB"_s.arg(snr)));
    // The silence is silence, but for what the source's decode dropped at its ends (an encoder's lead-in, its padding).
    float loudest = 0;
    for (qint64 i = 0; i < decoded.size(); ++i) {
        if (i < (span.headPad - 2048) * tone.channels || i >= (span.headPad + span.count + 2048) * tone.channels)
            loudest = std::max(loudest, std::fabs(decoded.at(i)));
    }
    QVERIFY2(loudest < 1e-4f, qPrintable(QString::number(loudest)));

    // Tags and the cover as the source had them; MP2's ID3v2 tag (and the zeros after it) and ID3v1 tag byte for byte.
    QCOMPARE(facts(item.outputPath), facts(input));
    QVERIFY(facts(input).contains(u"video1"_s));
    const QByteArray cutBytes = test::contents(item.outputPath);
    QCOMPARE(cutBytes.left(head), sourceBytes.left(head));
    QCOMPARE(cutBytes.right(id3v1), sourceBytes.right(id3v1));
    // Trimmed again in place, the result stays as it is to the byte.
    QCOMPARE(test::changedByAnotherRun(item.outputPath, settings), QString());
}

void tst_LosslessCut::mp3CutsToTheSample_data()
{
    QTest::addColumn<QStringList>("encoding"); // a cover's options: with its input
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<qint64>("firstSample");
    QTest::addColumn<qint64>("sampleCount"); // -1: to the end
    QTest::addColumn<bool>("spliced");       // junk put in at the middle

    // 1 s of silence, 2 s of tone, 1 s of silence. The first three cuts start in the tone, where a frame missing
    // before the first one copied would show (the CBR one 100 samples into its frame); all end inside a frame.
    const QStringList no;
    row("CBR 44.1 kHz stereo", no, 44100, 2, 54291ll, 110327ll, false);
    row("VBR with a Xing header, through the tone", words("-q:a 4"), 44100, 2, 44100ll, 88200ll, false);
    row("mono 22.05 kHz at 32 kb/s, to the end", words("-b:a 32k"), 22050, 1, 33082ll, -1ll, false);
    row("no LAME header, from the first sample", words("-write_xing 0"), 44100, 2, 0ll, 89201ll, false);
    row("ID3v2 with a cover, ID3v1", Id3WithCover + QStringList{ u"-metadata"_s, u"artist=Also kept"_s }, 44100, 2,
            14700ll, 132300ll, false);
    row("frames out of sync are refused", words("-write_xing 0"), 44100, 1, 0ll, 1000ll, true);
}

void tst_LosslessCut::mp3CutsToTheSample()
{
    QFETCH(QStringList, encoding);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(qint64, firstSample);
    QFETCH(qint64, sampleCount);
    QFETCH(bool, spliced);
    const QString source = m_dir->filePath(u"source.mp3"_s), cut = m_dir->filePath(u"cut.mp3"_s);
    const test::ToneShape tone{ 1, 2, 1, rate, channels, 440 };
    const bool cover = encoding.contains(u"attached_pic"_s);
    QCOMPARE(test::makeAudio(source, tone, encoding, cover ? CoverInput : QStringList()), QString());
    if (spliced) {
        QByteArray bytes = test::contents(source);
        const qint64 at = bytes.size() / 2;
        QVERIFY(test::writeFile(source, bytes.insert(at, "not a frame")));
        QVERIFY(!Mp3Cutter::handles(probeMedia(test::systemTools(), source, {})));
        const StepResult result = Mp3Cutter::cut(source, cut, firstSample, sampleCount, {});
        // The frame the junk follows is 417 or 418 bytes long.
        const QRegularExpressionMatch where
                = QRegularExpression(u"^MP3 frames out of sync at byte (\\d+)$"_s).match(result.message);
        QVERIFY2(!result.ok() && where.hasMatch() && where.captured(1).toLongLong() >= at
                        && where.captured(1).toLongLong() <= at + 418,
                qPrintable(result.message));
        QVERIFY(!QFile::exists(cut));
        QCOMPARE(Mp3Cutter::samplesOf(source), -1);
        return;
    }
    const QList<qint16> sourceByFfmpeg = ffmpegDecode<qint16>(source, u"s16le"_s);
    const QList<qint16> sourceByMpg123 = mpg123Decode(source);
    QCOMPARE(Mp3Cutter::samplesOf(source), sourceByFfmpeg.size() / channels);
    QCOMPARE(sourceByMpg123.size(), sourceByFfmpeg.size());
    QVERIFY(Mp3Cutter::handles(probeMedia(test::systemTools(), source, {})));
    if (sampleCount < 0)
        sampleCount = sourceByFfmpeg.size() / channels - firstSample;

    const StepResult result = Mp3Cutter::cut(source, cut, firstSample, sampleCount, {});
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    QCOMPARE(Mp3Cutter::samplesOf(cut), sampleCount);
    // The LAME tag's own CRC-16 (0x8005 reflected, from 0) is that of its frame up to the CRC, as LAME 3.100 writes it.
    const QByteArray cutBytes = test::contents(cut);
    const qsizetype tag = std::max(cutBytes.indexOf("Xing"), cutBytes.indexOf("Info")), field = tag + 120 + 34;
    QVERIFY2(tag >= 0 && field + 2 <= cutBytes.size(), "no LAME tag");
    quint16 crc = 0;
    for (qsizetype i = tag - 4 - (rate >= 32000 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17)); i < field;
            ++i) {
        crc ^= quint8(cutBytes.at(i));
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    QCOMPARE(crc, quint16(quint8(cutBytes.at(field)) << 8 | quint8(cutBytes.at(field + 1))));
    // Every sample where it was, in both decoders, each against its own decode of the source.
    for (const auto &[name, before, after] :
            { std::tuple(u"ffmpeg"_s, sourceByFfmpeg, ffmpegDecode<qint16>(cut, u"s16le"_s)),
                    std::tuple(u"mpg123"_s, sourceByMpg123, mpg123Decode(cut)) }) {
        QVERIFY2(after.size() == sampleCount * channels,
                qPrintable(u"%1 decodes %2 samples, %3 planned"_s.arg(name)
                                   .arg(after.size() / channels)
                                   .arg(sampleCount)));
        const double snr = test::signalToNoise(before, firstSample * channels, after);
        QVERIFY2(snr > 90, qPrintable(u"%1: %2 dB from the source"_s.arg(name).arg(snr, 0, 'f', 1)));
    }

    // The tags and the cover as they were, the ID3v1 tag byte for byte.
    const QJsonObject before = test::probeJson(source), after = test::probeJson(cut);
    QCOMPARE(after[u"format"][u"tags"], before[u"format"][u"tags"]);
    QCOMPARE(after[u"streams"].toArray().size(), before[u"streams"].toArray().size());
    const QByteArray sourceBytes = test::contents(source);
    if (sourceBytes.right(128).startsWith("TAG"))
        QCOMPARE(cutBytes.right(128), sourceBytes.right(128));

    // A cut cut again from its start to its end stays as it is.
    const QString again = m_dir->filePath(u"again.mp3"_s);
    QVERIFY(Mp3Cutter::cut(cut, again, 0, sampleCount, {}).proceeds());
    QCOMPARE(test::sha256(again), test::sha256(cut));
}

QTEST_GUILESS_MAIN(tst_LosslessCut)
#include "tst_losslesscut.moc"
