#include "containercheck.h"
#include "envelopereader.h"
#include "fixtures.h"
#include "mediaprobe.h"
#include "settings.h"
#include "silenceanalyzer.h"

#include <QScopeGuard>
#include <QTemporaryDir>
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
    void argumentsInOrder();
    void headTailAndWholeFile_data();
    void headTailAndWholeFile();
    void windowsMeasureAsTheWholeFile_data();
    void windowsMeasureAsTheWholeFile();
    void failuresInOneLine_data();
    void failuresInOneLine();
    void onlyRegularFilesRead_data();
    void onlyRegularFilesRead();
    void stuckToolStopped_data();
    void stuckToolStopped();
    void containerSizesAndFrames_data();
    void containerSizesAndFrames();
};

namespace {

// What is done to a file ffmpeg wrote before it is checked.
enum class Damage {
    None,
    RiffSizeUnset,
    DataSizeUnset,
    RiffSizeShort,
    DataSizeShort,
    TagAppended,
    TagDropped,
    TagMoved
};

} // namespace

Q_DECLARE_METATYPE(Damage)

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

void tst_SilenceAnalyzer::onlyRegularFilesRead_data()
{
    // What is named: a FIFO no one writes, a device, a link to one, a folder; "" a real file, for contrast.
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("error"); // of the probe, the measurement and the outline alike
    QTest::newRow("FIFO") << u"fifo"_s << u"not a regular file"_s;
    QTest::newRow("device named directly") << u"/dev/zero"_s << u"not a regular file"_s;
    QTest::newRow("link to a device") << u"link"_s << u"not a regular file"_s;
    QTest::newRow("folder") << u"folder"_s << u"not a regular file"_s;
    QTest::newRow("a file") << QString() << QString();
}

void tst_SilenceAnalyzer::onlyRegularFilesRead()
{
    QFETCH(QString, given);
    const QString path = given.startsWith(u'/') ? given : m_dir.filePath(given + u"-named.wav"_s);
    if (given == u"fifo")
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    if (given == u"link")
        QVERIFY(QFile::link(u"/dev/zero"_s, path));
    if (given == u"folder")
        QVERIFY(QDir().mkpath(path));
    if (given.isEmpty())
        QCOMPARE(test::makeAudio(path, { 0.5, 1.0, 0.5 }), QString());
    // The real tools behind wrappers that count their runs; a stop bounds a run that should never have started.
    const QString runs = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + u".runs"_s);
    const ToolPaths real = test::systemTools();
    ToolPaths tools = real;
    for (QString *tool : { &tools.ffmpeg, &tools.ffprobe })
        *tool = test::writeFakeTool(m_dir.path(), QFileInfo(*tool).fileName() + u"-counted"_s,
                "echo >>'" + runs.toUtf8() + "'; exec '" + tool->toUtf8() + "' \"$@\"");
    const auto stop = [deadline = QDeadlineTimer(60000)] { return deadline.hasExpired(); };
    const MediaInfo probed = probeMedia(tools, path, stop);
    const SilenceAnalyzer::Result measured = SilenceAnalyzer::analyse(tools, path, 2.0, Settings(), stop, {});
    EnvelopeReader reader;
    QSignalSpy outlined(&reader, &EnvelopeReader::finished);
    reader.start(tools.ffmpeg, path, 0.0, 1.0);
    QVERIFY(outlined.size() == 1 || outlined.wait(60000));
    QFETCH(QString, error);
    QCOMPARE((QStringList{ probed.error, measured.error, outlined.first().at(1).toString() }), QStringList(3, error));
    // A refused file starts no child at all: the probe, the measurement and the outline each ran one otherwise.
    QCOMPARE(QFileInfo(runs).size(), given.isEmpty() ? 3 : 0);
}

void tst_SilenceAnalyzer::stuckToolStopped_data()
{
    // Which tool hangs after a line, as on a stuck mount; the runs of it that were started.
    QTest::addColumn<QString>("tool");
    QTest::addColumn<int>("runs");
    QTest::newRow("ffprobe") << u"ffprobe"_s << 1;
    // The windowed pass and the outline; no decode of the whole file follows, which would hang as well.
    QTest::newRow("ffmpeg") << u"ffmpeg"_s << 2;
}

void tst_SilenceAnalyzer::stuckToolStopped()
{
    QFETCH(QString, tool);
    setStallLimit(300);
    const auto reset = qScopeGuard([] { setStallLimit(DefaultStallLimitMs); });
    const QString path = m_dir.filePath(u"stuck.wav"_s);
    QCOMPARE(test::makeAudio(path, { 0.5, 1.0, 0.5 }), QString());
    QDir folder(m_dir.filePath(QString::fromUtf8(QTest::currentDataTag())));
    QVERIFY(folder.mkpath(u"."_s));
    const QString runs = folder.filePath(u"runs"_s);
    ToolPaths tools = test::systemTools();
    (tool == u"ffmpeg" ? tools.ffmpeg : tools.ffprobe) = test::writeFakeTool(folder.path(), tool,
            "echo >>'" + runs.toUtf8() + "'; echo '[silencedetect @ 0x1] silence_start: 0' >&2; exec sleep 60");
    const QString said = tool + u" made no progress for 0.3 s - stopped"_s;
    if (tool == u"ffprobe") {
        QCOMPARE(probeMedia(tools, path, {}).error, said);
    } else {
        // Long enough by its header to be measured in windows first.
        QCOMPARE(SilenceAnalyzer::analyse(tools, path, 100.0, Settings(), {}, {}).error, said);
        EnvelopeReader reader;
        QSignalSpy outlined(&reader, &EnvelopeReader::finished);
        reader.start(tools.ffmpeg, path, 0.0, 1.0);
        QVERIFY(outlined.wait(60000));
        QCOMPARE(outlined.first().at(1).toString(), said);
    }
    QTEST(int(QFileInfo(runs).size()), "runs");
}

void tst_SilenceAnalyzer::containerSizesAndFrames_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("written"); // ffmpeg's muxer flags
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("problem");  // as the check of a written file words it
    QTest::addColumn<bool>("taggedFirst"); // MP3: the first frame carries Xing/Info
    QTest::addColumn<int>("taggedLater");
    const QStringList rf64{ u"-rf64"_s, u"always"_s }, noId3{ u"-id3v2_version"_s, u"0"_s };
    const QString header = u"written WAV's header does not fit the file (%1)"_s;
    const QString misplaced = u"written MP3 has its gapless header in the wrong place"_s;
    QTest::newRow("RIFF as written") << u"wav"_s << QStringList() << Damage::None << QString() << false << 0;
    QTest::newRow("RF64 as written, sizes in ds64") << u"wav"_s << rf64 << Damage::None << QString() << false << 0;
    QTest::newRow("RF64 with a data size short of the audio")
            << u"wav"_s << rf64 << Damage::DataSizeShort << header.arg(u"chunk sizes do not add up to the file"_s)
            << false << 0;
    QTest::newRow("RIFF size unset") << u"wav"_s << QStringList() << Damage::RiffSizeUnset
                                     << header.arg(u"RIFF size unset (0xFFFFFFFF)"_s) << false << 0;
    QTest::newRow("data size unset") << u"wav"_s << QStringList() << Damage::DataSizeUnset
                                     << header.arg(u"data size unset (0xFFFFFFFF)"_s) << false << 0;
    QTest::newRow("RIFF size short of the file") << u"wav"_s << QStringList() << Damage::RiffSizeShort
                                                 << header.arg(u"RIFF size short of the data on disk"_s) << false << 0;
    QTest::newRow("data size short of the audio")
            << u"wav"_s << QStringList() << Damage::DataSizeShort
            << header.arg(u"chunk sizes do not add up to the file"_s) << false << 0;
    QTest::newRow("MP3 as written") << u"mp3"_s << noId3 << Damage::None << QString() << true << 0;
    QTest::newRow("MP3 with a tag as written") << u"mp3"_s << QStringList() << Damage::None << QString() << true << 0;
    QTest::newRow("MP3, its tag frame appended") << u"mp3"_s << noId3 << Damage::TagAppended << misplaced << true << 1;
    // Caught against the source, which had one.
    QTest::newRow("MP3, its tag frame dropped") << u"mp3"_s << noId3 << Damage::TagDropped << QString() << false << 0;
    QTest::newRow("MP3, its tag frame moved to the end")
            << u"mp3"_s << noId3 << Damage::TagMoved << misplaced << false << 1;
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
    const auto setSize = [&bytes](qsizetype at, quint32 size) { qToLittleEndian(size, bytes.data() + at); };
    const auto sizeAt = [&bytes](qsizetype at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    const qsizetype data = bytes.indexOf("data") + 4;
    // MP3 without ID3: the first frame at 0, MPEG-1 layer III at 128 kb/s and 48 kHz, padded as its header says.
    const qsizetype frame = 144 * 128000 / 48000 + ((bytes.at(2) >> 1) & 1);
    switch (damage) {
    case Damage::None:
        break;
    case Damage::RiffSizeUnset:
        setSize(4, 0xFFFFFFFF);
        break;
    case Damage::DataSizeUnset:
        setSize(data, 0xFFFFFFFF);
        break;
    case Damage::RiffSizeShort:
        setSize(4, sizeAt(4) - 1000);
        break;
    case Damage::DataSizeShort:
        // RF64 keeps the data's true size in ds64.
        if (written.isEmpty())
            setSize(data, sizeAt(data) - 1000);
        else
            qToLittleEndian<quint64>(qFromLittleEndian<quint64>(bytes.constData() + 28) - 1000, bytes.data() + 28);
        break;
    case Damage::TagAppended:
        bytes += bytes.left(frame);
        break;
    case Damage::TagDropped:
        bytes.remove(0, frame);
        break;
    case Damage::TagMoved:
        bytes = bytes.mid(frame) + bytes.left(frame);
        break;
    }
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
