#include "codectable.h"
#include "faketool.h"
#include "toolmessage.h"
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

private Q_SLOTS:
    void progressSeconds_data();
    void progressSeconds();
    void reportProgressLine_data();
    void reportProgressLine();
    void codecTable();
    void oneLineMessages_data();
    void oneLineMessages();
    void feedLinesSplitsAndDecodesAcrossChunks();
    void childThatDoesNotRun_data();
    void childThatDoesNotRun();
    void outputArrivesLineByLine_data();
    void outputArrivesLineByLine();
    void argumentsReachChildUnchanged();
    void cancelKillsChild_data();
    void cancelKillsChild();

private:
    QTemporaryDir m_dir;
};

void tst_ToolRunner::progressSeconds_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("seconds");
    QTest::newRow("microseconds") << u"out_time_us=1500000"_s << 1.5;
    QTest::newRow("clock") << u"out_time=01:01:02.500000"_s << 3662.5;
    QTest::newRow("clock not available") << u"out_time=N/A"_s << -1.0;
    QTest::newRow("microseconds not available") << u"out_time_us=N/A"_s << 0.0;
    QTest::newRow("clock of two parts") << u"out_time=01:02"_s << -1.0;
    // ffmpeg also writes out_time_ms, which is not milliseconds; it is not read.
    QTest::newRow("out_time_ms") << u"out_time_ms=1500000"_s << -1.0;
    QTest::newRow("other key") << u"progress=continue"_s << -1.0;
}

void tst_ToolRunner::progressSeconds()
{
    QFETCH(QString, line);
    QTEST(ks::progressSeconds(line), "seconds");
}

void tst_ToolRunner::reportProgressLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("reported"); // -1: nothing reported
    QTest::newRow("truncated toward zero") << u"out_time_us=3339000"_s << 10.0 << 33;
    QTest::newRow("past the end clamps") << u"out_time_us=12500000"_s << 10.0 << 100;
    QTest::newRow("negative time") << u"out_time_us=-2000000"_s << 10.0 << -1;
    QTest::newRow("no position") << u"progress=end"_s << 10.0 << -1;
    QTest::newRow("no expected length") << u"out_time_us=5000000"_s << 0.0 << -1;
}

void tst_ToolRunner::reportProgressLine()
{
    QFETCH(QString, line);
    QFETCH(double, expected);
    QList<int> got;
    ks::reportProgressLine(line, expected, [&](int p) { got << p; });
    QFETCH(int, reported);
    QCOMPARE(got, reported < 0 ? QList<int>() : QList<int>{ reported });
}

// Each codec as "encoder lossless reencode", so one comparison shows the rule.
void tst_ToolRunner::codecTable()
{
    const QStringList codecs{ u"mp3"_s, u"aac"_s, u"ac3"_s, u"vorbis"_s, u"Opus"_s, u"flac"_s, u"alac"_s,
                              u"PCM_S16LE"_s, u"wavpack"_s, u"wmav2"_s, u"ape"_s };
    QStringList rules;
    for (const QString &codec : codecs) {
        rules << u"%1 %2 %3"_s.arg(ks::CodecTable::encoderFor(codec), ks::CodecTable::isLossless(codec) ? u"L"_s : u"-"_s,
                                   ks::CodecTable::needsReencode(codec) ? u"R"_s : u"-"_s);
    }
    QCOMPARE(rules, QStringList({ u"libmp3lame - -"_s, u"aac - -"_s, u"ac3 - -"_s, u"libvorbis - R"_s,
                                  u"libopus - R"_s, u"flac L R"_s, u"alac L R"_s, u"pcm_s16le L -"_s,
                                  u"wavpack L R"_s, u"wmav2 - R"_s, u" - -"_s }));
    // The encoders of `ffmpeg -encoders`, audio only.
    QCOMPARE(ks::CodecTable::parseEncoders(u"Encoders:\n A..... = Audio\n ------\n V....D a64multi  Multicolor\n"
                                           " A....D ac3                  ATSC A/52A (AC-3)\n"
                                           " A..... libopus              libopus Opus (codec opus)\n"_s),
             QStringList({ u"ac3"_s, u"libopus"_s }));
}

void tst_ToolRunner::oneLineMessages_data()
{
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("line");
    // What ffmpeg and ffprobe really print, for /in/a.mp3 written to /o/a.m4a.
    QTest::newRow("no frames") << u"[mp3 @ 0x55c3259e2b40] Failed to read frame size: Could not seek to 1026.\n"
                                  "/in/a.mp3: Invalid argument"_s
                               << u"damaged or not an audio file (no readable frames)"_s;
    QTest::newRow("not audio") << u"/in/a.mp3: Invalid data found when processing input"_s << u"not an audio file"_s;
    QTest::newRow("muxer refuses the codec")
            << u"[ipod @ 0x5561] Could not find tag for codec flac in stream #0, codec not currently supported in "
               "container\nCould not write header for output file #0 (incorrect codec parameters ?): Invalid "
               "argument\nError initializing output stream 0:0 -- \n"_s
            << u"this container cannot hold the codec"_s;
    QTest::newRow("read-only folder") << u"/o/.a.kstmp.m4a: Permission denied"_s << u"permission denied"_s;
    QTest::newRow("full disk") << u"Error writing trailer of /o/.a.kstmp.m4a: No space left on device"_s
                               << u"no space left on device"_s;
    QTest::newRow("damaged flac") << u"[flac @ 0x1] CRC mismatch\n[flac @ 0x1] decode_frame() failed"_s
                                  << u"damaged data (CRC mismatch)"_s;
    QTest::newRow("the useful line before the generic ones")
            << u"[libvorbis @ 0x2] invalid quality 99\nError initializing output stream 0:0 -- Error while opening "
               "encoder for output stream #0:0\nConversion failed!"_s
            << u"invalid quality 99"_s;
    QTest::newRow("the output named, not its temporary file")
            << u"[mp4 @ 0x3] Invalid frame in /o/.a.kstmp.m4a"_s << u"Invalid frame in /o/a.m4a"_s;
}

void tst_ToolRunner::oneLineMessages()
{
    QFETCH(QString, said);
    QTEST(ks::ToolMessage::oneLine(said, u"/in/a.mp3"_s, u"/o/.a.kstmp.m4a"_s, u"/o/a.m4a"_s), "line");
}

void tst_ToolRunner::feedLinesSplitsAndDecodesAcrossChunks()
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString pending;
    QString total;
    QStringList lines;
    const LineCallback collect = [&](const QString &line) { lines << line; };
    for (const QByteArray &chunk : { QByteArray("abc"), QByteArray(), QByteArray("def\r\n\n  x"),
                                     QByteArray("y caf\xC3"), QByteArray("\xA9\n") })
        feedLines(decoder, pending, chunk, collect, total);
    QCOMPARE(lines, QStringList({ u"abcdef"_s, QString(), u"xy café"_s }));
    QCOMPARE(total, u"abcdef\r\n\n  xy café\n"_s);
    QVERIFY(pending.isEmpty());
}

void tst_ToolRunner::childThatDoesNotRun_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("error");
    QTest::newRow("no program") << QString() << u"tool not found"_s;
    QTest::newRow("not executable") << u"plain"_s << u"failed to start plain"_s;
    QTest::newRow("interpreter missing") << u"ffprobe"_s << u"failed to start ffprobe"_s;
}

void tst_ToolRunner::childThatDoesNotRun()
{
    QFETCH(QString, program);
    if (!program.isEmpty()) {
        QFile file(m_dir.filePath(program));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(program == u"plain" ? "#!/bin/sh\n" : "#!/nonexistent/interpreter\n");
        file.setPermissions(program == u"plain" ? QFile::ReadOwner : QFile::ReadOwner | QFile::ExeOwner);
        program = file.fileName();
    }
    const ToolRun run = runTool(program, { u"-version"_s }, {}, {}, {});
    QVERIFY(!run.started);
    QCOMPARE(run.exitCode, -1);
    QTEST(run.stdErr, "error");
}

void tst_ToolRunner::outputArrivesLineByLine_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QStringList>("err");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("split reads, last line unended")
            << QByteArray("printf abc\nsleep 0.3\nprintf 'def\\r\\nx'\nprintf 'e1\\ne2' >&2")
            << QStringList{ u"abcdef"_s, u"x"_s } << QStringList{ u"e1"_s, u"e2"_s } << 0;
    // "é" is two bytes; the child sends them in two writes a moment apart.
    QTest::newRow("character split between reads")
            << QByteArray("printf 'Caf\\303' >&2\nsleep 0.3\nprintf '\\251 \\303\\274ber.mp3\\n' >&2")
            << QStringList() << QStringList{ u"Café über.mp3"_s } << 0;
    QTest::newRow("failure with text") << QByteArray("echo 'no such file' >&2\nexit 1") << QStringList()
                                       << QStringList{ u"no such file"_s } << 1;
    QTest::newRow("silent failure") << QByteArray("exit 1") << QStringList() << QStringList() << 1;
}

void tst_ToolRunner::outputArrivesLineByLine()
{
    QFETCH(QByteArray, script);
    QStringList out;
    QStringList err;
    const ToolRun run = runTool(test::writeFakeTool(m_dir.path(), u"talks"_s, script), {}, {},
                                [&](const QString &l) { out << l; }, [&](const QString &l) { err << l; });
    QVERIFY(run.started && !run.cancelled);
    QTEST(run.exitCode, "exitCode");
    QTEST(out, "out");
    QTEST(err, "err");
    QTEST(run.stdErr.split(u'\n', Qt::SkipEmptyParts), "err");
}

void tst_ToolRunner::argumentsReachChildUnchanged()
{
    const QString tool = test::writeFakeTool(m_dir.path(), u"echoargs"_s, "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done");
    const QStringList args{ u"/music/My Song's \"best\" take.mp3"_s, u"-leading dash.wav"_s,
                            u"/tmp/Ærøskøbing – Ω.flac"_s, u"/tmp/a:b.ogg"_s, u"$HOME `id` *"_s, QString() };
    QStringList seen;
    runTool(tool, args, {}, [&](const QString &l) { seen << l; }, {});
    QStringList expected;
    for (const QString &a : args)
        expected << u"[%1]"_s.arg(a);
    QCOMPARE(seen, expected);
}

void tst_ToolRunner::cancelKillsChild_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::newRow("silent hang") << QByteArray("echo $$ > \"$1\"\nexec sleep 30");
    // A child that never stops talking must not keep the poll from seeing the stop.
    QTest::newRow("endless output") << QByteArray("echo $$ > \"$1\"\nexec yes progress=continue");
}

void tst_ToolRunner::cancelKillsChild()
{
    QFETCH(QByteArray, script);
    const QString pidFile = m_dir.filePath(u"pid"_s);
    QElapsedTimer clock;
    clock.start();
    const ToolRun run = runTool(test::writeFakeTool(m_dir.path(), u"hangs"_s, script), { pidFile },
                                [&] { return clock.elapsed() > 300; }, {}, {});
    QVERIFY(run.started && run.cancelled);
    QCOMPARE(run.exitCode, -1);
    QVERIFY2(clock.elapsed() < 2000, "the stop took seconds");
    QFile pid(pidFile);
    QVERIFY(pid.open(QIODevice::ReadOnly));
    QVERIFY2(::kill(pid.readAll().trimmed().toInt(), 0) != 0, "the child is still running");
}

QTEST_GUILESS_MAIN(tst_ToolRunner)
#include "tst_toolrunner.moc"
