#include "faketool.h"
#include "toolrunner.h"

#include <QElapsedTimer>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_ToolRunner : public QObject
{
    Q_OBJECT

private slots:
    void progressSeconds_data();
    void progressSeconds();
    void reportProgressLine_data();
    void reportProgressLine();
    void encoderForCodec_data();
    void encoderForCodec();
    void feedLinesSplitsAndDecodesAcrossChunks();

    void emptyProgramIsNotFound();
    void unrunnableProgramFailsToStart();
    void linesArriveAcrossReadsAndLastLineIsFlushed();
    void nonAsciiSplitAcrossReadsDecodesWhole();
    void exitCodeAndErrorTextKept_data();
    void exitCodeAndErrorTextKept();
    void argumentsReachChildUnchanged();
    void cancelKillsHangingChild_data();
    void cancelKillsHangingChild();

private:
    QTemporaryDir m_dir;
};

void tst_ToolRunner::progressSeconds_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("seconds");
    QTest::newRow("microseconds") << u"out_time_us=1500000"_s << 1.5;
    QTest::newRow("clock") << u"out_time=00:01:02.500000"_s << 62.5;
    QTest::newRow("clock hours") << u"out_time=01:00:00.000000"_s << 3600.0;
    QTest::newRow("clock not available") << u"out_time=N/A"_s << -1.0;
    QTest::newRow("microseconds not available") << u"out_time_us=N/A"_s << 0.0;
    QTest::newRow("clock of two parts") << u"out_time=01:02"_s << -1.0;
    // ffmpeg also writes out_time_ms, which is not milliseconds; it is not read.
    QTest::newRow("out_time_ms is ignored") << u"out_time_ms=1500000"_s << -1.0;
    QTest::newRow("other key") << u"progress=continue"_s << -1.0;
    QTest::newRow("case matters") << u"OUT_TIME_US=5"_s << -1.0;
    QTest::newRow("empty") << QString() << -1.0;
}

void tst_ToolRunner::progressSeconds()
{
    QFETCH(QString, line);
    QFETCH(double, seconds);
    QCOMPARE(ks::progressSeconds(line), seconds);
}

void tst_ToolRunner::reportProgressLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("reported"); // -1: nothing reported
    QTest::newRow("half") << u"out_time_us=5000000"_s << 10.0 << 50;
    QTest::newRow("truncated toward zero") << u"out_time_us=3339000"_s << 10.0 << 33;
    QTest::newRow("past the end clamps") << u"out_time_us=12500000"_s << 10.0 << 100;
    QTest::newRow("negative time") << u"out_time_us=-2000000"_s << 10.0 << -1;
    QTest::newRow("no position") << u"progress=end"_s << 10.0 << -1;
    QTest::newRow("no expected length") << u"out_time_us=5000000"_s << 0.0 << -1;
    QTest::newRow("huge time") << u"out_time_us=1e300"_s << 10.0 << 100;
}

void tst_ToolRunner::reportProgressLine()
{
    QFETCH(QString, line);
    QFETCH(double, expected);
    QFETCH(int, reported);
    int got = -1;
    int calls = 0;
    ks::reportProgressLine(line, expected, [&](int p) {
        got = p;
        ++calls;
    });
    QCOMPARE(got, reported);
    QCOMPARE(calls, reported < 0 ? 0 : 1);
    ks::reportProgressLine(line, expected, {}); // an empty callback is simply not called
}

void tst_ToolRunner::encoderForCodec_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("encoder");
    QTest::newRow("mp3") << u"mp3"_s << u"libmp3lame"_s;
    QTest::newRow("aac") << u"aac"_s << u"aac"_s;
    QTest::newRow("vorbis") << u"vorbis"_s << u"libvorbis"_s;
    QTest::newRow("opus") << u"Opus"_s << u"libopus"_s;
    QTest::newRow("flac") << u"flac"_s << u"flac"_s;
    QTest::newRow("alac") << u"alac"_s << u"alac"_s;
    QTest::newRow("pcm upper case") << u"PCM_S16LE"_s << u"pcm_s16le"_s;
    QTest::newRow("pcm big endian") << u"pcm_s24be"_s << u"pcm_s24be"_s;
    QTest::newRow("mp2 unknown") << u"mp2"_s << QString();
    QTest::newRow("wma unknown") << u"wmav2"_s << QString();
    QTest::newRow("empty") << QString() << QString();
}

void tst_ToolRunner::encoderForCodec()
{
    QFETCH(QString, codec);
    QFETCH(QString, encoder);
    QCOMPARE(ks::encoderForCodec(codec), encoder);
}

void tst_ToolRunner::feedLinesSplitsAndDecodesAcrossChunks()
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString pending;
    QString total;
    QStringList lines;
    const LineCallback collect = [&](const QString &line) { lines << line; };
    feedLines(decoder, pending, "abc", collect, total);
    feedLines(decoder, pending, QByteArray(), collect, total);
    feedLines(decoder, pending, "def\r\n\n  x", collect, total);
    feedLines(decoder, pending, "y caf\xC3", collect, total);
    feedLines(decoder, pending, "\xA9\n", collect, total);
    QCOMPARE(lines, QStringList({ u"abcdef"_s, QString(), u"xy café"_s }));
    QCOMPARE(total, u"abcdef\r\n\n  xy café\n"_s);
    QVERIFY(pending.isEmpty());

    // Without a callback only the total grows.
    QString untouched;
    feedLines(decoder, untouched, "left\nalone", {}, total);
    QVERIFY(untouched.isEmpty());
    QVERIFY(total.endsWith(u"left\nalone"_s));
}

void tst_ToolRunner::emptyProgramIsNotFound()
{
    const ToolRun run = runTool(QString(), { u"-version"_s }, {}, {}, {});
    QVERIFY(!run.started);
    QVERIFY(!run.cancelled);
    QCOMPARE(run.exitCode, -1);
    QCOMPARE(run.stdErr, u"tool not found"_s);
}

void tst_ToolRunner::unrunnableProgramFailsToStart()
{
    // Not executable at all, and a script whose interpreter does not exist.
    const QString plain = QDir(m_dir.path()).filePath(u"plain-ffmpeg"_s);
    QFile file(plain);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nexit 0\n");
    file.close();
    QDir(m_dir.path()).mkdir(u"bad"_s);
    QFile broken(QDir(m_dir.path()).filePath(u"bad/ffprobe"_s));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("#!/nonexistent/interpreter\n");
    broken.close();
    broken.setPermissions(QFile::ReadOwner | QFile::ExeOwner);

    const ToolRun notExecutable = runTool(plain, {}, {}, {}, {});
    QVERIFY(!notExecutable.started);
    QCOMPARE(notExecutable.exitCode, -1);
    QCOMPARE(notExecutable.stdErr, u"failed to start plain-ffmpeg"_s);

    const ToolRun badInterpreter = runTool(broken.fileName(), {}, {}, {}, {});
    QVERIFY(!badInterpreter.started);
    QCOMPARE(badInterpreter.stdErr, u"failed to start ffprobe"_s);
}

void tst_ToolRunner::linesArriveAcrossReadsAndLastLineIsFlushed()
{
    const QString tool = test::writeFakeTool(m_dir.path(), u"chunks"_s,
                                             "printf abc\nsleep 0.3\nprintf 'def\\r\\nx'\n"
                                             "printf 'e1\\ne2' >&2\n");
    QStringList out;
    QStringList err;
    const ToolRun run = runTool(tool, {}, {}, [&](const QString &l) { out << l; }, [&](const QString &l) { err << l; });
    QVERIFY(run.started);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(out, QStringList({ u"abcdef"_s, u"x"_s }));
    QCOMPARE(err, QStringList({ u"e1"_s, u"e2"_s }));
    QCOMPARE(run.stdOut, u"abcdef\r\nx"_s);
    QCOMPARE(run.stdErr, u"e1\ne2"_s);
}

void tst_ToolRunner::nonAsciiSplitAcrossReadsDecodesWhole()
{
    // "é" is two bytes; the child sends them in two writes a moment apart.
    const QString tool = test::writeFakeTool(m_dir.path(), u"accents"_s,
                                             "printf 'Caf\\303' >&2\nsleep 0.3\nprintf '\\251 \\303\\274ber.mp3\\n' >&2\n");
    QStringList err;
    const ToolRun run = runTool(tool, {}, {}, {}, [&](const QString &l) { err << l; });
    QCOMPARE(err, QStringList({ u"Café über.mp3"_s }));
    QCOMPARE(run.stdErr, u"Café über.mp3\n"_s);
}

void tst_ToolRunner::exitCodeAndErrorTextKept_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdErr");
    QTest::newRow("silent failure") << QByteArray("exit 1") << 1 << QString();
    QTest::newRow("failure with text") << QByteArray("echo 'no such file' >&2\nexit 1") << 1 << u"no such file\n"_s;
    QTest::newRow("success") << QByteArray("exit 0") << 0 << QString();
}

void tst_ToolRunner::exitCodeAndErrorTextKept()
{
    QFETCH(QByteArray, script);
    QFETCH(int, exitCode);
    QFETCH(QString, stdErr);
    const ToolRun run = runTool(test::writeFakeTool(m_dir.path(), u"exits"_s, script), {}, {}, {}, {});
    QVERIFY(run.started);
    QVERIFY(!run.cancelled);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.stdErr, stdErr);
    QVERIFY(run.stdOut.isEmpty());
}

void tst_ToolRunner::argumentsReachChildUnchanged()
{
    const QString tool = test::writeFakeTool(m_dir.path(), u"echoargs"_s, "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done");
    const QStringList args{ u"-i"_s, u"/music/My Song's \"best\" take.mp3"_s, u"-leading dash.wav"_s,
                            u"/tmp/Ærøskøbing – Ω.flac"_s, u"/tmp/a:b.ogg"_s, u"$HOME `id` *"_s, QString() };
    QStringList seen;
    const ToolRun run = runTool(tool, args, {}, [&](const QString &l) { seen << l; }, {});
    QCOMPARE(run.exitCode, 0);
    QStringList expected;
    for (const QString &a : args)
        expected << u"[%1]"_s.arg(a);
    QCOMPARE(seen, expected);
}

void tst_ToolRunner::cancelKillsHangingChild_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::newRow("silent hang") << QByteArray("echo $$ > \"$1\"\nexec sleep 30");
    // A child that never stops talking must not keep the poll from seeing the stop.
    QTest::newRow("endless output") << QByteArray("echo $$ > \"$1\"\nexec yes progress=continue");
}

void tst_ToolRunner::cancelKillsHangingChild()
{
    QFETCH(QByteArray, script);
    const QString pidFile = QDir(m_dir.path()).filePath(u"pid"_s);
    QFile::remove(pidFile);
    const QString tool = test::writeFakeTool(m_dir.path(), u"hangs"_s, script);

    QElapsedTimer clock;
    clock.start();
    int polls = 0;
    const ToolRun run = runTool(
            tool, { pidFile },
            [&] {
                ++polls;
                return clock.elapsed() > 300;
            },
            {}, {});
    const qint64 took = clock.elapsed();

    QVERIFY(run.started);
    QVERIFY(run.cancelled);
    QCOMPARE(run.exitCode, -1);
    QVERIFY2(took < 2000, qPrintable(u"stopping took %1 ms"_s.arg(took)));
    QVERIFY(polls >= 3);

    QFile pid(pidFile);
    QVERIFY(pid.open(QIODevice::ReadOnly));
    const pid_t child = pid.readAll().trimmed().toInt();
    QVERIFY(child > 0);
    QVERIFY2(::kill(child, 0) != 0, "the child is still running");
}

QTEST_GUILESS_MAIN(tst_ToolRunner)
#include "tst_toolrunner.moc"
