#include "fixtures.h"

#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

namespace {

// A shell line run in `folder`, "$KS_CLI" standing for the program.
test::ProgramRun shell(const QString &line, const QString &folder)
{
    return test::runProgram(u"bash"_s, { u"-c"_s, u"set -e -o pipefail\n"_s + line }, folder);
}

const QString Trim = u"\"$KS_CLI\" trim --no-settings "_s;

// Every file below `folder`, by its path there, with its hash.
QStringList tree(const QString &folder)
{
    QStringList found;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        found << QDir(folder).relativeFilePath(path) + u' ' + QString::fromLatin1(test::sha256(path).toHex());
    }
    found.sort();
    return found;
}

// The files' records of JSON lines, each with `destination` named D, sorted; the summaries added up.
QStringList records(const QString &jsonLines, const QString &destination)
{
    QStringList lines;
    QMap<QString, double> totals;
    for (const QString &line : jsonLines.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonObject record = QJsonDocument::fromJson(line.toUtf8()).object();
        if (record.isEmpty())
            return { u"not JSON: "_s + line };
        const QJsonObject summary = record.value(u"summary"_s).toObject();
        for (auto it = summary.begin(); it != summary.end(); ++it)
            totals[it.key()] += it.value().toDouble();
        if (summary.isEmpty())
            lines << QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact))
                             .replace(destination, u"D"_s);
    }
    lines.sort();
    for (const QString &key : { u"processed"_s, u"written"_s, u"skipped"_s, u"failed"_s, u"missingPaths"_s })
        lines << u"%1 %2"_s.arg(key).arg(totals.value(key));
    return lines;
}

} // namespace

// What a split run leaves, and what --resume runs again: kestrova-cli run the way the README's
// recipes run it, on a small library of two folders that both hold an intro.mp3.
class tst_ClusterRecipes : public QObject
{
    Q_OBJECT

private:
    QString at(const QString &name) const { return QDir::cleanPath(m_dir.filePath(name)); }

    QTemporaryDir m_dir;
    const QStringList m_files{ u"rock/intro.mp3"_s, u"rock/outro.mp3"_s, u"jazz/intro.mp3"_s, u"jazz/solo.flac"_s,
        u"jazz/within.mp3"_s };

private Q_SLOTS:
    void initTestCase()
    {
        const test::ToneShape within{ 0.0, 2.0, 0.0 }; // nothing to cut: left alone
        for (const QString &name : m_files)
            QCOMPARE(test::makeAudio(at(u"music/"_s + name), name.contains(u"within"_s) ? within : test::ToneShape()),
                    QString());
        qputenv("KS_CLI", KESTROVA_CLI);
        // No notice from GNU parallel about citing it, with a home of its own.
        QVERIFY(test::writeFile(at(u"home/.parallel/will-cite"_s), {}));
        qputenv("HOME", QFile::encodeName(at(u"home"_s)));
    }

    void recipes_data()
    {
        QTest::addColumn<QString>("marker");       // a line of the README's recipe
        QTest::addColumn<QStringList>("replaced"); // what in it stands for this machine: pairs of text and stand-in
        QTest::addColumn<QString>("runner");       // how the recipe, saved as recipe.sh, is run here
        QTest::addColumn<QString>("output");       // where its records end up
        QTest::addColumn<QString>("folder");       // where it runs, below the test's folder
        QTest::newRow("GNU parallel, three jobs on this machine")
                << u"parallel --pipe"_s << QStringList{ u"4/alpha,4/beta,:"_s, u"3/:"_s, u"-N200"_s, u"-N2"_s }
                << u"bash recipe.sh"_s << u"results.jsonl"_s << u"parallel"_s;
        QTest::newRow("an array job, its tasks one after another")
                << u"#SBATCH --array"_s << QStringList{ u"49"_s, u"2"_s, u"50"_s, u"3"_s }
                << u"find \"$MUSIC\" -type f \\( -name '*.flac' -o -name '*.mp3' \\) >files.txt\n"
                   "for t in 0 1 2; do SLURM_ARRAY_TASK_ID=$t sh recipe.sh; done"_s
                << u"out.*.jsonl"_s << u"array"_s;
    }

    // Each recipe leaves the same files, byte for byte, and the same records as one run over the
    // library: the two intro.mp3 keep their folders.
    void recipes()
    {
        QFETCH(QString, marker);
        QFETCH(QStringList, replaced);
        QFETCH(QString, runner);
        QFETCH(QString, output);
        QFETCH(QString, folder);
        static const QRegularExpression shBlock(u"^```sh\n(.*?)^```"_s,
                QRegularExpression::DotMatchesEverythingOption | QRegularExpression::MultilineOption);
        QString recipe;
        for (const QRegularExpressionMatch &block :
                shBlock.globalMatch(QString::fromUtf8(test::contents(QStringLiteral(KS_README)))))
            if (block.captured(1).contains(marker))
                recipe = block.captured(1);
        QVERIFY2(!recipe.isEmpty(), qPrintable(marker));
        replaced << u"/srv/music"_s << u"\"$MUSIC\""_s << u"/srv/trimmed"_s << u"\"$TRIMMED\""_s
                 << u"kestrova-cli trim"_s << u"\"$KS_CLI\" trim --no-settings"_s;
        for (qsizetype i = 0; i + 1 < replaced.size(); i += 2) {
            QVERIFY2(recipe.contains(replaced.at(i)), qPrintable(replaced.at(i)));
            recipe.replace(replaced.at(i), replaced.at(i + 1));
        }
        const QString work = at(folder);
        QVERIFY(test::writeFile(work + u"/recipe.sh"_s, recipe.toUtf8()));

        const QString trimmed = work + u"/trimmed"_s;
        const auto split = shell(
                u"export MUSIC='%1' TRIMMED='%2'\n%3\ncat %4"_s.arg(at(u"music"_s), trimmed, runner, output), work);
        const QString plain = work + u"/plain"_s;
        const auto one = shell(Trim + u"--json --out '%1' '%2'"_s.arg(plain, at(u"music"_s)), work);
        QVERIFY2(split.exitCode == 0 && one.exitCode == 0, qPrintable(split.err + one.err));

        QCOMPARE(tree(trimmed), tree(plain));
        QCOMPARE(tree(plain).size(), 4); // all but within.mp3, the two intro.mp3 apart
        QCOMPARE(records(split.out, trimmed), records(one.out, plain));
    }

    // A file outside the base is refused with one line, and the rest still run.
    void outsideTheBase()
    {
        const auto run = shell(Trim + u"--out outside --base music/rock music/{jazz,rock}/intro.mp3"_s, m_dir.path());
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err,
                u"kestrova-cli: 'music/jazz/intro.mp3': outside the base folder %1\n"_s.arg(at(u"music/rock"_s)));
        QCOMPARE(QDir(at(u"outside"_s)).entryList(QDir::Files), QStringList(u"intro.mp3"_s));
    }

    void resume_data()
    {
        QTest::addColumn<QString>("redated");     // a source given another modification time
        QTest::addColumn<QString>("altered");     // a written copy changed since
        QTest::addColumn<QString>("destination"); // of the second run; empty: the first's
        QTest::addColumn<QStringList>("rerun");   // the sources that run again
        QTest::addColumn<QByteArray>("written");  // what the earlier output becomes; empty: as it was
        QTest::addColumn<int>("refusedLine");     // of that output, refused as no record; 0: none
        const auto row = [](const char *tag, const QString &redated, const QString &altered, const QString &destination,
                                 const QStringList &rerun, const QByteArray &written = {}, int refusedLine = 0) {
            QTest::newRow(tag) << redated << altered << destination << rerun << written << refusedLine;
        };
        row("nothing changed", {}, {}, {}, {});
        row("another destination", {}, {}, u"elsewhere"_s, m_files.mid(0, 4));
        row("a source re-dated", u"rock/outro.mp3"_s, {}, {}, { u"rock/outro.mp3"_s });
        row("a copy changed", {}, u"jazz/intro.mp3"_s, {}, { u"jazz/intro.mp3"_s });
        row("a file left alone re-dated", u"jazz/within.mp3"_s, {}, {}, { u"jazz/within.mp3"_s });
        row("output cut short", {}, {}, {}, {}, "{\"summary\":{}}\n{\"path\":\"/srv/a.mp3\",\"st", 2);
        row("another file", {}, {}, {}, {}, "title,artist\n", 1);
        row("JSON of something else", {}, {}, {}, {}, "{\"path\":\"x\",\"done\":true}\n", 1);
    }

    // --resume starts no child for a file done and unchanged, and runs every other file again.
    void resume()
    {
        QFETCH(QString, redated);
        QFETCH(QString, altered);
        QFETCH(QString, destination);
        QFETCH(QStringList, rerun);
        QFETCH(QByteArray, written);
        QFETCH(int, refusedLine);
        const QString work = at(u"resume"_s);
        QVERIFY(QDir(work).removeRecursively() && QDir().mkpath(work));
        // Tools that note each run, then run the real ones.
        const QString calls = work + u"/calls"_s;
        QStringList tools;
        for (const QString &name : { u"ffmpeg"_s, u"ffprobe"_s })
            tools << u"--"_s + name
                  << test::writeFakeTool(work, name,
                             "printf '%s\\n' \"$*\" >>'" + QFile::encodeName(calls) + "'\nexec '"
                                     + QFile::encodeName(QStandardPaths::findExecutable(name)) + "' \"$@\"");
        const QString arguments = Trim + u"--json %1 --base '%2' '%2' --out "_s.arg(tools.join(u' '), at(u"music"_s));
        const auto first = shell(arguments + u"copies"_s, work);
        QVERIFY2(first.exitCode == 0, qPrintable(first.err));
        QVERIFY(test::writeFile(work + u"/first.jsonl"_s, written.isEmpty() ? first.out.toUtf8() : written));
        QVERIFY(redated.isEmpty() || test::dateBack(at(u"music/"_s + redated)));
        QVERIFY(altered.isEmpty() || test::writeFile(work + u"/copies/"_s + altered, "x"));
        QVERIFY(QFile::remove(calls));
        QString again = arguments + (destination.isEmpty() ? u"copies"_s : destination) + u" --resume first.jsonl"_s;
        const auto second = shell(again, work);
        QCOMPARE(second.exitCode, refusedLine ? 2 : 0);
        QCOMPARE(second.err, // one line
                refusedLine ? u"kestrova-cli: first.jsonl:%1: not a line of kestrova-cli --json output (cut short, or "
                              "another file)\n"_s.arg(refusedLine)
                            : QString());

        QStringList ran;
        for (const QString &name : m_files)
            if (test::contents(calls).contains(QFile::encodeName(at(u"music/"_s + name))))
                ran << name;
        QCOMPARE(ran, rerun);
        if (refusedLine)
            return;
        QCOMPARE(second.out.count(u"\"resumed\":true"_s), m_files.size() - rerun.size());
        QVERIFY2(second.out.contains(u"\"resumed\":%1,"_s.arg(m_files.size() - rerun.size())), qPrintable(second.out));
        // The records carry on: a run from the second output starts nothing at all.
        QFile::remove(calls);
        QVERIFY(test::writeFile(work + u"/second.jsonl"_s, second.out.toUtf8()));
        const auto third = shell(again.replace(u"first.jsonl"_s, u"second.jsonl"_s), work);
        QVERIFY2(third.exitCode == 0 && !QFileInfo::exists(calls),
                qPrintable(third.err + QString::fromUtf8(test::contents(calls))));
    }
};

QTEST_GUILESS_MAIN(tst_ClusterRecipes)
#include "tst_clusterrecipes.moc"
