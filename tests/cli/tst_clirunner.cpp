#include "clioptions.h"
#include "fixtures.h"
#include "settings.h"
#include "settingsstore.h"
#include "settingstable.h"

#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

Q_DECLARE_METATYPE(const ks::SettingsTable::Row *)

using namespace ks;
using namespace Qt::StringLiterals;

namespace {

// A --json line for a copy of cut.wav at `path` (W: the working folder), analysed or trimmed to
// `output`; what a PCM stream copy writes is a little longer, as it cuts on whole packets.
QString cut(const QString &path, const QString &output = {})
{
    const bool trimmed = !output.isEmpty();
    return uR"({"durationSec":5,"headChangeSec":-0.85,"headSec":1,"message":"%1head -0.850 s, tail -1.850 s",)"
           uR"("newDurationSec":%2,"outputPath":%3,"path":"W/%4","reencoded":false,"status":"%5",)"
           uR"("tailChangeSec":-1.85,"tailSec":2})"_s.arg(trimmed ? QString() : u"would adjust "_s,
                   trimmed ? u"2.322"_s : u"2.3"_s, trimmed ? u"\"W/%1\""_s.arg(output) : u"null"_s, path,
                   trimmed ? u"Trimmed"_s : u"Analysed"_s);
}
const QString Within = uR"({"durationSec":2,"headChangeSec":0,"headSec":0,"message":"already within target",)"
                       uR"("newDurationSec":2,"outputPath":null,"path":"W/in/within.wav","reencoded":false,)"
                       uR"("status":"%1","tailChangeSec":0,"tailSec":0})"_s;
const QString Summary = uR"({"summary":{"cancelled":false,"command":"%1","failed":0,"missingPaths":0,"processed":%2,)"
                        uR"("secondsAdded":0,"secondsCut":%3,"skipped":%4,"written":%5}})"_s;

// Every file of the working folder, hidden ones and the store too, each with its hash.
QStringList files(const QString &folder)
{
    QStringList found;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        found << path + u' ' + QString::fromLatin1(test::sha256(path).toHex());
    }
    found.sort();
    return found;
}

} // namespace

// Runs the built kestrova-cli as a script would: a child with no terminal, in a working folder
// of generated audio and lists (see initTestCase()), with a settings store of its own in there
// that leaves the head alone and keeps 1 s of tail.
class tst_CliRunner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase() { ::unlink(latin1Name().constData()); } // the folder's removal cannot see it
    void runs_data();
    void runs();
    void helpGivesTheTableRanges_data();
    void helpGivesTheTableRanges();
    void helpGivesTheBuiltInDefaults();
    void quietTotalsAreDated();
    void declinedInPlaceRunRefused();
    void closedOutputEnds141();
    void twoRunsOverOneFolder();
    void readmeExamples_data();
    void readmeExamples();

private:
    QString work(const QString &name = {}) const { return QDir::cleanPath(m_home.filePath(name)); }
    QByteArray latin1Name() const { return QFile::encodeName(work(u"odd"_s)) + "/caf\xe9.wav"; } // "café.wav"

    QTemporaryDir m_home;
};

namespace {

// The built program's --help.
QString helpText()
{
    QProcess process;
    process.start(QStringLiteral(KESTROVA_CLI), { u"--help"_s });
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Each option's entry in --help, its continued lines joined to its first.
QStringList helpEntries(const QString &help)
{
    QStringList entries;
    for (const QString &line : help.split(u'\n')) {
        if (line.startsWith(QString(34, u' ')) && !entries.isEmpty())
            entries.last() += u' ' + line.trimmed();
        else if (line.trimmed().startsWith(u'-'))
            entries << line.trimmed();
    }
    return entries;
}

} // namespace

// cut.wav: 1 s of silence, 2 s of tone, 2 s of silence, in four places; within.wav: tone only.
// No run writes into a folder another run reads, so they share the folder.
void tst_CliRunner::initTestCase()
{
    for (const QString &name :
            { u"in/cut.wav"_s, u"in/sub/deep.wav"_s, u"loose/single.wav"_s, u"loose/new\nline.wav"_s })
        QCOMPARE(test::makeAudio(work(name)), QString());
    QCOMPARE(test::makeAudio(work(u"in/within.wav"_s), { 0.0, 2.0, 0.0 }), QString());
    // A name that would retitle and recolour a terminal and turn the line around.
    QCOMPARE(test::makeAudio(work(u"escapes/\x1b]0;pwned\x07\x1b[31mred\r\u202e.wav"_s)), QString());
    // Beside a file whose name is Latin-1, "café.wav", which no listing of Qt's shows.
    QCOMPARE(test::makeAudio(work(u"odd/fine.wav"_s)), QString());
    const int raw = ::open(latin1Name().constData(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(raw >= 0 && ::close(raw) == 0);
    // The README's podcast season, in a home folder of its own with no settings saved.
    QCOMPARE(test::makeAudio(work(u"sam/season-2/ep01.mp3"_s), { 2.0, 20.0, 3.208 }), QString());
    QCOMPARE(test::makeAudio(work(u"sam/season-2/ep03.mp3"_s), { 0.0, 20.0, 0.0 }), QString());
    QCOMPARE(test::makeAudio(work(u"sam/season-2/interviews/ep02.flac"_s), { 0.5, 10.0, 0.0 }), QString());
    // Re-encoding minutes of audio keeps ffmpeg busy long enough to be stopped.
    QCOMPARE(test::makeAudio(work(u"long.mp3"_s), { 1.0, 240.0 }), QString());
    for (const auto &[name, bytes] : { std::pair(u"lines.txt"_s, "in/cut.wav\r\n\nloose/single.wav\n"_ba),
                 std::pair(u"nul.txt"_s, "in/cut.wav\0loose/new\nline.wav\0"_ba),
                 std::pair(u"empty.txt"_s, "\r\n\n"_ba),
                 std::pair(u"loose/garbage.mp3"_s, "this is not audio\n"_ba) }) {
        QFile file(work(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    Settings stored;
    stored.leadMode = EndMode::LeaveAlone;
    stored.tailTargetMs = 1000;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work(u".config"_s))); // for the child
    QSettings store(work(u".config/Orrinworks/Kestrova.conf"_s), QSettings::IniFormat);
    saveSettings(stored, store);
}

// `out`: how the standard output starts, its lines joined; `err`: a part of the standard error;
// `interrupt`: SIGINT, once ffmpeg writes, to the program (1) or its process group (-1).
static void addRun(const char *name, const QString &arguments, int exitCode, const QStringList &out,
        const QString &err = {}, int interrupt = 0)
{
    QTest::newRow(name) << arguments << exitCode << out.join(u'\n') << err << interrupt;
}

void tst_CliRunner::runs_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("interrupt");
    // With --no-settings, the stored settings play no part. The folder twice
    // and a file of it again: each file is queued once, and the records come
    // in queue order however many files are done at once. A file named
    // directly goes straight into the destination.
    addRun("mirrored, three at once",
            u"trim --no-settings --json --jobs 3 --out copies in loose/single.wav in/ ./in/cut.wav"_s, 0,
            { cut(u"in/cut.wav"_s, u"copies/cut.wav"_s), cut(u"in/sub/deep.wav"_s, u"copies/sub/deep.wav"_s),
                    Within.arg(u"Skipped"_s), cut(u"loose/single.wav"_s, u"copies/single.wav"_s),
                    Summary.arg(u"trim"_s).arg(4).arg(8.1).arg(1).arg(3) });
    addRun("paths from a list", u"analyse --no-settings --json -j 2 --files-from lines.txt in/within.wav"_s, 0,
            { Within.arg(u"Analysed"_s), cut(u"in/cut.wav"_s), cut(u"loose/single.wav"_s),
                    Summary.arg(u"analyse"_s).arg(3).arg(5.4).arg(0).arg(0) });
    addRun("paths from a NUL list", u"analyse --no-settings --json --files-from nul.txt --null"_s, 0,
            { cut(u"in/cut.wav"_s), cut(u"loose/new\\nline.wav"_s),
                    Summary.arg(u"analyse"_s).arg(2).arg(5.4).arg(0).arg(0) });
    // A scheduler's empty share of a library: a run over nothing, which succeeds.
    addRun("an empty list", u"trim --no-settings --json --out copies --files-from empty.txt"_s, 0,
            { Summary.arg(u"trim"_s).arg(0).arg(0).arg(0).arg(0) });
    addRun("an empty list, in words", u"analyse --files-from empty.txt"_s, 0,
            { u"Analysis complete - 0 file(s) measured."_s });
    // The head from the store; the tail's mode and target, and no sub-folders, from the options.
    addRun("options over the store", u"analyse --tail exact:500 --no-recursive in"_s, 0,
            { u"Analysing 2 file(s)."_s, u"cut.wav - measured head 1.00 s, tail 2.00 s; head -, tail -1.500 s"_s,
                    u"within.wav - measured head 0.00 s, tail 0.00 s; head -, tail +0.500 s"_s });
    // The tool's whole text rides along with a failure.
    addRun("a file fails, a path is missing", u"analyse --no-settings --json nothere.wav loose/garbage.mp3"_s, 1,
            { uR"({"detail":"[mp3 @ 0x] Failed to read frame size)"_s },
            u"kestrova-cli: 'nothere.wav': no such file or folder\n"_s);
    addRun("jobs out of range", u"analyse --jobs 65 in"_s, 2, {},
            u"kestrova-cli: option '--jobs': '65' is not a whole number from 0 to 64\n"_s);
    addRun("null without a list", u"analyse --null in"_s, 2, {},
            u"kestrova-cli: option '--null' needs --files-from\n"_s);
    // A warning of the scan is no scan progress: it reaches standard error.
    addRun("a name not UTF-8 in a folder", u"analyse --no-settings odd"_s, 0,
            { u"Analysing 1 file(s)."_s, u"fine.wav - measured head 1.00 s, tail 2.00 s;"_s },
            u"kestrova-cli: warning: Skipped 1 file(s) whose names are not valid UTF-8\n"_s);
    // A file name steers no terminal: its control characters show as escapes.
    addRun("a name with escape codes", u"analyse --no-settings escapes"_s, 0,
            { u"Analysing 1 file(s)."_s,
                    u"\\x1B]0;pwned\\x07\\x1B[31mred\\x0D\\u202E.wav - measured head 1.00 s, tail 2.00 s;"_s });
    // The log's sentence, then the option that mends it.
    addRun("no destination", u"trim --no-settings in"_s, 2, {},
            u"kestrova-cli: no destination folder is set.\nGive one with --out DIR, or overwrite the originals "
            "with --in-place.\n"_s);
    addRun("in place needs --yes", u"trim --in-place in"_s, 2, {},
            u"3 file(s) would be rewritten in place; without a terminal"_s);
    // Ctrl-C on a terminal signals the group: ffmpeg gets it too, and its end is no failed file.
    for (const int interrupt : { 1, -1 })
        addRun(interrupt > 0 ? "SIGINT to kestrova-cli" : "SIGINT to its process group",
                u"trim --no-settings --in-place --yes --method reencode long.mp3"_s, 130,
                { u"Trimming 1 file(s) in place."_s, u"long.mp3 - cancelled"_s,
                        u"Stopped - 0 written, 0 skipped, 0 failed, 0.0 s cut, 0.0 s added.\n"_s },
                u"Stopping..."_s, interrupt);
}

// Only the files the records name as written appear, each of the length trimmed to; nothing else
// changes (no temporary file is left), the store included: options hold for one run only.
void tst_CliRunner::runs()
{
    QFETCH(QString, arguments);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(int, interrupt);
    const QStringList before = files(work());

    QProcess process;
    process.setWorkingDirectory(work());
    process.setChildProcessModifier([] { setpgid(0, 0); }); // a process group of its own, as a shell gives it
    process.start(QStringLiteral(KESTROVA_CLI), arguments.split(u' '));
    const pid_t group = process.waitForStarted() ? pid_t(process.processId()) : 0;
    if (interrupt && QTest::qWaitFor([&] { return QFileInfo::exists(work(u".long.kstmp.mp3"_s)); }, 60000))
        ::kill(interrupt * group, SIGINT);
    QVERIFY(process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit);
    QCOMPARE(::kill(-group, 0), -1); // no child left in its process group
    QTEST(process.exitCode(), "exitCode");
    QString said = QString::fromUtf8(process.readAllStandardOutput());
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    QStringList after = files(work());
    if (arguments.contains(u"--json"_s)) { // each line parsed back and written out again
        QStringList lines;
        for (const QString &line : said.split(u'\n', Qt::SkipEmptyParts)) {
            const QJsonObject record = QJsonDocument::fromJson(line.toUtf8()).object();
            lines << QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
            const QString written = record.value(u"outputPath"_s).toString();
            // A stream copy of PCM cuts on whole packets, up to 25 ms out at each end.
            QVERIFY2(written.isEmpty() || qAbs(test::decodedSeconds(written) - 2.3) < 0.05, qPrintable(written));
            after.removeIf([&](const QString &file) { return file.startsWith(written + u' '); });
        }
        said = lines.join(u'\n').replace(QRegularExpression(u"0x[0-9a-f]+"_s), u"0x"_s);
    }
    QVERIFY2(out.isEmpty() ? said.isEmpty() : said.replace(work(), u"W"_s).startsWith(out), qPrintable(said));
    QVERIFY2(err.isEmpty() ? errors.isEmpty() : errors.contains(err), qPrintable(errors));
    QCOMPARE(after, before);
}

void tst_CliRunner::helpGivesTheTableRanges_data()
{
    QTest::addColumn<QString>("option"); // the start of its line in --help
    QTest::addColumn<const SettingsTable::Row *>("row");
    QTest::newRow("threshold") << u"--threshold DB "_s << &SettingsTable::row(&Settings::thresholdDb);
    QTest::newRow("min-silence") << u"--min-silence S "_s << &SettingsTable::row(&Settings::minSilenceSec);
    QTest::newRow("max-trim") << u"--max-trim S "_s << &SettingsTable::row(&Settings::maxTrimSec);
    QTest::newRow("head") << u"--head MODE[:MS] "_s << &SettingsTable::row(&Settings::leadTargetMs);
    QTest::newRow("tail") << u"--tail MODE[:MS] "_s << &SettingsTable::row(&Settings::tailTargetMs);
    QTest::newRow("jobs") << u"--jobs N "_s << &SettingsTable::row(&Settings::parallelJobs);
}

// Each number's limits in --help are the ones its value is checked against.
void tst_CliRunner::helpGivesTheTableRanges()
{
    QFETCH(QString, option);
    QFETCH(const SettingsTable::Row *, row);
    const QStringList entries = helpEntries(helpText());
    const auto entry = std::find_if(entries.begin(), entries.end(),
            [&](const QString &e) { return e.startsWith(option) || e.contains(u", "_s + option); });
    QVERIFY2(entry != entries.end(), qPrintable(entries.join(u'\n')));
    QVERIFY2(entry->contains(u" %1 to %2; default: "_s.arg(row->minimum).arg(row->maximum)), qPrintable(*entry));
}

// Every default --help shows, given back as the option, leaves every setting at
// its built-in value: what the help and so the manual say is what a run uses.
void tst_CliRunner::helpGivesTheBuiltInDefaults()
{
    static const QRegularExpression entryPattern(
            u"^(?:-\\w, )?(--[a-z-]+)(?: (\\S+))?(?:, (--no-[a-z-]+))? .*\\(.*default: ([^)]+)\\)$"_s);
    int checked = 0;
    for (const QString &entry : helpEntries(helpText())) {
        const QRegularExpressionMatch match = entryPattern.match(entry);
        if (!match.hasMatch())
            continue;
        const QString name = match.captured(1);
        const QString shown = match.captured(4);
        QStringList arguments{ u"analyse"_s };
        if (shown == u"none"_s || shown.startsWith(u"looked for"_s))
            continue; // nothing set: --out with no folder, the tools looked for
        if (!match.captured(2).isEmpty())
            arguments << name << shown;
        else if (shown == u"on"_s)
            arguments << name;
        else if (shown == u"off"_s && !match.captured(3).isEmpty())
            arguments << match.captured(3);
        else if (shown != u"off"_s)
            QFAIL(qPrintable(u"a default the program cannot be given: "_s + entry));
        if (arguments.size() == 1)
            continue; // --in-place off: not giving it
        const CliOptions options = CliOptions::parse(arguments << u"take.wav"_s);
        QVERIFY2(options.error.isEmpty(), qPrintable(options.error));
        Settings settings;
        options.applyTo(settings);
        for (const SettingsTable::Row &row : SettingsTable::rows())
            QVERIFY2(row.get(settings) == row.get(Settings()), qPrintable(entry + u": "_s + row.storeKey()));
        ++checked;
    }
    QCOMPARE(checked, 13);
}

// Runs appended to one log file are told apart by their totals line: when the
// run started, to the second, and how long it took.
void tst_CliRunner::quietTotalsAreDated()
{
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.setWorkingDirectory(work());
    process.start(QStringLiteral(KESTROVA_CLI), { u"analyse"_s, u"--quiet"_s, u"--no-settings"_s, u"in/within.wav"_s });
    QVERIFY(process.waitForFinished(60000) && process.exitCode() == 0);
    const double took = clock.elapsed() / 1000.0;
    const QDateTime after = QDateTime::currentDateTime();
    const QString said = QString::fromUtf8(process.readAllStandardOutput());
    static const QRegularExpression totals(
            u"^\\[(\\S+), took (\\d+\\.\\d) s\\] Analysis complete - 1 file\\(s\\) measured\\.\n$"_s);
    const QRegularExpressionMatch match = totals.match(said);
    QVERIFY2(match.hasMatch(), qPrintable(said));
    const QDateTime started = QDateTime::fromString(match.captured(1), Qt::ISODate);
    QVERIFY2(started >= before && started <= after, qPrintable(match.captured(1)));
    QVERIFY2(match.captured(2).toDouble() <= took + 0.05, qPrintable(said));
}

// One row per command of the README's console examples, with the output it shows.
// Answering no on a terminal is a refusal, as the exit statuses say: 2,
// with every file as it was. `script` gives the program its terminal.
void tst_CliRunner::declinedInPlaceRunRefused()
{
    const QString script = QStandardPaths::findExecutable(u"script"_s);
    if (script.isEmpty())
        QSKIP("no script command to give the program a terminal");
    const QStringList before = files(work());
    QProcess process;
    process.setWorkingDirectory(work());
    process.start(script,
            { u"-qec"_s, QStringLiteral(KESTROVA_CLI) + u" trim --no-settings --in-place in"_s, u"/dev/null"_s });
    QVERIFY(process.waitForStarted());
    process.write("n\n");
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(60000));
    const QString said = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(said.contains(u"Nothing was changed."_s), qPrintable(said));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(files(work()), before);
}

// A reader that goes away (`| head -1`) ends the run as a pipe would, with
// 141, in text and in JSON; the line it read was the first.
void tst_CliRunner::closedOutputEnds141()
{
    for (const QString &format : { QString(), u" --json"_s }) {
        QProcess process;
        process.setWorkingDirectory(work());
        process.start(u"bash"_s,
                { u"-c"_s,
                        u"set -o pipefail; '%1' analyse --no-settings -j 1%2 in | head -1"_s.arg(
                                QStringLiteral(KESTROVA_CLI), format) });
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 141);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).count(u'\n'), 1);
    }
}

// Two runs in place over one folder at once, however their files interleave:
// every file is trimmed exactly once, and none is reported as failed.
void tst_CliRunner::twoRunsOverOneFolder()
{
    for (int i = 0; i < 4; ++i)
        QCOMPARE(test::makeAudio(work(u"twice/%1.wav"_s.arg(i))), QString());
    QProcess first, second;
    for (QProcess *run : { &first, &second }) {
        run->setWorkingDirectory(work());
        run->start(QStringLiteral(KESTROVA_CLI),
                { u"trim"_s, u"--no-settings"_s, u"--in-place"_s, u"--yes"_s, u"--json"_s, u"-j"_s, u"2"_s,
                        u"twice"_s });
    }
    for (QProcess *run : { &first, &second }) {
        QVERIFY(run->waitForFinished(120000));
        const QByteArray said = run->readAllStandardOutput();
        QVERIFY2(run->exitCode() == 0 && !said.contains("\"Failed\""), said.constData());
    }
    for (int i = 0; i < 4; ++i) {
        const QString file = work(u"twice/%1.wav"_s.arg(i));
        QVERIFY2(qAbs(test::decodedSeconds(file) - 2.3) < 0.05, qPrintable(file));
    }
}

void tst_CliRunner::readmeExamples_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("shown");
    QFile readme(QStringLiteral(KS_README));
    QVERIFY(readme.open(QIODevice::ReadOnly | QIODevice::Text));
    bool inConsole = false;
    QString command;
    QStringList shown;
    int rows = 0;
    const auto addRow = [&] {
        if (!command.isEmpty() && ++rows)
            QTest::addRow("%s", qPrintable(command)) << command << shown;
        command.clear();
        shown.clear();
    };
    for (const QString &line : QString::fromUtf8(readme.readAll()).split(u'\n')) {
        if (line.startsWith(u"```"_s)) {
            addRow();
            inConsole = line == u"```console"_s;
        } else if (inConsole && line.startsWith(u"$ "_s)) {
            addRow();
            command = line.mid(2);
        } else if (inConsole && !line.isEmpty()) {
            shown << line;
        }
    }
    QVERIFY2(rows >= 3, "the README's console examples were not found");
}

// What the README shows a command print is what it prints, run as a reader would
// run it in their home folder (here /home/sam), on the season it describes.
void tst_CliRunner::readmeExamples()
{
    QFETCH(QString, command);
    QFETCH(QStringList, shown);
    const QString home = work(u"sam"_s);
    QStringList arguments = command.split(u' ');
    QCOMPARE(arguments.takeFirst(), u"kestrova-cli"_s);
    for (QString &argument : arguments)
        argument.replace(QRegularExpression(u"^~/"_s), home + u'/');
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, home);
    environment.insert(u"XDG_CONFIG_HOME"_s, home + u"/.config"_s);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home);
    process.start(QStringLiteral(KESTROVA_CLI), arguments);
    QVERIFY(process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit);
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(process.exitCode() == 0, qPrintable(errors));
    const QStringList said = QString::fromUtf8(process.readAllStandardOutput())
                                     .replace(home, u"/home/sam"_s)
                                     .split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(said, shown);
}

QTEST_GUILESS_MAIN(tst_CliRunner)
#include "tst_clirunner.moc"
