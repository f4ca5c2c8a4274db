#include "audiofixture.h"
#include "faketool.h"
#include "mediaprobe.h"
#include "settingssandbox.h"
#include "settingsstore.h"
#include "settings.h"
#include "toollocator.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_MediaProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void argumentsInOrder();
    void realFormats_data();
    void realFormats();
    void firstAudioStreamOfVideo();
    void realFailures_data();
    void realFailures();
    void namesReachFfprobeUnchanged();
    void parseRules_data();
    void parseRules();
    void toolFailures_data();
    void toolFailures();
    void cancelledWhileRunning();

private:
    QString file(const QString &name) const { return QDir(m_dir.path()).filePath(name); }
    void useFakeProbe(const QByteArray &script);

    QTemporaryDir m_dir;
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
};

void tst_MediaProbe::initTestCase()
{
    QVERIFY2(!test::ffmpegExecutable().isEmpty(), "ffmpeg is needed on the search path");
    m_sandbox = std::make_unique<test::SettingsSandbox>();
    resetToolCache();
}

void tst_MediaProbe::cleanup()
{
    appSettings().ffprobePath.clear();
    resetToolCache();
}

void tst_MediaProbe::useFakeProbe(const QByteArray &script)
{
    appSettings().ffprobePath = test::writeFakeTool(m_dir.path(), u"fake-ffprobe"_s, script);
    resetToolCache();
}

void tst_MediaProbe::argumentsInOrder()
{
    QCOMPARE(probeArguments(u"/a b/-c.mp3"_s),
             QStringList({ u"-v"_s, u"error"_s, u"-select_streams"_s, u"a:0"_s, u"-show_entries"_s,
                           u"format=duration,bit_rate,format_name"_s, u"-show_entries"_s,
                           u"stream=codec_name,sample_rate,channels,bit_rate"_s, u"-of"_s, u"json"_s,
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
}

void tst_MediaProbe::realFormats()
{
    QFETCH(QString, name);
    QFETCH(int, rate);
    QFETCH(int, channels);
    test::ToneSpec spec;
    spec.sampleRate = rate;
    spec.channels = channels;
    const QString path = file(name);
    QCOMPARE(test::makeAudio(path, spec), QString());

    const MediaInfo info = probeMedia(path, {});
    QVERIFY2(info.ok, qPrintable(info.error));
    QVERIFY(info.error.isEmpty());
    QTEST(info.codec, "codec");
    QTEST(info.formatName, "format");
    QCOMPARE(info.sampleRate, rate);
    QCOMPARE(info.channels, channels);
    QVERIFY(info.bitRate > 0);
    // 5 s of audio; lossy containers add a frame or two of encoder padding.
    QVERIFY2(qAbs(info.durationSec - 5.0) < 0.1, qPrintable(QString::number(info.durationSec)));
}

void tst_MediaProbe::firstAudioStreamOfVideo()
{
    const QString video = file(u"clip.mkv"_s);
    bool ok = false;
    test::runFfmpeg({ u"-y"_s, u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=size=64x48:rate=10:duration=2"_s,
                      u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=frequency=300:duration=2"_s, u"-c:v"_s, u"mpeg4"_s,
                      u"-c:a"_s, u"flac"_s, video },
                    &ok);
    QVERIFY(ok);
    const MediaInfo info = probeMedia(video, {});
    QVERIFY2(info.ok, qPrintable(info.error));
    QCOMPARE(info.codec, u"flac"_s);

    const QString silentVideo = file(u"picture-only.mkv"_s);
    test::runFfmpeg({ u"-y"_s, u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=size=64x48:rate=10:duration=1"_s,
                      u"-c:v"_s, u"mpeg4"_s, silentVideo },
                    &ok);
    QVERIFY(ok);
    const MediaInfo none = probeMedia(silentVideo, {});
    QVERIFY(!none.ok);
    QCOMPARE(none.error, u"no audio stream"_s);
}

void tst_MediaProbe::realFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("errorPart");
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    QTest::newRow("random bytes named mp3") << u"noise.mp3"_s << noise << u"noise.mp3: Invalid"_s;
    QTest::newRow("empty file") << u"empty.wav"_s << QByteArray() << u"empty.wav: Invalid"_s;
    QTest::newRow("missing file") << u"missing.flac"_s << QByteArray("-") << u"No such file or directory"_s;
}

void tst_MediaProbe::realFailures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, errorPart);
    const QString path = file(name);
    if (content != "-") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const MediaInfo info = probeMedia(path, {});
    QVERIFY(!info.ok);
    // ffprobe's own words, trimmed: they name the file and the reason.
    QVERIFY2(info.error.contains(errorPart), qPrintable(info.error));
    QCOMPARE(info.error, info.error.trimmed());
}

void tst_MediaProbe::namesReachFfprobeUnchanged()
{
    QDir(m_dir.path()).mkdir(u"Ærø dir"_s);
    const QString path = file(u"Ærø dir/-lead 'q' \"d\" ü:colon $x.flac"_s);
    QCOMPARE(test::makeAudio(path), QString());
    const MediaInfo info = probeMedia(path, {});
    QVERIFY2(info.ok, qPrintable(info.error));
    QCOMPARE(info.codec, u"flac"_s);
}

void tst_MediaProbe::parseRules_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("bitRate");
    QTest::addColumn<double>("duration");
    const QByteArray format = R"("format":{"duration":"12.5","bit_rate":"320000","format_name":"mp3"})";
    QTest::newRow("stream bit rate wins")
            << QByteArray("{\"streams\":[{\"codec_name\":\"mp3\",\"sample_rate\":\"44100\",\"channels\":2,"
                          "\"bit_rate\":\"128000\"}]," + format + "}")
            << true << QString() << 128000 << 12.5;
    QTest::newRow("no stream bit rate keeps container's")
            << QByteArray("{\"streams\":[{\"codec_name\":\"mp3\",\"sample_rate\":\"44100\",\"channels\":2}]," + format + "}")
            << true << QString() << 320000 << 12.5;
    QTest::newRow("N/A stream bit rate keeps container's")
            << QByteArray("{\"streams\":[{\"codec_name\":\"mp3\",\"bit_rate\":\"N/A\"}]," + format + "}") << true
            << QString() << 320000 << 12.5;
    QTest::newRow("bit rate beyond int reads 0")
            << QByteArray(R"({"streams":[{"codec_name":"flac"}],"format":{"duration":"3","bit_rate":"99999999999"}})")
            << true << QString() << 0 << 3.0;
    QTest::newRow("no duration") << QByteArray(R"({"streams":[{"codec_name":"aac"}],"format":{}})") << false
                                 << u"unreadable audio stream"_s << 0 << 0.0;
    QTest::newRow("no codec") << QByteArray(R"({"streams":[{}],"format":{"duration":"2"}})") << false
                              << u"unreadable audio stream"_s << 0 << 2.0;
    QTest::newRow("no streams") << QByteArray(R"({"streams":[],"format":{"duration":"2"}})") << false
                                << u"no audio stream"_s << 0 << 2.0;
    QTest::newRow("not JSON") << QByteArray("garbage <html>") << false << u"no audio stream"_s << 0 << 0.0;
    QTest::newRow("JSON array") << QByteArray("[1,2]") << false << u"no audio stream"_s << 0 << 0.0;
}

void tst_MediaProbe::parseRules()
{
    QFETCH(QByteArray, json);
    const MediaInfo info = parseProbeOutput(json);
    QTEST(info.ok, "ok");
    QTEST(info.error, "error");
    QTEST(info.bitRate, "bitRate");
    QTEST(info.durationSec, "duration");
}

void tst_MediaProbe::toolFailures_data()
{
    QTest::addColumn<QByteArray>("script"); // empty: no tool anywhere
    QTest::addColumn<QString>("error");
    QTest::newRow("garbage on success") << QByteArray("echo 'Segmentation of nothing'") << u"no audio stream"_s;
    QTest::newRow("exit 1 in silence") << QByteArray("exit 1") << u"ffprobe failed"_s;
    QTest::newRow("exit 1 with text") << QByteArray("printf '  broken pipe\\n\\n' >&2; exit 1") << u"broken pipe"_s;
    QTest::newRow("not found") << QByteArray() << u"tool not found"_s;
}

void tst_MediaProbe::toolFailures()
{
    QFETCH(QByteArray, script);
    const QByteArray savedPath = qgetenv("PATH");
    if (script.isEmpty()) {
        qputenv("PATH", QFile::encodeName(m_dir.path() + u"/nothing-here"_s));
        appSettings().ffprobePath = u"/nonexistent/ffprobe"_s;
        resetToolCache();
    } else {
        useFakeProbe(script);
    }
    const MediaInfo info = probeMedia(file(u"any.mp3"_s), {});
    qputenv("PATH", savedPath);
    QVERIFY(!info.ok);
    QTEST(info.error, "error");
}

void tst_MediaProbe::cancelledWhileRunning()
{
    useFakeProbe("exec sleep 20");
    QElapsedTimer clock;
    clock.start();
    const MediaInfo info = probeMedia(file(u"any.mp3"_s), [&] { return clock.elapsed() > 100; });
    QVERIFY(!info.ok);
    QCOMPARE(info.error, u"cancelled"_s);
}

QTEST_GUILESS_MAIN(tst_MediaProbe)
#include "tst_mediaprobe.moc"
