#include "audiofixture.h"
#include "faketool.h"
#include "mediaprobe.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"
#include "silenceanalyzer.h"
#include "toollocator.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

using Intervals = QList<SilenceAnalyzer::Interval>;

class tst_SilenceAnalyzer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void argumentsForDefaults();
    void argumentsFormatSettings();
    void detectorLines_data();
    void detectorLines();
    void headTailAndWholeFile_data();
    void headTailAndWholeFile();

    void measuresRealFiles_data();
    void measuresRealFiles();
    void realWholeFileAndNoSilence_data();
    void realWholeFileAndNoSilence();
    void progressRisesTowardTheEnd();
    void failuresOfTheTool_data();
    void failuresOfTheTool();

private:
    QString file(const QString &name) const { return QDir(m_dir.path()).filePath(name); }

    QTemporaryDir m_dir;
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
};

void tst_SilenceAnalyzer::initTestCase()
{
    QVERIFY2(!test::ffmpegExecutable().isEmpty(), "ffmpeg is needed on the search path");
    m_sandbox = std::make_unique<test::SettingsSandbox>();
    resetToolCache();
}

void tst_SilenceAnalyzer::cleanup()
{
    appSettings().ffmpegPath.clear();
    resetToolCache();
}

void tst_SilenceAnalyzer::argumentsForDefaults()
{
    QCOMPARE(SilenceAnalyzer::arguments(u"/in/-x y.mp3"_s, Settings()),
             QStringList({ u"-hide_banner"_s, u"-nostdin"_s, u"-nostats"_s, u"-progress"_s, u"pipe:1"_s, u"-i"_s,
                           u"/in/-x y.mp3"_s, u"-map"_s, u"0:a:0"_s, u"-af"_s,
                           u"silencedetect=noise=-50.00dB:d=0.500"_s, u"-f"_s, u"null"_s, u"-"_s }));
}

void tst_SilenceAnalyzer::argumentsFormatSettings()
{
    Settings s;
    s.thresholdDb = -62.346;
    s.minSilenceSec = 0.05;
    QCOMPARE(SilenceAnalyzer::arguments(u"a.wav"_s, s).at(10), u"silencedetect=noise=-62.35dB:d=0.050"_s);
}

void tst_SilenceAnalyzer::detectorLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<Intervals>("intervals");
    QTest::newRow("start and end")
            << QStringList{ u"[silencedetect @ 0x55] silence_start: 0"_s,
                            u"[silencedetect @ 0x55] silence_end: 1.0012 | silence_duration: 1.0012"_s }
            << Intervals{ { 0.0, 1.0012 } };
    QTest::newRow("start without end") << QStringList{ u"silence_start: 8.25"_s } << Intervals{ { 8.25, -1.0 } };
    QTest::newRow("end without start is ignored") << QStringList{ u"silence_end: 3.5"_s } << Intervals{};
    QTest::newRow("second end wins")
            << QStringList{ u"silence_start: 2"_s, u"silence_end: 3"_s, u"silence_end: 4.5"_s }
            << Intervals{ { 2.0, 4.5 } };
    QTest::newRow("negative start") << QStringList{ u"silence_start: -0.0213"_s } << Intervals{ { -0.0213, -1.0 } };
    QTest::newRow("both on one line")
            << QStringList{ u"silence_start: 1 silence_end: 2"_s } << Intervals{ { 1.0, 2.0 } };
    QTest::newRow("unrelated lines")
            << QStringList{ u"Input #0, wav, from 'silence_start.wav':"_s, u"size=N/A time=00:00:05.00"_s, QString() }
            << Intervals{};
}

void tst_SilenceAnalyzer::detectorLines()
{
    QFETCH(QStringList, lines);
    QFETCH(Intervals, intervals);
    Intervals collected;
    for (const QString &line : std::as_const(lines))
        SilenceAnalyzer::collectLine(line, collected);
    QCOMPARE(collected, intervals);
}

void tst_SilenceAnalyzer::headTailAndWholeFile_data()
{
    QTest::addColumn<Intervals>("intervals");
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("head");
    QTest::addColumn<double>("tail");
    QTest::addColumn<bool>("silent");

    QTest::newRow("no silence") << Intervals{} << 10.0 << 0.0 << 0.0 << false;
    QTest::newRow("no silence, very short file") << Intervals{} << 0.2 << 0.0 << 0.0 << true;
    QTest::newRow("head and tail") << Intervals{ { 0.05, 1.2 }, { 8.0, 9.95 } } << 10.0 << 1.15 << 2.0 << false;
    QTest::newRow("head starts at the tolerance") << Intervals{ { 0.1, 1.0 } } << 10.0 << 0.9 << 0.0 << false;
    QTest::newRow("head starts past the tolerance") << Intervals{ { 0.15, 1.0 } } << 10.0 << 0.0 << 0.0 << false;
    QTest::newRow("negative start counts from 0") << Intervals{ { -0.02, 0.5 } } << 10.0 << 0.5 << 0.0 << false;
    QTest::newRow("tail ends at the tolerance") << Intervals{ { 7.0, 9.9 } } << 10.0 << 0.0 << 3.0 << false;
    QTest::newRow("tail ends short of the tolerance") << Intervals{ { 7.0, 9.85 } } << 10.0 << 0.0 << 0.0 << false;
    QTest::newRow("tail never ends") << Intervals{ { 6.5, -1.0 } } << 10.0 << 0.0 << 3.5 << false;
    QTest::newRow("out of order") << Intervals{ { 8.0, 10.0 }, { 4.0, 5.0 }, { 0.0, 0.75 } } << 10.0 << 0.75 << 2.0
                                  << false;
    QTest::newRow("middle silence only") << Intervals{ { 4.0, 5.0 } } << 10.0 << 0.0 << 0.0 << false;
    QTest::newRow("one silence end to end") << Intervals{ { 0.0, -1.0 } } << 10.0 << 0.0 << 0.0 << true;
    QTest::newRow("covers all but the tolerance") << Intervals{ { 0.0, 4.0 }, { 4.25, 10.0 } } << 10.0 << 0.0 << 0.0
                                                  << true;
    QTest::newRow("just more sound than the tolerance")
            << Intervals{ { 0.0, 4.0 }, { 4.26, 10.0 } } << 10.0 << 4.0 << 5.74 << false;
    QTest::newRow("unknown duration") << Intervals{ { 0.0, 1.0 } } << 0.0 << 1.0 << 0.0 << false;
}

void tst_SilenceAnalyzer::headTailAndWholeFile()
{
    QFETCH(Intervals, intervals);
    QFETCH(double, duration);
    QFETCH(double, head);
    QFETCH(double, tail);
    QFETCH(bool, silent);
    const SilenceAnalyzer::Result result = SilenceAnalyzer::evaluate(intervals, duration);
    QVERIFY(result.ok);
    QVERIFY(qAbs(result.headSec - head) < 1e-9);
    QVERIFY(qAbs(result.tailSec - tail) < 1e-9);
    QCOMPARE(result.silentThroughout, silent);
    for (int i = 1; i < result.intervals.size(); ++i)
        QVERIFY(result.intervals.at(i - 1).first <= result.intervals.at(i).first);
}

void tst_SilenceAnalyzer::measuresRealFiles_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<double>("tolerance");
    // Lossless files measure to the detector's resolution; lossy encoders add
    // a little priming and padding at the ends.
    QTest::newRow("wav") << u"wav"_s << 0.01;
    QTest::newRow("flac") << u"flac"_s << 0.01;
    QTest::newRow("mp3") << u"mp3"_s << 0.06;
    QTest::newRow("ogg") << u"ogg"_s << 0.06;
    QTest::newRow("m4a") << u"m4a"_s << 0.06;
}

void tst_SilenceAnalyzer::measuresRealFiles()
{
    QFETCH(QString, suffix);
    QFETCH(double, tolerance);
    const QString path = file(u"shaped."_s + suffix);
    test::ToneSpec spec;
    spec.leadSec = 1.0;
    spec.toneSec = 2.0;
    spec.tailSec = 2.0;
    QCOMPARE(test::makeAudio(path, spec), QString());
    // The length the program works with is the probed one, encoder padding included.
    const MediaInfo info = probeMedia(path, {});
    QVERIFY(info.ok);

    const SilenceAnalyzer::Result result = SilenceAnalyzer::analyse(path, info.durationSec, Settings(), {}, {});
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(!result.silentThroughout);
    const QString measured = u"head %1, tail %2"_s.arg(result.headSec).arg(result.tailSec);
    QVERIFY2(qAbs(result.headSec - 1.0) <= tolerance, qPrintable(measured));
    QVERIFY2(qAbs(result.tailSec - 2.0) <= tolerance, qPrintable(measured));
}

void tst_SilenceAnalyzer::realWholeFileAndNoSilence_data()
{
    QTest::addColumn<double>("lead");
    QTest::addColumn<double>("tone");
    QTest::addColumn<double>("tail");
    QTest::addColumn<bool>("silent");
    QTest::newRow("silent end to end") << 1.5 << 0.0 << 1.5 << true;
    QTest::newRow("no silence") << 0.0 << 3.0 << 0.0 << false;
}

void tst_SilenceAnalyzer::realWholeFileAndNoSilence()
{
    QFETCH(double, lead);
    QFETCH(double, tone);
    QFETCH(double, tail);
    test::ToneSpec spec;
    spec.leadSec = lead;
    spec.toneSec = tone;
    spec.tailSec = tail;
    const QString path = file(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u".wav"_s);
    QCOMPARE(test::makeAudio(path, spec), QString());
    const SilenceAnalyzer::Result result = SilenceAnalyzer::analyse(path, lead + tone + tail, Settings(), {}, {});
    QVERIFY(result.ok);
    QTEST(result.silentThroughout, "silent");
    QCOMPARE(result.headSec, 0.0);
    QCOMPARE(result.tailSec, 0.0);
}

void tst_SilenceAnalyzer::progressRisesTowardTheEnd()
{
    const QString path = file(u"long.flac"_s);
    test::ToneSpec spec;
    spec.leadSec = 2.0;
    spec.toneSec = 20.0;
    spec.tailSec = 8.0;
    QCOMPARE(test::makeAudio(path, spec), QString());
    QList<int> reported;
    const SilenceAnalyzer::Result result =
            SilenceAnalyzer::analyse(path, 30.0, Settings(), {}, [&](int p) { reported << p; });
    QVERIFY(result.ok);
    QVERIFY(!reported.isEmpty());
    for (int i = 1; i < reported.size(); ++i)
        QVERIFY2(reported.at(i) >= reported.at(i - 1), "progress went backwards");
    QVERIFY(reported.first() >= 0);
    QVERIFY2(reported.last() >= 90 && reported.last() <= 100, qPrintable(QString::number(reported.last())));
}

void tst_SilenceAnalyzer::failuresOfTheTool_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("error");
    QTest::newRow("exit 1 with its reason")
            << QByteArray("echo 'x.mp3: Invalid data found when processing input' >&2; exit 1")
            << u"silence detection failed"_s;
    QTest::newRow("killed by a signal") << QByteArray("kill -SEGV $$") << u"silence detection failed"_s;
    QTest::newRow("cancelled") << QByteArray("echo 'silence_start: 0' >&2; exec sleep 20") << u"cancelled"_s;
}

void tst_SilenceAnalyzer::failuresOfTheTool()
{
    QFETCH(QByteArray, script);
    appSettings().ffmpegPath = test::writeFakeTool(m_dir.path(), u"fake-ffmpeg"_s, script);
    resetToolCache();
    QElapsedTimer clock;
    clock.start();
    const SilenceAnalyzer::Result result =
            SilenceAnalyzer::analyse(file(u"x.mp3"_s), 10.0, Settings(), [&] { return clock.elapsed() > 300; }, {});
    QVERIFY(!result.ok);
    QTEST(result.error, "error");
    QVERIFY(result.intervals.isEmpty());
}

QTEST_GUILESS_MAIN(tst_SilenceAnalyzer)
#include "tst_silenceanalyzer.moc"
