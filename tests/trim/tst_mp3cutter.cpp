#include "fixtures.h"
#include "mediaprobe.h"
#include "mp3cutter.h"

#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <optional>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_Mp3Cutter : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir; // one per case

private Q_SLOTS:
    void init() { m_dir.emplace(); }
    void cutsToTheSample_data();
    void cutsToTheSample();
    void framesOutOfSyncAreRefused();
};

namespace {

QList<qint16> ffmpegDecode(const QString &path)
{
    return test::pcmSamples<qint16>(test::programOutput(
            test::ffmpegExecutable(), { u"-v"_s, u"error"_s, u"-i"_s, path, u"-f"_s, u"s16le"_s, u"-"_s }));
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

} // namespace

void tst_Mp3Cutter::cutsToTheSample_data()
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
    const QStringList cover{ u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=red:s=32x32:d=1"_s };
    QTest::newRow("CBR 44.1 kHz stereo") << QStringList() << QStringList() << 44100 << 2 << 54291ll << 110327ll;
    QTest::newRow("VBR with a Xing header, through the tone")
            << QStringList{ u"-q:a"_s, u"4"_s } << QStringList() << 44100 << 2 << 44100ll << 88200ll;
    QTest::newRow("mono 22.05 kHz at 32 kb/s, to the end")
            << QStringList{ u"-b:a"_s, u"32k"_s } << QStringList() << 22050 << 1 << 33082ll << -1ll;
    QTest::newRow("no LAME header, from the first sample")
            << QStringList{ u"-write_xing"_s, u"0"_s } << QStringList() << 44100 << 2 << 0ll << 89201ll;
    QTest::newRow("ID3v2 with a cover, ID3v1") << QStringList{ u"-map"_s, u"0:a"_s, u"-map"_s, u"1:v"_s, u"-frames:v"_s,
        u"1"_s, u"-c:v"_s, u"png"_s, u"-disposition:v"_s, u"attached_pic"_s, u"-id3v2_version"_s, u"3"_s,
        u"-write_id3v1"_s, u"1"_s, u"-metadata"_s, u"title=Kept"_s, u"-metadata"_s, u"artist=Also kept"_s }
                                               << cover << 44100 << 2 << 14700ll << 132300ll;
}

void tst_Mp3Cutter::cutsToTheSample()
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
    const QList<qint16> sourceByFfmpeg = ffmpegDecode(source);
    const QList<qint16> sourceByMpg123 = mpg123Decode(source);
    QCOMPARE(Mp3Cutter::samplesOf(source), sourceByFfmpeg.size() / channels);
    QCOMPARE(sourceByMpg123.size(), sourceByFfmpeg.size());
    QVERIFY(Mp3Cutter::handles(probeMedia(test::systemTools(), source, {})));
    if (sampleCount < 0)
        sampleCount = sourceByFfmpeg.size() / channels - firstSample;

    const StepResult result = Mp3Cutter::cut(source, cut, firstSample, sampleCount);
    QVERIFY2(result.proceeds(), qPrintable(result.message));
    QCOMPARE(Mp3Cutter::samplesOf(cut), sampleCount);
    QVERIFY(lameCrcHolds(contents(cut), rate, channels));
    // Every sample where it was, in both decoders, each against its own
    // decode of the source.
    const struct
    {
        QString name;
        QList<qint16> source;
        QList<qint16> cut;
    } decoders[] = { { u"ffmpeg"_s, sourceByFfmpeg, ffmpegDecode(cut) },
        { u"mpg123"_s, sourceByMpg123, mpg123Decode(cut) } };
    for (const auto &decoder : decoders) {
        QVERIFY2(decoder.cut.size() == sampleCount * channels,
                qPrintable(u"%1 decodes %2 samples, %3 planned"_s.arg(decoder.name)
                                   .arg(decoder.cut.size() / channels)
                                   .arg(sampleCount)));
        const double snr = test::signalToNoise(decoder.source, firstSample * channels, decoder.cut);
        QVERIFY2(snr > 90, qPrintable(u"%1: %2 dB from the source"_s.arg(decoder.name).arg(snr, 0, 'f', 1)));
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
    QVERIFY(Mp3Cutter::cut(cut, again, 0, sampleCount).proceeds());
    QCOMPARE(test::sha256(again), test::sha256(cut));
}

void tst_Mp3Cutter::framesOutOfSyncAreRefused()
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
    const StepResult result = Mp3Cutter::cut(spliced, m_dir->filePath(u"cut.mp3"_s), 0, 1000);
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

QTEST_GUILESS_MAIN(tst_Mp3Cutter)
#include "tst_mp3cutter.moc"
