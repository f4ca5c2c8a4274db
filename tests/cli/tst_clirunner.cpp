#include "clioptions.h"
#include "fixtures.h"
#include "settingsstore.h"
#include "settingstable.h"

#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

using namespace ks;
using namespace Qt::StringLiterals;

namespace {

// A --json line for a copy of cut.wav (W: the working folder), analysed or trimmed to `output`.
QString cut(const QString &path, const QString &output = {})
{
    const bool trimmed = !output.isEmpty();
    // PCM is written again as itself, so the cut is exact.
    return uR"({"durationSec":5,"headChangeSec":-0.85,"headSec":1,"message":"%1head -0.850 s, tail -1.850 s%2",)"
           uR"("newDurationSec":2.3,"outputPath":%3,"path":"W/%4","reencoded":%5,"status":"%6",)"
           uR"("tailChangeSec":-1.85,"tailSec":2})"_s.arg(trimmed ? QString() : u"would adjust "_s,
                   trimmed ? u" (lossless, exact)"_s : QString(), trimmed ? u"\"W/%1\""_s.arg(output) : u"null"_s, path,
                   trimmed ? u"true"_s : u"false"_s, trimmed ? u"Trimmed"_s : u"Analysed"_s);
}
const QString Within = uR"({"durationSec":2,"headChangeSec":0,"headSec":0,"message":"already within target",)"
                       uR"("newDurationSec":2,"outputPath":null,"path":"W/in/within.wav","reencoded":false,)"
                       uR"("status":"%1","tailChangeSec":0,"tailSec":0})"_s;
const QString Summary = uR"({"summary":{"cancelled":false,"command":"%1","failed":0,"missingPaths":0,"processed":%2,)"
                        uR"("secondsAdded":0,"secondsCut":%3,"skipped":%4,"written":%5}})"_s;

// Every file, hidden ones and the store too, with its hash.
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

// `out`: the output's start; `err`: part of stderr; `interrupt`: SIGINT to the program (1) or its group (-1).
void addRun(const char *name, const QString &arguments, int exitCode, const QStringList &out, const QString &err = {},
        int interrupt = 0)
{
    QTest::newRow(name) << arguments << exitCode << out.join(u'\n') << err << interrupt;
}

} // namespace

// Runs kestrova-cli as a script would, with a store that leaves the head alone and keeps 1 s of tail.
class tst_CliRunner : public QObject
{
    Q_OBJECT

private:
    QString work(const QString &name = {}) const { return QDir::cleanPath(m_home.filePath(name)); }
    QByteArray latin1Name() const { return QFile::encodeName(work(u"odd"_s)) + "/caf\xe9.wav"; } // "café.wav"

    QTemporaryDir m_home;

private Q_SLOTS:
    // cut.wav: 1 s silence, 2 s tone, 2 s silence; within.wav: tone only. No run writes where another reads.
    void initTestCase()
    {
        for (const QString &name : { u"in/cut.wav"_s, u"in/sub/deep.wav"_s, u"loose/single.wav"_s,
                     u"loose/new\nline.wav"_s, u"twice/0.wav"_s, u"twice/1.wav"_s, u"twice/2.wav"_s, u"twice/3.wav"_s })
            QCOMPARE(test::makeAudio(work(name)), QString());
        QCOMPARE(test::makeAudio(work(u"in/within.wav"_s), { 0.0, 2.0, 0.0 }), QString());
        // A name that would retitle and recolour a terminal and turn the line around.
        QCOMPARE(test::makeAudio(work(u"escapes/\x1b]0;pwned\x07\x1b[31mred\r\u202e.wav"_s)), QString());
        QCOMPARE(test::makeAudio(work(u"odd/fine.wav"_s)), QString());
        const int raw = ::open(latin1Name().constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(raw >= 0 && ::close(raw) == 0); // a Latin-1 name beside it, which no listing of Qt's shows
        // The README's podcast season, in a home folder of its own with no settings saved.
        QCOMPARE(test::makeAudio(work(u"sam/season-2/ep01.mp3"_s), { 2.0, 20.0, 3.208 }), QString());
        QCOMPARE(test::makeAudio(work(u"sam/season-2/ep03.mp3"_s), { 0.0, 20.0, 0.0 }), QString());
        QCOMPARE(test::makeAudio(work(u"sam/season-2/interviews/ep02.flac"_s), { 0.5, 10.0, 0.0 }), QString());
        QCOMPARE(test::makeAudio(work(u"long.mp3"_s), { 1.0, 240.0 }), QString()); // re-encoded, long enough to stop
        for (const auto &[name, bytes] : { std::pair(u"lines.txt"_s, "in/cut.wav\r\n\nloose/single.wav\n"_ba),
                     std::pair(u"nul.txt"_s, "in/cut.wav\0loose/new\nline.wav\0"_ba),
                     std::pair(u"empty.txt"_s, "\r\n\n"_ba),
                     std::pair(u"loose/garbage.mp3"_s, "this is not audio\n"_ba) })
            QVERIFY(test::writeFile(work(name), bytes));
        Settings stored;
        stored.leadMode = EndMode::LeaveAlone;
        stored.tailTargetMs = 1000;
        qputenv("KS_CLI", KESTROVA_CLI);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(work(u".config"_s))); // for the child
        QSettings store(work(u".config/Orrinworks/Kestrova.conf"_s), QSettings::IniFormat);
        saveSettings(stored, store);
    }

    void runs_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("interrupt");
        // Each file once, in queue order, the store unused, a file named directly written into the destination.
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
        // The head from the store; the tail's mode and target, and no sub-folders, from the options.
        addRun("options over the store", u"analyse --tail exact:500 --no-recursive in"_s, 0,
                { u"Analysing 2 file(s)."_s,
                        u"cut.wav - measured head 1.00 s, tail 2.00 s; head unchanged, tail -1.500 s"_s,
                        u"within.wav - measured head 0.00 s, tail 0.00 s; head unchanged, tail +0.500 s"_s });
        addRun("only a path is missing", u"analyse --no-settings nothere.wav in/within.wav"_s, 1,
                { u"Analysing 1 file(s)."_s, u"within.wav - measured head 0.00 s, tail 0.00 s; no change needed"_s },
                u"kestrova-cli: 'nothere.wav': no such file or folder\n"_s);
        // Quiet, only the failed files' records, with the tool's whole text, and the summary.
        addRun("quiet JSON keeps the failed records",
                u"analyse --no-settings --json --quiet in/within.wav loose/garbage.mp3"_s, 1,
                { u"{\"detail\":\"[mp3 @ 0x] Failed to read frame size"_s },
                u"garbage.mp3 - damaged or not an audio file (no readable frames)\n"_s);
        // In a folder and named, counted among the skipped; warnings reach standard error, not the records.
        addRun("names not UTF-8 counted",
                u"\"$KS_CLI\" analyse --no-settings --json --quiet odd \"$(printf 'odd/caf\\351.wav')\" | cat"_s, 0,
                { Summary.arg(u"analyse"_s).arg(3).arg(2.7).arg(2).arg(0) },
                u"kestrova-cli: 'odd/caf\\xE9.wav': skipped: its name is not valid UTF-8\n"_s);
        // A file name steers no terminal: its control characters show as escapes.
        addRun("a name with escape codes", u"analyse --no-settings escapes"_s, 0,
                { u"Analysing 1 file(s)."_s,
                        u"\\x1B]0;pwned\\x07\\x1B[31mred\\x0D\\u202E.wav - measured head 1.00 s, tail 2.00 s;"_s });
        addRun("no destination", u"trim --no-settings in"_s, 2, {}, u"no destination folder is set."_s);
        addRun("in place needs --yes", u"trim --in-place in"_s, 2, {},
                u"3 file(s) would be rewritten in place; without a terminal"_s);
        // Answering no on a terminal, which `script` gives it, is a refusal too.
        addRun("in place declined", u"echo n | script -qec '\"$KS_CLI\" trim --in-place in' /dev/null >&2"_s, 2, {},
                u"Nothing was changed."_s);
        // A reader that goes away (`| head -1`) ends the run as a pipe would; the line it read was the first.
        addRun("reader gone", u"set -o pipefail; \"$KS_CLI\" analyse --no-settings -j 1 --json in | head -1"_s, 141,
                { cut(u"in/cut.wav"_s) });
        // Ctrl-C on a terminal signals the group: ffmpeg gets it too, and its end is no failed file.
        for (const int interrupt : { 1, -1 })
            addRun(interrupt > 0 ? "SIGINT to kestrova-cli" : "SIGINT to its process group",
                    u"trim --no-settings --in-place --yes --method reencode long.mp3"_s, 130,
                    { u"Trimming 1 file(s) in place."_s, u"long.mp3 - cancelled"_s,
                            u"Stopped - 0 written, 0 skipped, 0 failed, 0.0 s cut, 0.0 s added.\n"_s },
                    u"Stopping..."_s, interrupt);
    }

    // Only the files recorded as written appear, trimmed; nothing else changes, no temporary, not the store.
    void runs()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(int, interrupt);
        const QStringList before = files(work());

        QProcess process;
        process.setWorkingDirectory(work());
        process.setChildProcessModifier([] { setpgid(0, 0); }); // a process group of its own, as a shell gives it
        if (!arguments.contains(u'|'))
            process.start(QStringLiteral(KESTROVA_CLI), arguments.split(u' '));
        else if (arguments.contains(u"script "_s) && QStandardPaths::findExecutable(u"script"_s).isEmpty())
            QSKIP("no script command to give the program a terminal");
        else // a shell line, "$KS_CLI" standing for the program
            process.start(u"bash"_s, { u"-c"_s, arguments });
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
                QJsonObject record = QJsonDocument::fromJson(line.toUtf8()).object();
                for (const QString &stamp : { u"size"_s, u"mtimeNs"_s, u"sourceSize"_s, u"sourceMtimeNs"_s })
                    record.remove(stamp); // what --resume checks, tested with it
                lines << QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
                const QString written = record.value(u"outputPath"_s).toString();
                // A stream copy of PCM cuts on whole packets, up to 25 ms out at each end.
                QVERIFY2(written.isEmpty() || qAbs(test::decodedSeconds(written) - 2.3) < 0.05, qPrintable(written));
                after.removeIf([&](const QString &file) { return file.startsWith(written + u' '); });
            }
            said = lines.join(u'\n').replace(QRegularExpression(u"0x[0-9a-f]+"_s), u"0x"_s);
        }
        said.replace(work(), u"W"_s);
        QVERIFY2(out.isEmpty() ? said.isEmpty() : said.startsWith(out), qPrintable(said));
        QVERIFY2(err.isEmpty() ? errors.isEmpty() : errors.contains(err), qPrintable(errors));
        QCOMPARE(after, before);
    }

    void existingOutputsAndReport_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");            // the file's line, or what standard error says
        QTest::addColumn<QStringList>("destination"); // the files there afterwards
        QTest::addColumn<bool>("earlierKept");        // the copies there before are as they were
        QTest::addColumn<QString>("csv");             // the report's row of the file; empty: no report
        const QString trimmed = u"cut.wav - head -0.850 s, tail -1.850 s (lossless, exact)"_s;
        const QString measured
                = u"W/in/cut.wav,5.000,1.000,2.000,-0.850,-1.850,2.300,Trimmed,"
                  "\"head -0.850 s, tail -1.850 s (lossless, exact)%1\",re-encoded"_s; // PCM, written again
        const QString replaced = u"; replaced the existing copy"_s;
        const QStringList one{ u"cut (2).wav"_s, u"cut.wav"_s };
        // Kept, the new one takes the first free "name (N)". Not given is replace, as --help shows.
        QTest::newRow("replace") << u"replace"_s << 0 << trimmed + replaced << one << false << measured.arg(replaced);
        QTest::newRow("skip") << u"skip"_s << 0 << u"cut.wav - output exists - skipped"_s << one << true
                              << u"W/in/cut.wav,0.000,0.000,0.000,0.000,0.000,0.000,Skipped,output exists - skipped,"_s;
        QTest::newRow("keep both") << u"keep-both"_s << 0 << trimmed
                                   << QStringList{ u"cut (2).wav"_s, u"cut (3).wav"_s, u"cut.wav"_s } << true
                                   << measured.arg(QString());
        QTest::newRow("unknown") << u"both"_s << 2
                                 << u"option '--existing': unknown value 'both' (use replace, skip or keep-both)"_s
                                 << one << true << QString();
    }

    // A copy already there is replaced, left or kept as --existing says; --csv writes the window's report.
    void existingOutputsAndReport()
    {
        QFETCH(QString, existing);
        QFETCH(QString, said);
        QFETCH(QString, csv);
        const QString earlier = work(u"ex/cut.wav"_s), report = work(u"ex-report.csv"_s);
        const auto tidy = qScopeGuard([&] { QDir(work(u"ex"_s)).removeRecursively(), QFile::remove(report); });
        QVERIFY(test::writeFile(earlier, "earlier") && test::writeFile(work(u"ex/cut (2).wav"_s), "earlier (2)"));
        const test::ProgramRun run = test::runProgram(QStringLiteral(KESTROVA_CLI),
                { u"trim"_s, u"--no-settings"_s, u"--out"_s, u"ex"_s, u"--csv"_s, report, u"--existing"_s, existing,
                        u"in/cut.wav"_s },
                work());
        QTEST(run.exitCode, "exitCode");
        QVERIFY2((run.out + run.err).contains(said), qPrintable(run.out + run.err));
        QTEST(QDir(work(u"ex"_s)).entryList(QDir::Files, QDir::Name), "destination");
        QTEST(test::contents(earlier) == "earlier", "earlierKept");
        QCOMPARE(test::contents(work(u"ex/cut (2).wav"_s)), "earlier (2)");
        QCOMPARE(QFileInfo::exists(report), !csv.isEmpty());
        const QString rows = QString::fromUtf8(test::contents(report)).replace(work(), u"W"_s);
        QCOMPARE(rows.section(u"\r\n"_s, 1), csv.isEmpty() ? QString() : csv + u"\r\n"_s); // after the header
    }

    // --help's limits are the table's; each default it shows, given back, leaves every setting at its default.
    void helpMatchesTheTable()
    {
        const test::ProgramRun help = test::runProgram(QStringLiteral(KESTROVA_CLI), { u"--help"_s });
        QCOMPARE(help.exitCode, 0);
        QStringList entries; // each option's, its continued lines joined to its first
        for (const QString &line : help.out.split(u'\n')) {
            if (line.startsWith(QString(34, u' ')) && !entries.isEmpty())
                entries.last() += u' ' + line.trimmed();
            else if (line.trimmed().startsWith(u'-'))
                entries << line.trimmed();
        }
        for (const auto &[option, row] : { std::pair(u"--threshold DB "_s, &SettingsTable::row(&Settings::thresholdDb)),
                     std::pair(u"--min-silence S "_s, &SettingsTable::row(&Settings::minSilenceSec)),
                     std::pair(u"--max-trim S "_s, &SettingsTable::row(&Settings::maxTrimSec)),
                     std::pair(u"--head MODE[:MS] "_s, &SettingsTable::row(&Settings::leadTargetMs)),
                     std::pair(u"--tail MODE[:MS] "_s, &SettingsTable::row(&Settings::tailTargetMs)),
                     std::pair(u"--jobs N "_s, &SettingsTable::row(&Settings::parallelJobs)) }) {
            const QStringList entry
                    = entries.filter(QRegularExpression(u"^(-\\w, )?"_s + QRegularExpression::escape(option)));
            const QString range = u" %1 to %2; default: "_s.arg(row->minimum).arg(row->maximum);
            QVERIFY2(entry.size() == 1 && entry.first().contains(range), qPrintable(option + range));
        }
        static const QRegularExpression entryPattern(
                u"^(?:-\\w, )?(--[a-z-]+)(?: (\\S+))?(?:, (--no-[a-z-]+))? .*\\(.*default: ([^)]+)\\)$"_s);
        int checked = 0;
        for (const QString &entry : std::as_const(entries)) {
            const QRegularExpressionMatch match = entryPattern.match(entry);
            if (!match.hasMatch())
                continue;
            const QString name = match.captured(1), value = match.captured(2), no = match.captured(3),
                          shown = match.captured(4);
            if (shown == u"none"_s || shown.startsWith(u"looked for"_s)
                    || ((value + no).isEmpty() && shown == u"off"_s))
                continue; // nothing set: --out with no folder, the tools looked for, --in-place off
            const QStringList given = !value.isEmpty() ? QStringList{ name, shown }
                    : shown == u"on"_s                 ? QStringList{ name }
                    : shown == u"off"_s                ? QStringList{ no }
                                                       : QStringList();
            QVERIFY2(!given.isEmpty(), qPrintable(u"a default the program cannot be given: "_s + entry));
            const CliOptions options = CliOptions::parse(QStringList{ u"analyse"_s } + given << u"take.wav"_s);
            QVERIFY2(options.error.isEmpty(), qPrintable(options.error));
            Settings settings;
            options.applyTo(settings);
            for (const SettingsTable::Row &row : SettingsTable::rows())
                QVERIFY2(row.get(settings) == row.get(Settings()), qPrintable(entry + u": "_s + row.storeKey()));
            ++checked;
        }
        QCOMPARE(checked, 15);
    }

    // Two runs in place over one folder at once: each file trimmed exactly once, none reported failed.
    void twoRunsOverOneFolder()
    {
        QProcess first, second;
        for (QProcess *run : { &first, &second }) {
            run->setWorkingDirectory(work());
            run->start(QStringLiteral(KESTROVA_CLI),
                    u"trim --no-settings --in-place --yes --json -j 2 twice"_s.split(u' '));
        }
        for (QProcess *run : { &first, &second }) {
            QVERIFY(run->waitForFinished(120000));
            const QByteArray said = run->readAllStandardOutput();
            QVERIFY2(run->exitCode() == 0 && !said.contains("\"Failed\""), said.constData());
        }
        for (int i = 0; i < 4; ++i)
            QVERIFY2(qAbs(test::decodedSeconds(work(u"twice/%1.wav"_s.arg(i))) - 2.3) < 0.05, "not trimmed just once");
    }

    void readmeExamples_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("shown");
        static const QRegularExpression console(u"^```console\n(.*?)^```"_s,
                QRegularExpression::DotMatchesEverythingOption | QRegularExpression::MultilineOption);
        static const QRegularExpression prompt(u"^\\$ "_s, QRegularExpression::MultilineOption);
        int rows = 0;
        for (const QRegularExpressionMatch &block :
                console.globalMatch(QString::fromUtf8(test::contents(QStringLiteral(KS_README)))))
            for (const QString &example : block.captured(1).split(prompt, Qt::SkipEmptyParts)) {
                QStringList shown = example.split(u'\n', Qt::SkipEmptyParts);
                const QString command = shown.takeFirst();
                QTest::addRow("%s", qPrintable(command)) << command << shown;
                ++rows;
            }
        QVERIFY2(rows >= 3, "the README's console examples were not found");
    }

    // What the README shows a command print is what it prints, run in a home folder (/home/sam) on its season.
    void readmeExamples()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, shown);
        const QString home = work(u"sam"_s);
        QStringList words = command.split(u' '); // run by env, in that home
        QCOMPARE(words.takeFirst(), u"kestrova-cli"_s);
        QStringList arguments{ u"HOME="_s + home, u"XDG_CONFIG_HOME=%1/.config"_s.arg(home),
            QStringLiteral(KESTROVA_CLI) };
        for (const QString &word : std::as_const(words))
            arguments << QString(word).replace(QRegularExpression(u"^~/"_s), home + u'/');
        test::ProgramRun run = test::runProgram(u"env"_s, arguments, home);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(run.out.replace(home, u"/home/sam"_s).split(u'\n', Qt::SkipEmptyParts), shown);
    }

    void cleanupTestCase() { ::unlink(latin1Name().constData()); } // the folder's removal cannot see it
};

QTEST_GUILESS_MAIN(tst_CliRunner)
#include "tst_clirunner.moc"
