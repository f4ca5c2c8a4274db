#include "audiofixture.h"
#include "faketool.h"
#include "mediaprobe.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_MediaProbe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void argumentsInOrder();
    void realFormats_data();
    void realFormats();
    void onlyAudioCounts();
    void realFailures_data();
    void realFailures();
    void parseRules_data();
    void parseRules();
    void toolFailures_data();
    void toolFailures();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
};

void tst_MediaProbe::initTestCase()
{
    QVERIFY2(!test::ffmpegExecutable().isEmpty(), "ffmpeg is needed on the search path");
    m_sandbox = std::make_unique<test::SettingsSandbox>();
}

void tst_MediaProbe::argumentsInOrder()
{
    QCOMPARE(probeArguments(u"/a b/-c.mp3"_s),
             QStringList({ u"-v"_s, u"error"_s, u"-show_entries"_s, u"format=duration,bit_rate,format_name:format_tags"_s,
                           u"-show_entries"_s,
                           u"stream=codec_type,codec_name,sample_rate,channels,bit_rate,start_time"
                           u":stream_disposition=attached_pic"_s,
                           u"-of"_s, u"json"_s,
                           u"/a b/-c.mp3"_s }));
}

void tst_MediaProbe::realFormats_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("format");
    QTest::newRow("mp3") << u"tone.mp3"_s << 44100 << 2 << u"mp3"_s << u"mp3"_s;
    QTest::newRow("wav") << u"tone.wav"_s << 48000 << 1 << u"pcm_s16le"_s << u"wav"_s;
    QTest::newRow("flac") << u"tone.flac"_s << 44100 << 2 << u"flac"_s << u"flac"_s;
    QTest::newRow("ogg") << u"tone.ogg"_s << 44100 << 1 << u"vorbis"_s << u"ogg"_s;
    QTest::newRow("m4a") << u"tone.m4a"_s << 48000 << 2 << u"aac"_s << u"mov,mp4,m4a,3gp,3g2,mj2"_s;
    // Names reach ffprobe unchanged: spaces, quotes, a leading dash, a colon, other letters.
    QTest::newRow("awkward name") << u"Ærø dir/-lead 'q' \"d\" ü:colon $x.flac"_s << 44100 << 1 << u"flac"_s
                                  << u"flac"_s;
}

void tst_MediaProbe::realFormats()
{
    QFETCH(QString, name);
    QFETCH(int, rate);
    QFETCH(int, channels);
    test::ToneSpec spec;
    spec.sampleRate = rate;
    spec.channels = channels;
    const QString path = m_dir.filePath(name);
    QCOMPARE(test::makeAudio(path, spec), QString());

    const MediaInfo info = probeMedia(test::systemTools(), path, {});
    QVERIFY2(info.ok, qPrintable(info.error));
    QTEST(info.codec, "codec");
    QTEST(info.formatName, "format");
    QCOMPARE(info.sampleRate, rate);
    QCOMPARE(info.channels, channels);
    QVERIFY(info.bitRate > 0);
    // 5 s of audio; lossy encoders add a frame or two of padding.
    QVERIFY2(qAbs(info.durationSec - 5.0) < 0.1, qPrintable(QString::number(info.durationSec)));
}

void tst_MediaProbe::onlyAudioCounts()
{
    const auto make = [&](const QString &name, bool withAudio) {
        QStringList args{ u"-y"_s, u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                          u"testsrc=size=64x48:rate=10:duration=2"_s };
        if (withAudio)
            args << u"-f"_s << u"lavfi"_s << u"-i"_s << u"sine=duration=2"_s << u"-c:a"_s << u"flac"_s;
        bool ok = false;
        test::runFfmpeg(args << u"-c:v"_s << u"mpeg4"_s << m_dir.filePath(name), &ok);
        return ok ? probeMedia(test::systemTools(), m_dir.filePath(name), {}) : MediaInfo();
    };
    const MediaInfo clip = make(u"clip.mkv"_s, true);
    QVERIFY2(clip.ok, qPrintable(clip.error));
    QCOMPARE(clip.codec, u"flac"_s);
    QCOMPARE(make(u"picture-only.mkv"_s, false).error, u"no audio stream"_s);
}

void tst_MediaProbe::realFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("errorPart");
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    QTest::newRow("random bytes named mp3") << u"noise.mp3"_s << noise
                                            << u"damaged or not an audio file (no readable frames)"_s;
    QTest::newRow("random bytes named wav") << u"noise.wav"_s << noise << u"not an audio file"_s;
    QTest::newRow("empty file") << u"empty.wav"_s << QByteArray() << u"empty file"_s;
    QTest::newRow("missing file") << u"missing.flac"_s << QByteArray("-") << u"file not found"_s;
}

void tst_MediaProbe::realFailures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, errorPart);
    if (content != "-") {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const MediaInfo info = probeMedia(test::systemTools(), m_dir.filePath(name), {});
    QVERIFY(!info.ok);
    // One line in plain words; ffprobe's whole text stays as the detail.
    QTEST(info.error, "errorPart");
    QVERIFY(info.detail.contains(u" @ 0x"_s) || info.detail.contains(name));
}

void tst_MediaProbe::parseRules_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("bitRate");
    QTest::addColumn<int>("pictures");
    const QByteArray format = R"("format":{"duration":"12.5","bit_rate":"320000"})";
    const auto audio = [](const QByteArray &more) {
        return R"({"codec_type":"audio","sample_rate":"44100")" + more + "}";
    };
    const QByteArray picture = R"({"codec_type":"video","disposition":{"attached_pic":1}})";
    const QByteArray video = R"({"codec_type":"video","disposition":{"attached_pic":0}})";
    QTest::newRow("stream bit rate wins")
            << "{\"streams\":[" + audio(R"(,"codec_name":"mp3","bit_rate":"128000")") + "]," + format + "}"
            << QString() << 128000 << 0;
    QTest::newRow("N/A keeps the container's")
            << "{\"streams\":[" + audio(R"(,"codec_name":"mp3","bit_rate":"N/A")") + "]," + format + "}"
            << QString() << 320000 << 0;
    QTest::newRow("beyond an int reads 0")
            << "{\"streams\":[" + audio(R"(,"codec_name":"flac")") + R"(],"format":{"duration":"3","bit_rate":"99999999999"}})"
            << QString() << 0 << 0;
    QTest::newRow("pictures before and after the audio")
            << "{\"streams\":[" + picture + "," + video + "," + audio(R"(,"codec_name":"aac")") + "," + picture + "]," + format + "}"
            << QString() << 320000 << 2;
    QTest::newRow("no duration: learnt from the decode")
            << "{\"streams\":[" + audio(R"(,"codec_name":"wavpack")") + R"(],"format":{}})" << QString() << 0 << 0;
    QTest::newRow("no codec") << "{\"streams\":[" + audio("") + R"(],"format":{"duration":"2"}})"
                              << u"unreadable audio stream"_s << 0 << 0;
    QTest::newRow("only a picture") << "{\"streams\":[" + picture + R"(],"format":{"duration":"2"}})"
                                    << u"no audio stream"_s << 0 << 1;
    QTest::newRow("not JSON") << QByteArray("garbage <html>") << u"no audio stream"_s << 0 << 0;
}

void tst_MediaProbe::parseRules()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    const MediaInfo info = parseProbeOutput(json);
    QCOMPARE(info.ok, error.isEmpty());
    QCOMPARE(info.error, error);
    QTEST(info.bitRate, "bitRate");
    QTEST(info.pictures, "pictures");
}

void tst_MediaProbe::toolFailures_data()
{
    QTest::addColumn<QByteArray>("script"); // empty: no tool anywhere
    QTest::addColumn<QString>("error");
    QTest::newRow("garbage on success") << QByteArray("echo 'Segmentation of nothing'") << u"no audio stream"_s;
    QTest::newRow("exit 1 in silence") << QByteArray("exit 1") << u"ffprobe failed"_s;
    QTest::newRow("exit 1 with text") << QByteArray("printf '  broken pipe\\n\\n' >&2; exit 1") << u"broken pipe"_s;
    QTest::newRow("stopped") << QByteArray("exec sleep 20") << u"cancelled"_s;
    QTest::newRow("not found") << QByteArray() << u"tool not found"_s;
}

void tst_MediaProbe::toolFailures()
{
    QFETCH(QByteArray, script);
    ToolPaths tools = test::systemTools();
    tools.ffprobe = script.isEmpty() ? QString() : test::writeFakeTool(m_dir.path(), u"fake-ffprobe"_s, script);
    QElapsedTimer clock;
    clock.start();
    const MediaInfo info = probeMedia(tools, m_dir.filePath(u"any.mp3"_s), [&] { return clock.elapsed() > 100; });
    QVERIFY(!info.ok);
    QTEST(info.error, "error");
}

QTEST_GUILESS_MAIN(tst_MediaProbe)
#include "tst_mediaprobe.moc"
