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
// To a WAV size field (RIFF or data: unset, or short), or to an MP3's Xing/Info frame.
enum class Damage { None, RiffUnset, RiffShort, DataUnset, DataShort, TagCopiedToEnd, TagMovedToEnd, TagDropped };

// What ffprobe and silencedetect read in real generated files, and what the two tools' failures become.
class tst_SilenceAnalyzer : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    // This row's own file, named by its tag.
    QString rowPath(const QString &suffix) const
    {
        return m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + suffix);
    }
    // A folder of this row's own, for a script named as the tool it stands in for.
    QString fakeFolder() const { return QDir().mkpath(rowPath({})) ? rowPath({}) : QString(); }

private Q_SLOTS:
    void headTailAndWholeFile_data();
    void headTailAndWholeFile();
    void windowsMeasureAsTheWholeFile_data();
    void windowsMeasureAsTheWholeFile();
    void failuresInOneLine_data();
    void failuresInOneLine();
    void containerSizesAndFrames_data();
    void containerSizesAndFrames();
    void mp3BytesReadAsFfprobe_data();
    void mp3BytesReadAsFfprobe();
};

void tst_SilenceAnalyzer::headTailAndWholeFile_data()
{
    QTest::addColumn<QByteArrayList>("lines"); // the detector's, on a 10 s file
    QTest::addColumn<double>("head");
    QTest::addColumn<double>("tail");
    QTest::addColumn<bool>("silent"); // one silence end to end
    const auto row = [](const char *tag, const QByteArrayList &said, double head, double tail, bool silent = false) {
        QTest::newRow(tag) << said << head << tail << silent;
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
    QFETCH(QByteArrayList, lines);
    QHash<QString, QList<SilenceAnalyzer::Interval>> byDetector;
    double firstSample = 0.0;
    for (const QByteArray &said : std::as_const(lines)) {
        const QString line = QString::fromLatin1(said);
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

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("source");       // lavfi's, mono; empty: the tone
    QTest::addColumn<test::ToneShape>("tone"); // as generated, or the ends expected of the source
    QTest::addColumn<QStringList>("options");  // ffmpeg's, before the output
    QTest::addColumn<bool>("halfLength");      // the FLAC header claims half the samples there are
    QTest::addColumn<bool>("byteRange");       // MP3: its frames read first, the tail window decoded as a byte range
    QTest::addColumn<int>("passes");           // ffmpeg runs, the whole decode included
    QTest::addColumn<double>("within");        // of the ends expected: lossy encoders add priming and padding
    // Silence, a tone, silence, at 22.05 kHz.
    const auto row = [](const QString &tag, const char *suffix, double lead, double sound, double tail, int passes,
                             bool halfLength = false) {
        const bool lossless = qstrcmp(suffix, "wav") == 0 || qstrcmp(suffix, "flac") == 0;
        QTest::newRow(qPrintable(tag)) << QString::fromLatin1(suffix) << QString()
                                       << test::ToneShape{ lead, sound, tail, 22050 } << QStringList() << halfLength
                                       << false << passes << (lossless ? 0.01 : 0.06);
    };
    row(u"wav, short ends"_s, "wav", 1.5, 60, 2.5, 1);
    for (const char *suffix : { "wav", "flac", "mp3", "ogg" })
        row(QLatin1String(suffix) + u", ends past the first windows"_s, suffix, 25, 40, 30, 2);
    row(u"flac, windows meet"_s, "flac", 2, 38, 1, 1);
    row(u"mp3, two minutes of head"_s, "mp3", 120, 150, 3, 4);
    row(u"flac, four minutes of tail"_s, "flac", 2, 100, 240, 5);
    row(u"wav, silent throughout"_s, "wav", 50, 0, 50, 3);
    row(u"flac, a header claiming half its samples"_s, "flac", 1, 100, 2, 2, true);
    // Short files and silences: decoded whole, every silence measured.
    row(u"a 0.2 s sound between silences"_s, "wav", 1, 0.2, 1, 1);
    row(u"ends shorter than the minimum silence"_s, "flac", 0.3, 2, 0.1, 1);
    const auto ranged = [](const char *tag, const test::ToneShape &tone, const QStringList &options, int passes) {
        QTest::newRow(tag) << u"mp3"_s << QString() << tone << options << false << true << passes << 0.06;
    };
    ranged("byte ranges, LAME delay, stereo", { 1.3, 45, 2.7, 44100, 2 }, { u"-b:a"_s, u"128k"_s }, 1);
    ranged("byte ranges, VBR, a widened head", { 23.1, 40, 3.3, 44100, 2 }, { u"-q:a"_s, u"5"_s }, 2);
    ranged("byte ranges, mono 22.05 kHz at 24 kbps", { 0.7, 50, 1.234, 22050, 1 }, { u"-b:a"_s, u"24k"_s }, 1);
    ranged("byte ranges, no LAME delay", { 2, 47, 0.4, 48000, 1 }, { u"-write_xing"_s, u"0"_s }, 1);

    // Only samples below the threshold (-50 dB) are silence, at either end and however short the sound.
    const auto sound = [](const char *expression, double seconds) {
        return u"aevalsrc='%1':s=44100:d=%2"_s.arg(QLatin1String(expression)).arg(seconds);
    };
    const auto edges = [](const char *tag, const QString &source, const char *suffix, double head = 0.0,
                               double tail = 0.0, double within = 0.0, const QStringList &options = {}) {
        QTest::newRow(tag) << QString::fromLatin1(suffix) << source << test::ToneShape{ head, 1, tail, 44100 }
                           << options << false << false << 1 << within;
    };
    edges("a 14 ms full-scale burst, then 0.13 s of pause",
            sound("if(lt(t,0.014),0.99*sin(2*PI*1000*t),if(lt(t,0.144),0,0.5*sin(2*PI*440*t)))", 1.5), "flac");
    edges("a 99 ms beep at the start", sound("if(lt(t,0.099)+gt(t,0.4),0.5*sin(2*PI*440*t),0)", 2), "wav");
    const char *quietEnding = "if(lt(t,1),0.5*sin(2*PI*440*t),if(lt(t,1.477),0,0.01*sin(2*PI*440*t)))";
    edges("the last 23 ms quiet but above the threshold", sound(quietEnding, 1.5), "flac");
    edges("0.2 s: 50 ms at -38 dB, then silence", sound("if(lt(t,0.05),0.0126*sin(2*PI*440*t),0)", 0.2), "flac", 0.0,
            0.15, 0.001);
    edges("40 ms of sound", u"sine=d=0.04"_s, "wav");
    // The tail runs to where the decode ends, never to a header that counts the encoder's delay and padding in.
    edges("an MP3's tail, to its decoded end", sound("if(lt(t,1),0.5*sin(2*PI*440*t),0)", 1.3), "mp3", 0.0, 0.3, 0.003);
    // A stream that starts after its container does: its head counts from its first sample.
    edges("a silent head from a first sample 50 ms in", u"sine=d=2.05"_s, "mka", 1.0, 0.0, 0.001,
            { u"-itsoffset"_s, u"0.05"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, sound("if(lt(t,1),0,0.5*sin(2*PI*440*t))", 2),
                    u"-map"_s, u"1"_s, u"-map"_s, u"0"_s, u"-c:a"_s, u"flac"_s });
}

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile()
{
    QFETCH(QString, suffix);
    QFETCH(QString, source);
    QFETCH(test::ToneShape, tone);
    QFETCH(QStringList, options);
    QFETCH(bool, byteRange);
    // Names reach the tools and the byte range's URL unchanged: spaces, quotes, a leading dash, a colon, a comma.
    const QString path = m_dir.filePath(
            u"Ærø dir/-lead 'q' \"d\" ü:colon, $x "_s + QString::fromUtf8(QTest::currentDataTag()) + u'.' + suffix);
    QCOMPARE(source.isEmpty() ? test::makeAudio(path, tone, options) : test::makeFromSource(path, source, options),
            QString());
    QFETCH(bool, halfLength);
    if (halfLength) { // STREAMINFO's total sample count: at this length all in bytes 22 to 25
        QByteArray bytes = test::contents(path);
        qToBigEndian(qFromBigEndian<quint32>(bytes.constData() + 22) / 2, bytes.data() + 22);
        QVERIFY(test::writeFile(path, bytes));
    }
    const MediaInfo info = probeMedia(test::systemTools(), path, {});
    QVERIFY2(info.ok && info.sampleRate == tone.sampleRate && info.channels == tone.channels && info.bitRate > 0,
            qPrintable(info.error));
    const Mp3Stream stream = byteRange ? Mp3Stream::read(path) : Mp3Stream();
    QVERIFY2(!byteRange || stream.outputSamples() > 0, qPrintable(stream.problem));

    ToolPaths tools = test::systemTools();
    tools.ffmpeg = test::writeFakeTool(fakeFolder(), u"ffmpeg"_s,
            "echo \"$@\" >>\"$0.runs\"; exec '" + test::ffmpegExecutable().toUtf8() + "' \"$@\"");
    QList<int> progress;
    const SilenceAnalyzer::Result windowed = SilenceAnalyzer::analyse(
            tools, path, byteRange ? double(stream.outputSamples()) / stream.format.sampleRate : info.durationSec,
            Settings(), {}, [&](int p) { progress << p; }, byteRange ? &stream : nullptr);
    const QByteArrayList runs = test::contents(tools.ffmpeg + u".runs"_s).trimmed().split('\n');
    QTEST(int(runs.size()), "passes");
    QCOMPARE(runs.last().contains(",,:file:"), byteRange);
    // With no length to go by, the whole file is decoded.
    const SilenceAnalyzer::Result whole = SilenceAnalyzer::analyse(test::systemTools(), path, 0.0, Settings(), {}, {});
    QVERIFY2(windowed.ok && whole.ok, qPrintable(windowed.error + u" / "_s + whole.error));

    if (byteRange) // the same decoded samples: the same silences, as the detector prints them
        QCOMPARE(std::pair(windowed.intervals.first(), windowed.intervals.last()),
                std::pair(whole.intervals.first(), whole.intervals.last()));
    const double near = byteRange ? 0.0 : suffix == u"wav" || suffix == u"flac" ? 0.001 : 0.03; // lossless: 1 ms
    // Each tail is measured back from where the decode ends, whatever the header says.
    const auto tailStart
            = [](const SilenceAnalyzer::Result &r) { return r.tailSec > 0 ? r.decodedSec - r.tailSec : -1.0; };
    COMPARE_NEAR(windowed.headSec, whole.headSec, near);
    COMPARE_NEAR(tailStart(windowed), tailStart(whole), byteRange ? 4e-6 : near);
    COMPARE_NEAR(windowed.decodedSec, whole.decodedSec, byteRange ? 2e-6 : SilenceAnalyzer::LengthTolerance);
    // And as generated.
    const bool silent = tone.toneSec == 0.0;
    QCOMPARE(windowed.silentThroughout, silent);
    QFETCH(double, within);
    COMPARE_NEAR(windowed.headSec, silent ? 0.0 : tone.leadSec, within);
    COMPARE_NEAR(windowed.tailSec, silent ? 0.0 : tone.tailSec, within);
    // A widened window or a fall-back decode starts its progress again.
    QVERIFY(!progress.isEmpty() && progress.last() <= 100);
    QVERIFY(runs.size() > 1 || std::is_sorted(progress.begin(), progress.end()));
}

void tst_SilenceAnalyzer::failuresInOneLine_data()
{
    QTest::addColumn<Tool>("tool");         // the one that runs, or stands in for it
    QTest::addColumn<Source>("file");       // what is at the path it is handed
    QTest::addColumn<QByteArray>("script"); // in place of the tool; empty: the real one
    QTest::addColumn<int>("stallMs");       // the runner's limit; 0: its default
    QTest::addColumn<int>("runs");          // of the script, the outline's included; -1: not counted
    QTest::addColumn<bool>("outlined");     // the edge preview's read ends alike
    QTest::addColumn<QString>("error");
    const auto probe = Tool::Ffprobe, measure = Tool::Ffmpeg;
    const auto row = [](const char *tag, Tool tool, Source file, const QByteArray &script, const QString &error,
                             int stallMs = 0, int runs = -1, bool outlined = false) {
        QTest::newRow(tag) << tool << file << script << stallMs << runs << outlined << error;
    };
    // In plain words.
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
    const QByteArray started = ": >\"$0.ran\"; exec sleep 60";
    row("ffmpeg stopped", measure, Source::Missing, "echo 'silence_start: 0' >&2; " + started, u"cancelled"_s);
    // Hanging after a line, as on a stuck mount: stopped by the runner once silent past its limit (the child sleeps far
    // past it whatever the machine's speed); a stall is final, no whole decode follows it.
    const QByteArray stuck = "echo '[silencedetect @ 0x1] silence_start: 0' >&2; exec sleep 60";
    row("ffprobe stuck", probe, Source::Audio, stuck, u"ffprobe made no progress for 0.3 s - stopped"_s, 300, 1);
    row("ffmpeg stuck", measure, Source::Audio, stuck, u"ffmpeg made no progress for 0.3 s - stopped"_s, 300, 2, true);
    // Only regular files are read: anything else starts no child at all (one that did would be stopped at once).
    const std::pair<const char *, Source> refused[]{ { "FIFO", Source::Fifo },
        { "device named directly", Source::Device }, { "link to a device", Source::LinkToDevice },
        { "folder", Source::Folder } };
    for (const auto &[named, source] : refused)
        for (const bool measured : { false, true })
            QTest::addRow("%s, %s", named, measured ? "measured" : "probed")
                    << (measured ? measure : probe) << source << started << 0 << 0 << measured
                    << u"not a regular file"_s;
}

void tst_SilenceAnalyzer::failuresInOneLine()
{
    QFETCH(Tool, tool);
    QFETCH(Source, file);
    QFETCH(QByteArray, script);
    QFETCH(int, stallMs);
    QFETCH(QString, error);
    const QString path = file == Source::Device ? u"/dev/zero"_s : rowPath(u".mp3"_s);
    QByteArray noise;
    for (int i = 0; file == Source::Noise && i < 4096; ++i)
        noise += char((i * 7919 + 13) % 251);
    const QMap<Source, QStringList> generated{ { Source::Audio, {} },
        { Source::XheAac, { u"-c:a"_s, u"aac"_s, u"-f"_s, u"mp4"_s } },
        { Source::NoTimestamps, { u"-c:a"_s, u"alac"_s, u"-bsf:a"_s, u"setts=ts=0"_s, u"-f"_s, u"matroska"_s } } };
    if (generated.contains(file))
        QCOMPARE(test::makeAudio(path, { 0.5, 1.0, 0.5 }, generated[file]), QString());
    else if (file == Source::Noise || file == Source::Empty)
        QVERIFY(test::writeFile(path, noise));
    else if (file != Source::Missing && file != Source::Device)
        QVERIFY(file == Source::Fifo             ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0
                        : file == Source::Folder ? QDir().mkpath(path)
                                                 : QFile::link(u"/dev/zero"_s, path));
    if (file == Source::XheAac) // its AAC-LC decoder config (with its explicit no-SBR end) made USAC's, as long
        QVERIFY(test::writeFile(path,
                test::contents(path).replace(QByteArray::fromHex("120856e500"), QByteArray::fromHex("f948200000"))));
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
    QFETCH(bool, outlined);
    if (outlined) {
        EnvelopeReader reader;
        QSignalSpy finished(&reader, &EnvelopeReader::finished);
        reader.start(tools.ffmpeg, path, 0.0, 1.0);
        QVERIFY(finished.size() == 1 || finished.wait(60000));
        QCOMPARE(finished.first().at(1).toString(), error);
    }
    QFETCH(int, runs);
    if (runs >= 0)
        QCOMPARE(QFileInfo(used + u".runs"_s).size(), runs);
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
    row("RF64 with a data size short of the audio", "wav", rf64, Damage::DataShort, unfit);
    row("RIFF size unset", "wav", {}, Damage::RiffUnset, header.arg(u"RIFF size unset (0xFFFFFFFF)"_s));
    row("data size unset", "wav", {}, Damage::DataUnset, header.arg(u"data size unset (0xFFFFFFFF)"_s));
    row("RIFF size short of the file", "wav", {}, Damage::RiffShort,
            header.arg(u"RIFF size short of the data on disk"_s));
    row("data size short of the audio", "wav", {}, Damage::DataShort, unfit);
    row("MP3 as written", "mp3", noId3, Damage::None, {}, true);
    row("MP3 with a tag as written", "mp3", {}, Damage::None, {}, true);
    row("MP3, its tag frame appended", "mp3", noId3, Damage::TagCopiedToEnd, misplaced, true, 1);
    // Caught against the source, which had one.
    row("MP3, its tag frame dropped", "mp3", noId3, Damage::TagDropped, {});
    row("MP3, its tag frame moved to the end", "mp3", noId3, Damage::TagMovedToEnd, misplaced, false, 1);
}

void tst_SilenceAnalyzer::containerSizesAndFrames()
{
    QFETCH(QString, suffix);
    QFETCH(QStringList, written);
    QFETCH(Damage, damage);
    QFETCH(bool, taggedFirst);
    const QString path = rowPath(u'.' + suffix);
    // A second of mono 16-bit sound at 44.1 kHz between silences: 90,000 bytes of WAV data.
    QCOMPARE(test::makeAudio(path, { 0.01, 1.0, 0.01, 45000 }, written), QString());
    QByteArray bytes = test::contents(path);
    // A 32-bit size, little-endian, at 4 (RIFF) or after "data"; RF64 keeps the data's true size in ds64, at 28.
    const bool riff = damage == Damage::RiffUnset || damage == Damage::RiffShort;
    const bool unset = damage == Damage::RiffUnset || damage == Damage::DataUnset;
    const qsizetype at = riff ? 4 : written.isEmpty() ? bytes.indexOf("data") + 4 : 28, width = at == 28 ? 8 : 4;
    const quint64 size = qFromLittleEndian<quint64>((bytes.mid(at, width) + QByteArray(4, '\0')).constData());
    const quint64 changed = qToLittleEndian<quint64>(unset ? 0xFFFFFFFF : size - 1000);
    if (unset || damage == Damage::RiffShort || damage == Damage::DataShort)
        bytes.replace(at, width, reinterpret_cast<const char *>(&changed), width);
    // MP3 without ID3: the first frame at 0, MPEG-1 layer III at 128 kb/s and 48 kHz, padded as its header says.
    const qsizetype frame = 144 * 128000 / 48000 + ((bytes.at(2) >> 1) & 1);
    if (damage == Damage::TagCopiedToEnd || damage == Damage::TagMovedToEnd)
        bytes += bytes.left(frame);
    if (damage == Damage::TagDropped || damage == Damage::TagMovedToEnd)
        bytes.remove(0, frame);
    QVERIFY(test::writeFile(path, bytes));
    const MediaInfo probed = probeMedia(test::systemTools(), path, {});
    QVERIFY2(probed.ok, qPrintable(probed.error));
    QTEST(ContainerCheck::writtenProblem(path, probed.formatName), "problem");
    const ContainerCheck::Mp3Layout layout = ContainerCheck::mp3Layout(path, true);
    QCOMPARE(std::tuple(probed.gaplessHeader, layout.taggedFirst, layout.framed),
            std::tuple(taggedFirst, taggedFirst, suffix == u"mp3"));
    QTEST(layout.taggedLater, "taggedLater");
}

void tst_SilenceAnalyzer::mp3BytesReadAsFfprobe_data()
{
    QTest::addColumn<QStringList>("options"); // ffmpeg's, before the output
    QTest::addColumn<QStringList>("inputs");  // after the generated one
    QTest::addColumn<test::ToneShape>("tone");
    QTest::addColumn<bool>("fromBytes"); // the bytes alone suffice
    const auto row = [](const char *tag, const QStringList &options, int rate, int channels, bool fromBytes = true,
                             const QStringList &inputs = {}) {
        QTest::newRow(tag) << options << inputs << test::ToneShape{ 1.0, 2.0, 2.0, rate, channels } << fromBytes;
    };
    row("ID3v2 with a cover",
            { u"-map"_s, u"0:a"_s, u"-map"_s, u"1:v"_s, u"-frames:v"_s, u"1"_s, u"-c:v"_s, u"png"_s,
                    u"-disposition:v"_s, u"attached_pic"_s, u"-metadata"_s, u"title=Song"_s, u"-metadata"_s,
                    u"artist=Someone"_s, u"-metadata"_s, u"comment=Said"_s },
            44100, 2, true, { u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=red:s=32x32:d=1"_s });
    row("VBR with a Xing header", { u"-q:a"_s, u"4"_s }, 44100, 2);
    row("mono 22.05 kHz", { u"-b:a"_s, u"32k"_s }, 22050, 1);
    row("no Xing header, ID3v1 only",
            { u"-write_xing"_s, u"0"_s, u"-id3v2_version"_s, u"0"_s, u"-write_id3v1"_s, u"1"_s, u"-metadata"_s,
                    u"title=Old"_s, u"-metadata"_s, u"track=3"_s },
            48000, 2);
    // ID3v2.3 keeps a year that ffmpeg merges with the date: left to ffprobe.
    row("ID3v2.3 year", { u"-id3v2_version"_s, u"3"_s, u"-metadata"_s, u"date=2020"_s }, 44100, 1, false);
    // Layer II frames read as MPEG audio too, yet are no MP3.
    row("MP2 frames", { u"-c:a"_s, u"mp2"_s, u"-f"_s, u"mp2"_s }, 44100, 2, false);
}

void tst_SilenceAnalyzer::mp3BytesReadAsFfprobe()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, inputs);
    QFETCH(test::ToneShape, tone);
    const QString path = rowPath(u".mp3"_s);
    QCOMPARE(test::makeAudio(path, tone, options, inputs), QString());
    const MediaInfo read = Mp3Probe::read(path);
    QTEST(read.ok, "fromBytes");
    if (!read.ok)
        return;
    const MediaInfo probed = probeMedia(test::systemTools(), path, {});
    QVERIFY(probed.ok);
    const auto fields = [](const MediaInfo &m) {
        return std::tuple(m.codec, m.formatName, m.sampleRate, m.channels, m.bitRate, m.pictures, m.videos,
                m.tagKeys.join(u','), m.chapters.size(), m.id3v1, m.gaplessHeader, m.framesInSync);
    };
    QCOMPARE(fields(read), fields(probed));
    // ffprobe prints microseconds; the frames count samples.
    COMPARE_NEAR(read.startSec, probed.startSec, 1e-6);
    COMPARE_NEAR(read.durationSec, test::decodedSeconds(path), 1e-6);
}

QTEST_GUILESS_MAIN(tst_SilenceAnalyzer)
#include "tst_silenceanalyzer.moc"
