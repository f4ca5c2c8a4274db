#include "mediaprobe.h"
#include "queueitem.h"
#include "settings.h"
#include "trimengine.h"

#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_TrimEngine : public QObject
{
    Q_OBJECT

private slots:
    void adjustmentFor_data();
    void adjustmentFor();
    void judge_data();
    void judge();
    void silentFileIsLeftAlone();
    void cutFromPlan_data();
    void cutFromPlan();
    void fileNames_data();
    void fileNames();
    void streamCopyArguments();
    void paddedFlacArguments();
    void reencodeKeepsBitRateForLossyCodecs();
    void mp3TagVersionWhateverTheCase_data();
    void mp3TagVersionWhateverTheCase();
    void oggCarriesNoPictures();
};

void tst_TrimEngine::adjustmentFor_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("measured");
    QTest::addColumn<double>("target");
    QTest::addColumn<double>("adjustment");
    QTest::newRow("cut back inside tolerance") << 1 << 0.503 << 0.5 << 0.0;
    QTest::newRow("cut back just past tolerance") << 1 << 0.51 << 0.5 << -0.01;
    QTest::newRow("cut back exactly the tolerance") << 1 << 0.505 << 0.5 << -0.005;
    QTest::newRow("cut back a hair under") << 1 << 0.5049 << 0.5 << 0.0;
    QTest::newRow("cut back never adds") << 1 << 0.1 << 0.5 << 0.0;
    QTest::newRow("cut back to zero") << 1 << 1.2 << 0.0 << -1.2;
    QTest::newRow("top up from nothing") << 2 << 0.0 << 0.5 << 0.5;
    QTest::newRow("top up never removes") << 2 << 0.8 << 0.5 << 0.0;
    QTest::newRow("top up exactly the tolerance") << 2 << 0.145 << 0.15 << 0.005;
    QTest::newRow("top up to zero adds nothing") << 2 << 0.0 << 0.0 << 0.0;
    QTest::newRow("exact to zero") << 3 << 1.2 << 0.0 << -1.2;
    QTest::newRow("exact adds") << 3 << 0.1 << 0.25 << 0.15;
    QTest::newRow("exact inside tolerance") << 3 << 0.252 << 0.25 << 0.0;
    QTest::newRow("leave alone") << 0 << 3.0 << 0.15 << 0.0;
    QTest::newRow("negative measurement counts 0") << 2 << -0.3 << 0.2 << 0.2;
    QTest::newRow("negative target counts 0") << 3 << 0.1 << -1.0 << -0.1;
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
    QTest::addColumn<double>("tail");
    QTest::addColumn<int>("leadMode");
    QTest::addColumn<int>("tailMode");
    QTest::addColumn<int>("targetMs");
    QTest::addColumn<double>("limit");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");
    QTest::addColumn<double>("newDuration");

    QTest::newRow("removal exactly the limit") << 30.0 << 6.0 << 4.0 << 1 << 1 << 0 << 10.0 << true << QString()
                                               << 20.0;
    QTest::newRow("removal over the limit") << 30.0 << 6.0 << 4.5 << 1 << 1 << 0 << 10.0 << false
                                            << u"would remove 10.5 s, over the 10 s safety limit"_s << 19.5;
    QTest::newRow("added silence never counts") << 30.0 << 0.0 << 0.0 << 2 << 2 << 20000 << 10.0 << true
                                                << QString() << 70.0;
    QTest::newRow("limit rounded in the message") << 30.0 << 2.26 << 0.0 << 1 << 0 << 0 << 1.5 << false
                                                  << u"would remove 2.3 s, over the 2 s safety limit"_s << 27.74;
    QTest::newRow("nothing left") << 2.0 << 1.0 << 0.96 << 3 << 3 << 0 << 900.0 << false
                                  << u"nothing would be left after the trim"_s << 0.04;
    QTest::newRow("exactly 0.05 s left") << 2.0 << 1.0 << 0.95 << 1 << 1 << 0 << 900.0 << false
                                         << u"nothing would be left after the trim"_s << 0.05;
    QTest::newRow("a little more than 0.05 s left") << 2.0 << 1.0 << 0.94 << 1 << 1 << 0 << 900.0 << true
                                                    << QString() << 0.06;
    QTest::newRow("within target changes nothing") << 10.0 << 0.152 << 0.149 << 3 << 3 << 150 << 900.0 << true
                                                   << QString() << 10.0;
    QTest::newRow("one end left alone") << 10.0 << 2.0 << 3.0 << 0 << 1 << 150 << 900.0 << true << QString()
                                        << 7.15;
}

void tst_TrimEngine::judge()
{
    QFETCH(double, duration);
    QFETCH(double, head);
    QFETCH(double, tail);
    QFETCH(int, leadMode);
    QFETCH(int, tailMode);
    QFETCH(int, targetMs);
    QFETCH(double, limit);
    QFETCH(double, newDuration);
    Settings settings;
    settings.leadMode = EndMode(leadMode);
    settings.tailMode = EndMode(tailMode);
    settings.leadTargetMs = settings.tailTargetMs = targetMs;
    settings.maxTrimSec = limit;
    SilenceAnalyzer::Result silence;
    silence.ok = true;
    silence.headSec = head;
    silence.tailSec = tail;
    QueueItem item;
    item.durationSec = duration;

    const StepResult result = TrimEngine::judge(item, silence, settings);
    QTEST(result.ok, "ok");
    QVERIFY(!result.skipped);
    QTEST(result.message, "message");
    // The plan stays in the item even when it is refused.
    QCOMPARE(item.headSec, head);
    QCOMPARE(item.tailSec, tail);
    QVERIFY2(qAbs(item.newDurationSec - newDuration) < 1e-9, qPrintable(QString::number(item.newDurationSec)));
}

void tst_TrimEngine::silentFileIsLeftAlone()
{
    for (const EndMode mode : { EndMode::LeaveAlone, EndMode::CutBack, EndMode::TopUp, EndMode::Exact }) {
        Settings settings;
        settings.leadMode = settings.tailMode = mode;
        SilenceAnalyzer::Result silence;
        silence.ok = true;
        silence.silentThroughout = true;
        QueueItem item;
        item.durationSec = 4.0;
        item.headChangeSec = 1.0;
        const StepResult result = TrimEngine::judge(item, silence, settings);
        QVERIFY(result.ok && result.skipped);
        QCOMPARE(result.message, u"file is silent end to end - left alone"_s);
        QCOMPARE(item.headChangeSec, 0.0);
        QCOMPARE(item.newDurationSec, 4.0);
    }
}

void tst_TrimEngine::cutFromPlan_data()
{
    QTest::addColumn<double>("headChange");
    QTest::addColumn<double>("tailChange");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("kept");
    QTest::addColumn<double>("headPad");
    QTest::addColumn<double>("tailPad");
    QTest::newRow("cut both") << -1.25 << -0.5 << 1.25 << 58.25 << 0.0 << 0.0;
    QTest::newRow("pad both") << 0.3 << 1.0 << 0.0 << 60.0 << 0.3 << 1.0;
    QTest::newRow("cut head, pad tail") << -2.0 << 0.5 << 2.0 << 58.0 << 0.0 << 0.5;
    QTest::newRow("unchanged") << 0.0 << 0.0 << 0.0 << 60.0 << 0.0 << 0.0;
}

void tst_TrimEngine::cutFromPlan()
{
    QFETCH(double, headChange);
    QFETCH(double, tailChange);
    QueueItem item;
    item.durationSec = 60.0;
    item.headChangeSec = headChange;
    item.tailChangeSec = tailChange;
    const TrimEngine::Cut cut = TrimEngine::cutFor(item);
    QTEST(cut.startSec, "start");
    QTEST(cut.keptSec, "kept");
    QTEST(cut.headPadSec, "headPad");
    QTEST(cut.tailPadSec, "tailPad");
    QCOMPARE(cut.expectedSec(), cut.headPadSec + cut.keptSec + cut.tailPadSec);
}

void tst_TrimEngine::fileNames_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("temporary");
    QTest::newRow("two dots") << u"/music/out/Song.live.mp3"_s << u"/music/out/.Song.live.kstmp.mp3"_s;
    QTest::newRow("upper case") << u"/m/SONG.MP3"_s << u"/m/.SONG.kstmp.MP3"_s;
    QTest::newRow("leading dash") << u"/m/-x y.flac"_s << u"/m/.-x y.kstmp.flac"_s;
}

void tst_TrimEngine::fileNames()
{
    QFETCH(QString, output);
    QTEST(TrimEngine::temporaryPathFor(output), "temporary");
    QCOMPARE(TrimEngine::backupPathFor(u"/music/Song.mp3"_s), u"/music/Song.mp3.bak"_s);
}

void tst_TrimEngine::streamCopyArguments()
{
    QueueItem item;
    item.durationSec = 60.0;
    item.headChangeSec = -1.25;
    item.tailChangeSec = -0.5;
    const QStringList args = TrimEngine::ffmpegArguments(u"/in/song.mp3"_s, u"/out/song.mp3"_s,
                                                         TrimEngine::cutFor(item), nullptr, QString());
    QCOMPARE(args, QStringList({ u"-hide_banner"_s, u"-nostdin"_s, u"-nostats"_s, u"-y"_s, u"-loglevel"_s,
                                 u"error"_s, u"-progress"_s, u"pipe:1"_s, u"-ss"_s, u"1.250"_s, u"-t"_s,
                                 u"58.250"_s, u"-i"_s, u"/in/song.mp3"_s, u"-map"_s, u"0:a:0"_s, u"-map"_s,
                                 u"0:v?"_s, u"-map"_s, u"-0:V?"_s, u"-map_metadata"_s, u"0"_s, u"-c:a"_s,
                                 u"copy"_s, u"-c:v"_s, u"copy"_s, u"-id3v2_version"_s, u"3"_s,
                                 u"/out/.song.kstmp.mp3"_s }));
}

void tst_TrimEngine::paddedFlacArguments()
{
    QueueItem item;
    item.durationSec = 20.0;
    item.headChangeSec = 0.3;
    item.tailChangeSec = 1.0;
    MediaInfo flac;
    flac.ok = true;
    flac.codec = u"flac"_s;
    flac.bitRate = 900000;
    flac.sampleRate = 48000;
    flac.channels = 2;
    const QStringList args = TrimEngine::ffmpegArguments(u"/in/a.flac"_s, u"/in/a.flac"_s, TrimEngine::cutFor(item),
                                                         &flac, u"flac"_s);
    const QStringList tail = args.mid(args.indexOf(u"-map_metadata"_s));
    QCOMPARE(tail, QStringList({ u"-map_metadata"_s, u"0"_s, u"-af"_s, u"adelay=300:all=1,apad=pad_dur=1.000"_s,
                                 u"-c:a"_s, u"flac"_s, u"-ar"_s, u"48000"_s, u"-ac"_s, u"2"_s, u"-c:v"_s,
                                 u"copy"_s, u"/in/.a.kstmp.flac"_s }));
    QCOMPARE(args.mid(8, 4), QStringList({ u"-ss"_s, u"0.000"_s, u"-t"_s, u"20.000"_s }));
}

void tst_TrimEngine::reencodeKeepsBitRateForLossyCodecs()
{
    QueueItem item;
    item.durationSec = 10.0;
    item.headChangeSec = 0.0125; // half a millisecond rounds up
    item.tailChangeSec = -0.5;
    MediaInfo mp3;
    mp3.codec = u"mp3"_s;
    mp3.bitRate = 128000;
    mp3.sampleRate = 0;
    mp3.channels = 1;
    const QStringList args = TrimEngine::ffmpegArguments(u"/a.mp3"_s, u"/b.mp3"_s, TrimEngine::cutFor(item), &mp3,
                                                         u"libmp3lame"_s);
    const QStringList tail = args.mid(args.indexOf(u"-af"_s));
    QCOMPARE(tail, QStringList({ u"-af"_s, u"adelay=13:all=1"_s, u"-c:a"_s, u"libmp3lame"_s,
                                 u"-b:a"_s, u"128000"_s, u"-ac"_s, u"1"_s, u"-c:v"_s, u"copy"_s,
                                 u"-id3v2_version"_s, u"3"_s, u"/.b.kstmp.mp3"_s }));
}

void tst_TrimEngine::mp3TagVersionWhateverTheCase_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("tagged");
    QTest::newRow("lower") << u"/o/song.mp3"_s << true;
    QTest::newRow("upper") << u"/o/SONG.MP3"_s << true;
    QTest::newRow("mixed") << u"/o/Song.Mp3"_s << true;
    QTest::newRow("flac") << u"/o/song.flac"_s << false;
    QTest::newRow("mp3 inside the name only") << u"/o/song.mp3.wav"_s << false;
}

void tst_TrimEngine::mp3TagVersionWhateverTheCase()
{
    QFETCH(QString, output);
    QFETCH(bool, tagged);
    QueueItem item;
    item.durationSec = 5.0;
    const QStringList args = TrimEngine::ffmpegArguments(u"/i/x"_s, output, TrimEngine::cutFor(item), nullptr, {});
    QCOMPARE(args.contains(u"-id3v2_version"_s), tagged);
    QCOMPARE(args.last(), TrimEngine::temporaryPathFor(output));
}

void tst_TrimEngine::oggCarriesNoPictures()
{
    QueueItem item;
    item.durationSec = 5.0;
    const QStringList args = TrimEngine::ffmpegArguments(u"/i/a.ogg"_s, u"/o/a.OGG"_s, TrimEngine::cutFor(item),
                                                         nullptr, {});
    QVERIFY(!args.contains(u"0:v?"_s));
    QVERIFY(!args.contains(u"-c:v"_s));
}

QTEST_GUILESS_MAIN(tst_TrimEngine)
#include "tst_trimengine.moc"
