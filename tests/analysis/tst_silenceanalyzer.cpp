#include "containercheck.h"
#include "envelopereader.h"
#include "fixtures.h"
#include "mediaprobe.h"
#include "settings.h"
#include "silenceanalyzer.h"

#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>

using namespace ks;
using namespace Qt::StringLiterals;

// What ffprobe and silencedetect read in real generated files, and what the two tools' failures become.
class tst_SilenceAnalyzer : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void headTailAndWholeFile_data();
    void headTailAndWholeFile();
    void soundAtTheEdges_data();
    void soundAtTheEdges();
    void windowsMeasureAsTheWholeFile_data();
    void windowsMeasureAsTheWholeFile();
    void failuresInOneLine_data();
    void failuresInOneLine();
    void onlyRegularFilesRead_data();
    void onlyRegularFilesRead();
    void containerSizesAndFrames_data();
    void containerSizesAndFrames();
};

void tst_SilenceAnalyzer::headTailAndWholeFile_data()
{
    QTest::addColumn<QString>("lines"); // the detector's on a 10 s file, split at ';', then the head and tail measured
    // Windowed, the two detectors report in turn; head and tail at the tolerances and past them; a negative start
    // counts from 0; an end without a start is ignored, a second end wins.
    QTest::newRow("two detectors") << u"[silencedetect @ 0x1] silence_start: 0;[silencedetect @ 0x2] silence_start: 8;"
                                      "[silencedetect @ 0x1] silence_end: 0.75 | silence_duration: 0.75 = 0.75 2"_s;
    QTest::newRow("at them") << u"[Parsed_ashowinfo_3 @ 0x3] n:0 pts:4410 pts_time:0.1 pos:0;silence_start: 0.1;"
                                "silence_end: 1;silence_start: 7;silence_end: 10 = 0.9 3"_s;
    QTest::newRow("past them") << u"silence_start: 0.15;silence_end: 1;silence_start: 7;silence_end: 9.85 = 0 0"_s;
    QTest::newRow("from -0.02, no end") << u"silence_start: -0.02;silence_end: 0.5;silence_start: 6.5 = 0.5 3.5"_s;
    QTest::newRow("lone ends") << u"silence_end: 0.3;silence_start: 0;silence_end: 0.4;silence_end: 0.6 = 0.6 0"_s;
    QTest::newRow("one silence within the tolerances") << u"silence_start: 0;silence_end: 10 = silent"_s;
    // Sound before or after a silence, however short, keeps it from being an end.
    QTest::newRow("sound 80 ms either side") << u"silence_start: 0.08;silence_end: 9.92 = 0 0"_s;
    QTest::newRow("sound from the first sample, 1 ms") << u"[Parsed_ashowinfo_2 @ 0x3] n:0 pts:-960 pts_time:-0.02;"
                                                          "silence_start: -0.019;silence_end: 1 = 0 0"_s;
}

void tst_SilenceAnalyzer::headTailAndWholeFile()
{
    QFETCH(QString, lines);
    QHash<QString, QList<SilenceAnalyzer::Interval>> byDetector;
    double firstSample = 0.0;
    for (const QString &line : lines.section(u" = "_s, 0, 0).split(u';')) {
        SilenceAnalyzer::collectLine(line, byDetector);
        SilenceAnalyzer::readFirstSample(line, firstSample);
    }
    QList<SilenceAnalyzer::Interval> all;
    for (const auto &detected : std::as_const(byDetector))
        all << detected;
    const SilenceAnalyzer::Result result = SilenceAnalyzer::evaluate(all, 10.0, firstSample);
    QCOMPARE(result.silentThroughout ? u"silent"_s : u"%1 %2"_s.arg(result.headSec).arg(result.tailSec),
            lines.section(u" = "_s, 1));
}

void tst_SilenceAnalyzer::soundAtTheEdges_data()
{
    QTest::addColumn<QString>("source"); // lavfi's, at 44.1 kHz (48 kHz for Opus); the first input
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("options"); // ffmpeg's, before the output
    QTest::addColumn<double>("head");
    QTest::addColumn<double>("tail");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<double>("within");
    const auto sound = [](const char *expression, double seconds, int rate = 44100) {
        return u"aevalsrc='%1':s=%2:d=%3"_s.arg(QLatin1String(expression)).arg(rate).arg(seconds);
    };
    // Only samples below the threshold (-50 dB) are silence, at either end and however short the sound.
    QTest::newRow("a 14 ms full-scale burst, then 0.13 s of pause")
            << sound("if(lt(t,0.014),0.99*sin(2*PI*1000*t),if(lt(t,0.144),0,0.5*sin(2*PI*440*t)))", 1.5) << u"flac"_s
            << QStringList() << 0.0 << 0.0 << false << 0.0;
    QTest::newRow("a 99 ms beep at the start") << sound("if(lt(t,0.099)+gt(t,0.4),0.5*sin(2*PI*440*t),0)", 2)
                                               << u"wav"_s << QStringList() << 0.0 << 0.0 << false << 0.0;
    const char *quietEnding = "if(lt(t,1),0.5*sin(2*PI*440*t),if(lt(t,1.477),0,0.01*sin(2*PI*440*t)))";
    QTest::newRow("the last 23 ms quiet but above the threshold, FLAC")
            << sound(quietEnding, 1.5) << u"flac"_s << QStringList() << 0.0 << 0.0 << false << 0.0;
    QTest::newRow("the last 23 ms quiet but above the threshold, WebM")
            << sound(quietEnding, 1.5, 48000) << u"webm"_s << QStringList{ u"-c:a"_s, u"libopus"_s } << 0.0 << 0.0
            << false << 0.0;
    QTest::newRow("0.2 s: 50 ms at -38 dB, then silence")
            << sound("if(lt(t,0.05),0.0126*sin(2*PI*440*t),0)", 0.2) << u"flac"_s << QStringList() << 0.0 << 0.15
            << false << 0.001;
    QTest::newRow("40 ms of sound") << u"sine=d=0.04"_s << u"wav"_s << QStringList() << 0.0 << 0.0 << false << 0.0;
    // A stream that starts after its container does: its head counts from its first sample.
    QTest::newRow("a silent head from a first sample 50 ms in")
            << u"sine=d=2.05"_s << u"mka"_s
            << QStringList{ u"-itsoffset"_s, u"0.05"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                   sound("if(lt(t,1),0,0.5*sin(2*PI*440*t))", 2), u"-map"_s, u"1"_s, u"-map"_s, u"0"_s, u"-c:a"_s,
                   u"flac"_s }
            << 1.0 << 0.0 << false << 0.001;
}

void tst_SilenceAnalyzer::soundAtTheEdges()
{
    QFETCH(QString, source);
    QFETCH(QString, suffix);
    QFETCH(QStringList, options);
    QFETCH(double, within);
    const QString path = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + u'.' + suffix);
    QCOMPARE(test::makeFromSource(path, source, options), QString());
    const MediaInfo info = probeMedia(test::systemTools(), path, {});
    QVERIFY2(info.ok, qPrintable(info.error));
    const SilenceAnalyzer::Result measured
            = SilenceAnalyzer::analyse(test::systemTools(), path, info.durationSec, Settings(), {}, {});
    QVERIFY2(measured.ok, qPrintable(measured.error));
    QTEST(measured.silentThroughout, "silent");
    QFETCH(double, head);
    QFETCH(double, tail);
    QVERIFY2(qAbs(measured.headSec - head) <= within && qAbs(measured.tailSec - tail) <= within,
            qPrintable(u"head %1, tail %2"_s.arg(measured.headSec).arg(measured.tailSec)));
}

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile_data()
{
    // Suffix; generated lead, tone and tail in seconds; ffmpeg runs a wrapper counts, the whole decode included.
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

    ToolPaths tools = test::systemTools();
    tools.ffmpeg = test::writeFakeTool(m_dir.path(), QString::fromUtf8(QTest::currentDataTag()) + u"-ffmpeg"_s,
            "echo >>\"$0.runs\"; exec '" + test::ffmpegExecutable().toUtf8() + "' \"$@\"");
    QList<int> progress;
    const SilenceAnalyzer::Result windowed
            = SilenceAnalyzer::analyse(tools, path, info.durationSec, Settings(), {}, [&](int p) { progress << p; });
    const qint64 passes = QFileInfo(tools.ffmpeg + u".runs"_s).size();
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
    QTest::newRow("ffmpeg, no audio") << u"echo '[mp3 @ 0x5] x: Invalid data' >&2; exit 1"_s << u"no decodable audio"_s;
    QTest::newRow("ffmpeg exits 1 after some audio")
            << u"echo out_time_us=500000; echo '[mp3 @ 0x5] x: ends' >&2; echo 'Conversion failed!' >&2; exit 1"_s
            << u"silence detection failed: x: ends"_s;
    QTest::newRow("ffmpeg killed by a signal") << u"kill -SEGV $$"_s << u"silence detection failed"_s;
    QTest::newRow("ffmpeg stopped") << u"echo 'silence_start: 0' >&2; : >\"$0.ran\"; exec sleep 60"_s << u"cancelled"_s;
    // Hanging after a line, as on a stuck mount: stopped by the runner.
    for (const char *tool : { "ffprobe", "ffmpeg" })
        QTest::addRow("%s stuck", tool) << u"echo '[silencedetect @ 0x1] silence_start: 0' >&2; exec sleep 60"_s
                                        << QString::fromLatin1(tool) + u" made no progress for 0.3 s - stopped"_s;
}

void tst_SilenceAnalyzer::failuresInOneLine()
{
    QFETCH(QString, given);
    const bool ffmpeg = QByteArray(QTest::currentDataTag()).startsWith("ffmpeg"),
               real = !given.contains(u' ') && given != u"-";
    QFile file(m_dir.filePath(real ? given : u"x.wav"_s));
    QByteArray noise;
    for (int i = 0; given.startsWith(u"noise"_s) && i < 4096; ++i)
        noise += char((i * 7919 + 13) % 251);
    if (given.startsWith(u"noise"_s) || given.startsWith(u"empty"_s))
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(noise) == noise.size() && file.flush());
    ToolPaths tools = test::systemTools();
    QString &fake = ffmpeg ? tools.ffmpeg : tools.ffprobe;
    // Named as the tool it stands in for, in a folder of its own.
    const QString dir = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()));
    if (!real && QDir().mkpath(dir))
        fake = given == u"-"
                ? QString()
                : test::writeFakeTool(dir, QFileInfo(fake).fileName(), "echo >>\"$0.runs\"; " + given.toUtf8());
    QFETCH(QString, error);
    const bool stuck = error.contains(u"no progress"_s);
    if (stuck)
        QCOMPARE(test::makeAudio(file.fileName(), { 0.5, 1.0, 0.5 }), QString());
    setStallLimit(stuck ? 300 : DefaultStallLimitMs);
    const auto reset = qScopeGuard([] { setStallLimit(DefaultStallLimitMs); });
    // Only the child that hangs is stopped, once it has shown it runs.
    const CancelCallback stop = [&] { return error == u"cancelled" && QFile::exists(fake + u".ran"_s); };
    const MediaInfo probed = ffmpeg ? MediaInfo() : probeMedia(tools, file.fileName(), stop);
    const QString analysed = ffmpeg
            ? SilenceAnalyzer::analyse(tools, file.fileName(), stuck ? 100.0 : 10.0, Settings(), stop, {}).error
            : QString();
    QCOMPARE(probed.error + analysed, error);
    QVERIFY2(!real || probed.detail.contains(u" @ 0x"_s) || probed.detail.contains(given), qPrintable(probed.detail));
    // Run once: long enough by its header to be measured in windows, yet no decode of the whole file follows.
    if (stuck)
        QCOMPARE(QFileInfo(fake + u".runs"_s).size(), 1);
    if (!stuck || !ffmpeg)
        return;
    EnvelopeReader reader;
    QSignalSpy outlined(&reader, &EnvelopeReader::finished);
    reader.start(tools.ffmpeg, file.fileName(), 0.0, 1.0);
    QVERIFY(outlined.wait(60000));
    QCOMPARE(outlined.first().at(1).toString(), error);
}

void tst_SilenceAnalyzer::onlyRegularFilesRead_data()
{
    // What is named: a FIFO no one writes, a device, a link to one, a folder; "" a real file, for contrast.
    QTest::addColumn<QString>("given");
    QTest::newRow("FIFO") << u"fifo"_s;
    QTest::newRow("device named directly") << u"/dev/zero"_s;
    QTest::newRow("link to a device") << u"link"_s;
    QTest::newRow("folder") << u"folder"_s;
    QTest::newRow("a file") << QString();
}

void tst_SilenceAnalyzer::onlyRegularFilesRead()
{
    QFETCH(QString, given);
    const QString path = given.startsWith(u'/') ? given : m_dir.filePath(given + u"-named.wav"_s);
    QVERIFY(given == u"fifo"           ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0
                    : given == u"link" ? QFile::link(u"/dev/zero"_s, path)
                    : given == u"folder"
                    ? QDir().mkpath(path)
                    : given.startsWith(u'/') || test::makeAudio(path, { 0.5, 1.0, 0.5 }).isEmpty());
    // The real tools behind wrappers that count their runs; one that starts on a refused file is stopped at once.
    const QString runs = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + u".runs"_s);
    ToolPaths tools = test::systemTools();
    for (QString *tool : { &tools.ffmpeg, &tools.ffprobe })
        *tool = test::writeFakeTool(m_dir.path(), QFileInfo(*tool).fileName() + u"-counted"_s,
                "echo >>'" + runs.toUtf8() + "'; exec '" + tool->toUtf8() + "' \"$@\"");
    const auto stop = [&] { return !given.isEmpty() && QFile::exists(runs); };
    const MediaInfo probed = probeMedia(tools, path, stop);
    const SilenceAnalyzer::Result measured = SilenceAnalyzer::analyse(tools, path, 2.0, Settings(), stop, {});
    EnvelopeReader reader;
    QSignalSpy outlined(&reader, &EnvelopeReader::finished);
    reader.start(tools.ffmpeg, path, 0.0, 1.0);
    QVERIFY(outlined.size() == 1 || outlined.wait(60000));
    QCOMPARE((QStringList{ probed.error, measured.error, outlined.first().at(1).toString() }),
            QStringList(3, given.isEmpty() ? QString() : u"not a regular file"_s));
    // A refused file starts no child at all: the probe, the measurement and the outline each ran one otherwise.
    QCOMPARE(QFileInfo(runs).size(), given.isEmpty() ? 3 : 0);
}

void tst_SilenceAnalyzer::containerSizesAndFrames_data()
{
    QTest::addColumn<QStringList>("written"); // ffmpeg's muxer flags; the suffix as the name begins
    QTest::addColumn<QString>("damage");      // done to the file before it is checked
    QTest::addColumn<QString>("problem");     // as the check of a written file words it
    QTest::addColumn<bool>("taggedFirst");    // MP3: the first frame carries Xing/Info
    QTest::addColumn<int>("taggedLater");
    const QStringList rf64{ u"-rf64"_s, u"always"_s }, noId3{ u"-id3v2_version"_s, u"0"_s };
    const QString header = u"written WAV's header does not fit the file (%1)"_s,
                  unfit = header.arg(u"chunk sizes do not add up to the file"_s);
    const QString misplaced = u"written MP3 has its gapless header in the wrong place"_s;
    const auto wav = [](const char *tag, const QStringList &written, const QString &damage, const QString &problem) {
        QTest::newRow(tag) << written << damage << problem << false << 0;
    };
    wav("RIFF as written", {}, {}, {});
    wav("RF64 as written, sizes in ds64", rf64, {}, {});
    wav("RF64 with a data size short of the audio", rf64, u"data short"_s, unfit);
    wav("RIFF size unset", {}, u"RIFF unset"_s, header.arg(u"RIFF size unset (0xFFFFFFFF)"_s));
    wav("data size unset", {}, u"data unset"_s, header.arg(u"data size unset (0xFFFFFFFF)"_s));
    wav("RIFF size short of the file", {}, u"RIFF short"_s, header.arg(u"RIFF size short of the data on disk"_s));
    wav("data size short of the audio", {}, u"data short"_s, unfit);
    QTest::newRow("MP3 as written") << noId3 << QString() << QString() << true << 0;
    QTest::newRow("MP3 with a tag as written") << QStringList() << QString() << QString() << true << 0;
    QTest::newRow("MP3, its tag frame appended") << noId3 << u"appended"_s << misplaced << true << 1;
    // Caught against the source, which had one.
    QTest::newRow("MP3, its tag frame dropped") << noId3 << u"dropped"_s << QString() << false << 0;
    QTest::newRow("MP3, its tag frame moved to the end") << noId3 << u"moved"_s << misplaced << false << 1;
}

void tst_SilenceAnalyzer::containerSizesAndFrames()
{
    const QString suffix = QByteArray(QTest::currentDataTag()).startsWith("MP3") ? u"mp3"_s : u"wav"_s;
    QFETCH(QStringList, written);
    QFETCH(QString, damage);
    QFETCH(bool, taggedFirst);
    const QString path = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + u'.' + suffix);
    // A second of mono 16-bit sound at 44.1 kHz between silences: 90,000 bytes of WAV data.
    QCOMPARE(test::makeAudio(path, { 0.01, 1.0, 0.01, 45000 }, written), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // RF64 keeps the data's true size in ds64.
    const qsizetype at = damage.startsWith(u"RIFF"_s) ? 4 : written.isEmpty() ? bytes.indexOf("data") + 4 : 28;
    const quint64 size
            = qFromLittleEndian<quint64>((bytes.mid(at, at == 28 ? 8 : 4) + QByteArray(4, '\0')).constData());
    const quint64 changed = qToLittleEndian<quint64>(damage.endsWith(u"unset"_s) ? 0xFFFFFFFF : size - 1000);
    if (damage.endsWith(u"unset"_s) || damage.endsWith(u"short"_s)) // a 32-bit size: the low half, little-endian
        bytes.replace(at, at == 28 ? 8 : 4, reinterpret_cast<const char *>(&changed), at == 28 ? 8 : 4);
    // MP3 without ID3: the first frame at 0, MPEG-1 layer III at 128 kb/s and 48 kHz, padded as its header says.
    const qsizetype frame = 144 * 128000 / 48000 + ((bytes.at(2) >> 1) & 1);
    if (damage == u"appended" || damage == u"moved")
        bytes += bytes.left(frame);
    if (damage == u"dropped" || damage == u"moved")
        bytes.remove(0, frame);
    QVERIFY(file.resize(0) && file.write(bytes) == bytes.size() && file.flush());
    const MediaInfo probed = probeMedia(test::systemTools(), path, {});
    QVERIFY2(probed.ok, qPrintable(probed.error));
    QTEST(ContainerCheck::writtenProblem(path, probed.formatName), "problem");
    QCOMPARE(probed.gaplessHeader, taggedFirst);
    const ContainerCheck::Mp3Layout layout = ContainerCheck::mp3Layout(path, true);
    QCOMPARE(layout.framed, suffix == u"mp3");
    QCOMPARE(layout.taggedFirst, taggedFirst);
    QTEST(layout.taggedLater, "taggedLater");
}

QTEST_GUILESS_MAIN(tst_SilenceAnalyzer)
#include "tst_silenceanalyzer.moc"
