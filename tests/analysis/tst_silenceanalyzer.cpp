#include "audiofixture.h"
#include "envelopereader.h"
#include "faketool.h"
#include "mediaprobe.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"
#include "silenceanalyzer.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

using Intervals = QList<SilenceAnalyzer::Interval>;

class tst_SilenceAnalyzer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void arguments();
    void detectorLines_data();
    void detectorLines();
    void headTailAndWholeFile_data();
    void headTailAndWholeFile();
    void measuresRealFiles_data();
    void measuresRealFiles();
    void windowsMeasureAsTheWholeFile_data();
    void windowsMeasureAsTheWholeFile();
    void progressRisesTowardTheEnd();
    void failuresOfTheTool_data();
    void failuresOfTheTool();
    void envelopeReduction_data();
    void envelopeReduction();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
};

void tst_SilenceAnalyzer::initTestCase()
{
    QVERIFY2(!test::ffmpegExecutable().isEmpty(), "ffmpeg is needed on the search path");
    m_sandbox = std::make_unique<test::SettingsSandbox>();
}

void tst_SilenceAnalyzer::arguments()
{
    QCOMPARE(SilenceAnalyzer::arguments(u"/in/-x y.mp3"_s, Settings()),
             QStringList({ u"-hide_banner"_s, u"-nostdin"_s, u"-nostats"_s, u"-progress"_s, u"pipe:1"_s, u"-i"_s,
                           u"/in/-x y.mp3"_s, u"-map"_s, u"0:a:0"_s, u"-af"_s,
                           u"silencedetect=noise=-50.00dB:d=0.010"_s, u"-f"_s, u"null"_s, u"-"_s }));
    Settings s;
    s.thresholdDb = -62.346;
    s.minSilenceSec = 0.05;
    QCOMPARE(SilenceAnalyzer::arguments(u"a.wav"_s, s).at(10), u"silencedetect=noise=-62.35dB:d=0.010"_s); // d stays short
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
    QTest::newRow("second end wins") << QStringList{ u"silence_start: 2"_s, u"silence_end: 3"_s, u"silence_end: 4.5"_s }
                                     << Intervals{ { 2.0, 4.5 } };
    QTest::newRow("negative start") << QStringList{ u"silence_start: -0.0213"_s } << Intervals{ { -0.0213, -1.0 } };
    QTest::newRow("unrelated lines") << QStringList{ u"Input #0, wav, from 'a.wav':"_s, QString() } << Intervals{};
}

void tst_SilenceAnalyzer::detectorLines()
{
    QFETCH(QStringList, lines);
    Intervals collected;
    for (const QString &line : std::as_const(lines))
        SilenceAnalyzer::collectLine(line, collected);
    QTEST(collected, "intervals");
}

void tst_SilenceAnalyzer::headTailAndWholeFile_data()
{
    QTest::addColumn<Intervals>("intervals");
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("head");
    QTest::addColumn<double>("tail");
    QTest::addColumn<bool>("silent");
    QTest::newRow("no silence") << Intervals{} << 10.0 << 0.0 << 0.0 << false;
    QTest::newRow("no silence, very short file") << Intervals{} << 0.2 << 0.0 << 0.0 << false;
    QTest::newRow("head and tail") << Intervals{ { 0.05, 1.2 }, { 8.0, 9.95 } } << 10.0 << 1.15 << 2.0 << false;
    QTest::newRow("head starts at the tolerance") << Intervals{ { 0.1, 1.0 } } << 10.0 << 0.9 << 0.0 << false;
    QTest::newRow("head starts past it") << Intervals{ { 0.15, 1.0 } } << 10.0 << 0.0 << 0.0 << false;
    QTest::newRow("negative start counts from 0") << Intervals{ { -0.02, 0.5 } } << 10.0 << 0.5 << 0.0 << false;
    QTest::newRow("tail ends at the tolerance") << Intervals{ { 7.0, 9.9 } } << 10.0 << 0.0 << 3.0 << false;
    QTest::newRow("tail ends short of it") << Intervals{ { 7.0, 9.85 } } << 10.0 << 0.0 << 0.0 << false;
    QTest::newRow("tail never ends") << Intervals{ { 6.5, -1.0 } } << 10.0 << 0.0 << 3.5 << false;
    QTest::newRow("out of order") << Intervals{ { 8.0, 10.0 }, { 4.0, 5.0 }, { 0.0, 0.75 } } << 10.0 << 0.75 << 2.0
                                  << false;
    QTest::newRow("one silence end to end") << Intervals{ { 0.0, -1.0 } } << 10.0 << 0.0 << 0.0 << true;
    QTest::newRow("a short sound is not silence")
            << Intervals{ { 0.0, 4.0 }, { 4.14, 10.0 } } << 10.0 << 4.0 << 5.86 << false;
    QTest::newRow("one silence within the tolerances")
            << Intervals{ { 0.08, 9.92 } } << 10.0 << 0.0 << 0.0 << true;
}

void tst_SilenceAnalyzer::headTailAndWholeFile()
{
    QFETCH(Intervals, intervals);
    QFETCH(double, duration);
    QFETCH(double, head);
    QFETCH(double, tail);
    const SilenceAnalyzer::Result result = SilenceAnalyzer::evaluate(intervals, duration);
    QVERIFY(result.ok);
    QVERIFY(qAbs(result.headSec - head) < 1e-9 && qAbs(result.tailSec - tail) < 1e-9);
    QTEST(result.silentThroughout, "silent");
}

void tst_SilenceAnalyzer::measuresRealFiles_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<double>("lead");
    QTest::addColumn<double>("tone");
    QTest::addColumn<double>("tail");
    QTest::addColumn<double>("tolerance");
    // Lossless files measure to the detector's resolution; lossy encoders add
    // a little priming and padding at the ends.
    for (const char *suffix : { "wav", "flac", "mp3", "ogg", "m4a" }) {
        const double tolerance = qstrcmp(suffix, "wav") == 0 || qstrcmp(suffix, "flac") == 0 ? 0.01 : 0.06;
        QTest::addRow("%s", suffix) << QString::fromLatin1(suffix) << 1.0 << 2.0 << 2.0 << tolerance;
    }
    QTest::newRow("silent end to end") << u"wav"_s << 1.5 << 0.0 << 1.5 << 0.0;
    QTest::newRow("no silence") << u"wav"_s << 0.0 << 3.0 << 0.0 << 0.0;
    QTest::newRow("a 0.2 s sound between silences") << u"wav"_s << 1.0 << 0.2 << 1.0 << 0.01;
    QTest::newRow("a 0.2 s sound alone") << u"flac"_s << 0.0 << 0.2 << 0.0 << 0.0;
    QTest::newRow("ends shorter than the minimum") << u"flac"_s << 0.3 << 2.0 << 0.1 << 0.001;
}

void tst_SilenceAnalyzer::measuresRealFiles()
{
    QFETCH(QString, suffix);
    QFETCH(double, tolerance);
    test::ToneSpec spec;
    QFETCH(double, lead);
    QFETCH(double, tone);
    QFETCH(double, tail);
    spec.leadSec = lead;
    spec.toneSec = tone;
    spec.tailSec = tail;
    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u'.' + suffix);
    QCOMPARE(test::makeAudio(path, spec), QString());
    // The length the program works with is the probed one, encoder padding included.
    const MediaInfo info = probeMedia(test::systemTools(), path, {});
    QVERIFY(info.ok);

    const SilenceAnalyzer::Result result = SilenceAnalyzer::analyse(test::systemTools(), path, info.durationSec, Settings(), {}, {});
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.silentThroughout, tone == 0.0);
    const QString measured = u"head %1, tail %2"_s.arg(result.headSec).arg(result.tailSec);
    QVERIFY2(qAbs(result.headSec - (tone == 0.0 ? 0.0 : lead)) <= tolerance, qPrintable(measured));
    QVERIFY2(qAbs(result.tailSec - (tone == 0.0 ? 0.0 : tail)) <= tolerance, qPrintable(measured));
    QVERIFY2(qAbs(result.decodedSec - (lead + tone + tail)) <= 0.06, qPrintable(QString::number(result.decodedSec)));
}

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<double>("lead");
    QTest::addColumn<double>("tone");
    QTest::addColumn<double>("tail");
    QTest::addColumn<int>("passes"); // ffmpeg runs, the whole-file decode included
    // A frame of a lossy codec at 22.05 kHz; lossless files agree to the sample.
    for (const char *suffix : { "wav", "flac", "mp3", "ogg" }) {
        QTest::addRow("%s, short ends", suffix) << QString::fromLatin1(suffix) << 1.5 << 60.0 << 2.5 << 1;
        QTest::addRow("%s, ends past the first windows", suffix) << QString::fromLatin1(suffix) << 25.0 << 40.0 << 30.0 << 2;
        QTest::addRow("%s, windows meet", suffix) << QString::fromLatin1(suffix) << 2.0 << 38.0 << 1.0 << 1;
    }
    QTest::newRow("mp3, two minutes of head") << u"mp3"_s << 120.0 << 150.0 << 3.0 << 4;
    QTest::newRow("flac, four minutes of tail") << u"flac"_s << 2.0 << 100.0 << 240.0 << 5;
    QTest::newRow("wav, silent throughout") << u"wav"_s << 50.0 << 0.0 << 50.0 << 3;
    // The header claims half the samples there are.
    QTest::newRow("flac, header too short") << u"short.flac"_s << 1.0 << 100.0 << 2.0 << 2;
}

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile()
{
    QFETCH(QString, suffix);
    QFETCH(double, lead);
    QFETCH(double, tone);
    QFETCH(double, tail);
    test::ToneSpec spec;
    spec.leadSec = lead;
    spec.toneSec = tone;
    spec.tailSec = tail;
    spec.sampleRate = 22050;
    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u", "_s, u"-"_s)
                                        + u'.' + suffix.section(u'.', -1));
    QCOMPARE(test::makeAudio(path, spec), QString());
    if (suffix.startsWith(u"short"_s)) {
        // STREAMINFO: the total sample count is the low 36 bits of bytes 18 to 25.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(18));
        quint64 word = qFromBigEndian<quint64>(file.read(8).constData());
        const quint64 mask = (quint64(1) << 36) - 1;
        word = (word & ~mask) | ((word & mask) / 2);
        const quint64 out = qToBigEndian(word);
        QVERIFY(file.seek(18) && file.write(reinterpret_cast<const char *>(&out), 8) == 8);
    }
    const double header = probeMedia(test::systemTools(), path, {}).durationSec;

    // A wrapper that counts the runs of the real ffmpeg.
    const QString runs = m_dir.filePath(u"runs.log"_s);
    QFile::remove(runs);
    ToolPaths tools = test::systemTools();
    tools.ffmpeg = test::writeFakeTool(m_dir.path(), u"counting-ffmpeg"_s,
                                       "echo run >>'" + runs.toUtf8() + "'; exec '" + test::ffmpegExecutable().toUtf8()
                                               + "' \"$@\"");
    const SilenceAnalyzer::Result windowed = SilenceAnalyzer::analyse(tools, path, header, Settings(), {}, {});
    QFile log(runs);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const int passes = int(log.readAll().count('\n'));
    // With no length to go by, the whole file is decoded.
    const SilenceAnalyzer::Result whole = SilenceAnalyzer::analyse(test::systemTools(), path, 0.0, Settings(), {}, {});

    QVERIFY2(windowed.ok && whole.ok, qPrintable(windowed.error + whole.error));
    const double tolerance = suffix.endsWith(u"wav"_s) || suffix.endsWith(u"flac"_s) ? 0.001 : 0.03;
    const QString measured = u"windowed %1/%2, whole %3/%4"_s.arg(windowed.headSec).arg(windowed.tailSec)
                                     .arg(whole.headSec).arg(whole.tailSec);
    QVERIFY2(qAbs(windowed.headSec - whole.headSec) <= tolerance, qPrintable(measured));
    // The tail is measured back from the length each went by: the header
    // when the decode bears it out, else the decode.
    const auto tailStart = [](const SilenceAnalyzer::Result &r, double length) {
        if (qAbs(r.decodedSec - length) > SilenceAnalyzer::LengthTolerance)
            length = r.decodedSec;
        return r.tailSec > 0 ? length - r.tailSec : -1.0;
    };
    QVERIFY2(qAbs(tailStart(windowed, header) - tailStart(whole, 0.0)) <= tolerance, qPrintable(measured));
    QCOMPARE(windowed.silentThroughout, whole.silentThroughout);
    QVERIFY2(qAbs(windowed.decodedSec - whole.decodedSec) <= SilenceAnalyzer::LengthTolerance,
             qPrintable(u"%1 %2"_s.arg(windowed.decodedSec).arg(whole.decodedSec)));
    QTEST(passes, "passes");
}

void tst_SilenceAnalyzer::progressRisesTowardTheEnd()
{
    const QString path = m_dir.filePath(u"long.flac"_s);
    test::ToneSpec spec;
    spec.toneSec = 27.0;
    QCOMPARE(test::makeAudio(path, spec), QString());
    QList<int> reported;
    QVERIFY(SilenceAnalyzer::analyse(test::systemTools(), path, 30.0, Settings(), {}, [&](int p) { reported << p; }).ok);
    QVERIFY(!reported.isEmpty());
    QVERIFY2(std::is_sorted(reported.begin(), reported.end()), "progress went backwards");
    QVERIFY2(reported.first() >= 0 && reported.last() >= 90 && reported.last() <= 100,
             qPrintable(QString::number(reported.last())));
}

void tst_SilenceAnalyzer::failuresOfTheTool_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("error");
    // The tool's own reason is not passed on.
    QTest::newRow("exit 1, nothing decoded") << QByteArray("echo '[mp3 @ 0x5] x.mp3: Invalid data' >&2; exit 1")
                                             << u"no decodable audio"_s;
    QTest::newRow("exit 1 after some audio, why in one line")
            << QByteArray("echo out_time_us=500000; echo '[mp3 @ 0x5] x.mp3: stream ends' >&2; echo 'Conversion failed!' >&2; exit 1")
            << u"silence detection failed: x.mp3: stream ends"_s;
    QTest::newRow("killed by a signal") << QByteArray("kill -SEGV $$") << u"silence detection failed"_s;
    QTest::newRow("stopped") << QByteArray("echo 'silence_start: 0' >&2; exec sleep 20") << u"cancelled"_s;
}

void tst_SilenceAnalyzer::failuresOfTheTool()
{
    QFETCH(QByteArray, script);
    ToolPaths tools = test::systemTools();
    tools.ffmpeg = test::writeFakeTool(m_dir.path(), u"fake-ffmpeg"_s, script);
    QElapsedTimer clock;
    clock.start();
    const SilenceAnalyzer::Result result =
            SilenceAnalyzer::analyse(tools, m_dir.filePath(u"x.mp3"_s), 10.0, Settings(), [&] { return clock.elapsed() > 300; }, {});
    QVERIFY(!result.ok);
    QTEST(result.error, "error");
}

using Peaks = QList<EnvelopeReader::Peak>;

void tst_SilenceAnalyzer::envelopeReduction_data()
{
    QTest::addColumn<QList<qint16>>("samples");
    QTest::addColumn<QList<int>>("splits"); // byte offsets where a new chunk begins
    QTest::addColumn<Peaks>("peaks");
    const QList<qint16> ramp{ 1, 2, 3, 4, 5, 6, 7, 8, 9 };
    QTest::newRow("one chunk") << ramp << QList<int>{} << Peaks{ { 1, 8 }, { 9, 9 } };
    QTest::newRow("split inside a sample") << ramp << QList<int>{ 5, 17 } << Peaks{ { 1, 8 }, { 9, 9 } };
    QTest::newRow("byte by byte") << QList<qint16>{ -300, 5, 32767, -32768 } << QList<int>{ 1, 2, 3, 4, 5, 6, 7 }
                                  << Peaks{ { -32768, 32767 } };
    QTest::newRow("nothing") << QList<qint16>{} << QList<int>{} << Peaks{};
}

void tst_SilenceAnalyzer::envelopeReduction()
{
    QFETCH(QList<qint16>, samples);
    QFETCH(QList<int>, splits);
    QByteArray pcm;
    for (const qint16 sample : samples) {
        pcm.append(char(quint16(sample) & 0xFF));
        pcm.append(char(quint16(sample) >> 8));
    }
    EnvelopeReader::Reduction reduction;
    int from = 0;
    for (const int split : splits + QList<int>{ int(pcm.size()) }) {
        reduction.add(pcm.mid(from, split - from));
        from = split;
    }
    QTEST(reduction.peaks, "peaks");
    QVERIFY(reduction.rest.isEmpty());
}

QTEST_GUILESS_MAIN(tst_SilenceAnalyzer)
#include "tst_silenceanalyzer.moc"
