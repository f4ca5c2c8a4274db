#include "fixtures.h"
#include "mediaprobe.h"
#include "settings.h"
#include "silenceanalyzer.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// What ffprobe and silencedetect read in real generated files, and what the two tools' failures become.
class tst_SilenceAnalyzer : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void argumentsInOrder();
    void headTailAndWholeFile_data();
    void headTailAndWholeFile();
    void windowsMeasureAsTheWholeFile_data();
    void windowsMeasureAsTheWholeFile();
    void failuresInOneLine_data();
    void failuresInOneLine();
};

void tst_SilenceAnalyzer::argumentsInOrder()
{
    Settings settings;
    settings.thresholdDb = -62.346;
    settings.minSilenceSec = 0.05; // the detector's own minimum stays short
    const QString path = u"/in/-x y.mp3"_s;
    const QStringList lists{ SilenceAnalyzer::arguments(path, settings).join(u'|'),
        SilenceAnalyzer::windowArguments(path, settings, 40.0, 100.5).join(u'|'), probeArguments(path).join(u'|') };
    QCOMPARE(lists.join(u'\n'),
            u"-hide_banner|-nostdin|-nostats|-progress|pipe:1|-i|/in/-x y.mp3|-map|0:a:0|-af|"
            "silencedetect=noise=-62.35dB:d=0.010|-f|null|-\n"
            "-hide_banner|-nostdin|-nostats|-progress|pipe:1|-t|40.000000|-i|/in/-x y.mp3|-ss|100.500000|-i|"
            "/in/-x y.mp3|-filter_complex|[0:a:0]silencedetect=noise=-62.35dB:d=0.010[h];[1:a:0]asetpts=PTS+"
            "100.500000/TB,silencedetect=noise=-62.35dB:d=0.010[t];[h][t]concat=n=2:v=0:a=1[o]|-map|[o]|-f|null|-\n"
            "-v|error|-show_entries|format=duration,bit_rate,format_name:format_tags|-show_entries|stream=codec_type,"
            "codec_name,sample_rate,channels,bit_rate,start_time:stream_disposition=attached_pic|-of|json|/in/-x y.mp3"_s);
}

void tst_SilenceAnalyzer::headTailAndWholeFile_data()
{
    QTest::addColumn<QString>("lines"); // the detector's on a 10 s file, split at ';', then the head and tail measured
    // Windowed, the head's and the tail's detectors report in turn.
    QTest::newRow("two detectors interleaved") << u"[silencedetect @ 0x1] silence_start: 0;[silencedetect @ 0x2] "
                                                  "silence_start: 8;[silencedetect @ 0x1] silence_end: 0.75 | "
                                                  "silence_duration: 0.75 = 0.75 2"_s;
    QTest::newRow("head and tail at the tolerances")
            << u"silence_start: 0.1;silence_end: 1;silence_start: 7;silence_end: 9.9 = 0.9 3"_s;
    QTest::newRow("head and tail past them")
            << u"silence_start: 0.15;silence_end: 1;silence_start: 7;silence_end: 9.85 = 0 0"_s;
    QTest::newRow("negative start counts from 0, a tail that never ends")
            << u"silence_start: -0.02;silence_end: 0.5;silence_start: 6.5 = 0.5 3.5"_s;
    QTest::newRow("an end without a start is ignored, the second end wins")
            << u"silence_end: 0.3;silence_start: 0;silence_end: 0.4;silence_end: 0.6 = 0.6 0"_s;
    QTest::newRow("one silence within the tolerances") << u"silence_start: 0.08;silence_end: 9.92 = silent"_s;
}

void tst_SilenceAnalyzer::headTailAndWholeFile()
{
    QFETCH(QString, lines);
    QHash<QString, QList<SilenceAnalyzer::Interval>> byDetector;
    for (const QString &line : lines.section(u" = "_s, 0, 0).split(u';'))
        SilenceAnalyzer::collectLine(line, byDetector);
    QList<SilenceAnalyzer::Interval> all;
    for (const auto &detected : std::as_const(byDetector))
        all << detected;
    const SilenceAnalyzer::Result result = SilenceAnalyzer::evaluate(all, 10.0);
    QCOMPARE(result.silentThroughout ? u"silent"_s : u"%1 %2"_s.arg(result.headSec).arg(result.tailSec),
            lines.section(u" = "_s, 1));
}

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile_data()
{
    // The suffix, the generated lead, tone and tail in seconds, and the ffmpeg runs, the whole-file decode included.
    QTest::addColumn<QString>("row");
    QTest::newRow("wav, short ends") << u"wav 1.5 60 2.5 1"_s;
    for (const char *suffix : { "wav", "flac", "mp3", "ogg" })
        QTest::addRow("%s, ends past the first windows", suffix) << QString::fromLatin1(suffix) + u" 25 40 30 2"_s;
    QTest::newRow("flac, windows meet") << u"flac 2 38 1 1"_s;
    QTest::newRow("mp3, two minutes of head") << u"mp3 120 150 3 4"_s;
    QTest::newRow("flac, four minutes of tail") << u"flac 2 100 240 5"_s;
    QTest::newRow("wav, silent throughout") << u"wav 50 0 50 3"_s;
    QTest::newRow("flac, a header claiming half its samples") << u"short.flac 1 100 2 2"_s;
    // Short files and silences: decoded whole, every silence measured.
    QTest::newRow("a 0.2 s sound between silences") << u"wav 1 0.2 1 1"_s;
    QTest::newRow("a 0.2 s sound alone") << u"flac 0 0.2 0 1"_s;
    QTest::newRow("ends shorter than the minimum silence") << u"flac 0.3 2 0.1 1"_s;
}

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile()
{
    QFETCH(QString, row);
    const QStringList given = row.split(u' ');
    const QString suffix = given.at(0);
    const double lead = given.at(1).toDouble(), tone = given.at(2).toDouble(), tail = given.at(3).toDouble();
    // Names reach both tools unchanged: spaces, quotes, a leading dash, a colon, other letters.
    const QString path = m_dir.filePath(u"Ærø dir/-lead 'q' \"d\" ü:colon $x "_s
            + QString::fromUtf8(QTest::currentDataTag()) + u'.' + suffix.section(u'.', -1));
    QCOMPARE(test::makeAudio(path, { lead, tone, tail, 22050 }), QString());
    if (suffix.startsWith(u"short"_s)) {
        // STREAMINFO's total sample count: at this length all in bytes 22 to 25.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(22));
        const quint32 half = qToBigEndian(qFromBigEndian<quint32>(file.read(4).constData()) / 2);
        QVERIFY(file.seek(22) && file.write(reinterpret_cast<const char *>(&half), 4) == 4);
    }
    const MediaInfo info = probeMedia(test::systemTools(), path, {});
    QVERIFY2(info.ok && info.sampleRate == 22050 && info.channels == 1 && info.bitRate > 0, qPrintable(info.error));

    // A wrapper that counts the runs of the real ffmpeg, a byte each.
    const QString runs = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + u".runs"_s);
    ToolPaths tools = test::systemTools();
    tools.ffmpeg = test::writeFakeTool(m_dir.path(), u"counting-ffmpeg"_s,
            "echo >>'" + runs.toUtf8() + "'; exec '" + test::ffmpegExecutable().toUtf8() + "' \"$@\"");
    QList<int> progress;
    const SilenceAnalyzer::Result windowed
            = SilenceAnalyzer::analyse(tools, path, info.durationSec, Settings(), {}, [&](int p) { progress << p; });
    const qint64 passes = QFileInfo(runs).size();
    QCOMPARE(passes, given.at(4).toLongLong());
    // With no length to go by, the whole file is decoded.
    const SilenceAnalyzer::Result whole = SilenceAnalyzer::analyse(test::systemTools(), path, 0.0, Settings(), {}, {});

    const bool lossless = suffix.endsWith(u"wav"_s) || suffix.endsWith(u"flac"_s);
    QString measured; // windowed, then whole
    for (const SilenceAnalyzer::Result &r : { windowed, whole })
        measured += u"head %1 tail %2 of %3 %4; "_s.arg(r.headSec).arg(r.tailSec).arg(r.decodedSec).arg(r.error);
    // Each tail is measured back from the length it went by: the header when the decode bears it out, else the decode.
    const auto tailStart = [](const SilenceAnalyzer::Result &r, double length) {
        length = qAbs(r.decodedSec - length) > SilenceAnalyzer::LengthTolerance ? r.decodedSec : length;
        return r.tailSec > 0 ? length - r.tailSec : -1.0;
    };
    QVERIFY2(windowed.ok && whole.ok && qAbs(windowed.headSec - whole.headSec) <= (lossless ? 0.001 : 0.03)
                    && qAbs(tailStart(windowed, info.durationSec) - tailStart(whole, 0.0)) <= (lossless ? 0.001 : 0.03)
                    && qAbs(windowed.decodedSec - whole.decodedSec) <= SilenceAnalyzer::LengthTolerance
                    // and as generated: lossy encoders add a little priming and padding
                    && windowed.silentThroughout == (tone == 0.0)
                    && qAbs(windowed.headSec - (tone == 0.0 ? 0.0 : lead)) <= (lossless ? 0.01 : 0.06)
                    && qAbs(windowed.tailSec - (tone == 0.0 ? 0.0 : tail)) <= (lossless ? 0.01 : 0.06),
            qPrintable(measured));
    // A widened window or a fall-back decode starts its progress again.
    QVERIFY(!progress.isEmpty() && progress.last() <= 100
            && (passes > 1 || std::is_sorted(progress.begin(), progress.end())));
}

void tst_SilenceAnalyzer::failuresInOneLine_data()
{
    // A script stands in for the tool, for ffmpeg in rows named so; "-" is no tool at all; a file name is probed by the
    // real ffprobe ("noise..." is written with random bytes, "empty..." empty, others not at all).
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("error");
    // In plain words; ffprobe's whole text stays as the detail.
    QTest::newRow("random bytes named mp3") << u"noise.mp3"_s << u"damaged or not an audio file (no readable frames)"_s;
    QTest::newRow("empty file") << u"empty.wav"_s << u"empty file"_s;
    QTest::newRow("missing file") << u"missing.flac"_s << u"file not found"_s;
    QTest::newRow("ffprobe exits 1 without a word") << u"exit 1"_s << u"ffprobe failed"_s;
    QTest::newRow("no ffprobe") << u"-"_s << u"tool not found"_s;
    QTest::newRow("ffmpeg exits 1, nothing decoded")
            << u"echo '[mp3 @ 0x5] x: Invalid data' >&2; exit 1"_s << u"no decodable audio"_s;
    QTest::newRow("ffmpeg exits 1 after some audio")
            << u"echo out_time_us=500000; echo '[mp3 @ 0x5] x: ends' >&2; echo 'Conversion failed!' >&2; exit 1"_s
            << u"silence detection failed: x: ends"_s;
    QTest::newRow("ffmpeg killed by a signal") << u"kill -SEGV $$"_s << u"silence detection failed"_s;
    QTest::newRow("ffmpeg stopped") << u"echo 'silence_start: 0' >&2; exec sleep 20"_s << u"cancelled"_s;
}

void tst_SilenceAnalyzer::failuresInOneLine()
{
    QFETCH(QString, given);
    const bool ffmpeg = QByteArray(QTest::currentDataTag()).startsWith("ffmpeg");
    const bool real = !given.contains(u' ') && given != u"-";
    QFile file(m_dir.filePath(real ? given : u"x"_s));
    QByteArray noise;
    for (int i = 0; given.startsWith(u"noise"_s) && i < 4096; ++i)
        noise += char((i * 7919 + 13) % 251);
    if (given.startsWith(u"noise"_s) || given.startsWith(u"empty"_s))
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(noise) == noise.size() && file.flush());
    ToolPaths tools = test::systemTools();
    if (!real)
        (ffmpeg ? tools.ffmpeg : tools.ffprobe)
                = given == u"-" ? QString() : test::writeFakeTool(m_dir.path(), u"fake-tool"_s, given.toUtf8());
    // Only the children that hang are stopped; a real run is never raced
    // against the clock, however busy the machine.
    QFETCH(QString, error);
    CancelCallback stop;
    if (error == u"cancelled"_s)
        stop = [deadline = QDeadlineTimer(300)] { return deadline.hasExpired(); };
    const MediaInfo probed = ffmpeg ? MediaInfo() : probeMedia(tools, file.fileName(), stop);
    const SilenceAnalyzer::Result analysed = ffmpeg
            ? SilenceAnalyzer::analyse(tools, file.fileName(), 10.0, Settings(), stop, {})
            : SilenceAnalyzer::Result();
    QCOMPARE(probed.error + analysed.error, error);
    QVERIFY2(!real || probed.detail.contains(u" @ 0x"_s) || probed.detail.contains(given), qPrintable(probed.detail));
}

QTEST_GUILESS_MAIN(tst_SilenceAnalyzer)
#include "tst_silenceanalyzer.moc"
