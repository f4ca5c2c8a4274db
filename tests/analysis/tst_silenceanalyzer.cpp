#include "audiofixture.h"
#include "envelopereader.h"
#include "faketool.h"
#include "mediaprobe.h"
#include "settings.h"
#include "silenceanalyzer.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

using Intervals = QList<SilenceAnalyzer::Interval>;

// What ffprobe and silencedetect read in real generated files, and what the
// two tools' failures become.
class tst_SilenceAnalyzer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void argumentsInOrder();
    void headTailAndWholeFile_data();
    void headTailAndWholeFile();
    void probeOutput_data();
    void probeOutput();
    void windowsMeasureAsTheWholeFile_data();
    void windowsMeasureAsTheWholeFile();
    void failuresInOneLine_data();
    void failuresInOneLine();
    void envelopeReduction_data();
    void envelopeReduction();

private:
    QTemporaryDir m_dir;
};

void tst_SilenceAnalyzer::argumentsInOrder()
{
    Settings settings;
    settings.thresholdDb = -62.346;
    settings.minSilenceSec = 0.05; // the detector's own minimum stays short
    const QString path = u"/in/-x y.mp3"_s;
    QCOMPARE(SilenceAnalyzer::arguments(path, settings).join(u'|'),
             u"-hide_banner|-nostdin|-nostats|-progress|pipe:1|-i|/in/-x y.mp3|-map|0:a:0|-af|"
             "silencedetect=noise=-62.35dB:d=0.010|-f|null|-"_s);
    QCOMPARE(SilenceAnalyzer::windowArguments(path, settings, 40.0, 100.5).join(u'|'),
             u"-hide_banner|-nostdin|-nostats|-progress|pipe:1|-t|40.000000|-i|/in/-x y.mp3|-ss|100.500000|-i|"
             "/in/-x y.mp3|-filter_complex|[0:a:0]silencedetect=noise=-62.35dB:d=0.010[h];[1:a:0]asetpts=PTS+"
             "100.500000/TB,silencedetect=noise=-62.35dB:d=0.010[t];[h][t]concat=n=2:v=0:a=1[o]|-map|[o]|-f|null|-"_s);
    QCOMPARE(probeArguments(path).join(u'|'),
             u"-v|error|-show_entries|format=duration,bit_rate,format_name:format_tags|-show_entries|stream=codec_type,"
             "codec_name,sample_rate,channels,bit_rate,start_time:stream_disposition=attached_pic|-of|json|/in/-x y.mp3"_s);
}

void tst_SilenceAnalyzer::headTailAndWholeFile_data()
{
    QTest::addColumn<QString>("lines"); // the detector's, split at ';'
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("head");
    QTest::addColumn<double>("tail");
    QTest::addColumn<bool>("silent");
    QTest::newRow("ffmpeg's own lines") << u"[silencedetect @ 0x55] silence_start: 0;[silencedetect @ 0x55] "
                                           "silence_end: 1.0012 | silence_duration: 1.0012"_s
                                        << 10.0 << 1.0012 << 0.0 << false;
    QTest::newRow("no silence") << u"Input #0, wav, from 'a.wav':;"_s << 10.0 << 0.0 << 0.0 << false;
    QTest::newRow("head and tail") << u"silence_start: 0.05;silence_end: 1.2;silence_start: 8;silence_end: 9.95"_s
                                   << 10.0 << 1.15 << 2.0 << false;
    QTest::newRow("head and tail at the tolerances")
            << u"silence_start: 0.1;silence_end: 1;silence_start: 7;silence_end: 9.9"_s << 10.0 << 0.9 << 3.0 << false;
    QTest::newRow("head and tail past them")
            << u"silence_start: 0.15;silence_end: 1;silence_start: 7;silence_end: 9.85"_s << 10.0 << 0.0 << 0.0 << false;
    QTest::newRow("negative start counts from 0, a tail that never ends")
            << u"silence_start: -0.02;silence_end: 0.5;silence_start: 6.5"_s << 10.0 << 0.5 << 3.5 << false;
    QTest::newRow("an end without a start is ignored, the second end wins")
            << u"silence_end: 0.3;silence_start: 0;silence_end: 0.4;silence_end: 0.6"_s << 10.0 << 0.6 << 0.0 << false;
    // Windowed, the head's and the tail's detector report in turn.
    QTest::newRow("two detectors interleaved")
            << u"[silencedetect @ 0x2] silence_start: 8;[silencedetect @ 0x1] silence_start: 0;"
               "[silencedetect @ 0x1] silence_end: 0.75"_s
            << 10.0 << 0.75 << 2.0 << false;
    QTest::newRow("one silence end to end") << u"silence_start: 0"_s << 10.0 << 0.0 << 0.0 << true;
    QTest::newRow("one silence within the tolerances") << u"silence_start: 0.08;silence_end: 9.92"_s << 10.0 << 0.0
                                                       << 0.0 << true;
    QTest::newRow("a short sound is not silence") << u"silence_start: 0;silence_end: 4;silence_start: 4.14"_s << 10.0
                                                  << 4.0 << 5.86 << false;
}

void tst_SilenceAnalyzer::headTailAndWholeFile()
{
    QFETCH(QString, lines);
    QFETCH(double, duration);
    QFETCH(double, head);
    QFETCH(double, tail);
    QHash<QString, Intervals> byDetector;
    for (const QString &line : lines.split(u';'))
        SilenceAnalyzer::collectLine(line, byDetector);
    Intervals all;
    for (const Intervals &detected : std::as_const(byDetector))
        all << detected;
    const SilenceAnalyzer::Result result = SilenceAnalyzer::evaluate(all, duration);
    QVERIFY(result.ok);
    QVERIFY2(qAbs(result.headSec - head) < 1e-9 && qAbs(result.tailSec - tail) < 1e-9,
             qPrintable(u"head %1, tail %2"_s.arg(result.headSec).arg(result.tailSec)));
    QTEST(result.silentThroughout, "silent");
}

void tst_SilenceAnalyzer::probeOutput_data()
{
    QTest::addColumn<QByteArray>("streams");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("bitRate");
    QTest::addColumn<int>("pictures");
    const QByteArray picture = R"({"codec_type":"video","disposition":{"attached_pic":1}})";
    const QByteArray video = R"({"codec_type":"video","disposition":{"attached_pic":0}})";
    const QByteArray format = R"({"duration":"12.5","bit_rate":"320000"})";
    const auto audio = [](const QByteArray &more) { return R"({"codec_type":"audio","sample_rate":"44100")" + more + "}"; };
    QTest::newRow("the stream's bit rate wins") << audio(R"(,"codec_name":"mp3","bit_rate":"128000")") << format
                                                << QString() << 128000 << 0;
    QTest::newRow("pictures around the first audio, N/A keeps the container's rate")
            << picture + "," + video + "," + audio(R"(,"codec_name":"aac","bit_rate":"N/A")") + "," + picture + ","
                    + audio(R"(,"codec_name":"mp3","bit_rate":"1")")
            << format << QString() << 320000 << 2;
    QTest::newRow("no duration: learnt from the decode") << audio(R"(,"codec_name":"wavpack")") << QByteArray("{}")
                                                         << QString() << 0 << 0;
    QTest::newRow("no codec") << audio("") << format << u"unreadable audio stream"_s << 320000 << 0;
    QTest::newRow("only a picture") << picture << format << u"no audio stream"_s << 320000 << 1;
}

void tst_SilenceAnalyzer::probeOutput()
{
    QFETCH(QByteArray, streams);
    QFETCH(QByteArray, format);
    QFETCH(QString, error);
    const MediaInfo info = parseProbeOutput("{\"streams\":[" + streams + "],\"format\":" + format + "}");
    QCOMPARE(info.ok, error.isEmpty());
    QCOMPARE(info.error, error);
    QTEST(info.bitRate, "bitRate");
    QTEST(info.pictures, "pictures");
}

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<double>("lead");
    QTest::addColumn<double>("tone");
    QTest::addColumn<double>("tail");
    QTest::addColumn<int>("passes"); // ffmpeg runs, the whole-file decode included
    QTest::newRow("wav, short ends") << u"wav"_s << 1.5 << 60.0 << 2.5 << 1;
    QTest::newRow("m4a, short ends") << u"m4a"_s << 1.5 << 60.0 << 2.5 << 1;
    for (const char *suffix : { "wav", "flac", "mp3", "ogg" })
        QTest::addRow("%s, ends past the first windows", suffix) << QString::fromLatin1(suffix) << 25.0 << 40.0 << 30.0 << 2;
    QTest::newRow("flac, windows meet") << u"flac"_s << 2.0 << 38.0 << 1.0 << 1;
    QTest::newRow("mp3, two minutes of head") << u"mp3"_s << 120.0 << 150.0 << 3.0 << 4;
    QTest::newRow("flac, four minutes of tail") << u"flac"_s << 2.0 << 100.0 << 240.0 << 5;
    QTest::newRow("wav, silent throughout") << u"wav"_s << 50.0 << 0.0 << 50.0 << 3;
    // The header claims half the samples there are.
    QTest::newRow("flac, header too short") << u"short.flac"_s << 1.0 << 100.0 << 2.0 << 2;
    // Short files and silences: decoded whole, every silence measured.
    QTest::newRow("no silence") << u"wav"_s << 0.0 << 3.0 << 0.0 << 1;
    QTest::newRow("a 0.2 s sound between silences") << u"wav"_s << 1.0 << 0.2 << 1.0 << 1;
    QTest::newRow("a 0.2 s sound alone") << u"flac"_s << 0.0 << 0.2 << 0.0 << 1;
    QTest::newRow("ends shorter than the minimum silence") << u"flac"_s << 0.3 << 2.0 << 0.1 << 1;
}

void tst_SilenceAnalyzer::windowsMeasureAsTheWholeFile()
{
    QFETCH(QString, suffix);
    QFETCH(double, lead);
    QFETCH(double, tone);
    QFETCH(double, tail);
    const test::ToneSpec spec{ lead, tone, tail, 22050 };
    // Names reach both tools unchanged: spaces, quotes, a leading dash, a colon, other letters.
    const QString path = m_dir.filePath(u"Ærø dir/-lead 'q' \"d\" ü:colon $x "_s + QString::fromUtf8(QTest::currentDataTag()) + u'.'
                                        + suffix.section(u'.', -1));
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
    const MediaInfo info = probeMedia(test::systemTools(), path, {});
    const QHash<QString, QString> codecs{ { u"wav"_s, u"pcm_s16le"_s }, { u"flac"_s, u"flac"_s }, { u"mp3"_s, u"mp3"_s },
                                          { u"ogg"_s, u"vorbis"_s }, { u"m4a"_s, u"aac"_s } };
    QCOMPARE(info.codec, codecs.value(suffix.section(u'.', -1)));
    QVERIFY(info.ok && info.sampleRate == 22050 && info.channels == 1 && info.bitRate > 0);

    // A wrapper that counts the runs of the real ffmpeg.
    const QString runs = m_dir.filePath(u"runs.log"_s);
    QFile::remove(runs);
    ToolPaths tools = test::systemTools();
    tools.ffmpeg = test::writeFakeTool(m_dir.path(), u"counting-ffmpeg"_s,
                                       "echo run >>'" + runs.toUtf8() + "'; exec '" + test::ffmpegExecutable().toUtf8()
                                               + "' \"$@\"");
    QList<int> progress;
    const SilenceAnalyzer::Result windowed =
            SilenceAnalyzer::analyse(tools, path, info.durationSec, Settings(), {}, [&](int p) { progress << p; });
    QFile log(runs);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const int passes = int(log.readAll().count('\n'));
    // With no length to go by, the whole file is decoded.
    const SilenceAnalyzer::Result whole = SilenceAnalyzer::analyse(test::systemTools(), path, 0.0, Settings(), {}, {});

    QVERIFY2(windowed.ok && whole.ok, qPrintable(windowed.error + whole.error));
    const bool lossless = suffix.endsWith(u"wav"_s) || suffix.endsWith(u"flac"_s);
    const QString measured = u"windowed %1/%2, whole %3/%4"_s.arg(windowed.headSec).arg(windowed.tailSec)
                                     .arg(whole.headSec).arg(whole.tailSec);
    QVERIFY2(qAbs(windowed.headSec - whole.headSec) <= (lossless ? 0.001 : 0.03), qPrintable(measured));
    // The tail is measured back from the length each went by: the header
    // when the decode bears it out, else the decode.
    const auto tailStart = [](const SilenceAnalyzer::Result &r, double length) {
        if (qAbs(r.decodedSec - length) > SilenceAnalyzer::LengthTolerance)
            length = r.decodedSec;
        return r.tailSec > 0 ? length - r.tailSec : -1.0;
    };
    QVERIFY2(qAbs(tailStart(windowed, info.durationSec) - tailStart(whole, 0.0)) <= (lossless ? 0.001 : 0.03),
             qPrintable(measured));
    QVERIFY2(qAbs(windowed.decodedSec - whole.decodedSec) <= SilenceAnalyzer::LengthTolerance, qPrintable(measured));
    QTEST(passes, "passes");
    // And both as generated: lossy encoders add a little priming and padding.
    const double tolerance = lossless ? 0.01 : 0.06;
    QCOMPARE(windowed.silentThroughout, tone == 0.0);
    QVERIFY2(qAbs(windowed.headSec - (tone == 0.0 ? 0.0 : lead)) <= tolerance, qPrintable(measured));
    QVERIFY2(qAbs(windowed.tailSec - (tone == 0.0 ? 0.0 : tail)) <= tolerance, qPrintable(measured));
    QVERIFY2(qAbs(windowed.decodedSec - (lead + tone + tail)) <= 0.06, qPrintable(QString::number(windowed.decodedSec)));
    // A widened window or a fall-back decode starts its progress again.
    QVERIFY(passes > 1 || (!progress.isEmpty() && std::is_sorted(progress.begin(), progress.end()) && progress.last() <= 100));
}

void tst_SilenceAnalyzer::failuresInOneLine_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QByteArray>("script"); // empty: the real tool; "-": none at all
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // "-": no such file
    QTest::addColumn<QString>("error");
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    // ffprobe's real failures, in plain words; its whole text stays as the detail.
    QTest::newRow("random bytes named mp3") << u"ffprobe"_s << QByteArray() << u"noise.mp3"_s << noise
                                            << u"damaged or not an audio file (no readable frames)"_s;
    QTest::newRow("random bytes named wav") << u"ffprobe"_s << QByteArray() << u"noise.wav"_s << noise
                                            << u"not an audio file"_s;
    QTest::newRow("empty file") << u"ffprobe"_s << QByteArray() << u"empty.wav"_s << QByteArray() << u"empty file"_s;
    QTest::newRow("missing file") << u"ffprobe"_s << QByteArray() << u"missing.flac"_s << QByteArray("-")
                                  << u"file not found"_s;
    // What the real tools cannot be made to do.
    QTest::newRow("ffprobe exits 1 without a word") << u"ffprobe"_s << QByteArray("exit 1") << u"x"_s << QByteArray("-")
                                                    << u"ffprobe failed"_s;
    QTest::newRow("ffprobe exits 1 with a word") << u"ffprobe"_s << QByteArray("printf '  broken pipe\\n\\n' >&2; exit 1")
                                                 << u"x"_s << QByteArray("-") << u"broken pipe"_s;
    QTest::newRow("ffprobe stopped") << u"ffprobe"_s << QByteArray("exec sleep 20") << u"x"_s << QByteArray("-")
                                     << u"cancelled"_s;
    QTest::newRow("no ffprobe") << u"ffprobe"_s << QByteArray("-") << u"x"_s << QByteArray("-") << u"tool not found"_s;
    QTest::newRow("ffmpeg exits 1, nothing decoded")
            << u"ffmpeg"_s << QByteArray("echo '[mp3 @ 0x5] x.mp3: Invalid data' >&2; exit 1") << u"x"_s
            << QByteArray("-") << u"no decodable audio"_s;
    QTest::newRow("ffmpeg exits 1 after some audio")
            << u"ffmpeg"_s
            << QByteArray("echo out_time_us=500000; echo '[mp3 @ 0x5] x.mp3: stream ends' >&2; echo 'Conversion failed!' >&2; exit 1")
            << u"x"_s << QByteArray("-") << u"silence detection failed: x.mp3: stream ends"_s;
    QTest::newRow("ffmpeg killed by a signal") << u"ffmpeg"_s << QByteArray("kill -SEGV $$") << u"x"_s << QByteArray("-")
                                               << u"silence detection failed"_s;
    QTest::newRow("ffmpeg stopped") << u"ffmpeg"_s << QByteArray("echo 'silence_start: 0' >&2; exec sleep 20") << u"x"_s
                                    << QByteArray("-") << u"cancelled"_s;
}

void tst_SilenceAnalyzer::failuresInOneLine()
{
    QFETCH(QString, tool);
    QFETCH(QByteArray, script);
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath(name);
    QFile file(path);
    QVERIFY(content == "-" || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush()));
    ToolPaths tools = test::systemTools();
    QString &program = tool == u"ffprobe" ? tools.ffprobe : tools.ffmpeg;
    if (!script.isEmpty())
        program = script == "-" ? QString() : test::writeFakeTool(m_dir.path(), u"fake-"_s + tool, script);
    QElapsedTimer clock;
    clock.start();
    const auto stop = [&] { return clock.elapsed() > 300; };
    const MediaInfo probed = tool == u"ffprobe" ? probeMedia(tools, path, stop) : MediaInfo();
    const SilenceAnalyzer::Result analysed =
            tool == u"ffmpeg" ? SilenceAnalyzer::analyse(tools, path, 10.0, Settings(), stop, {}) : SilenceAnalyzer::Result();
    QVERIFY(!probed.ok && !analysed.ok);
    QTEST(probed.error + analysed.error, "error");
    if (script.isEmpty())
        QVERIFY2(probed.detail.contains(u" @ 0x"_s) || probed.detail.contains(name), qPrintable(probed.detail));
}

using Peaks = QList<EnvelopeReader::Peak>;

void tst_SilenceAnalyzer::envelopeReduction_data()
{
    QTest::addColumn<QList<qint16>>("samples");
    QTest::addColumn<QList<int>>("splits"); // byte offsets where a new chunk begins
    QTest::addColumn<Peaks>("peaks");
    QTest::newRow("split inside a sample") << QList<qint16>{ 1, 2, 3, 4, 5, 6, 7, 8, 9 } << QList<int>{ 5, 17 }
                                           << Peaks{ { 1, 8 }, { 9, 9 } };
    QTest::newRow("byte by byte") << QList<qint16>{ -300, 5, 32767, -32768 } << QList<int>{ 1, 2, 3, 4, 5, 6, 7 }
                                  << Peaks{ { -32768, 32767 } };
}

void tst_SilenceAnalyzer::envelopeReduction()
{
    QFETCH(QList<qint16>, samples);
    QFETCH(QList<int>, splits);
    QByteArray pcm;
    for (const qint16 sample : samples)
        pcm.append(char(quint16(sample) & 0xFF)).append(char(quint16(sample) >> 8));
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
