#include "exactcut.h"
#include "fixtures.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "settings.h"
#include "trimagain.h"
#include "trimengine.h"

#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <optional>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_OggCutter : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir; // one per case

private Q_SLOTS:
    void init() { m_dir.emplace(); }
    void cutsWithoutReencoding_data();
    void cutsWithoutReencoding();
};

namespace {

// What ffmpeg decodes of the file's audio, as 32-bit floats at `rate`.
QList<float> ffmpegDecode(const QString &path, int rate)
{
    return test::pcmSamples<float>(test::programOutput(test::ffmpegExecutable(),
            { u"-v"_s, u"error"_s, u"-i"_s, path, u"-map"_s, u"0:a:0"_s, u"-ar"_s, QString::number(rate), u"-f"_s,
                    u"f32le"_s, u"-"_s }));
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

} // namespace

void tst_OggCutter::cutsWithoutReencoding_data()
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

void tst_OggCutter::cutsWithoutReencoding()
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
    test::programOutput(test::ffmpegExecutable(),
            { u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=red:s=8x8"_s, u"-frames:v"_s, u"1"_s,
                    cover });
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
        QCOMPARE(result.rewrite, u" (re-encoded: stream copy cannot cut opus exactly)"_s);
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
    const QList<float> decoded = ffmpegDecode(item.outputPath, rate);
    QCOMPARE(decoded.size() / tone.channels, span.count);
    QCOMPARE(referenceDecodedSamples(item.outputPath, opus, tone.channels), span.count);
    QCOMPARE(item.newDurationSec, double(span.count) / rate);

    // The kept samples are the source's own, past what the decoder needs to settle.
    const QList<float> original = ffmpegDecode(input, rate);
    const qint64 offset = span.first * tone.channels;
    const double snr = test::signalToNoise(original, offset, decoded, int(0.08 * rate) * tone.channels);
    qInfo("%s: %lld samples planned and decoded, begun %.1f ms early, SNR %.1f dB (%.1f dB from the first sample)",
            QTest::currentDataTag(), span.count, early * 1000.0 / rate, snr,
            test::signalToNoise(original, offset, decoded));
    QVERIFY2(snr > 90, qPrintable(u"SNR %1 dB"_s.arg(snr)));

    // Tags and the cover as the source had them.
    QCOMPARE(facts(item.outputPath), facts(input));
    QVERIFY(facts(input).contains(u"video1"_s));

    // Planned and trimmed again in place, the result stays as it is to the byte.
    const QByteArray once = test::sha256(item.outputPath);
    QueueItem again;
    const StepResult second = test::trimAgainInPlace(item.outputPath, settings, again);
    QVERIFY2(second.ok(), qPrintable(second.message));
    QVERIFY2(test::sha256(item.outputPath) == once,
            qPrintable(u"head %1, tail %2"_s.arg(again.headChangeSec).arg(again.tailChangeSec)));
}

QTEST_GUILESS_MAIN(tst_OggCutter)
#include "tst_oggcutter.moc"
