#include "containercheck.h"
#include "envelopereader.h"
#include "fixtures.h"
#include "mediaprobe.h"
#include "mp3probe.h"
#include "mp3stream.h"
#include "settings.h"
#include "silenceanalyzer.h"

#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>

using namespace ks;
using namespace Qt::StringLiterals;

enum class Tool { None, Ffprobe, Ffmpeg };
// What a path names.
enum class Source { Audio, Noise, Empty, Missing, Fifo, Device, LinkToDevice, Folder, XheAac, NoTimestamps };
enum class Damage {
    None,
    RiffSizeUnset,
    RiffSizeShort,
    DataSizeUnset,
    DataSizeShort,
    TagFrameCopiedToEnd,
    TagFrameMovedToEnd,
    TagFrameDropped
};

// What ffprobe and silencedetect read in real generated files, and what the two tools' failures become.
class tst_SilenceAnalyzer : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    // A folder of this row's own, for a script named as the tool it stands in for.
    QString fakeFolder() const
    {
        const QString folder = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()));
        return QDir().mkpath(folder) ? folder : QString();
    }

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
    void mp3BytesReadAsFfprobe_data();
    void mp3BytesReadAsFfprobe();
    void mp3TailReadAsByteRange_data();
    void mp3TailReadAsByteRange();
};

void tst_SilenceAnalyzer::headTailAndWholeFile_data()
{
    QTest::addColumn<QStringList>("lines"); // the detector's, on a 10 s file
    QTest::addColumn<double>("head");
    QTest::addColumn<double>("tail");
    QTest::addColumn<bool>("silent"); // one silence end to end
    const auto row = [](const char *tag, std::initializer_list<const char *> said, double head, double tail,
                             bool silent = false) {
        QStringList lines;
        for (const char *line : said)
            lines << QString::fromLatin1(line);
        QTest::newRow(tag) << lines << head << tail << silent;
    };
    // Windowed, the two detectors report in turn; head and tail at the tolerances and past them; a negative start
    // counts from 0; an end without a start is ignored, a second end wins.
    row("two detectors",
            { "[silencedetect @ 0x1] silence_start: 0", "[silencedetect @ 0x2] silence_start: 8",
                    "[silencedetect @ 0x1] silence_end: 0.75 | silence_duration: 0.75" },
            0.75, 2.0);
    row("at them",
            { "[Parsed_ashowinfo_3 @ 0x3] n:0 pts:4410 pts_time:0.1 pos:0", "silence_start: 0.1", "silence_end: 1",
                    "silence_start: 7", "silence_end: 10" },
            0.9, 3.0);
    row("past them", { "silence_start: 0.15", "silence_end: 1", "silence_start: 7", "silence_end: 9.85" }, 0, 0);
    row("from -0.02, no end", { "silence_start: -0.02", "silence_end: 0.5", "silence_start: 6.5" }, 0.5, 3.5);
    row("lone ends", { "silence_end: 0.3", "silence_start: 0", "silence_end: 0.4", "silence_end: 0.6" }, 0.6, 0);
    row("one silence within the tolerances", { "silence_start: 0", "silence_end: 10" }, 0, 0, true);
    // Sound before or after a silence, however short, keeps it from being an end.
    row("sound 80 ms either side", { "silence_start: 0.08", "silence_end: 9.92" }, 0, 0);
    row("sound from the first sample, 1 ms",
            { "[Parsed_ashowinfo_2 @ 0x3] n:0 pts:-960 pts_time:-0.02", "silence_start: -0.019", "silence_end: 1" }, 0,
            0);
}

void tst_SilenceAnalyzer::headTailAndWholeFile()
{
    QFETCH(QStringList, lines);
    QHash<QString, QList<SilenceAnalyzer::Interval>> byDetector;
    double firstSample = 0.0;
    for (const QString &line : std::as_const(lines)) {
        SilenceAnalyzer::collectLine(line, byDetector);
        SilenceAnalyzer::readFirstSample(line, firstSample);
    }
    QList<SilenceAnalyzer::Interval> all;
    for (const auto &detected : std::as_const(byDetector))
        all << detected;
    const SilenceAnalyzer::Result result = SilenceAnalyzer::evaluate(all, 10.0, firstSample);
    QTEST(result.silentThroughout, "silent");
    QTEST(result.headSec, "head");
    QTEST(result.tailSec, "tail");
}

void tst_SilenceAnalyzer::soundAtTheEdges_data()
{
    QTest::addColumn<QString>("source"); // lavfi's, at 44.1 kHz (48 kHz for Opus); the first input
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("options"); // ffmpeg's, before the output
    QTest::addColumn<double>("head");
    QTest::addColumn<double>("tail");
    QTest::addColumn<double>("within");
    const auto sound = [](const char *expression, double seconds, int rate = 44100) {
        return u"aevalsrc='%1':s=%2:d=%3"_s.arg(QLatin1String(expression)).arg(rate).arg(seconds);
    };
    const auto row = [](const char *tag, const QString &source, const char *suffix, const QStringList &options = {},
                             double head = 0.0, double tail = 0.0, double within = 0.0) {
        QTest::newRow(tag) << source << QString::fromLatin1(suffix) << options << head << tail << within;
    };
    // Only samples below the threshold (-50 dB) are silence, at either end and however short the sound.
    row("a 14 ms full-scale burst, then 0.13 s of pause",
            sound("if(lt(t,0.014),0.99*sin(2*PI*1000*t),if(lt(t,0.144),0,0.5*sin(2*PI*440*t)))", 1.5), "flac");
    row("a 99 ms beep at the start", sound("if(lt(t,0.099)+gt(t,0.4),0.5*sin(2*PI*440*t),0)", 2), "wav");
    const char *quietEnding = "if(lt(t,1),0.5*sin(2*PI*440*t),if(lt(t,1.477),0,0.01*sin(2*PI*440*t)))";
    row("the last 23 ms quiet but above the threshold, FLAC", sound(quietEnding, 1.5), "flac");
    row("the last 23 ms quiet but above the threshold, WebM", sound(quietEnding, 1.5, 48000), "webm",
            { u"-c:a"_s, u"libopus"_s });
    row("0.2 s: 50 ms at -38 dB, then silence", sound("if(lt(t,0.05),0.0126*sin(2*PI*440*t),0)", 0.2), "flac", {}, 0.0,
            0.15, 0.001);
    row("40 ms of sound", u"sine=d=0.04"_s, "wav");
    // The tail runs to where the decode ends, never to a header that counts the encoder's delay and padding in.
    const char *toneThenPause = "if(lt(t,1),0.5*sin(2*PI*440*t),0)";
    row("an MP3's tail, to its decoded end", sound(toneThenPause, 1.3), "mp3", {}, 0.0, 0.3, 0.003);
    row("an MP3's tail at 8 kHz, to its decoded end", sound(toneThenPause, 1.3, 8000), "mp3", { u"-b:a"_s, u"32k"_s },
            0.0, 0.3, 0.003);
    // A stream that starts after its container does: its head counts from its first sample.
    row("a silent head from a first sample 50 ms in", u"sine=d=2.05"_s, "mka",
            { u"-itsoffset"_s, u"0.05"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, sound("if(lt(t,1),0,0.5*sin(2*PI*440*t))", 2),
                    u"-map"_s, u"1"_s, u"-map"_s, u"0"_s, u"-c:a"_s, u"flac"_s },
            1.0, 0.0, 0.001);
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
    QVERIFY2(measured.ok && !measured.silentThroughout, qPrintable(measured.error));
    QFETCH(double, head);
    QFETCH(double, tail);
    QVERIFY2(qAbs(measured.headSec - head) <= within && qAbs(measured.tailSec - tail) <= within,
            qPrintable(u"head %1, tail %2"_s.arg(measured.headSec).arg(measured.tailSec)));
}

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<test::ToneShape>("tone"); // at 22.05 kHz, mono
    QTest::addColumn<bool>("halfLength");      // the FLAC header claims half the samples there are
    QTest::addColumn<int>("passes");           // ffmpeg runs, the whole decode included
    const auto tone = [](double lead, double sound, double tail) {
        return test::ToneShape{ lead, sound, tail, 22050 };
    };
    const auto row = [](const char *tag, const char *suffix, const test::ToneShape &tone, int passes,
                             bool halfLength = false) {
        QTest::newRow(tag) << QString::fromLatin1(suffix) << tone << halfLength << passes;
    };
    row("wav, short ends", "wav", tone(1.5, 60, 2.5), 1);
    for (const char *suffix : { "wav", "flac", "mp3", "ogg" })
        QTest::addRow("%s, ends past the first windows", suffix)
                << QString::fromLatin1(suffix) << tone(25, 40, 30) << false << 2;
    row("flac, windows meet", "flac", tone(2, 38, 1), 1);
    row("mp3, two minutes of head", "mp3", tone(120, 150, 3), 4);
    row("flac, four minutes of tail", "flac", tone(2, 100, 240), 5);
    row("wav, silent throughout", "wav", tone(50, 0, 50), 3);
    row("flac, a header claiming half its samples", "flac", tone(1, 100, 2), 2, true);
    // Short files and silences: decoded whole, every silence measured.
    row("a 0.2 s sound between silences", "wav", tone(1, 0.2, 1), 1);
    row("ends shorter than the minimum silence", "flac", tone(0.3, 2, 0.1), 1);
}

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile()
{
    QFETCH(QString, suffix);
    QFETCH(test::ToneShape, tone);
    // Names reach both tools unchanged: spaces, quotes, a leading dash, a colon, other letters.
    const QString path = m_dir.filePath(
            u"Ærø dir/-lead 'q' \"d\" ü:colon $x "_s + QString::fromUtf8(QTest::currentDataTag()) + u'.' + suffix);
    QCOMPARE(test::makeAudio(path, tone), QString());
    QFETCH(bool, halfLength);
    if (halfLength) {
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
    const int passes = int(QFileInfo(tools.ffmpeg + u".runs"_s).size());
    QTEST(passes, "passes");
    // With no length to go by, the whole file is decoded.
    const SilenceAnalyzer::Result whole = SilenceAnalyzer::analyse(test::systemTools(), path, 0.0, Settings(), {}, {});
    QVERIFY2(windowed.ok && whole.ok, qPrintable(windowed.error + u" / "_s + whole.error));

    const bool lossless = suffix == u"wav" || suffix == u"flac";
    // Each tail is measured back from where the decode ends, whatever the header says.
    const auto tailStart
            = [](const SilenceAnalyzer::Result &r) { return r.tailSec > 0 ? r.decodedSec - r.tailSec : -1.0; };
    COMPARE_NEAR(windowed.headSec, whole.headSec, lossless ? 0.001 : 0.03);
    COMPARE_NEAR(tailStart(windowed), tailStart(whole), lossless ? 0.001 : 0.03);
    COMPARE_NEAR(windowed.decodedSec, whole.decodedSec, SilenceAnalyzer::LengthTolerance);
    // And as generated: lossy encoders add a little priming and padding.
    const bool silent = tone.toneSec == 0.0;
    QCOMPARE(windowed.silentThroughout, silent);
    COMPARE_NEAR(windowed.headSec, silent ? 0.0 : tone.leadSec, lossless ? 0.01 : 0.06);
    COMPARE_NEAR(windowed.tailSec, silent ? 0.0 : tone.tailSec, lossless ? 0.01 : 0.06);
    // A widened window or a fall-back decode starts its progress again.
    QVERIFY(!progress.isEmpty() && progress.last() <= 100);
    QVERIFY(passes > 1 || std::is_sorted(progress.begin(), progress.end()));
}

void tst_SilenceAnalyzer::failuresInOneLine_data()
{
    QTest::addColumn<Tool>("tool");         // the one that runs, or stands in for it
    QTest::addColumn<Source>("file");       // what is at the path it is handed
    QTest::addColumn<QByteArray>("script"); // in place of the tool; empty: the real one
    QTest::addColumn<int>("stallMs");       // the runner's limit; 0: its default
    QTest::addColumn<QString>("error");
    const auto probe = Tool::Ffprobe, measure = Tool::Ffmpeg;
    const auto row = [](const char *tag, Tool tool, Source file, const QByteArray &script, const QString &error,
                             int stallMs = 0) { QTest::newRow(tag) << tool << file << script << stallMs << error; };
    // In plain words; ffprobe's whole text stays as the detail.
    row("random bytes named mp3", probe, Source::Noise, {}, u"damaged or not an audio file (no readable frames)"_s);
    row("empty file", probe, Source::Empty, {}, u"empty file"_s);
    row("missing file", probe, Source::Missing, {}, u"file not found"_s);
    row("no ffprobe", Tool::None, Source::Missing, {}, u"tool not found"_s);
    row("ffprobe exits 1 without a word", probe, Source::Missing, "exit 1", u"ffprobe failed"_s);
    row("Matroska whose packets all carry one timestamp", probe, Source::NoTimestamps, {},
            u"damaged audio (its packets carry no timestamps)"_s);
    row("an AAC profile this ffmpeg cannot decode", probe, Source::XheAac, {}, u"unsupported AAC profile (xHE-AAC)"_s);
    row("ffmpeg, no audio", measure, Source::Missing, "echo '[mp3 @ 0x5] x: Invalid data' >&2; exit 1",
            u"no decodable audio"_s);
    row("ffmpeg exits 1 after some audio", measure, Source::Missing,
            "echo out_time_us=500000; echo '[mp3 @ 0x5] x: ends' >&2; echo 'Conversion failed!' >&2; exit 1",
            u"silence detection failed: x: ends"_s);
    row("ffmpeg killed by a signal", measure, Source::Missing, "kill -SEGV $$", u"silence detection failed"_s);
    // Stopped once it has shown it runs.
    row("ffmpeg stopped", measure, Source::Missing, "echo 'silence_start: 0' >&2; : >\"$0.ran\"; exec sleep 60",
            u"cancelled"_s);
    // Hanging after a line, as on a stuck mount: stopped by the runner once silent past its limit (the child sleeps far
    // past it whatever the machine's speed).
    const QByteArray stuck = "echo '[silencedetect @ 0x1] silence_start: 0' >&2; exec sleep 60";
    row("ffprobe stuck", probe, Source::Audio, stuck, u"ffprobe made no progress for 0.3 s - stopped"_s, 300);
    row("ffmpeg stuck", measure, Source::Audio, stuck, u"ffmpeg made no progress for 0.3 s - stopped"_s, 300);
}

void tst_SilenceAnalyzer::failuresInOneLine()
{
    QFETCH(Tool, tool);
    QFETCH(Source, file);
    QFETCH(QByteArray, script);
    QFETCH(int, stallMs);
    QFETCH(QString, error);
    const QString path = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + u".mp3"_s);
    QFile made(path);
    QByteArray noise;
    for (int i = 0; file == Source::Noise && i < 4096; ++i)
        noise += char((i * 7919 + 13) % 251);
    const QMap<Source, QStringList> generated{ { Source::Audio, {} },
        { Source::XheAac, { u"-c:a"_s, u"aac"_s, u"-f"_s, u"mp4"_s } },
        { Source::NoTimestamps, { u"-c:a"_s, u"alac"_s, u"-bsf:a"_s, u"setts=ts=0"_s, u"-f"_s, u"matroska"_s } } };
    if (generated.contains(file))
        QCOMPARE(test::makeAudio(path, { 0.5, 1.0, 0.5 }, generated[file]), QString());
    else
        QVERIFY(file == Source::Missing || (made.open(QIODevice::WriteOnly) && made.write(noise) == noise.size()));
    if (file == Source::XheAac) { // its AAC-LC decoder config (with its explicit no-SBR end) made USAC's, as long
        QVERIFY(made.open(QIODevice::ReadWrite));
        const QByteArray usac
                = made.readAll().replace(QByteArray::fromHex("120856e500"), QByteArray::fromHex("f948200000"));
        QVERIFY(made.seek(0) && made.write(usac) == usac.size());
    }
    made.close();
    ToolPaths tools = test::systemTools();
    QString &used = tool == Tool::Ffmpeg ? tools.ffmpeg : tools.ffprobe;
    if (tool == Tool::None)
        used.clear();
    else if (!script.isEmpty()) // named as the tool it stands in for, in a folder of its own; each run counted
        used = test::writeFakeTool(fakeFolder(), QFileInfo(used).fileName(), "echo >>\"$0.runs\"; " + script);
    setStallLimit(stallMs ? stallMs : DefaultStallLimitMs);
    const auto reset = qScopeGuard([] { setStallLimit(DefaultStallLimitMs); });
    const CancelCallback stop = [&] { return QFile::exists(used + u".ran"_s); };
    // At 100 s by its header the file is measured in windows.
    const QString failed = tool == Tool::Ffmpeg
            ? SilenceAnalyzer::analyse(tools, path, 100.0, Settings(), stop, {}).error
            : probeMedia(tools, path, stop).error;
    QCOMPARE(failed, error);
    if (stallMs) // a stall is final: no whole decode follows it
        QCOMPARE(QFileInfo(used + u".runs"_s).size(), 1);
    if (tool == Tool::Ffprobe && script.isEmpty()) {
        const QString detail = probeMedia(tools, path, {}).detail;
        QVERIFY2(detail.contains(u" @ 0x"_s) || detail.contains(path), qPrintable(detail));
    }
    if (tool != Tool::Ffmpeg || stallMs == 0)
        return;
    EnvelopeReader reader; // the edge preview's read, stopped alike
    QSignalSpy outlined(&reader, &EnvelopeReader::finished);
    reader.start(tools.ffmpeg, path, 0.0, 1.0);
    QVERIFY(outlined.wait(60000));
    QCOMPARE(outlined.first().at(1).toString(), error);
}

void tst_SilenceAnalyzer::onlyRegularFilesRead_data()
{
    QTest::addColumn<Source>("named"); // Audio, for contrast
    QTest::newRow("FIFO") << Source::Fifo;
    QTest::newRow("device named directly") << Source::Device;
    QTest::newRow("link to a device") << Source::LinkToDevice;
    QTest::newRow("folder") << Source::Folder;
    QTest::newRow("a file") << Source::Audio;
}

void tst_SilenceAnalyzer::onlyRegularFilesRead()
{
    QFETCH(Source, named);
    const QString path = named == Source::Device
            ? u"/dev/zero"_s
            : m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + u"-named.wav"_s);
    QVERIFY(named == Source::Fifo                   ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0
                    : named == Source::LinkToDevice ? QFile::link(u"/dev/zero"_s, path)
                    : named == Source::Folder
                    ? QDir().mkpath(path)
                    : named == Source::Device || test::makeAudio(path, { 0.5, 1.0, 0.5 }).isEmpty());
    // The real tools behind wrappers that count their runs; one that starts on a refused file is stopped at once.
    const QString runs = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + u".runs"_s);
    ToolPaths tools = test::systemTools();
    for (QString *tool : { &tools.ffmpeg, &tools.ffprobe })
        *tool = test::writeFakeTool(m_dir.path(), QFileInfo(*tool).fileName() + u"-counted"_s,
                "echo >>'" + runs.toUtf8() + "'; exec '" + tool->toUtf8() + "' \"$@\"");
    const bool refused = named != Source::Audio;
    const auto stop = [&] { return refused && QFile::exists(runs); };
    const MediaInfo probed = probeMedia(tools, path, stop);
    const SilenceAnalyzer::Result measured = SilenceAnalyzer::analyse(tools, path, 2.0, Settings(), stop, {});
    EnvelopeReader reader;
    QSignalSpy outlined(&reader, &EnvelopeReader::finished);
    reader.start(tools.ffmpeg, path, 0.0, 1.0);
    QVERIFY(outlined.size() == 1 || outlined.wait(60000));
    const QString error = refused ? u"not a regular file"_s : QString();
    QCOMPARE(probed.error, error);
    QCOMPARE(measured.error, error);
    QCOMPARE(outlined.first().at(1).toString(), error);
    // A refused file starts no child at all: the probe, the measurement and the outline each ran one otherwise.
    QCOMPARE(QFileInfo(runs).size(), refused ? 0 : 3);
}

void tst_SilenceAnalyzer::containerSizesAndFrames_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("written"); // ffmpeg's muxer flags
    QTest::addColumn<Damage>("damage");       // done to the file before it is checked
    QTest::addColumn<QString>("problem");     // as the check of a written file words it
    QTest::addColumn<bool>("taggedFirst");    // MP3: the first frame carries Xing/Info
    QTest::addColumn<int>("taggedLater");
    const QStringList rf64{ u"-rf64"_s, u"always"_s }, noId3{ u"-id3v2_version"_s, u"0"_s };
    const QString header = u"written WAV's header does not fit the file (%1)"_s,
                  unfit = header.arg(u"chunk sizes do not add up to the file"_s);
    const QString misplaced = u"written MP3 has its gapless header in the wrong place"_s;
    const auto row = [](const char *tag, const char *suffix, const QStringList &written, Damage damage,
                             const QString &problem, bool taggedFirst = false, int taggedLater = 0) {
        QTest::newRow(tag) << QString::fromLatin1(suffix) << written << damage << problem << taggedFirst << taggedLater;
    };
    row("RIFF as written", "wav", {}, Damage::None, {});
    row("RF64 as written, sizes in ds64", "wav", rf64, Damage::None, {});
    row("RF64 with a data size short of the audio", "wav", rf64, Damage::DataSizeShort, unfit);
    row("RIFF size unset", "wav", {}, Damage::RiffSizeUnset, header.arg(u"RIFF size unset (0xFFFFFFFF)"_s));
    row("data size unset", "wav", {}, Damage::DataSizeUnset, header.arg(u"data size unset (0xFFFFFFFF)"_s));
    row("RIFF size short of the file", "wav", {}, Damage::RiffSizeShort,
            header.arg(u"RIFF size short of the data on disk"_s));
    row("data size short of the audio", "wav", {}, Damage::DataSizeShort, unfit);
    row("MP3 as written", "mp3", noId3, Damage::None, {}, true);
    row("MP3 with a tag as written", "mp3", {}, Damage::None, {}, true);
    row("MP3, its tag frame appended", "mp3", noId3, Damage::TagFrameCopiedToEnd, misplaced, true, 1);
    // Caught against the source, which had one.
    row("MP3, its tag frame dropped", "mp3", noId3, Damage::TagFrameDropped, {});
    row("MP3, its tag frame moved to the end", "mp3", noId3, Damage::TagFrameMovedToEnd, misplaced, false, 1);
}

void tst_SilenceAnalyzer::containerSizesAndFrames()
{
    QFETCH(QString, suffix);
    QFETCH(QStringList, written);
    QFETCH(Damage, damage);
    QFETCH(bool, taggedFirst);
    const QString path = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + u'.' + suffix);
    // A second of mono 16-bit sound at 44.1 kHz between silences: 90,000 bytes of WAV data.
    QCOMPARE(test::makeAudio(path, { 0.01, 1.0, 0.01, 45000 }, written), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // A 32-bit size, little-endian, at 4 (RIFF) or after "data"; RF64 keeps the data's true size in ds64, at 28.
    const bool riff = damage == Damage::RiffSizeUnset || damage == Damage::RiffSizeShort;
    const bool unset = damage == Damage::RiffSizeUnset || damage == Damage::DataSizeUnset;
    const qsizetype at = riff ? 4 : written.isEmpty() ? bytes.indexOf("data") + 4 : 28, width = at == 28 ? 8 : 4;
    const quint64 size = qFromLittleEndian<quint64>((bytes.mid(at, width) + QByteArray(4, '\0')).constData());
    const quint64 changed = qToLittleEndian<quint64>(unset ? 0xFFFFFFFF : size - 1000);
    if (unset || damage == Damage::RiffSizeShort || damage == Damage::DataSizeShort)
        bytes.replace(at, width, reinterpret_cast<const char *>(&changed), width);
    // MP3 without ID3: the first frame at 0, MPEG-1 layer III at 128 kb/s and 48 kHz, padded as its header says.
    const qsizetype frame = 144 * 128000 / 48000 + ((bytes.at(2) >> 1) & 1);
    if (damage == Damage::TagFrameCopiedToEnd || damage == Damage::TagFrameMovedToEnd)
        bytes += bytes.left(frame);
    if (damage == Damage::TagFrameDropped || damage == Damage::TagFrameMovedToEnd)
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

void tst_SilenceAnalyzer::mp3BytesReadAsFfprobe_data()
{
    QTest::addColumn<QStringList>("options"); // ffmpeg's, before the output
    QTest::addColumn<bool>("cover");          // a PNG cover as a second input
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("fromBytes"); // the bytes alone suffice
    const QStringList cover{ u"-map"_s, u"0:a"_s, u"-map"_s, u"1:v"_s, u"-frames:v"_s, u"1"_s, u"-c:v"_s, u"png"_s,
        u"-disposition:v"_s, u"attached_pic"_s };
    QTest::newRow("ID3v2 with a cover") << cover
                    + QStringList{ u"-metadata"_s, u"title=Song"_s, u"-metadata"_s, u"artist=Someone"_s, u"-metadata"_s,
                          u"comment=Said"_s }
                                        << true << 44100 << 2 << true;
    QTest::newRow("VBR with a Xing header") << QStringList{ u"-q:a"_s, u"4"_s } << false << 44100 << 2 << true;
    QTest::newRow("mono 22.05 kHz") << QStringList{ u"-b:a"_s, u"32k"_s } << false << 22050 << 1 << true;
    QTest::newRow("no Xing header, ID3v1 only") << QStringList{ u"-write_xing"_s, u"0"_s, u"-id3v2_version"_s, u"0"_s,
        u"-write_id3v1"_s, u"1"_s, u"-metadata"_s, u"title=Old"_s, u"-metadata"_s, u"track=3"_s }
                                                << false << 48000 << 2 << true;
    // ID3v2.3 keeps a year that ffmpeg merges with the date: left to ffprobe.
    QTest::newRow("ID3v2.3 year") << QStringList{ u"-id3v2_version"_s, u"3"_s, u"-metadata"_s, u"date=2020"_s } << false
                                  << 44100 << 1 << false;
    // Layer II frames read as MPEG audio too, yet are no MP3.
    QTest::newRow("MP2 frames") << QStringList{ u"-c:a"_s, u"mp2"_s, u"-f"_s, u"mp2"_s } << false << 44100 << 2
                                << false;
}

void tst_SilenceAnalyzer::mp3BytesReadAsFfprobe()
{
    QFETCH(QStringList, options);
    QFETCH(bool, cover);
    QFETCH(int, sampleRate);
    QFETCH(int, channels);
    test::ToneShape tone;
    tone.sampleRate = sampleRate;
    tone.channels = channels;
    const QString path = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + u".mp3"_s);
    QCOMPARE(test::makeAudio(path, tone, options,
                     cover ? QStringList{ u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=red:s=32x32:d=1"_s } : QStringList()),
            QString());
    const MediaInfo read = Mp3Probe::read(path);
    QTEST(read.ok, "fromBytes");
    if (!read.ok)
        return;
    const MediaInfo probed = probeMedia(test::systemTools(), path, {});
    QVERIFY(probed.ok);
    QCOMPARE(read.codec, probed.codec);
    QCOMPARE(read.formatName, probed.formatName);
    QCOMPARE(read.sampleRate, probed.sampleRate);
    QCOMPARE(read.channels, probed.channels);
    QCOMPARE(read.bitRate, probed.bitRate);
    QCOMPARE(read.pictures, probed.pictures);
    QCOMPARE(read.videos, probed.videos);
    QCOMPARE(read.tagKeys, probed.tagKeys);
    QCOMPARE(read.chapters.size(), probed.chapters.size());
    QCOMPARE(read.id3v1, probed.id3v1);
    QCOMPARE(read.gaplessHeader, probed.gaplessHeader);
    QCOMPARE(read.framesInSync, probed.framesInSync);
    // ffprobe prints microseconds; the frames count samples.
    QVERIFY2(std::fabs(read.startSec - probed.startSec) < 1e-6, qPrintable(QString::number(probed.startSec)));
    QVERIFY2(std::fabs(read.durationSec - test::decodedSeconds(path)) < 1e-6,
            qPrintable(QString::number(read.durationSec)));
}

void tst_SilenceAnalyzer::mp3TailReadAsByteRange_data()
{
    QTest::addColumn<QStringList>("options"); // the encoder's
    QTest::addColumn<test::ToneShape>("tone");
    QTest::addColumn<int>("passes"); // ffmpeg runs
    QTest::newRow("LAME delay, stereo") << QStringList{ u"-b:a"_s, u"128k"_s }
                                        << test::ToneShape{ 1.3, 45, 2.7, 44100, 2 } << 1;
    QTest::newRow("VBR, a widened head") << QStringList{ u"-q:a"_s, u"5"_s }
                                         << test::ToneShape{ 23.1, 40, 3.3, 44100, 2 } << 2;
    QTest::newRow("mono 22.05 kHz at 24 kbps")
            << QStringList{ u"-b:a"_s, u"24k"_s } << test::ToneShape{ 0.7, 50, 1.234, 22050, 1 } << 1;
    QTest::newRow("no LAME delay") << QStringList{ u"-write_xing"_s, u"0"_s } << test::ToneShape{ 2, 47, 0.4, 48000, 1 }
                                   << 1;
}

void tst_SilenceAnalyzer::mp3TailReadAsByteRange()
{
    QFETCH(QStringList, options);
    QFETCH(test::ToneShape, tone);
    // A comma and a colon, which the byte range's URL takes as they are.
    const QString path = m_dir.filePath(u"range, a:b "_s + QString::fromUtf8(QTest::currentDataTag()) + u".mp3"_s);
    QCOMPARE(test::makeAudio(path, tone, options), QString());
    const Mp3Stream stream = Mp3Stream::read(path);
    QVERIFY2(stream.outputSamples() > 0, qPrintable(stream.problem));
    ToolPaths tools = test::systemTools();
    tools.ffmpeg = test::writeFakeTool(m_dir.path(), QString::fromUtf8(QTest::currentDataTag()) + u"-ffmpeg"_s,
            "echo \"$@\" >>\"$0.runs\"; exec '" + test::ffmpegExecutable().toUtf8() + "' \"$@\"");
    const SilenceAnalyzer::Result windowed = SilenceAnalyzer::analyse(
            tools, path, double(stream.outputSamples()) / stream.format.sampleRate, Settings(), {}, {}, &stream);
    QFile runs(tools.ffmpeg + u".runs"_s);
    QVERIFY(runs.open(QIODevice::ReadOnly));
    const QByteArrayList lines = runs.readAll().trimmed().split('\n');
    QTEST(int(lines.size()), "passes");
    QVERIFY(lines.last().contains(",,:file:"));
    const SilenceAnalyzer::Result whole = SilenceAnalyzer::analyse(test::systemTools(), path, 0.0, Settings(), {}, {});
    QVERIFY2(windowed.ok && whole.ok, qPrintable(windowed.error + u" / "_s + whole.error));
    // The same decoded samples: the same silences, as the detector prints them.
    QCOMPARE(windowed.intervals.first(), whole.intervals.first());
    QCOMPARE(windowed.intervals.last(), whole.intervals.last());
    QCOMPARE(windowed.headSec, whole.headSec);
    QCOMPARE(windowed.tailSec, whole.tailSec);
    COMPARE_NEAR(windowed.decodedSec, whole.decodedSec, 2e-6);
}

QTEST_GUILESS_MAIN(tst_SilenceAnalyzer)
#include "tst_silenceanalyzer.moc"
