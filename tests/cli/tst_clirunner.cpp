#include "audiofixture.h"
#include "settings.h"
#include "settingsstore.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

using namespace ks;
using namespace Qt::StringLiterals;

// Runs the built kestrova-cli as a script would: a child process with no
// terminal, its own settings store and a working folder of its own.
class tst_CliRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void analyseReportsEveryFileAsJson();
    void trimMirrorsFoldersAndFiles();
    void trimInPlaceKeepsBackup();
    void quietPrintsOnlyErrorsAndTotals();
    void inPlaceNeedsYesWithoutTerminal();
    void storedSettingsAreTheDefaults();
    void exitStatus_data();
    void exitStatus();
    void stopsCleanlyOnSignal_data();
    void stopsCleanlyOnSignal();
    void stopsWhenTheReaderGoes();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
        QList<QJsonObject> json() const;
    };

    Run run(const QStringList &arguments, const QProcessEnvironment &extra = {}) const;
    QProcessEnvironment environment() const;
    QString work(const QString &name) const { return QDir(m_work->path()).filePath(name); }
    void copySource(const QString &name, const QString &to) const;
    QString storeFile() const { return m_config->filePath(u"Orrinworks/Kestrova.conf"_s); }
    static QByteArray digest(const QString &path);
    static QStringList filesBelow(const QString &folder);
    static QStringList processesMentioning(const QString &text);

    QTemporaryDir m_sources;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QTemporaryDir> m_config;
};

QList<QJsonObject> tst_CliRunner::Run::json() const
{
    QList<QJsonObject> objects;
    for (const QString &line : out.split(u'\n', Qt::SkipEmptyParts)) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            return {}; // every line of --json output must be one object
        objects << doc.object();
    }
    return objects;
}

void tst_CliRunner::initTestCase()
{
    QVERIFY(QFileInfo(QStringLiteral(KESTROVA_CLI)).isExecutable());
    test::ToneSpec padded; // 1 s of silence, 2 s of tone, 2 s of silence
    QCOMPARE(test::makeAudio(QDir(m_sources.path()).filePath(u"cut.wav"_s), padded), QString());
    QCOMPARE(test::makeAudio(QDir(m_sources.path()).filePath(u"deep.mp3"_s), padded), QString());
    test::ToneSpec within;
    within.leadSec = 0.0;
    within.tailSec = 0.0;
    QCOMPARE(test::makeAudio(QDir(m_sources.path()).filePath(u"within.wav"_s), within), QString());
    QFile garbage(QDir(m_sources.path()).filePath(u"garbage.mp3"_s));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("this is not audio at all\n");
}

void tst_CliRunner::init()
{
    m_work = std::make_unique<QTemporaryDir>();
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid() && m_config->isValid());
}

void tst_CliRunner::cleanup()
{
    m_work.reset();
    m_config.reset();
}

QProcessEnvironment tst_CliRunner::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, m_config->path());
    return env;
}

tst_CliRunner::Run tst_CliRunner::run(const QStringList &arguments, const QProcessEnvironment &extra) const
{
    QProcessEnvironment env = environment();
    for (const QString &key : extra.keys())
        env.insert(key, extra.value(key));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_work->path());
    process.start(QStringLiteral(KESTROVA_CLI), arguments);
    Run result;
    if (!process.waitForFinished(120000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void tst_CliRunner::copySource(const QString &name, const QString &to) const
{
    QDir().mkpath(QFileInfo(work(to)).absolutePath());
    QVERIFY(QFile::copy(QDir(m_sources.path()).filePath(name), work(to)));
}

QByteArray tst_CliRunner::digest(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

QStringList tst_CliRunner::filesBelow(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

QStringList tst_CliRunner::processesMentioning(const QString &text)
{
    QStringList found;
    const QStringList pids = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        QFile cmdline(u"/proc/%1/cmdline"_s.arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text.toUtf8()))
            found << pid;
    }
    return found;
}

void tst_CliRunner::analyseReportsEveryFileAsJson()
{
    copySource(u"cut.wav"_s, u"in/cut.wav"_s);
    copySource(u"deep.mp3"_s, u"in/sub/deep.mp3"_s);
    copySource(u"within.wav"_s, u"in/within.wav"_s);
    const QStringList before = filesBelow(m_work->path());

    const Run r = run({ u"analyse"_s, u"--no-settings"_s, u"--json"_s, u"in"_s });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
    const QList<QJsonObject> objects = r.json();
    QCOMPARE(objects.size(), 4);

    // The scan's order, each path absolute.
    QCOMPARE(objects.at(0).value(u"path").toString(), work(u"in/cut.wav"_s));
    QCOMPARE(objects.at(1).value(u"path").toString(), work(u"in/sub/deep.mp3"_s));
    QCOMPARE(objects.at(2).value(u"path").toString(), work(u"in/within.wav"_s));

    const QJsonObject cut = objects.at(0);
    QCOMPARE(cut.value(u"status").toString(), u"Analysed"_s);
    QCOMPARE(cut.value(u"message").toString(), u"would adjust head -0.850 s, tail -1.850 s"_s);
    QVERIFY(cut.value(u"outputPath").isNull());
    QCOMPARE(cut.value(u"durationSec").toDouble(), 5.0);
    QCOMPARE(cut.value(u"headSec").toDouble(), 1.0);
    QCOMPARE(cut.value(u"tailSec").toDouble(), 2.0);
    QCOMPARE(cut.value(u"headChangeSec").toDouble(), -0.85);
    QCOMPARE(cut.value(u"tailChangeSec").toDouble(), -1.85);
    QCOMPARE(cut.value(u"newDurationSec").toDouble(), 2.3);
    QCOMPARE(cut.value(u"reencoded"), QJsonValue(false));

    const QJsonObject deep = objects.at(1);
    QCOMPARE(deep.value(u"status").toString(), u"Analysed"_s);
    QCOMPARE(deep.value(u"headSec").toDouble(), 1.0);
    QVERIFY(qAbs(deep.value(u"tailSec").toDouble() - 2.0) < 0.06); // the encoder's padding

    QCOMPARE(objects.at(2).value(u"message").toString(), u"already within target"_s);
    QCOMPARE(objects.at(2).value(u"headChangeSec").toDouble(), 0.0);

    const QJsonObject summary = objects.at(3).value(u"summary").toObject();
    QCOMPARE(summary.value(u"command").toString(), u"analyse"_s);
    QCOMPARE(summary.value(u"processed").toInt(), 3);
    QCOMPARE(summary.value(u"written").toInt(), 0);
    QCOMPARE(summary.value(u"failed").toInt(), 0);
    QCOMPARE(summary.value(u"cancelled"), QJsonValue(false));

    QCOMPARE(filesBelow(m_work->path()), before);
}

void tst_CliRunner::trimMirrorsFoldersAndFiles()
{
    copySource(u"cut.wav"_s, u"in/cut.wav"_s);
    copySource(u"deep.mp3"_s, u"in/sub/deep.mp3"_s);
    copySource(u"within.wav"_s, u"in/within.wav"_s);
    copySource(u"cut.wav"_s, u"loose/single.wav"_s);
    const QByteArray source = digest(work(u"in/cut.wav"_s));

    // The folder twice and a file of it again: each is queued once.
    const Run r = run({ u"trim"_s, u"--no-settings"_s, u"--json"_s, u"--out"_s, u"copies"_s, u"in"_s,
                        u"loose/single.wav"_s, u"in/"_s, u"./in/cut.wav"_s });
    QCOMPARE(r.exitCode, 0);
    const QList<QJsonObject> objects = r.json();
    QCOMPARE(objects.size(), 5);

    QCOMPARE(objects.at(0).value(u"outputPath").toString(), work(u"copies/cut.wav"_s));
    QCOMPARE(objects.at(0).value(u"status").toString(), u"Trimmed"_s);
    QCOMPARE(objects.at(0).value(u"message").toString(), u"head -0.850 s, tail -1.850 s"_s);
    QCOMPARE(objects.at(1).value(u"outputPath").toString(), work(u"copies/sub/deep.mp3"_s));
    QCOMPARE(objects.at(1).value(u"status").toString(), u"Trimmed"_s);
    QCOMPARE(objects.at(2).value(u"status").toString(), u"Skipped"_s);
    QVERIFY(objects.at(2).value(u"outputPath").isNull());
    // A file named directly goes straight into the destination.
    QCOMPARE(objects.at(3).value(u"path").toString(), work(u"loose/single.wav"_s));
    QCOMPARE(objects.at(3).value(u"outputPath").toString(), work(u"copies/single.wav"_s));

    const QJsonObject summary = objects.at(4).value(u"summary").toObject();
    QCOMPARE(summary.value(u"command").toString(), u"trim"_s);
    QCOMPARE(summary.value(u"processed").toInt(), 4);
    QCOMPARE(summary.value(u"written").toInt(), 3);
    QCOMPARE(summary.value(u"skipped").toInt(), 1);
    double cut = 0.0;
    for (int i : { 0, 1, 3 })
        cut -= objects.at(i).value(u"headChangeSec").toDouble() + objects.at(i).value(u"tailChangeSec").toDouble();
    QVERIFY(qAbs(summary.value(u"secondsCut").toDouble() - cut) < 0.002);

    QCOMPARE(filesBelow(work(u"copies"_s)), QStringList({ u"cut.wav"_s, u"single.wav"_s, u"sub/deep.mp3"_s }));
    // A stream copy of PCM cuts on whole packets, up to 25 ms out at each end.
    QVERIFY(qAbs(test::decodedSeconds(work(u"copies/cut.wav"_s)) - 2.3) < 0.05);
    QCOMPARE(digest(work(u"in/cut.wav"_s)), source);
}

void tst_CliRunner::trimInPlaceKeepsBackup()
{
    copySource(u"cut.wav"_s, u"cut.wav"_s);
    const QByteArray source = digest(work(u"cut.wav"_s));

    const Run r = run({ u"trim"_s, u"--no-settings"_s, u"--in-place"_s, u"--yes"_s, u"cut.wav"_s });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, u"Trimming 1 file(s) in place.\n"
                    "cut.wav - head -0.850 s, tail -1.850 s\n"
                    "Complete - 1 written, 0 skipped, 0 failed, 2.7 s cut, 0.0 s added.\n"_s);
    QCOMPARE(r.err, QString()); // no live progress line without a terminal
    QVERIFY(qAbs(test::decodedSeconds(work(u"cut.wav"_s)) - 2.3) < 0.05);
    QCOMPARE(digest(work(u"cut.wav.bak"_s)), source);
    QCOMPARE(filesBelow(m_work->path()), QStringList({ u"cut.wav"_s, u"cut.wav.bak"_s }));
}

void tst_CliRunner::quietPrintsOnlyErrorsAndTotals()
{
    copySource(u"cut.wav"_s, u"a/cut.wav"_s);
    copySource(u"garbage.mp3"_s, u"a/garbage.mp3"_s);
    copySource(u"within.wav"_s, u"a/within.wav"_s);

    const Run r = run({ u"trim"_s, u"--no-settings"_s, u"-q"_s, u"-o"_s, u"out"_s, u"a"_s });
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, u"Complete - 1 written, 1 skipped, 1 failed, 2.7 s cut, 0.0 s added.\n"_s);
    QVERIFY2(r.err.startsWith(u"garbage.mp3 - "_s), qPrintable(r.err));
    QVERIFY(!r.err.contains(u"cut.wav"_s));
}

void tst_CliRunner::inPlaceNeedsYesWithoutTerminal()
{
    copySource(u"cut.wav"_s, u"cut.wav"_s);
    const QByteArray source = digest(work(u"cut.wav"_s));

    const Run r = run({ u"trim"_s, u"--no-settings"_s, u"--in-place"_s, u"cut.wav"_s });
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QString());
    QVERIFY2(r.err.contains(u"1 file(s) would be rewritten in place"_s) && r.err.contains(u"--yes"_s),
             qPrintable(r.err));
    QCOMPARE(digest(work(u"cut.wav"_s)), source);
    QCOMPARE(filesBelow(m_work->path()), QStringList({ u"cut.wav"_s }));
}

void tst_CliRunner::storedSettingsAreTheDefaults()
{
    copySource(u"cut.wav"_s, u"cut.wav"_s);
    {
        Settings stored;
        stored.leadMode = EndMode::LeaveAlone;
        stored.tailTargetMs = 1000;
        stored.outputRoot = work(u"stored-out"_s);
        QSettings store(storeFile(), QSettings::IniFormat);
        saveSettings(stored, store);
    }
    const QByteArray storeBefore = digest(storeFile());
    const auto changes = [](const Run &r) {
        const QJsonObject item = r.json().value(0);
        return u"%1 %2"_s.arg(item.value(u"headChangeSec").toDouble()).arg(item.value(u"tailChangeSec").toDouble());
    };

    const Run stored = run({ u"analyse"_s, u"--json"_s, u"cut.wav"_s });
    QCOMPARE(stored.exitCode, 0);
    QCOMPARE(changes(stored), u"0 -1"_s);

    const Run defaults = run({ u"analyse"_s, u"--json"_s, u"--no-settings"_s, u"cut.wav"_s });
    QCOMPARE(changes(defaults), u"-0.85 -1.85"_s);

    const Run overridden = run({ u"analyse"_s, u"--json"_s, u"--tail"_s, u"cut:500"_s, u"cut.wav"_s });
    QCOMPARE(changes(overridden), u"0 -1.5"_s);

    // The stored destination is the mirror's, as in the window.
    const Run trimmed = run({ u"trim"_s, u"--json"_s, u"cut.wav"_s });
    QCOMPARE(trimmed.exitCode, 0);
    QCOMPARE(trimmed.json().value(0).value(u"outputPath").toString(), work(u"stored-out/cut.wav"_s));

    QCOMPARE(digest(storeFile()), storeBefore);
    QSettings store(storeFile(), QSettings::IniFormat);
    Settings reread;
    loadSettings(reread, store);
    QCOMPARE(reread.tailTargetMs, 1000);
    QCOMPARE(reread.tailMode, EndMode::CutBack);
}

void tst_CliRunner::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("noTools");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("out");

    const QString tools = u"kestrova-cli: ffmpeg/ffprobe not found. They ship with Kestrova in the ffmpeg folder "
                          "beside the program - reinstall to restore them, or set their paths in Preferences.\n"_s;
    const QString hint = u"\nTry 'kestrova-cli --help' for more information.\n"_s;

    QTest::newRow("all well") << QStringList{ u"analyse"_s, u"--no-settings"_s, u"src/within.wav"_s } << false << 0
                              << u""_s << u"Analysis complete - 1 file(s) measured."_s;
    QTest::newRow("a file fails") << QStringList{ u"analyse"_s, u"--no-settings"_s, u"src/garbage.mp3"_s, u"src/cut.wav"_s }
                                  << false << 1 << u"garbage.mp3 - "_s << u"cut.wav - measured head 1.00 s"_s;
    QTest::newRow("a path is missing") << QStringList{ u"analyse"_s, u"--no-settings"_s, u"src/nothere.wav"_s, u"src/cut.wav"_s }
                                       << false << 1 << u"kestrova-cli: 'src/nothere.wav': no such file or folder\n"_s
                                       << u"cut.wav - measured head 1.00 s"_s;
    // The controller logs no line for this refusal; the file still gets one.
    QTest::newRow("mirror onto the source") << QStringList{ u"trim"_s, u"--no-settings"_s, u"--out"_s, u"src"_s, u"src/cut.wav"_s }
                                            << false << 1 << u"cut.wav - output would overwrite the source\n"_s
                                            << u"0 written, 0 skipped, 1 failed"_s;
    QTest::newRow("nothing queued") << QStringList{ u"analyse"_s, u"--no-settings"_s, u"src/nothere.wav"_s, u"empty"_s }
                                    << false << 2 << u"kestrova-cli: nothing to do - no files were queued"_s << u""_s;
    QTest::newRow("no destination") << QStringList{ u"trim"_s, u"--no-settings"_s, u"src/cut.wav"_s } << false << 2
                                    << u"kestrova-cli: no destination folder for the copies.\nGive one with --out DIR"_s << u""_s;
    QTest::newRow("both ends alone") << QStringList{ u"analyse"_s, u"--no-settings"_s, u"--head"_s, u"leave"_s, u"--tail"_s, u"leave:90"_s, u"src/cut.wav"_s }
                                     << false << 2 << u"kestrova-cli: both the head and the tail are set to leave alone"_s << u""_s;
    QTest::newRow("tools missing") << QStringList{ u"analyse"_s, u"--no-settings"_s, u"src/cut.wav"_s } << true << 2 << tools << u""_s;
    QTest::newRow("unknown option") << QStringList{ u"analyse"_s, u"--loud"_s, u"src/cut.wav"_s } << false << 2
                                    << u"kestrova-cli: unknown option '--loud'"_s + hint << u""_s;
    QTest::newRow("bad mode") << QStringList{ u"trim"_s, u"--tail"_s, u"chop:100"_s, u"src/cut.wav"_s } << false << 2
                              << u"kestrova-cli: option '--tail': unknown mode 'chop' (use leave, cut, topup or exact)"_s + hint << u""_s;
    QTest::newRow("missing value") << QStringList{ u"trim"_s, u"src/cut.wav"_s, u"--out"_s } << false << 2
                                   << u"kestrova-cli: option '--out' needs a value (DIR)"_s + hint << u""_s;
    QTest::newRow("version") << QStringList{ u"--version"_s } << false << 0 << u""_s << u"kestrova-cli 1.0.0"_s;
    QTest::newRow("help") << QStringList{ u"--help"_s } << false << 0 << u""_s << u"Usage: kestrova-cli analyse [options] PATH..."_s;
}

void tst_CliRunner::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, noTools);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QString, out);

    copySource(u"cut.wav"_s, u"src/cut.wav"_s);
    copySource(u"within.wav"_s, u"src/within.wav"_s);
    copySource(u"garbage.mp3"_s, u"src/garbage.mp3"_s);
    QVERIFY(QDir(m_work->path()).mkdir(u"empty"_s));
    QProcessEnvironment extra;
    if (noTools)
        extra.insert(u"PATH"_s, m_work->path());

    const Run r = run(arguments, extra);
    QCOMPARE(r.exitCode, exitCode);
    if (err.isEmpty())
        QCOMPARE(r.err, QString());
    else
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
    QVERIFY2(r.out.contains(out), qPrintable(r.out));
    if (exitCode == 2)
        QCOMPARE(filesBelow(m_work->path()),
                 QStringList({ u"src/cut.wav"_s, u"src/garbage.mp3"_s, u"src/within.wav"_s }));
}

void tst_CliRunner::stopsCleanlyOnSignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("wholeGroup");
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    // Ctrl-C on a terminal: ffmpeg gets the signal too, and its own end must
    // not be taken for a failed file.
    QTest::newRow("Ctrl-C to the process group") << int(SIGINT) << true;
}

void tst_CliRunner::stopsCleanlyOnSignal()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, wholeGroup);

    // Several minutes of audio, joined without re-encoding so it is quick to
    // make; re-encoding it back keeps ffmpeg busy long enough to be stopped.
    bool joined = false;
    test::runFfmpeg({ u"-hide_banner"_s, u"-nostdin"_s, u"-loglevel"_s, u"error"_s, u"-stream_loop"_s, u"80"_s,
                      u"-i"_s, QDir(m_sources.path()).filePath(u"deep.mp3"_s), u"-c"_s, u"copy"_s,
                      work(u"long.mp3"_s) },
                    &joined);
    QVERIFY(joined);
    const QByteArray source = digest(work(u"long.mp3"_s));
    const QString temporary = work(u".long.kstmp.mp3"_s);

    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(m_work->path());
    process.setChildProcessModifier([] { setpgid(0, 0); });
    process.start(QStringLiteral(KESTROVA_CLI), { u"trim"_s, u"--no-settings"_s, u"--in-place"_s, u"--yes"_s,
                                                  u"--method"_s, u"reencode"_s, u"long.mp3"_s });
    QVERIFY(process.waitForStarted());
    // Stop it once ffmpeg has begun writing the new file.
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(temporary); }, 60000));
    const pid_t pid = pid_t(process.processId());
    QCOMPARE(::kill(wholeGroup ? -pid : pid, signalNumber), 0);
    QVERIFY(process.waitForFinished(30000));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    QCOMPARE(out, u"Trimming 1 file(s) in place.\nStopped - 0 written, 0 skipped, 0 failed, 0.0 s cut, 0.0 s added.\n"_s);
    QVERIFY(processesMentioning(m_work->path()).isEmpty());
    QCOMPARE(filesBelow(m_work->path()), QStringList({ u"long.mp3"_s }));
    QCOMPARE(digest(work(u"long.mp3"_s)), source);
}

void tst_CliRunner::stopsWhenTheReaderGoes()
{
    for (const QString &name : { u"a.wav"_s, u"b.wav"_s, u"c.wav"_s })
        copySource(u"cut.wav"_s, u"in/"_s + name);

    // As `kestrova-cli ... | head -1` would: the reader is gone before the
    // first line, so the run stops there instead of dying of SIGPIPE.
    int ends[2];
    QCOMPARE(pipe(ends), 0);
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(m_work->path());
    process.setChildProcessModifier([ends] {
        dup2(ends[1], STDOUT_FILENO);
        close(ends[0]);
        close(ends[1]);
    });
    process.start(QStringLiteral(KESTROVA_CLI), { u"trim"_s, u"--no-settings"_s, u"--out"_s, u"out"_s, u"in"_s });
    close(ends[0]);
    close(ends[1]);
    QVERIFY(process.waitForStarted());
    QVERIFY(process.waitForFinished(60000));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 141);
    QVERIFY(!QFileInfo::exists(work(u"out"_s)));
    QCOMPARE(filesBelow(work(u"in"_s)), QStringList({ u"a.wav"_s, u"b.wav"_s, u"c.wav"_s }));
    QVERIFY(processesMentioning(m_work->path()).isEmpty());
}

QTEST_GUILESS_MAIN(tst_CliRunner)
#include "tst_clirunner.moc"
