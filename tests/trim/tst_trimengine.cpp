#include "mediaprobe.h"
#include "codectable.h"
#include "queueitem.h"
#include "settings.h"
#include "trimengine.h"

#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_TrimEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void adjustmentFor_data();
    void adjustmentFor();
    void judge_data();
    void judge();
    void streamCopyArguments();
    void reencodeArguments_data();
    void reencodeArguments();
    void outputNamesDecideTheExtras_data();
    void outputNamesDecideTheExtras();
};

void tst_TrimEngine::adjustmentFor_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("measured");
    QTest::addColumn<double>("target");
    QTest::addColumn<double>("adjustment");
    QTest::newRow("cut back inside tolerance") << 1 << 0.503 << 0.5 << 0.0;
    QTest::newRow("cut back past tolerance") << 1 << 0.51 << 0.5 << -0.01;
    QTest::newRow("cut back exactly the tolerance") << 1 << 0.505 << 0.5 << -0.005;
    QTest::newRow("cut back a hair under it") << 1 << 0.5049 << 0.5 << 0.0;
    QTest::newRow("cut back never adds") << 1 << 0.1 << 0.5 << 0.0;
    QTest::newRow("top up from nothing") << 2 << 0.0 << 0.5 << 0.5;
    QTest::newRow("top up never removes") << 2 << 0.8 << 0.5 << 0.0;
    QTest::newRow("top up exactly the tolerance") << 2 << 0.145 << 0.15 << 0.005;
    QTest::newRow("top up to zero adds nothing") << 2 << 0.0 << 0.0 << 0.0;
    QTest::newRow("exact to zero") << 3 << 1.2 << 0.0 << -1.2;
    QTest::newRow("exact adds") << 3 << 0.1 << 0.25 << 0.15;
    QTest::newRow("leave alone") << 0 << 3.0 << 0.15 << 0.0;
    QTest::newRow("negative measurement counts 0") << 2 << -0.3 << 0.2 << 0.2;
    QTest::newRow("unknown mode") << 9 << 2.0 << 0.1 << 0.0;
}

void tst_TrimEngine::adjustmentFor()
{
    QFETCH(int, mode);
    QFETCH(double, measured);
    QFETCH(double, target);
    QFETCH(double, adjustment);
    const double got = TrimEngine::adjustmentFor(measured, EndMode(mode), target);
    QVERIFY2(qAbs(got - adjustment) < 1e-9, qPrintable(QString::number(got, 'g', 17)));
}

void tst_TrimEngine::judge_data()
{
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("head");
    QTest::addColumn<double>("tail"); // -1: silent end to end
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("targetMs");
    QTest::addColumn<double>("limit");
    QTest::addColumn<QString>("message");
    QTest::addColumn<double>("newDuration");
    QTest::newRow("removal exactly the limit") << 30.0 << 6.0 << 4.0 << 1 << 0 << 10.0 << QString() << 20.0;
    QTest::newRow("removal over the limit") << 30.0 << 6.0 << 4.5 << 1 << 0 << 10.0
                                            << u"would remove 10.5 s, over the 10 s safety limit"_s << 19.5;
    QTest::newRow("added silence never counts") << 30.0 << 0.0 << 0.0 << 2 << 20000 << 10.0 << QString() << 70.0;
    QTest::newRow("nothing left") << 2.0 << 1.0 << 0.96 << 3 << 0 << 900.0
                                  << u"nothing would be left after the trim"_s << 0.04;
    QTest::newRow("exactly 0.05 s left") << 2.0 << 1.0 << 0.95 << 1 << 0 << 900.0
                                         << u"nothing would be left after the trim"_s << 0.05;
    QTest::newRow("a little more left") << 2.0 << 1.0 << 0.94 << 1 << 0 << 900.0 << QString() << 0.06;
    QTest::newRow("silent end to end") << 4.0 << 0.0 << -1.0 << 3 << 0 << 900.0
                                       << u"file is silent end to end - left alone"_s << 4.0;
}

void tst_TrimEngine::judge()
{
    QFETCH(double, duration);
    QFETCH(double, head);
    QFETCH(double, tail);
    QFETCH(int, mode);
    QFETCH(int, targetMs);
    QFETCH(double, newDuration);
    Settings settings;
    settings.headMode = settings.tailMode = EndMode(mode);
    settings.headTargetMs = settings.tailTargetMs = targetMs;
    QFETCH(double, limit);
    settings.maxTrimSec = limit;
    SilenceAnalyzer::Result silence;
    silence.ok = true;
    silence.silentThroughout = tail < 0;
    silence.headSec = head;
    silence.tailSec = std::max(tail, 0.0);
    QueueItem item;
    item.durationSec = duration;

    const StepResult result = TrimEngine::judge(item, silence, settings);
    QFETCH(QString, message);
    QCOMPARE(result.ok(), message.isEmpty() || silence.silentThroughout);
    QCOMPARE(result.skipped(), silence.silentThroughout);
    QCOMPARE(result.message, message);
    // The plan stays in the item even when it is refused.
    QVERIFY2(qAbs(item.newDurationSec - newDuration) < 1e-9, qPrintable(QString::number(item.newDurationSec)));
}

void tst_TrimEngine::streamCopyArguments()
{
    QueueItem item;
    item.durationSec = 60.0;
    item.headChangeSec = -1.25;
    item.tailChangeSec = -0.5;
    QCOMPARE(TrimEngine::ffmpegArguments(u"/in/song.mp3"_s, u"/out/song.mp3"_s, TrimEngine::cutFor(item), MediaInfo(), {}),
             QStringList({ u"-hide_banner"_s, u"-nostdin"_s, u"-nostats"_s, u"-y"_s, u"-loglevel"_s, u"error"_s,
                           u"-progress"_s, u"pipe:1"_s, u"-ss"_s, u"1.250"_s, u"-t"_s, u"58.250"_s, u"-i"_s,
                           u"/in/song.mp3"_s, u"-map"_s, u"0:a:0"_s, u"-map"_s, u"0:v?"_s, u"-map"_s, u"-0:V?"_s,
                           u"-map_metadata"_s, u"0"_s, u"-c:a"_s, u"copy"_s, u"-c:v"_s, u"copy"_s,
                           u"-id3v2_version"_s, u"3"_s, u"-t"_s, u"58.250000"_s, u"/out/.song.kstmp.mp3"_s }));
}

void tst_TrimEngine::reencodeArguments_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<int>("bitRate");
    QTest::addColumn<double>("head");
    QTest::addColumn<double>("tail");
    QTest::addColumn<QStringList>("tail_of_list"); // from "-map_metadata" on, without the temporary path
    QTest::newRow("flac padded at both ends")
            << u"flac"_s << 900000 << 0.3 << 1.0
            << QStringList{ u"-map_metadata"_s, u"0"_s, u"-af"_s, u"adelay=300:all=1,apad=pad_dur=1.000"_s, u"-c:a"_s,
                            u"flac"_s, u"-ar"_s, u"48000"_s, u"-ac"_s, u"2"_s, u"-c:v"_s, u"copy"_s };
    QTest::newRow("mp3 keeps its bit rate, half a millisecond rounds up")
            << u"mp3"_s << 128000 << 0.0125 << -0.5
            << QStringList{ u"-map_metadata"_s, u"0"_s, u"-af"_s, u"adelay=13:all=1"_s, u"-c:a"_s, u"libmp3lame"_s,
                            u"-b:a"_s, u"128k"_s, u"-ar"_s, u"48000"_s, u"-ac"_s, u"2"_s, u"-c:v"_s, u"copy"_s };
    // Rates the encoders would refuse are never passed to them.
    const auto encoded = [](const QString &encoder, const QStringList &rate) {
        return QStringList{ u"-map_metadata"_s, u"0"_s, u"-c:a"_s, encoder } + rate
                + QStringList{ u"-ar"_s, u"48000"_s, u"-ac"_s, u"2"_s, u"-c:v"_s, u"copy"_s };
    };
    QTest::newRow("mp3 from a VBR source by quality") << u"mp3"_s << 212256 << -1.0 << 0.0
                                                      << encoded(u"libmp3lame"_s, { u"-q:a"_s, u"2"_s });
    QTest::newRow("vorbis by quality, never its bit rate") << u"vorbis"_s << 212256 << -1.0 << 0.0
                                                           << encoded(u"libvorbis"_s, { u"-q:a"_s, u"6"_s });
    QTest::newRow("opus within what libopus takes") << u"opus"_s << 900000 << -1.0 << 0.0
                                                    << encoded(u"libopus"_s, { u"-b:a"_s, u"512000"_s });
    QTest::newRow("ac3 to the nearest rate of its table") << u"ac3"_s << 199000 << -1.0 << 0.0
                                                          << encoded(u"ac3"_s, { u"-b:a"_s, u"192k"_s });
    QTest::newRow("wavpack is lossless") << u"wavpack"_s << 700000 << -1.0 << 0.0 << encoded(u"wavpack"_s, {});
    QTest::newRow("pcm takes no bit rate")
            << u"pcm_s16le"_s << 1411200 << -1.0 << 0.0
            << QStringList{ u"-map_metadata"_s, u"0"_s, u"-c:a"_s, u"pcm_s16le"_s, u"-ar"_s, u"48000"_s, u"-ac"_s,
                            u"2"_s, u"-c:v"_s, u"copy"_s };
}

void tst_TrimEngine::reencodeArguments()
{
    QFETCH(QString, codec);
    QFETCH(int, bitRate);
    QFETCH(double, head);
    QFETCH(double, tail);
    QueueItem item;
    item.durationSec = 20.0;
    item.headChangeSec = head;
    item.tailChangeSec = tail;
    MediaInfo source;
    source.codec = codec;
    source.bitRate = bitRate;
    source.sampleRate = 48000;
    source.channels = 2;
    QStringList args = TrimEngine::ffmpegArguments(u"/in/a.x"_s, u"/in/a.x"_s, TrimEngine::cutFor(item), source,
                                                   CodecTable::encoderFor(codec));
    QCOMPARE(args.takeLast(), u"/in/.a.kstmp.x"_s);
    // The output ends at the planned length, padding included.
    QCOMPARE(args.takeLast().toDouble(), TrimEngine::cutFor(item).expectedSec());
    QCOMPARE(args.takeLast(), u"-t"_s);
    QTEST(args.mid(args.indexOf(u"-map_metadata"_s)), "tail_of_list");
}

void tst_TrimEngine::outputNamesDecideTheExtras_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("temporary");
    QTest::addColumn<bool>("tagVersion");
    QTest::addColumn<bool>("pictures");
    QTest::newRow("two dots") << u"/o/Song.live.mp3"_s << u"/o/.Song.live.kstmp.mp3"_s << true << true;
    QTest::newRow("upper case mp3") << u"/o/SONG.MP3"_s << u"/o/.SONG.kstmp.MP3"_s << true << true;
    QTest::newRow("mp3 inside the name only") << u"/o/a.mp3.wav"_s << u"/o/.a.mp3.kstmp.wav"_s << false << true;
    // Ogg cannot carry attached pictures: mapping one would fail the file.
    QTest::newRow("ogg") << u"/o/-x y.OGG"_s << u"/o/.-x y.kstmp.OGG"_s << false << false;
}

void tst_TrimEngine::outputNamesDecideTheExtras()
{
    QFETCH(QString, output);
    QueueItem item;
    item.durationSec = 5.0;
    const QStringList args = TrimEngine::ffmpegArguments(u"/i/x"_s, output, TrimEngine::cutFor(item), MediaInfo(), {});
    QTEST(args.last(), "temporary");
    QTEST(args.contains(u"-id3v2_version"_s), "tagVersion");
    QTEST(args.contains(u"0:v?"_s) && args.contains(u"-c:v"_s), "pictures");
    QCOMPARE(TrimEngine::backupPathFor(u"/music/Song.mp3"_s), u"/music/Song.mp3.bak"_s);
}

QTEST_GUILESS_MAIN(tst_TrimEngine)
#include "tst_trimengine.moc"
