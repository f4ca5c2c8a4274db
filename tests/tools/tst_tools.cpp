#include "fixtures.h"
#include "toollocator.h"
#include "toolmessage.h"
#include "toolrunner.h"

#include <QtTest>

#include <QScopeGuard>

#include <csignal>
#include <cstdio>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_Tools : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void progressLines_data();
    void progressLines();
    void oneLineMessages_data();
    void oneLineMessages();
    void childOutputAndEnd_data();
    void childOutputAndEnd();
    void quietChildStopped_data();
    void quietChildStopped();
    void childDiesWithItsParent();
    void lookupOrder_data();
    void lookupOrder();
    void playerLookup_data();
    void playerLookup();

private:
    QString plant(const QString &place, bool runnable = true);
    QString appDir() const { return QCoreApplication::applicationDirPath(); }

    QTemporaryDir m_dir;
    QByteArray m_systemPath = qgetenv("PATH");
    QStringList m_planted;
};

void tst_Tools::cleanup()
{
    for (const QString &path : std::as_const(m_planted))
        QFile::remove(path);
    m_planted.clear();
    for (const QString &folder : { u"ffmpeg"_s, u"tools"_s })
        QDir(appDir()).rmdir(folder);
    qputenv("PATH", m_systemPath);
}

void tst_Tools::progressLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("seconds"); // -1: not a position
    QTest::addColumn<int>("percent");    // of 10 s; -1: nothing reported
    QTest::newRow("microseconds, truncated") << u"out_time_us=3339000"_s << 3.339 << 33;
    QTest::newRow("past the end clamps") << u"out_time_us=12500000"_s << 12.5 << 100;
    QTest::newRow("negative time") << u"out_time_us=-2000000"_s << -2.0 << -1;
    QTest::newRow("clock") << u"out_time=01:01:02.500000"_s << 3662.5 << 100;
    QTest::newRow("clock not available") << u"out_time=N/A"_s << -1.0 << -1;
    QTest::newRow("clock of two parts") << u"out_time=01:02"_s << -1.0 << -1;
    // ffmpeg also writes out_time_ms, which is not milliseconds; it is not read.
    QTest::newRow("out_time_ms") << u"out_time_ms=1500000"_s << -1.0 << -1;
}

void tst_Tools::progressLines()
{
    QFETCH(QString, line);
    QFETCH(int, percent);
    QTEST(progressSeconds(line), "seconds");
    QList<int> got;
    reportProgressLine(line, 10.0, [&](int p) { got << p; });
    QCOMPARE(got, percent < 0 ? QList<int>() : QList<int>{ percent });
}

void tst_Tools::oneLineMessages_data()
{
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("line");
    // What ffmpeg and ffprobe really print, for /in/a.mp3 written to /o/a.m4a.
    QTest::newRow("no frames") << u"[mp3 @ 0x55c3259e2b40] Failed to read frame size: Could not seek to 1026.\n"
                                  "/in/a.mp3: Invalid argument"_s
                               << u"damaged or not an audio file (no readable frames)"_s;
    QTest::newRow("muxer refuses the codec")
            << u"[ipod @ 0x5561] Could not find tag for codec flac in stream #0, codec not currently supported in "
               "container\nCould not write header for output file #0 (incorrect codec parameters ?): Invalid "
               "argument\nError initializing output stream 0:0 -- \n"_s
            << u"this container cannot hold the codec"_s;
    QTest::newRow("the useful line before the generic ones")
            << u"[libvorbis @ 0x2] invalid quality 99\nError initializing output stream 0:0 -- Error while opening "
               "encoder for output stream #0:0\nConversion failed!"_s
            << u"invalid quality 99"_s;
    QTest::newRow("the output named, not its temporary file")
            << u"[mp4 @ 0x3] Invalid frame in /o/.a.kstmp.m4a"_s << u"Invalid frame in /o/a.m4a"_s;
    QTest::newRow("the output's folder gone")
            << u"[mp3 @ 0x5] /o/.a.kstmp.m4a: No such file or directory\nError opening output files: No such file or "
               "directory"_s
            << u"output folder /o not found"_s;
    QTest::newRow("the source missing") << u"/in/a.mp3: No such file or directory"_s << u"file not found"_s;
    QTest::newRow("a path too long") << u"/in/%1/a.mp3: File name too long"_s.arg(QString(300, u'x'))
                                     << u"file name too long"_s;
    // Cut to 200 characters in the middle of the path, so the reason stays.
    QTest::newRow("a long line keeps its end")
            << u"Could not open /in/%1/a.mp3 for the reason given here"_s.arg(QString(300, u'y'))
            << u"Could not open /in/"_s + QString(41, u'y') + QChar(0x2026) + QString(107, u'y')
                    + u"/a.mp3 for the reason given here"_s;
    QTest::newRow("a cover that cannot be read")
            << u"[mjpeg @ 0x6] dimensions not set\nCould not write header for output file #0"_s
            << u"the cover art cannot be read"_s;
    // What ended it, over a cause the tool gave on the way.
    QTest::newRow("stopped for making no progress")
            << u"[mp3 @ 0x4] /in/a.mp3: Invalid data found when processing input\n"
               "ffmpeg made no progress for 5 minutes - stopped"_s
            << u"ffmpeg made no progress for 5 minutes - stopped"_s;
}

void tst_Tools::oneLineMessages()
{
    QFETCH(QString, said);
    QTEST(ToolMessage::oneLine(said, u"/in/a.mp3"_s, u"/o/.a.kstmp.m4a"_s, u"/o/a.m4a"_s), "line");
}

// Every child gets these. Never through a shell: quotes, dashes, wildcards and empty arguments arrive as given.
const QStringList Arguments{ u"/music/My Song's \"best\" take.mp3"_s, u"-leading dash.wav"_s, u"/tmp/Æ – Ω.flac"_s,
    u"$HOME `id` *"_s, QString() };

void tst_Tools::childOutputAndEnd_data()
{
    QTest::addColumn<QByteArray>("script"); // "-x": not executable
    QTest::addColumn<QStringList>("out");   // the first five lines as they arrived
    QTest::addColumn<QStringList>("err");   // lines as they arrived, and the whole text
    QTest::addColumn<QString>("end");
    // Lines joined across reads, CR LF, an empty line, "é" split between two
    // writes a moment apart, and a last line without an end.
    QTest::newRow("lines as they arrive")
            << QByteArray("printf abc\nsleep 0.2\nprintf 'def\\r\\n\\nCaf\\303'\nsleep 0.2\nprintf '\\251 x'\n"
                          "printf 'e1\\ne2' >&2")
            << QStringList{ u"abcdef"_s, QString(), u"Café x"_s } << QStringList{ u"e1"_s, u"e2"_s } << u"exit 0"_s;
    QTest::newRow("garbage") << QByteArray("printf 'ok\\377\\376\\n'") << QStringList{ u"ok\uFFFD\uFFFD"_s }
                             << QStringList() << u"exit 0"_s;
    QTest::newRow("exit 1 with text") << QByteArray("echo 'no such file' >&2\nexit 1") << QStringList()
                                      << QStringList{ u"no such file"_s } << u"exit 1"_s;
    QTest::newRow("exit 1, silent") << QByteArray("exit 1") << QStringList() << QStringList() << u"exit 1"_s;
    QTest::newRow("arguments unchanged") << QByteArray("printf '%s\\n' \"$@\"") << Arguments << QStringList()
                                         << u"exit 0"_s;
    QTest::newRow("not executable") << QByteArray("-x") << QStringList()
                                    << QStringList{ u"failed to start not executable"_s } << u"never started"_s;
    // Stopped once it has said who it is; one that never stops talking must
    // not keep the poll from seeing the stop.
    QTest::newRow("silent hang") << QByteArray("echo $$ > \"$0.pid\"\nexec sleep 30") << QStringList() << QStringList()
                                 << u"cancelled"_s;
    QTest::newRow("endless output") << QByteArray("echo $$ > \"$0.pid\"\nexec yes progress=continue")
                                    << QStringList(5, u"progress=continue"_s) << QStringList() << u"cancelled"_s;
}

void tst_Tools::childOutputAndEnd()
{
    QFETCH(QByteArray, script);
    QFETCH(QStringList, err);
    const QString program = test::writeFakeTool(m_dir.path(), QString::fromLatin1(QTest::currentDataTag()), script);
    if (script == "-x")
        QFile::setPermissions(program, QFile::ReadOwner);
    QFile pid(program + u".pid"_s);
    QStringList outLines, errLines;
    // Asked to stop once the child has said who it is and a little time has
    // passed; "cancelled" shows the stop ended the 30 s sleep early.
    const QDeadlineTimer settle(300);
    const ToolRun run = runTool(
            program, Arguments, [&] { return settle.hasExpired() && pid.exists(); },
            [&](const QString &l) { outLines.size() < 5 ? void(outLines << l) : void(); },
            [&](const QString &l) { errLines << l; });
    QTEST(!run.started                                    ? u"never started"_s
                    : run.cancelled && run.exitCode == -1 ? u"cancelled"_s
                                                          : u"exit %1"_s.arg(run.exitCode),
            "end");
    QTEST(outLines, "out");
    QCOMPARE(errLines, run.started ? err : QStringList());
    QCOMPARE(run.stdErr.split(u'\n', Qt::SkipEmptyParts), err);
    QVERIFY2(!pid.open(QIODevice::ReadOnly) || ::kill(pid.readAll().trimmed().toInt(), 0) != 0, "still running");
}

namespace {

// A child that has ended and been reaped, or ended and waits for a parent that never reaps it.
bool running(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    return ::kill(pid_t(pid), 0) == 0 && stat.open(QIODevice::ReadOnly) && stat.readAll().split(' ').value(2) != "Z";
}

} // namespace

void tst_Tools::quietChildStopped_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("limit");   // ms of silence the runner allows
    QTest::addColumn<QString>("end"); // or the message the runner ended it with
    QTest::newRow("silent from the start") << QByteArray("echo $$ > \"$0.pid\"\nexec sleep 60") << 300
                                           << u"silent from the start made no progress for 0.3 s - stopped"_s;
    QTest::newRow("silent after a line") << QByteArray(
            "echo $$ > \"$0.pid\"\necho out_time_us=0\necho starting >&2\nexec sleep 60")
                                         << 300 << u"silent after a line made no progress for 0.3 s - stopped"_s;
    // Twice the limit in all, a line on one channel or the other every tenth of it.
    QTest::newRow("talking past the limit")
            << QByteArray("echo $$ > \"$0.pid\"\nfor i in 1 2 3 4 5 6 7 8 9 10; do echo out_time_us=$i; sleep 0.2; "
                          "echo frame $i >&2; sleep 0.2; done")
            << 2000 << u"exit 0"_s;
}

void tst_Tools::quietChildStopped()
{
    QFETCH(QByteArray, script);
    QFETCH(int, limit);
    QCOMPARE(ToolMessage::stalled(u"ffmpeg"_s, DefaultStallLimitMs),
            u"ffmpeg made no progress for 5 minutes - stopped"_s);
    QCOMPARE(stallLimit(), DefaultStallLimitMs);
    setStallLimit(limit);
    const auto reset = qScopeGuard([] { setStallLimit(DefaultStallLimitMs); });
    const QString program = test::writeFakeTool(m_dir.path(), QString::fromLatin1(QTest::currentDataTag()), script);
    const ToolRun run = runTool(program, {}, {}, {}, {});
    QTEST(run.stalled ? ToolMessage::oneLine(run.stdErr, QString()) : u"exit %1"_s.arg(run.exitCode), "end");
    QCOMPARE(run.cancelled, false);
    QFile pid(program + u".pid"_s);
    QVERIFY(pid.open(QIODevice::ReadOnly));
    QVERIFY2(!running(pid.readAll().trimmed().toLongLong()), "still running");
}

void tst_Tools::childDiesWithItsParent()
{
#ifndef Q_OS_LINUX
    QSKIP("a child is bound to its parent on Linux only");
#endif
    // This program, as a parent that runs one tool through the runner and passes on what it prints.
    const QString tool = test::writeFakeTool(m_dir.path(), u"long-tool"_s, "echo $$\nexec sleep 600");
    QProcess parent;
    parent.start(QCoreApplication::applicationFilePath(), { u"--run-tool"_s, tool });
    QVERIFY(parent.waitForStarted());
    while (!parent.canReadLine() && parent.waitForReadyRead(60000)) { }
    const qint64 child = parent.readLine().trimmed().toLongLong();
    QVERIFY(child > 0);
    const auto leftover = qScopeGuard([child] { ::kill(pid_t(child), SIGKILL); });
    QVERIFY(running(child));
    ::kill(pid_t(parent.processId()), SIGKILL);
    QVERIFY(parent.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(!running(child), 60000);
}

// "PATH/x" plants on the search path, anything else beside the program.
QString tst_Tools::plant(const QString &place, bool runnable)
{
    const QFileInfo path(place.startsWith(u"PATH/"_s) ? m_dir.filePath(place) : QDir(appDir()).filePath(place));
    QDir().mkpath(path.absolutePath());
    m_planted << test::writeFakeTool(path.absolutePath(), path.fileName(), "exit 0");
    if (!runnable)
        QFile::setPermissions(m_planted.last(), QFile::ReadOwner | QFile::WriteOwner);
    return m_planted.last();
}

void tst_Tools::lookupOrder_data()
{
    // ffprobe, as on Linux a copy of ffmpeg beside the program would share its name with the "ffmpeg"
    // folder. The places best first: the first one present wins.
    QTest::addColumn<QString>("configured"); // "runnable": a planted tool
    QTest::addColumn<QStringList>("present");
    const QStringList all{ u"ffmpeg/ffprobe"_s, u"ffprobe"_s, u"tools/ffprobe"_s, u"PATH/ffprobe"_s };
    QTest::newRow("configured and runnable") << u"runnable"_s << all;
    QTest::newRow("configured but missing") << u"/nonexistent/ffprobe"_s << all;
    QTest::newRow("then beside the program") << QString() << all.mid(1);
    QTest::newRow("then the tools folder") << QString() << all.mid(2);
    QTest::newRow("then the search path") << QString() << all.mid(3);
    QTest::newRow("nowhere") << QString() << QStringList();
}

void tst_Tools::lookupOrder()
{
    QFETCH(QString, configured);
    QFETCH(QStringList, present);
    qputenv("PATH", QFile::encodeName(m_dir.filePath(u"PATH"_s)));
    for (const QString &place : std::as_const(present))
        plant(place);
    QString expected = m_planted.value(0);
    // A better place holding something that is not runnable is passed over.
    if (!present.contains(u"ffmpeg/ffprobe"_s))
        plant(u"ffmpeg/ffprobe"_s, false);
    if (configured == u"runnable")
        expected = configured = plant(u"PATH/mine/ffprobe"_s);
    QCOMPARE(locateTool(configured, u"ffprobe"_s), expected);
    // The folder named like the tool is never taken for the tool.
    QCOMPARE(locateTool(QString(), u"ffmpeg"_s), QString());
}

void tst_Tools::playerLookup_data()
{
    // Where ffmpeg is, and which ffplays are planted: the one beside ffmpeg, the one on the search path.
    QTest::addColumn<QString>("ffmpeg");
    QTest::addColumn<QStringList>("present"); // "-x": planted, not runnable
    QTest::addColumn<int>("found");           // index into present, -1: none
    QTest::newRow("beside the ffmpeg in use")
            << u"PATH/own/ffmpeg"_s << QStringList{ u"PATH/own/ffplay"_s, u"PATH/ffplay"_s } << 0;
    QTest::newRow("beside it but not runnable")
            << u"PATH/own/ffmpeg"_s << QStringList{ u"PATH/own/ffplay-x"_s, u"PATH/ffplay"_s } << 1;
    QTest::newRow("a folder of its name beside it")
            << u"PATH/own/ffmpeg"_s << QStringList{ u"PATH/own/ffplay/ffplay"_s } << -1;
    QTest::newRow("no ffmpeg, the search path") << QString() << QStringList{ u"PATH/ffplay"_s } << 0;
    QTest::newRow("nowhere") << QString() << QStringList() << -1;
}

void tst_Tools::playerLookup()
{
    QFETCH(QString, ffmpeg);
    QFETCH(QStringList, present);
    QFETCH(int, found);
    qputenv("PATH", QFile::encodeName(m_dir.filePath(u"PATH"_s)));
    QStringList planted;
    for (const QString &place : std::as_const(present)) {
        const bool runnable = !place.endsWith(u"-x"_s);
        planted << plant(runnable ? place : place.chopped(2), runnable);
    }
    const QString configured = ffmpeg.isEmpty() ? QString() : m_dir.filePath(ffmpeg);
    QCOMPARE(ToolLocator::locatePlayer(configured), planted.value(found));
    for (const QString &path : std::as_const(planted))
        QCOMPARE(ToolLocator::isRunnable(path), !present.at(planted.indexOf(path)).endsWith(u"-x"_s));
    QVERIFY(!ToolLocator::isRunnable(m_dir.filePath(u"PATH"_s))); // a folder is no program
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The parent childDiesWithItsParent kills.
    if (argc == 3 && qstrcmp(argv[1], "--run-tool") == 0) {
        const auto passOn = [](const QString &line) {
            std::printf("%s\n", qPrintable(line));
            std::fflush(stdout);
        };
        return runTool(QString::fromLocal8Bit(argv[2]), {}, {}, passOn, {}).exitCode;
    }
    tst_Tools test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_tools.moc"
