#include "exactcut.h"
#include "fixtures.h"
#include "id3carry.h"
#include "mediaprobe.h"
#include "mp2cutter.h"
#include "mp3cutter.h"
#include "mp3stream.h"
#include "queueitem.h"
#include "settings.h"
#include "silencepackets.h"
#include "trimagain.h"
#include "trimengine.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <optional>

using namespace ks;
using namespace Qt::StringLiterals;

// Cuts by stream copy, to the sample: Ogg (Opus, Vorbis) through the engine, MP3 by its own frames.
class tst_LosslessCut : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir; // one per case

private Q_SLOTS:
    void init() { m_dir.emplace(); }
    void oggCutsWithoutReencoding_data();
    void oggCutsWithoutReencoding();
    void mp3CutsToTheSample_data();
    void mp3CutsToTheSample();
    void mp3FramesOutOfSyncAreRefused();
    void silenceJoinedWithoutReencoding_data();
    void silenceJoinedWithoutReencoding();
    void mp2CutsOnWholeFrames_data();
    void mp2CutsOnWholeFrames();
};

namespace {

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

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The samples of each channel the codec's own decoder outputs.
qint64 referenceDecodedSamples(const QString &path, bool opus, int channels)
{
    const QByteArray pcm = opus
            ? test::programOutput(u"opusdec"_s, { u"--quiet"_s, u"--rate"_s, u"48000"_s, path, u"-"_s })
            : test::programOutput(u"oggdec"_s, { u"-Q"_s, u"-R"_s, u"-o"_s, u"-"_s, path });
    return pcm.size() / 2 / channels;
}

// A cover as a FLAC picture block, base64 as the comment holds it.
QString pictureComment(const QString &png)
{
    QFile file(png);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray image = file.readAll(), mime = "image/png";
    QByteArray block;
    QDataStream stream(&block, QIODevice::WriteOnly); // big-endian, as the block is
    stream << quint32(3) << quint32(mime.size());
    stream.writeRawData(mime.constData(), mime.size());
    stream << quint32(0) << quint32(8) << quint32(8) << quint32(24) << quint32(0) << quint32(image.size());
    stream.writeRawData(image.constData(), image.size());
    return QString::fromLatin1(block.toBase64());
}

// Dated as a file long finished, which a run takes.
bool dateBack(QFile &file)
{
    return file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
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

// Whether the LAME tag's own CRC-16 (0x8005 reflected, from 0) is that of its
// frame up to the CRC, as LAME 3.100 writes it: 190 bytes in MPEG-1 stereo.
bool lameCrcHolds(const QByteArray &bytes, int rate, int channels)
{
    const qsizetype tag = std::max(bytes.indexOf("Xing"), bytes.indexOf("Info"));
    const qsizetype frame = tag - 4 - (rate >= 32000 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17));
    const qsizetype field = tag + 120 + 34;
    if (tag < 0 || field + 2 > bytes.size())
        return false;
    quint16 crc = 0;
    for (qsizetype i = frame; i < field; ++i) {
        crc ^= quint8(bytes.at(i));
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc == quint16(quint8(bytes.at(field)) << 8 | quint8(bytes.at(field + 1)));
}

// ID3v2.3 tags with a title and a cover, and an ID3v1 tag, for an MP3 made with coverInput().
QStringList id3WithCover()
{
    return { u"-map"_s, u"0:a"_s, u"-map"_s, u"1:v"_s, u"-frames:v"_s, u"1"_s, u"-c:v"_s, u"png"_s, u"-disposition:v"_s,
        u"attached_pic"_s, u"-id3v2_version"_s, u"3"_s, u"-write_id3v1"_s, u"1"_s, u"-metadata"_s, u"title=Kept"_s };
}

QStringList coverInput()
{
    return { u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=red:s=32x32:d=1"_s };
}

} // namespace

void tst_LosslessCut::oggCutsWithoutReencoding_data()
{
    QTest::addColumn<QString>("encoder");
    QTest::addColumn<test::ToneShape>("tone"); // silence, tone, silence; the rate and channels generated
    QTest::addColumn<double>("offsetSec");     // where the stream's first granule says it starts
    QTest::addColumn<bool>("chained");         // the file twice, one after the other
    QTest::addColumn<double>("startSec");      // the cut, in the decoded audio
    QTest::addColumn<double>("keptSec");
    QTest::addColumn<double>("earlyMs"); // how much earlier than planned the cut may begin
    // Cuts inside the tone show what the decoder makes of the first packets kept.
    QTest::newRow("opus, 48 kHz stereo, inside the tone")
            << u"libopus"_s << test::ToneShape{ 1.0, 2.0, 1.5, 48000, 2 } << 0.0 << false << 1.4013 << 1.0 << 0.0;
    QTest::newRow("opus from 44.1 kHz mono, silence to silence")
            << u"libopus"_s << test::ToneShape{ 0.9, 1.5, 1.2, 44100, 1, 1000 } << 0.0 << false << 0.7471 << 1.8 << 0.0;
    QTest::newRow("opus starting 2 s late")
            << u"libopus"_s << test::ToneShape{ 0.7, 1.0, 0.8, 48000, 1 } << 2.0 << false << 1.0 << 0.9 << 0.0;
    QTest::newRow("vorbis, 44.1 kHz stereo, inside the tone")
            << u"libvorbis"_s << test::ToneShape{ 1.0, 2.0, 1.5, 44100, 2 } << 0.0 << false << 1.5077 << 1.2 << 24.0;
    QTest::newRow("vorbis, 22.05 kHz mono, silence to silence")
            << u"libvorbis"_s << test::ToneShape{ 0.8, 1.5, 1.3, 22050, 1, 330 } << 0.0 << false << 0.5 << 2.2 << 47.0;
    QTest::newRow("chained opus falls back")
            << u"libopus"_s << test::ToneShape{ 1.0, 1.0, 1.0, 48000, 1 } << 0.0 << true << 0.5 << 1.0 << 0.0;
}

void tst_LosslessCut::oggCutsWithoutReencoding()
{
    QFETCH(QString, encoder);
    QFETCH(test::ToneShape, tone);
    QFETCH(double, offsetSec);
    QFETCH(bool, chained);
    QFETCH(double, startSec);
    QFETCH(double, keptSec);
    QFETCH(double, earlyMs);
    const bool opus = encoder == u"libopus";
    const QString input = m_dir->filePath(opus ? u"in/a.opus"_s : u"in/a.ogg"_s);
    const QString cover = m_dir->filePath(u"cover.png"_s);
    QCOMPARE(test::makeFromSource(cover, u"color=c=red:s=8x8"_s, { u"-frames:v"_s, u"1"_s }), QString());
    QStringList args{ u"-c:a"_s, encoder, u"-metadata"_s, u"title=Ünder the Sky"_s, u"-metadata"_s,
        u"REPLAYGAIN_TRACK_GAIN=-6.5 dB"_s, u"-metadata"_s, u"METADATA_BLOCK_PICTURE="_s + pictureComment(cover) };
    if (offsetSec != 0)
        args << u"-output_ts_offset"_s << QString::number(offsetSec);
    QCOMPARE(test::makeAudio(input, tone, args), QString());
    if (chained) {
        QFile file(input);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray once = file.readAll();
        QVERIFY(file.write(once) == once.size() && file.flush() && dateBack(file));
    }

    // The cut through the engine's real road, a stream copy asked for.
    const Settings settings;
    const MediaInfo source = probeMedia(test::systemTools(), input, {});
    QueueItem item;
    item.path = input;
    item.outputPath = m_dir->filePath(u"out/"_s + QFileInfo(input).fileName());
    item.durationSec = test::decodedSeconds(input);
    item.headChangeSec = -startSec;
    item.tailChangeSec = startSec + keptSec - item.durationSec;
    const StepResult result = TrimEngine::apply(item, settings, test::systemTools(), {}, {}, &source);
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    QCOMPARE(item.reencoded, chained);
    if (chained) {
        QVERIFY2(result.rewrite.startsWith(u" (re-encoded: stream copy cannot cut opus exactly, with libopus at "_s),
                qPrintable(result.rewrite));
        return;
    }

    // Both decoders output the planned samples exactly; the end is where it was planned.
    const int rate = ExactCut::sampleRate(source);
    const ExactCut::Span span = ExactCut::spanOf(input, RewritePlan::cutFor(item), source);
    const qint64 early = span.wantedFirst - span.first;
    QCOMPARE(span.wantedFirst, std::llround(startSec * rate));
    QCOMPARE(span.first + span.count, span.wantedFirst + std::llround(keptSec * rate));
    QVERIFY2(early >= 0 && early <= earlyMs * rate / 1000, qPrintable(QString::number(early)));
    QCOMPARE(result.rewrite,
            early == 0 ? u" (lossless, exact)"_s
                       : u" (lossless, within %1 ms)"_s.arg(std::ceil(early * 1000.0 / rate)));
    const QList<float> decoded = ffmpegDecode<float>(item.outputPath, u"f32le"_s);
    QCOMPARE(decoded.size() / tone.channels, span.count);
    QCOMPARE(referenceDecodedSamples(item.outputPath, opus, tone.channels), span.count);
    QCOMPARE(item.newDurationSec, double(span.count) / rate);

    // The kept samples are the source's own, past what the decoder needs to settle.
    const QList<float> original = ffmpegDecode<float>(input, u"f32le"_s);
    const qint64 offset = span.first * tone.channels;
    const double snr = test::signalToNoise(original, offset, decoded, int(0.08 * rate) * tone.channels);
    QVERIFY2(snr > 90, qPrintable(u"SNR %1 dB"_s.arg(snr)));

    // Tags and the cover as the source had them.
    QCOMPARE(facts(item.outputPath), facts(input));
    QVERIFY(facts(input).contains(u"video1"_s));

    // Planned and trimmed again in place, the result stays as it is to the byte.
    QCOMPARE(test::changedByAnotherRun(item.outputPath, settings), QString());
}

void tst_LosslessCut::mp3CutsToTheSample_data()
{
    QTest::addColumn<QStringList>("encoding");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<qint64>("firstSample");
    QTest::addColumn<qint64>("sampleCount"); // -1: to the end

    // 1 s of silence, 2 s of tone, 1 s of silence. The first three cuts start
    // in the tone, where a frame missing before the first one copied would
    // show (the CBR one 100 samples into its frame); all end inside a frame.
    QTest::newRow("CBR 44.1 kHz stereo") << QStringList() << QStringList() << 44100 << 2 << 54291ll << 110327ll;
    QTest::newRow("VBR with a Xing header, through the tone")
            << QStringList{ u"-q:a"_s, u"4"_s } << QStringList() << 44100 << 2 << 44100ll << 88200ll;
    QTest::newRow("mono 22.05 kHz at 32 kb/s, to the end")
            << QStringList{ u"-b:a"_s, u"32k"_s } << QStringList() << 22050 << 1 << 33082ll << -1ll;
    QTest::newRow("no LAME header, from the first sample")
            << QStringList{ u"-write_xing"_s, u"0"_s } << QStringList() << 44100 << 2 << 0ll << 89201ll;
    QTest::newRow("ID3v2 with a cover, ID3v1") << id3WithCover() + QStringList{ u"-metadata"_s, u"artist=Also kept"_s }
                                               << coverInput() << 44100 << 2 << 14700ll << 132300ll;
}

void tst_LosslessCut::mp3CutsToTheSample()
{
    QFETCH(QStringList, encoding);
    QFETCH(QStringList, inputs);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(qint64, firstSample);
    QFETCH(qint64, sampleCount);

    const QString source = m_dir->filePath(u"source.mp3"_s);
    const QString cut = m_dir->filePath(u"cut.mp3"_s);
    const test::ToneShape tone{ 1, 2, 1, rate, channels, 440 };
    QCOMPARE(test::makeAudio(source, tone, encoding, inputs), QString());
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
    QVERIFY(lameCrcHolds(contents(cut), rate, channels));
    // Every sample where it was, in both decoders, each against its own
    // decode of the source.
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
    const QJsonObject before = test::probeJson(source);
    const QJsonObject after = test::probeJson(cut);
    QCOMPARE(after[u"format"][u"tags"], before[u"format"][u"tags"]);
    QCOMPARE(after[u"streams"].toArray().size(), before[u"streams"].toArray().size());
    const QByteArray sourceBytes = contents(source);
    if (sourceBytes.right(128).startsWith("TAG"))
        QCOMPARE(contents(cut).right(128), sourceBytes.right(128));

    // A cut cut again from its start to its end stays as it is.
    const QString again = m_dir->filePath(u"again.mp3"_s);
    QVERIFY(Mp3Cutter::cut(cut, again, 0, sampleCount, {}).proceeds());
    QCOMPARE(test::sha256(again), test::sha256(cut));
}

void tst_LosslessCut::mp3FramesOutOfSyncAreRefused()
{
    const QString source = m_dir->filePath(u"source.mp3"_s);
    const QString spliced = m_dir->filePath(u"spliced.mp3"_s);
    QCOMPARE(test::makeAudio(source, {}, { u"-write_xing"_s, u"0"_s }), QString());
    QByteArray bytes = contents(source);
    const qint64 at = bytes.size() / 2;
    bytes.insert(at, "not a frame");
    QFile file(spliced);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    QVERIFY(!Mp3Cutter::handles(probeMedia(test::systemTools(), spliced, {})));
    const StepResult result = Mp3Cutter::cut(spliced, m_dir->filePath(u"cut.mp3"_s), 0, 1000, {});
    QVERIFY(!result.ok());
    // The frame the junk follows is 417 or 418 bytes long.
    const QRegularExpressionMatch where
            = QRegularExpression(u"^MP3 frames out of sync at byte (\\d+)$"_s).match(result.message);
    QVERIFY2(where.hasMatch(), qPrintable(result.message));
    QVERIFY2(where.captured(1).toLongLong() >= at && where.captured(1).toLongLong() <= at + 418,
            qPrintable(result.message));
    QVERIFY(!QFile::exists(m_dir->filePath(u"cut.mp3"_s)));
    QCOMPARE(Mp3Cutter::samplesOf(spliced), -1);
}

void tst_LosslessCut::silenceJoinedWithoutReencoding_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("encoding");
    QTest::addColumn<test::ToneShape>("tone");
    QTest::addColumn<EndMode>("headMode"); // the head's silence of 1 s made 1.5 s long
    QTest::addColumn<EndMode>("tailMode"); // the tail's of 0.8 s made 1.3 s long
    QTest::addColumn<QString>("rewrite");  // how the result says it was written
    const QString exact = u" (lossless, exact)"_s;
    const auto up = EndMode::TopUp, set = EndMode::Exact, alone = EndMode::LeaveAlone;
    const QStringList cover{ u"-map"_s, u"0:a"_s, u"-map"_s, u"1:v"_s, u"-frames:v"_s, u"1"_s, u"-c:v"_s, u"png"_s,
        u"-disposition:v"_s, u"attached_pic"_s, u"-metadata"_s, u"title=Ünder the Sky"_s };
    // Measured with ffmpeg's decoders: every kept sample as the source's
    // decode has it (5.1 Opus to 550 dB, the rest to the bit), from the first
    // one after the head's silence on.
    QTest::newRow("opus, 48 kHz stereo, both ends topped up")
            << u"opus"_s << QStringList{ u"-c:a"_s, u"libopus"_s } << test::ToneShape{ 1.0, 2.0, 0.8, 48000, 2 } << up
            << up << exact;
    QTest::newRow("opus from 44.1 kHz mono, tail set exactly")
            << u"opus"_s << QStringList{ u"-c:a"_s, u"libopus"_s, u"-b:a"_s, u"32k"_s }
            << test::ToneShape{ 1.0, 1.5, 0.8, 44100, 1 } << alone << set << exact;
    QTest::newRow("opus 5.1, head set exactly") << u"opus"_s << QStringList{ u"-c:a"_s, u"libopus"_s }
                                                << test::ToneShape{ 1.0, 1.0, 0.8, 48000, 6 } << set << alone << exact;
    QTest::newRow("mp3 CBR stereo with a cover, both ends topped up")
            << u"mp3"_s << cover << test::ToneShape{ 1.0, 2.0, 0.8, 44100, 2 } << up << up << exact;
    QTest::newRow("mp3 VBR with a Xing header, both set exactly")
            << u"mp3"_s << QStringList{ u"-q:a"_s, u"4"_s } << test::ToneShape{ 1.0, 2.0, 0.8, 44100, 2 } << set << set
            << exact;
    QTest::newRow("mp3 mono 22.05 kHz at 32 kb/s, head topped up")
            << u"mp3"_s << QStringList{ u"-b:a"_s, u"32k"_s } << test::ToneShape{ 1.0, 1.5, 0.8, 22050, 1 } << up
            << alone << exact;
    QTest::newRow("mp3 without a LAME header, tail topped up")
            << u"mp3"_s << QStringList{ u"-write_xing"_s, u"0"_s } << test::ToneShape{ 1.0, 1.5, 0.8, 44100, 2 }
            << alone << up << exact;
    QTest::newRow("vorbis re-encoded, and says why")
            << u"ogg"_s << QStringList{ u"-c:a"_s, u"libvorbis"_s } << test::ToneShape{ 1.0, 1.5, 0.8, 44100, 2 } << up
            << up << u" (re-encoded to add silence: Vorbis silence cannot be joined, with libvorbis at 112 kbit/s)"_s;
}

void tst_LosslessCut::silenceJoinedWithoutReencoding()
{
    QFETCH(QString, suffix);
    QFETCH(QStringList, encoding);
    QFETCH(test::ToneShape, tone);
    QFETCH(EndMode, headMode);
    QFETCH(EndMode, tailMode);
    QFETCH(QString, rewrite);
    const QString input = m_dir->filePath(u"in/a."_s + suffix);
    const QString cover = m_dir->filePath(u"cover.png"_s);
    QCOMPARE(test::makeFromSource(cover, u"color=c=red:s=8x8"_s, { u"-frames:v"_s, u"1"_s }), QString());
    QStringList inputs;
    if (encoding.contains(u"attached_pic"_s))
        inputs << u"-i"_s << cover;
    else
        encoding << u"-metadata"_s << u"title=Ünder the Sky"_s;
    QCOMPARE(test::makeAudio(input, tone, encoding, inputs), QString());

    const Settings settings = test::endsSetTo(headMode, 1500, tailMode, 1300);
    QueueItem item;
    MediaInfo source;
    const StepResult result = test::planAndTrim(input, m_dir->filePath(u"out/a."_s + suffix), settings, item, source);
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    const RewritePlan::Cut cut = RewritePlan::cutFor(item);
    QCOMPARE(cut.headPadSec > 0, headMode != EndMode::LeaveAlone);
    QCOMPARE(cut.tailPadSec > 0, tailMode != EndMode::LeaveAlone);
    QCOMPARE(result.rewrite, rewrite);
    QCOMPARE(item.reencoded, rewrite != u" (lossless, exact)"_s);
    if (item.reencoded)
        return;

    // Both decoders output the planned samples, the source's own between the silences.
    const int rate = ExactCut::sampleRate(source);
    const ExactCut::Span span = ExactCut::spanOf(input, cut, source);
    QCOMPARE(span.first, 0);
    QCOMPARE(span.headPad, std::llround(cut.headPadSec * rate));
    QCOMPARE(span.tailPad, std::llround(cut.tailPadSec * rate));
    const QList<float> decoded = ffmpegDecode<float>(item.outputPath, u"f32le"_s);
    QCOMPARE(decoded.size() / tone.channels, span.total());
    if (suffix == u"opus")
        QCOMPARE(referenceDecodedSamples(item.outputPath, true, tone.channels), span.total());
    else
        QCOMPARE(mpg123Decode(item.outputPath).size() / tone.channels, span.total());
    QCOMPARE(item.newDurationSec, double(span.total()) / rate);
    const QList<float> original = ffmpegDecode<float>(input, u"f32le"_s);
    const QList<float> kept = decoded.mid(span.headPad * tone.channels, span.count * tone.channels);
    const double snr = test::signalToNoise(original, 0, kept);
    QVERIFY2(snr > 90, qPrintable(u"SNR %1 dB"_s.arg(snr, 0, 'f', 1)));
    // The silence is silence, but for what the source's decode dropped at its ends (an encoder's lead-in, its padding).
    float loudest = 0;
    const qint64 leadIn = 2048 * tone.channels;
    for (qint64 i = 0; i < decoded.size(); ++i) {
        const bool padded = i < span.headPad * tone.channels - leadIn
                || i >= (span.headPad + span.count) * tone.channels + leadIn;
        loudest = padded ? std::max(loudest, std::fabs(decoded.at(i))) : loudest;
    }
    QVERIFY2(loudest < 1e-4f, qPrintable(QString::number(loudest)));

    // Tags and the cover as the source had them.
    QCOMPARE(facts(item.outputPath), facts(input));

    // Planned and trimmed again in place, the result stays as it is to the byte.
    QCOMPARE(test::changedByAnotherRun(item.outputPath, settings), QString());
}

void tst_LosslessCut::mp2CutsOnWholeFrames_data()
{
    QTest::addColumn<test::ToneShape>("tone");
    QTest::addColumn<QString>("bitRate");
    QTest::addColumn<double>("startSec"); // the cut, in the decoded audio
    QTest::addColumn<double>("keptSec");
    QTest::addColumn<int>("settling");      // samples at the head that may decode otherwise than in the source
    QTest::addColumn<int>("maxDifference"); // after them, in 16-bit steps
    // From silence to silence, as a trim cuts, the frames decode as they did
    // in the source. Cut inside the tone, the first frame's synthesis filter
    // starts without the 512 samples of history its predecessor left, and
    // ffmpeg's rounding carries its error on from frame to frame.
    QTest::newRow("44.1 kHz stereo, silence to silence")
            << test::ToneShape{ 1.0, 2.0, 1.5, 44100, 2 } << u"192k"_s << 0.8503 << 2.2997 << 0 << 0;
    QTest::newRow("22.05 kHz mono, silence to silence")
            << test::ToneShape{ 0.9, 1.5, 1.2, 22050, 1, 330 } << u"64k"_s << 0.7471 << 1.8 << 0 << 0;
    QTest::newRow("44.1 kHz stereo, inside the tone")
            << test::ToneShape{ 1.0, 2.0, 1.5, 44100, 2 } << u"192k"_s << 1.4013 << 1.0 << 512 << 1;
}

void tst_LosslessCut::mp2CutsOnWholeFrames()
{
    QFETCH(test::ToneShape, tone);
    QFETCH(QString, bitRate);
    QFETCH(double, startSec);
    QFETCH(double, keptSec);
    QFETCH(int, settling);
    QFETCH(int, maxDifference);
    // ffmpeg writes no tags into MP2: an MP3's ID3v2 (with a cover) and ID3v1 tags go around its frames.
    const QString input = m_dir->filePath(u"in/a.mp2"_s);
    const QString tagged = m_dir->filePath(u"tagged.mp3"_s);
    QCOMPARE(test::makeAudio(tagged, { 0.1, 0.1, 0.1 }, id3WithCover(), coverInput()), QString());
    QCOMPARE(test::makeAudio(input, tone, { u"-c:a"_s, u"mp2"_s, u"-b:a"_s, bitRate }), QString());
    QCOMPARE(Id3Carry::copy(tagged, input), QString());
    QFile dated(input);
    QVERIFY(dated.open(QIODevice::ReadWrite) && dateBack(dated));
    dated.close();
    const QByteArray sourceBytes = contents(input);
    const qint64 head = Mp3Stream::read(input).audioStart;
    QVERIFY(sourceBytes.startsWith("ID3") && sourceBytes.right(128).startsWith("TAG") && head > 100);

    const Settings settings;
    const MediaInfo source = probeMedia(test::systemTools(), input, {});
    QVERIFY(Mp2Cutter::handles(source));
    const QList<qint16> original = ffmpegDecode<qint16>(input, u"s16le"_s);
    QueueItem item;
    item.path = input;
    item.outputPath = m_dir->filePath(u"out/a.mp2"_s);
    item.durationSec = double(original.size() / tone.channels) / tone.sampleRate;
    item.headChangeSec = -startSec;
    item.tailChangeSec = startSec + keptSec - item.durationSec;
    const StepResult result = TrimEngine::apply(item, settings, test::systemTools(), {}, {}, &source);
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    QVERIFY(!item.reencoded);

    // Whole frames from the one holding the first planned sample to the one
    // holding the last, and the result says how far that lies from the plan.
    const int rate = tone.sampleRate;
    const ExactCut::Span span = ExactCut::spanOf(input, RewritePlan::cutFor(item), source);
    const qint64 early = span.wantedFirst - span.first;
    const qint64 late = span.first + span.count - span.wantedFirst - span.wantedCount;
    QCOMPARE(span.wantedFirst, std::llround(startSec * rate));
    QCOMPARE(span.wantedCount, std::llround(keptSec * rate));
    QVERIFY2(early >= 0 && early < Mp2Cutter::FrameSamples && late >= 0 && late < Mp2Cutter::FrameSamples,
            qPrintable(u"%1 early, %2 late"_s.arg(early).arg(late)));
    QCOMPARE(span.first % Mp2Cutter::FrameSamples, 0);
    QCOMPARE(result.rewrite,
            u" (lossless, within %1 ms (frame))"_s.arg(std::ceil(std::max(early, late) * 1000.0 / rate)));
    const QList<qint16> decoded = ffmpegDecode<qint16>(item.outputPath, u"s16le"_s);
    QCOMPARE(decoded.size() / tone.channels, span.count);
    QCOMPARE(item.newDurationSec, double(span.count) / rate);

    // Frames decode on their own: the kept samples are the source's.
    const qint64 from = span.first * tone.channels;
    const double snr = test::signalToNoise(original, from, decoded, settling * tone.channels);
    int largest = 0;
    for (qint64 i = settling * tone.channels; i < decoded.size(); ++i)
        largest = std::max(largest, std::abs(decoded.at(i) - original.at(from + i)));
    qInfo("SNR against the source's decode: %.1f dB from the first sample, %.1f dB past %d, off by %d at most",
            test::signalToNoise(original, from, decoded), snr, settling, largest);
    QVERIFY2(largest <= maxDifference, qPrintable(u"SNR %1 dB, off by %2"_s.arg(snr).arg(largest)));

    // The tags byte for byte: the ID3v2 tag (and the zeros after it), the ID3v1 tag.
    const QByteArray cutBytes = contents(item.outputPath);
    QCOMPARE(cutBytes.left(head), sourceBytes.left(head));
    QCOMPARE(cutBytes.right(128), sourceBytes.right(128));
    QCOMPARE(facts(item.outputPath), facts(input));

    // Planned and trimmed again in place, the result stays as it is to the byte.
    QCOMPARE(test::changedByAnotherRun(item.outputPath, settings), QString());
}

QTEST_GUILESS_MAIN(tst_LosslessCut)
#include "tst_losslesscut.moc"
