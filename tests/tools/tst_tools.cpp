#include "codectable.h"
#include "encoderlist.h"
#include "fixtures.h"
#include "toollocator.h"
#include "toolmessage.h"
#include "toolrunner.h"

#include <QtTest>

#include <csignal>
#include <cstdio>

using namespace ks;
using namespace Qt::StringLiterals;

// Every child gets these. Never through a shell: quotes, dashes, wildcards and empty arguments arrive as given.
const QStringList Arguments{ u"/music/My Song's \"best\" take.mp3"_s, u"-leading dash.wav"_s, u"/tmp/Æ – Ω.flac"_s,
    u"$HOME `id` *"_s, QString() };

// Neither ended and reaped, nor ended and waiting for a parent that never reaps it.
static bool running(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    return ::kill(pid_t(pid), 0) == 0 && stat.open(QIODevice::ReadOnly) && stat.readAll().split(' ').value(2) != "Z";
}

class tst_Tools : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_systemPath = qgetenv("PATH");
    QStringList m_planted;

private Q_SLOTS:
    void cleanup()
    {
        setStallLimit(DefaultStallLimitMs);
        for (const QString &path : std::as_const(m_planted))
            QFile::remove(path);
        m_planted.clear();
        for (const QString &folder : { u"ffmpeg"_s, u"tools"_s })
            QDir(QCoreApplication::applicationDirPath()).rmdir(folder);
        qputenv("PATH", m_systemPath);
    }

    void progressRead_data()
    {
        QTest::addColumn<QString>("said");
        QTest::addColumn<double>("seconds"); // -1: not a progress line
        QTest::addColumn<int>("percent");    // of 10 s; -1: none reported
        QTest::newRow("microseconds, truncated") << u"out_time_us=3339000"_s << 3.339 << 33;
        QTest::newRow("past the end clamps") << u"out_time_us=12500000"_s << 12.5 << 100;
        QTest::newRow("negative time") << u"out_time_us=-2000000"_s << -2.0 << -1;
        QTest::newRow("clock") << u"out_time=01:01:02.500000"_s << 3662.5 << 100;
        QTest::newRow("clock not available") << u"out_time=N/A"_s << -1.0 << -1;
        // ffmpeg also writes out_time_ms, which is not milliseconds; it is not read.
        QTest::newRow("out_time_ms") << u"out_time_ms=1500000"_s << -1.0 << -1;
    }

    void progressRead()
    {
        QFETCH(QString, said);
        int percent = -1;
        reportProgressLine(said, 10.0, [&](int p) { percent = p; });
        QTEST(progressSeconds(said), "seconds");
        QTEST(percent, "percent");
    }

    void toolTextRead_data()
    {
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("line");
        // What ffmpeg and ffprobe really print, for /in/a.mp3 written to /o/a.m4a.
        QTest::newRow("muxer refuses the codec")
                << u"[ipod @ 0x5561] Could not find tag for codec flac in stream #0, codec not currently supported in "
                   "container\nCould not write header for output file #0 (incorrect codec parameters ?): Invalid argument"_s
                << u"this container cannot hold the codec"_s;
        QTest::newRow("useful line first")
                << u"[libvorbis @ 0x2] invalid quality 99\nError initializing output stream 0:0 -- "
                   "Error while opening encoder for output stream #0:0\nConversion failed!"_s
                << u"invalid quality 99"_s;
        QTest::newRow("output named") << u"[mp4 @ 0x3] Invalid frame in /o/.a.kstmp.m4a"_s
                                      << u"Invalid frame in /o/a.m4a"_s;
        QTest::newRow("the output's folder gone") << u"[mp3 @ 0x5] /o/.a.kstmp.m4a: No such file or directory\nError "
                                                     u"opening output files: No such file or "
                                                     "directory"_s
                                                  << u"output folder /o not found"_s;
        // Cut to 200 characters in the middle of the path, so the reason stays.
        QTest::newRow("a long line keeps its end")
                << u"Could not open /in/%1/a.mp3 for the reason given here"_s.arg(QString(300, u'y'))
                << u"Could not open /in/"_s + QString(41, u'y') + QChar(0x2026) + QString(107, u'y')
                        + u"/a.mp3 for the reason given here"_s;
        // ffmpeg's words for a damaged file, in plain ones, the most specific first.
        QTest::newRow("a frame that cannot be read") << u"[mpc8 @ 0x7] Invalid frame size (1044): Could not seek to "
                                                        u"1461.\n/in/a.mp3: Invalid data found when "
                                                        "processing input"_s
                                                     << u"damaged audio (a frame cannot be read)"_s;
        // What ended it, over a cause the tool gave on the way.
        QTest::newRow("stopped") << u"[mp3 @ 0x4] /in/a.mp3: Invalid data found when processing input\n"_s
                        + ToolMessage::stalled(u"ffmpeg"_s, DefaultStallLimitMs)
                                 << u"ffmpeg made no progress for 5 minutes - stopped"_s;
    }

    void toolTextRead()
    {
        QFETCH(QString, said);
        QTEST(ToolMessage::oneLine(said, u"/in/a.mp3"_s, u"/o/.a.kstmp.m4a"_s, u"/o/a.m4a"_s), "line");
    }

    void encoderChosen_data()
    {
        QTest::addColumn<QString>("codec");   // as ffprobe names it
        QTest::addColumn<QString>("listing"); // ffmpeg -encoders' lines; empty: the real ffmpeg's
        QTest::addColumn<QString>("encoder"); // empty: none there
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<bool>("copyCutsIt"); // a stream copy gives the planned cut, players honour it
        // The table's choice where there is one, else whichever encoder this ffmpeg lists for the codec.
        for (const auto &[codec, encoder, lossless, copyCutsIt] : { std::tuple("mp3", "libmp3lame", false, true),
                     std::tuple("aac", "aac", false, true), std::tuple("ac3", "ac3", false, true),
                     std::tuple("eac3", "eac3", false, false), std::tuple("mp2", "mp2", false, false),
                     std::tuple("vorbis", "libvorbis", false, false), std::tuple("opus", "libopus", false, false),
                     std::tuple("wmav1", "wmav1", false, false), std::tuple("wmav2", "wmav2", false, false),
                     std::tuple("flac", "flac", true, false), std::tuple("pcm_s24le", "pcm_s24le", true, false),
                     std::tuple("speex", "libspeex", false, false), std::tuple("gsm", "libgsm", false, true),
                     std::tuple("adpcm_g722", "g722", false, true), std::tuple("ape", "", false, true),
                     std::tuple("truehd", "", false, true) }) // truehd: experimental only
            QTest::addRow("%s", codec) << QString::fromLatin1(codec) << QString() << QString::fromLatin1(encoder)
                                       << lossless << copyCutsIt;
        const QString wma2 = u" A..... wmav2                Windows Media Audio 2\n"_s;
        QTest::newRow("WMA 1, only WMA 2 listed") << u"wmav1"_s << wma2 << QString() << false << false;
        QTest::newRow("mp3 without LAME")
                << u"mp3"_s << wma2 + u" A....D libshine             libshine MP3 (MPEG audio layer 3) (codec mp3)"_s
                << u"libshine"_s << false << true;
    }

    void encoderChosen()
    {
        QFETCH(QString, codec);
        QFETCH(QString, listing);
        if (listing.isEmpty())
            listing = QString::fromUtf8(
                    test::programOutput(test::ffmpegExecutable(), { u"-hide_banner"_s, u"-encoders"_s }));
        const EncoderList listed = EncoderList::parse(listing);
        const QString picked = CodecTable::encoderFor(codec, listed);
        QTEST(listed.contains(picked) ? picked : QString(), "encoder");
        QTEST(CodecTable::isLossless(codec), "lossless");
        QTEST(!CodecTable::needsReencode(codec), "copyCutsIt");
    }

    void encoderOptions_data()
    {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<int>("bitRate"); // the source's, as probed
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<CodecTable::Level>("level");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("rate"); // as the result says it
        const auto at = [](int value) { return QStringList{ u"-b:a"_s, QString::number(value) }; };
        const auto row = [](const char *tag, const char *encoder, int bitRate, int channels, int sampleRate,
                                 const QStringList &options, const char *rate,
                                 CodecTable::Level level = CodecTable::Level::Source) {
            QTest::newRow(tag) << QString::fromLatin1(encoder) << bitRate << channels << sampleRate << level << options
                               << QString::fromLatin1(rate);
        };
        // Never a rate the encoder refuses; a claim no real file makes leaves the encoder's default.
        row("WMA claiming 128 b/s", "wmav2", 128, 2, 44100, {}, "");
        row("WMA at 20 kb/s, under its least", "wmav1", 20000, 1, 44100, at(24000), "24 kbit/s");
        row("WMA at 2 Mb/s", "wmav2", 2000000, 2, 44100, at(440000), "440 kbit/s");
        row("MP3 at 128 kb/s", "libmp3lame", 128400, 2, 44100, at(128000), "128 kbit/s");
        // A VBR source's average, which no quality level holds whatever the music.
        row("MP3 VBR at 171 kb/s", "libmp3lame", 171234, 2, 44100, QStringList{ u"-abr"_s, u"1"_s } + at(171000),
                "171 kbit/s");
        row("MP2 at 9 kb/s", "mp2", 9000, 1, 44100, at(32000), "32 kbit/s");
        row("Opus claiming 128 b/s, stereo", "libopus", 128, 2, 48000, at(96000), "96 kbit/s");
        row("Opus at 900 kb/s, stereo", "libopus", 900000, 2, 48000, at(512000), "512 kbit/s");
        row("Vorbis under what libvorbis manages", "libvorbis", 20000, 1, 22050, at(32000), "32 kbit/s");
        row("Vorbis at 96 kHz, which libvorbis manages only by quality", "libvorbis", 128000, 2, 96000,
                { u"-q:a"_s, u"6"_s }, "quality 6");
        // A named level is the encoder's own, for the channels, whatever the source spent.
        row("AAC high, stereo", "aac", 64000, 2, 44100, at(192000), "192 kbit/s", CodecTable::Level::High);
        row("MP3 small, mono, from a VBR source", "libmp3lame", 171234, 1, 44100, at(64000), "64 kbit/s",
                CodecTable::Level::Small);
        row("Opus medium, stereo", "libopus", 0, 2, 48000, at(96000), "96 kbit/s", CodecTable::Level::Medium);
        row("a level of no name is the source's", "aac", 86000, 2, 44100, at(86000), "86 kbit/s", CodecTable::Level(7));
    }

    void encoderOptions()
    {
        QFETCH(QString, encoder);
        QFETCH(int, bitRate);
        QFETCH(int, channels);
        QFETCH(int, sampleRate);
        QFETCH(CodecTable::Level, level);
        const CodecTable::EncoderSetting setting
                = CodecTable::encoderSetting(encoder, bitRate, channels, sampleRate, level);
        QTEST(setting.options, "options");
        QTEST(setting.rate, "rate");
    }

    void childOutputAndEnd_data()
    {
        QTest::addColumn<QByteArray>("script"); // "-x": not executable
        QTest::addColumn<int>("limit");         // ms of silence the runner allows, 0: its default
        QTest::addColumn<QString>("out");       // the first five lines as they arrived, joined by '|'
        QTest::addColumn<QString>("err");       // lines as they arrived joined by '\n', and the whole text
        QTest::addColumn<QString>("end");       // or the message the runner ended it with
        const auto row = [](const char *tag, const QByteArray &script, const QString &end, const QString &out = {},
                                 const QString &err = {},
                                 int limit = 0) { QTest::newRow(tag) << script << limit << out << err << end; };
        const QByteArray pid = "echo $$ > \"$0.pid\"\n";
        // Lines joined across reads, CR LF, an empty line, "é" split over two writes, a last line without an end.
        row("lines on both channels", "printf 'abc\\r\\n\\nCaf\\303\\251 x'\nprintf 'e1\\ne2' >&2", u"exit 0"_s,
                u"abc||Café x"_s, u"e1\ne2"_s);
        row("garbage", "printf 'ok\\377\\376\\n'", u"exit 0"_s, u"ok\uFFFD\uFFFD"_s);
        row("exit 1 with text", "echo 'no such file' >&2\nexit 1", u"exit 1"_s, {}, u"no such file"_s);
        row("arguments unchanged", "printf '%s\\n' \"$@\"", u"exit 0"_s, Arguments.join(u'|'));
        row("not executable", "-x", u"never started"_s, {}, u"failed to start not executable"_s);
        // Stopped once it said who it is; one that never stops talking must not hide the stop.
        row("silent hang", pid + "exec sleep 30", u"cancelled"_s);
        row("endless output", pid + "exec yes progress=continue", u"cancelled"_s,
                QStringList(5, u"progress=continue"_s).join(u'|'));
        // Silent for longer than the limit: stopped by the runner, not asked to.
        const QString stalled = u" made no progress for 0.3 s - stopped"_s;
        row("silent from the start", pid + "exec sleep 60", u"silent from the start"_s + stalled, {}, {}, 300);
        row("silent after a line", pid + "echo out_time_us=0\necho starting >&2\nexec sleep 60",
                u"silent after a line"_s + stalled, u"out_time_us=0"_s, u"starting"_s, 300);
    }

    void childOutputAndEnd()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, limit);
        QFETCH(QString, end);
        QFETCH(QString, out);
        QFETCH(QString, err);
        setStallLimit(limit ? limit : DefaultStallLimitMs);
        const QString program = test::writeFakeTool(m_dir.path(), QString::fromLatin1(QTest::currentDataTag()), script);
        if (script == "-x")
            QFile::setPermissions(program, QFile::ReadOwner);
        QFile pid(program + u".pid"_s);
        QStringList outLines, errLines;
        // "cancelled" shows the stop ended the sleep early; only those rows ask to stop.
        const auto stop
                = [&] { return end == u"cancelled" && pid.size() > 0 && outLines.join(u'|').size() >= out.size(); };
        const ToolRun run = runTool(
                program, Arguments, stop, [&](const QString &l) { outLines.size() < 5 ? void(outLines << l) : void(); },
                [&](const QString &l) { errLines << l; });
        QCOMPARE(!run.started                                 ? u"never started"_s
                        : run.cancelled && run.exitCode == -1 ? u"cancelled"_s
                        : run.stalled                         ? ToolMessage::oneLine(run.stdErr, QString())
                                                              : u"exit %1"_s.arg(run.exitCode),
                end);
        QCOMPARE(outLines.join(u'|'), out);
        QCOMPARE(errLines.join(u'\n'), run.started ? err : QString());
        QCOMPARE(run.stdErr.trimmed(), (QStringList{ err, run.stalled ? end : QString() }.join(u'\n').trimmed()));
        QVERIFY2(!pid.open(QIODevice::ReadOnly) || !running(pid.readAll().trimmed().toLongLong()), "still running");
    }

    // A child talking on one channel, then the other, each past the limit, runs to its end; the clock only paces it.
    void aTalkingChildIsNeverStalled()
    {
        const int limit = 1000;
        setStallLimit(limit);
        const QString program = test::writeFakeTool(m_dir.path(), u"talker"_s,
                "while [ ! -e \"$0.err\" ]; do echo out_time_us=1; done\n"
                "while [ ! -e \"$0.end\" ]; do echo frame >&2; done");
        QElapsedTimer talking;
        talking.start();
        // Past one and a half limits on a channel, the child is told to go on to the next.
        const auto next = [&](const QString &flag) {
            if (talking.elapsed() > limit * 3 / 2 && QFile(program + flag).open(QIODevice::WriteOnly))
                talking.restart();
        };
        bool errStarted = false;
        const ToolRun run = runTool(
                program, {}, {}, [&](const QString &) { next(u".err"_s); },
                [&](const QString &) {
                    if (!std::exchange(errStarted, true))
                        talking.restart();
                    next(u".end"_s);
                });
        QVERIFY2(!run.stalled, qPrintable(run.stdErr.right(200)));
        QCOMPARE(run.exitCode, 0);
    }

    void childDiesWithItsParent()
    {
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

    void lookup_data()
    {
        // The places best first: "PATH/" the search path, others beside the program; "-x" not runnable, passed over.
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("configured"); // for ffplay, where ffmpeg is
        QTest::addColumn<QString>("plants");     // split at spaces
        QTest::addColumn<int>("found");          // index into plants, -1: none
        // ffprobe, as on Linux a copy of ffmpeg beside the program would share its name with the "ffmpeg" folder.
        const QString all = u"ffmpeg/ffprobe ffprobe tools/ffprobe PATH/ffprobe"_s, x = u"ffmpeg/ffprobe-x "_s;
        QTest::newRow("configured and runnable")
                << u"ffprobe"_s << u"PATH/mine/ffprobe"_s << u"PATH/mine/ffprobe "_s + all << 0;
        QTest::newRow("configured but missing") << u"ffprobe"_s << u"/nonexistent/ffprobe"_s << all << 0;
        QTest::newRow("beside the program")
                << u"ffprobe"_s << QString() << x + u"ffprobe tools/ffprobe PATH/ffprobe"_s << 1;
        QTest::newRow("then the tools folder") << u"ffprobe"_s << QString() << x + u"tools/ffprobe PATH/ffprobe"_s << 1;
        QTest::newRow("then the search path") << u"ffprobe"_s << QString() << u"ffmpeg/ffprobe-x PATH/ffprobe"_s << 1;
        QTest::newRow("ffprobe nowhere") << u"ffprobe"_s << QString() << u"ffmpeg/ffprobe-x"_s << -1;
        // ffplay: the one beside ffmpeg, else the one on the search path.
        const QString own = u"PATH/own/ffmpeg"_s;
        QTest::newRow("beside the ffmpeg in use") << u"ffplay"_s << own << u"PATH/own/ffplay PATH/ffplay"_s << 0;
        QTest::newRow("beside it but not runnable") << u"ffplay"_s << own << u"PATH/own/ffplay-x PATH/ffplay"_s << 1;
        QTest::newRow("a folder of its name beside it") << u"ffplay"_s << own << u"PATH/own/ffplay/ffplay"_s << -1;
        QTest::newRow("no ffmpeg, the search path") << u"ffplay"_s << QString() << u"PATH/ffplay"_s << 0;
    }

    void lookup()
    {
        QFETCH(QString, tool);
        QFETCH(QString, configured);
        QFETCH(QString, plants);
        QFETCH(int, found);
        qputenv("PATH", QFile::encodeName(m_dir.filePath(u"PATH"_s)));
        for (const QString &place : plants.split(u' ', Qt::SkipEmptyParts)) {
            const QFileInfo path((place.startsWith(u"PATH/"_s) ? m_dir.path() : QCoreApplication::applicationDirPath())
                    + u'/' + place.section(u"-x"_s, 0, 0));
            QVERIFY(QDir().mkpath(path.absolutePath()));
            m_planted << test::writeFakeTool(path.absolutePath(), path.fileName(), "exit 0");
            if (place.endsWith(u"-x"_s))
                QVERIFY(QFile::setPermissions(m_planted.last(), QFile::ReadOwner | QFile::WriteOwner));
        }
        if (configured.startsWith(u"PATH/"_s))
            configured = m_dir.filePath(configured);
        QCOMPARE(tool == u"ffplay" ? ToolLocator::locatePlayer(configured) : locateTool(configured, tool),
                m_planted.value(found));
        // The folder named like the tool is never taken for the tool.
        QCOMPARE(locateTool(QString(), u"ffmpeg"_s), QString());
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The parent childDiesWithItsParent kills.
    if (argc == 3 && qstrcmp(argv[1], "--run-tool") == 0) {
        const auto passOn = [](const QString &line) { std::printf("%s\n", qPrintable(line)), std::fflush(stdout); };
        return runTool(QString::fromLocal8Bit(argv[2]), {}, {}, passOn, {}).exitCode;
    }
    tst_Tools test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_tools.moc"
