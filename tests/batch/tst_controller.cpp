#include "controller.h"
#include "extensionlist.h"
#include "fileoutcome.h"
#include "fixtures.h"
#include "folderscan.h"
#include "queuemodel.h"
#include "runcheck.h"
#include "stepresult.h"
#include "workerhost.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// Which decision of a file a fileOutcomes() row asks for; WriteAtStop: a write as a stop came.
enum class Stage { Analysis, Guard, Write, WriteAtStop };
Q_DECLARE_METATYPE(Stage)
Q_DECLARE_METATYPE(ks::StepResult)

// Batches through the worker host, as the window and the command line run them, and scans.
class tst_Controller : public QObject
{
    Q_OBJECT

private:
    QString at(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    WorkerHost m_host;
    QSignalSpy m_items{ &m_host, &WorkerHost::itemChanged };
    QSignalSpy m_log{ &m_host, &WorkerHost::message };
    QSignalSpy m_finished{ &m_host, &WorkerHost::batchFinished };
    Settings m_settings;

    void forget() { m_items.clear(), m_log.clear(), m_finished.clear(); }
    bool run(const QList<QueueItem> &items)
    {
        forget();
        m_host.process(items, m_settings, false);
        return m_finished.wait(60000);
    }

    // Row i as its last report left it, "status|message|output"; empty if none came.
    QString row(int i) const
    {
        for (auto it = m_items.crbegin(); it != m_items.crend(); ++it) {
            const QueueItem item = it->at(1).value<QueueItem>();
            if (it->at(0).toInt() == i)
                return u"%1|%2|%3"_s.arg(
                        statusText(item.status), item.message, item.outputPath.mid(m_dir.path().size()));
        }
        return QString();
    }

    QueueItem queued(const QString &path, const QString &root = u"in"_s) const
    {
        QueueItem item;
        item.path = at(path);
        item.relPath = QDir(at(root)).relativeFilePath(item.path);
        return item;
    }

private Q_SLOTS:
    // cut.wav has 1 s before and 2 s after its tone, and a twin in another folder.
    void initTestCase()
    {
        for (const QString &name : { u"in/cut.wav"_s, u"copy/cut.wav"_s })
            QCOMPARE(test::makeAudio(at(name)), QString());
        QCOMPARE(test::makeAudio(at(u"in/within.wav"_s), { 0.0, 2.0, 0.0 }), QString());
        QCOMPARE(test::makeAudio(at(u"in/silent.wav"_s), { 1.0, 0.0 }), QString());
        QVERIFY(test::writeFile(at(u"in/garbage.mp3"_s), "this is not audio at all\n"));
    }

    // Every test starts from the same settings, whatever the one before changed.
    void init()
    {
        m_settings = Settings();
        m_settings.outputRoot = at(u"out"_s);
    }

    // Three at once give the outcomes, log and totals of one at a time, a clash of two sources fails the later,
    // and only a run that re-encodes asks ffmpeg for its encoders, once.
    void severalAtOnceAsOneAtATime()
    {
        const QString calls = at(u"encoder-lists"_s); // the real ffmpeg, a byte noted for each encoder list asked
        m_settings.ffmpegPath = test::writeFakeTool(m_dir.path(), u"ffmpeg"_s,
                "case \"$*\" in *-encoders*) printf x >> '" + QFile::encodeName(calls) + "';; esac\nexec '"
                        + QFile::encodeName(test::ffmpegExecutable()) + "' \"$@\"");
        const QList<QueueItem> items{ queued(u"in/cut.wav"_s), queued(u"in/within.wav"_s), queued(u"in/silent.wav"_s),
            queued(u"in/garbage.mp3"_s), queued(u"copy/cut.wav"_s, u"copy"_s) };
        const auto outcome = [&](int jobs) {
            QDir(at(u"out"_s)).removeRecursively();
            QFile::remove(calls);
            m_settings.parallelJobs = jobs;
            QStringList seen{ run(items) ? QString() : u"timed out"_s }, lines;
            for (int i = 0; i < items.size(); ++i)
                seen << row(i);
            for (const QVariantList &line : std::as_const(m_log))
                lines << u"%1|%2"_s.arg(line.at(1).toInt()).arg(line.at(0).toString());
            lines.sort(); // files at once end in any order
            const auto sum = m_finished.value(0).value(0).value<BatchSummary>();
            seen << QString::asprintf("%d %d %d %d %.3f, encoder lists %d", sum.processed, sum.written, sum.skipped,
                    sum.failed, sum.secondsCut, int(QFileInfo(calls).size()));
            return (seen + lines).replaceInStrings(QRegularExpression(u"0x[0-9a-f]+"_s), u"0x"_s);
        };
        const QStringList one = outcome(1);
        QCOMPARE(one.mid(0, 7),
                QStringList({ QString(), u"Trimmed|head -0.850 s, tail -1.850 s (lossless, exact)|/out/cut.wav"_s,
                        u"Skipped|already within target|"_s, u"Skipped|file is silent end to end - left alone|"_s,
                        u"Failed|damaged or not an audio file (no readable frames)|"_s,
                        u"Failed|output %1/out/cut.wav was already written from %1/in/cut.wav "
                        "in this run|/out/cut.wav"_s.arg(m_dir.path()),
                        u"5 1 2 2 2.700, encoder lists 1"_s }));                  // PCM is written again, as itself
        QVERIFY(qAbs(test::decodedSeconds(at(u"out/cut.wav"_s)) - 2.3) < 0.0001); // to the sample

        QCOMPARE(outcome(3), one);
        m_settings.trimMethod = TrimMethod::ReEncode;
        QVERIFY(outcome(3).join(u'\n').contains(u"encoder lists 1"_s));
        QCOMPARE(test::temporaryFiles(m_dir.path()), QStringList());
    }

    // A stop with three files being written ends every child, puts each back to waiting, leaves no temporary.
    void stopEndsEveryRunningFile()
    {
        QList<QueueItem> items;
        for (const QString &name : { u"in/stop-a.mp3"_s, u"in/stop-b.mp3"_s, u"in/stop-c.mp3"_s, u"in/stop-d.mp3"_s }) {
            QCOMPARE(test::makeAudio(at(name), { 1.0, 240.0 }), QString());
            items << queued(name);
        }
        m_settings.trimMethod = TrimMethod::ReEncode;
        m_settings.parallelJobs = 3;
        QSet<int> writing;
        QObject listening; // the stop's listener goes with the test
        connect(&m_host, &WorkerHost::fileProgress, &listening, [&](int i, int percent) {
            if (percent > 50)
                writing.insert(i);
            if (writing.size() == 3)
                m_host.requestStop();
        });
        QVERIFY(run(items));

        QCOMPARE(QStringList({ m_finished.last().at(1).toString(), row(0), row(1), row(2), row(3),
                         QString::number(m_finished.last().at(0).value<BatchSummary>().processed) }),
                QStringList({ u"true"_s, u"Pending|cancelled|"_s, u"Pending|cancelled|"_s, u"Pending|cancelled|"_s,
                        QString(), u"0"_s }));
        QCOMPARE(test::temporaryFiles(m_dir.path()), QStringList());
        // No child still running; only this run's, whatever other runs of this test the machine has.
        QCOMPARE(QProcess::execute(u"pgrep"_s, { u"-f"_s, at(u"in/stop-"_s) }), 1);
    }

    // A stop ends every job waiting (two scans and a batch behind a held worker), not one asked for after it.
    void stopReachesEveryQueuedJob()
    {
        QSemaphore entered, held;
        QMetaObject::invokeMethod(
                m_host.controller(), [&] { entered.release(), held.acquire(); }, Qt::QueuedConnection);
        entered.acquire();
        QSignalSpy scans(&m_host, &WorkerHost::scanFinished);
        forget();
        m_host.scan(at(u"in"_s), { u"wav"_s }, true);
        m_host.scan(at(u"copy"_s), { u"wav"_s }, true);
        m_host.process({ queued(u"in/cut.wav"_s) }, m_settings, true);
        m_host.requestStop();
        held.release();
        QVERIFY(m_finished.wait(60000));
        m_host.scan(at(u"copy"_s), { u"wav"_s }, false);
        QTRY_COMPARE_WITH_TIMEOUT(scans.size(), 3, 60000);
        QStringList seen;
        for (const QVariantList &scan : std::as_const(scans))
            seen << u"%1 %2"_s.arg(scan.at(2).toBool()).arg(scan.at(0).toStringList().join(u',')).remove(m_dir.path());
        seen << u"%1 %2 %3"_s.arg(m_finished.first().at(1).toBool())
                        .arg(m_finished.first().at(0).value<BatchSummary>().processed)
                        .arg(m_items.size());
        QCOMPARE(seen, QStringList({ u"1 "_s, u"1 "_s, u"0 /copy/cut.wav"_s, u"1 0 0"_s }));
    }

    void scanPassesOverOwnFiles_data()
    {
        QTest::addColumn<QString>("typed"); // as in Preferences or --extensions
        QTest::addColumn<QStringList>("queued");
        // notes.bak.txt only looks like a backup.
        QTest::newRow("only stars and dots: every type")
                << u"*. , .  "_s << QStringList{ u"notes.bak.txt"_s, u"take.mp3"_s };
        QTest::newRow("backups asked for by name")
                << u"*.MP3; .bak ..1, kestrova mp3"_s << QStringList{ u"take.mp3"_s };
    }

    // Backups, their elders and records and temporaries are never queued, whatever the typed list.
    void scanPassesOverOwnFiles()
    {
        QFETCH(QString, typed);
        for (const QString &name : { u"take.mp3"_s, u"take.mp3.bak"_s, u"take.mp3.BAK"_s, u"take.mp3.bak.1"_s,
                     u"take.mp3.bak.12"_s, u"take.mp3.bak.kestrova"_s, u".take.kstmp.mp3"_s, u"notes.bak.txt"_s })
            QVERIFY(test::writeFile(at(u"own/"_s + name), {}));
        QStringList found = FolderScan::run(
                at(u"own"_s), ExtensionList::parse(typed), false, [] { return false; },
                [](int) {}).files;
        QTEST(found.replaceInStrings(at(u"own/"_s), QString()), "queued");
    }

    // A file named directly and through links is queued once, by its first name; removed, it may come by either.
    void queueTakesEachFileOnce()
    {
        QVERIFY(test::writeFile(at(u"once/take.wav"_s), {}));
        QVERIFY(QFile::link(at(u"once/take.wav"_s), at(u"once/link.wav"_s)));
        QVERIFY(QFile::link(at(u"once"_s), at(u"through"_s)));
        QueueModel model;
        model.addFiles({ at(u"once/link.wav"_s), at(u"once/take.wav"_s), at(u"through/take.wav"_s) }, QString());
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.items().first().path, at(u"once/link.wav"_s));
        model.removeItems({ 0 });
        model.addFiles({ at(u"through/take.wav"_s), at(u"once/take.wav"_s) }, QString());
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.items().first().path, at(u"through/take.wav"_s));
    }

    void resultsFindTheirRowById_data()
    {
        QTest::addColumn<int>("queued");
        QTest::addColumn<QList<int>>("removed"); // rows, some out of range, some twice
        QTest::newRow("rows 1, 3 and 4 of 6, told a run at a time") << 6 << QList<int>{ 4, 1, 9, 3, -1, 1 };
        QList<int> everyThird{ 1200, -1, 0, 0 };
        for (int i = 0; i < 1000; i += 3)
            everyThird << i;
        QTest::newRow("every third of 1000, told as one reset") << 1000 << everyThird;
    }

    // After scattered rows go, each path and result finds its new row; one removed or cleared finds none.
    void resultsFindTheirRowById()
    {
        QFETCH(int, queued);
        QFETCH(QList<int>, removed);
        QueueModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QStringList paths;
        for (int i = 0; i < queued; ++i)
            paths << u"/q/%1.mp3"_s.arg(i, 4, 10, QLatin1Char('0'));
        model.addFiles(paths, u"/q"_s);
        const QList<QueueItem> run = model.items(); // what a run was given
        model.removeItems(removed);
        QStringList found, expected; // "path: row by path, row by id, result's row"
        for (int i = 0, left = 0; i < queued; ++i) {
            const int row = removed.contains(i) ? -1 : left++; // behind the rows removed before it
            QueueItem result = run.at(i);
            result.message = u"done %1"_s.arg(i);
            const int byPath = model.rowOfPath(paths.at(i)), byId = model.rowOfId(result.id);
            const bool landed = model.setItemById(result);
            const auto shown = model.items();
            const auto at = std::find_if(
                    shown.cbegin(), shown.cend(), [&](auto &item) { return item.message == result.message; });
            const int shownAt = int(at - shown.cbegin());
            found << u"%1: %2 %3 %4"_s.arg(paths.at(i)).arg(byPath).arg(byId).arg(landed ? shownAt : -1);
            expected << u"%1: %2 %2 %2"_s.arg(paths.at(i)).arg(row);
        }
        QCOMPARE(found, expected);
        model.addFiles(paths, u"/q"_s); // what was removed comes again; what is left is not queued twice
        QCOMPARE(model.rowCount(), queued);
        model.clear();
        model.addFiles(paths, u"/q"_s);
        QCOMPARE(std::pair(model.setItemById(run.at(1)), model.items().at(1).message), std::pair(false, QString()));
    }

    void mirrorOntoTheSourcesRefused_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<bool>("ontoSources");
        QTest::newRow("another folder") << u"out"_s << false;
        QTest::newRow("the sources' own folder") << u"in"_s << true;
        QTest::newRow("a link to the sources' folder") << u"link to in"_s << true;
    }

    // A mirror onto the sources (resolved) is refused, and if run anyway each file fails before any write.
    void mirrorOntoTheSourcesRefused()
    {
        QFETCH(QString, destination);
        QFETCH(bool, ontoSources);
        QDir(at(u"out"_s)).removeRecursively(); // no copy of an earlier run there to replace
        QVERIFY(QFileInfo(at(u"link to in"_s)).isSymLink() || QFile::link(at(u"in"_s), at(u"link to in"_s)));
        m_settings.outputRoot = at(destination);
        const QList<QueueItem> items{ queued(u"in/cut.wav"_s) };
        QCOMPARE(refusalText(queueRefusal(items, m_settings, false)),
                refusalText(ontoSources ? RunRefusal::OntoSources : RunRefusal::None));
        const QByteArray before = test::sha256(at(u"in/cut.wav"_s));
        QVERIFY(run(items));
        QCOMPARE(row(0),
                (ontoSources ? u"Failed|output would overwrite the source|/%1/cut.wav"_s
                             : u"Trimmed|head -0.850 s, tail -1.850 s (lossless, exact)|/%1/cut.wav"_s)
                        .arg(destination));
        QCOMPARE(test::sha256(at(u"in/cut.wav"_s)), before);
    }

    void fileOutcomes_data()
    {
        QTest::addColumn<Stage>("stage");
        QTest::addColumn<StepResult>("result");  // of the plan or the write
        QTest::addColumn<double>("headChange");  // planned; the tail is left
        QTest::addColumn<QString>("outputPath"); // empty: none inside the destination
        QTest::addColumn<Severity>("severity");
        // "status|message|log line|processed written wouldChange skipped failed cut added"; empty: the file goes on
        QTest::addColumn<QString>("outcome");

        const QString out = u"/o/x.wav"_s;
        const StepResult done = StepResult::success();
        StepResult noted = done;
        noted.message = u"a note"_s;
        noted.rewrite = u" (re-encoded)"_s;
        const auto row = [](const char *tag, Stage stage, const StepResult &result, double headChange,
                                 const QString &outputPath, Severity severity, const QString &outcome) {
            QTest::newRow(tag) << stage << result << headChange << outputPath << severity << outcome;
        };
        row("analysed, a change", Stage::Analysis, done, -0.5, {}, Severity::Information,
                u"Analysed|would adjust head -0.500 s, tail unchanged|x.wav - measured head 1.00 s, tail 0.00 s; "
                "head -0.500 s, tail unchanged|1 0 1 0 0 0.5 0"_s);
        row("analysed, no change", Stage::Analysis, done, 0.0, {}, Severity::Information,
                u"Analysed|already within target|x.wav - measured head 1.00 s, tail 0.00 s; no change needed|"
                "1 0 0 0 0 0 0"_s);
        row("outside the destination", Stage::Guard, done, -0.5, {}, Severity::Error,
                u"Failed|output would fall outside the destination folder|x.wav - output would fall outside the "
                "destination folder|1 0 0 0 1 0 0"_s);
        row("written, re-encoded, with a note", Stage::Write, noted, 0.25, out, Severity::Success,
                u"Trimmed|head +0.250 s, tail unchanged (re-encoded); a note|x.wav - head +0.250 s, tail unchanged "
                "(re-encoded); a note|1 1 0 0 0 0 0.25"_s);
        row("written as the stop came", Stage::WriteAtStop, done, -0.5, out, Severity::Success,
                u"Trimmed|head -0.500 s, tail unchanged|x.wav - head -0.500 s, tail unchanged|1 1 0 0 0 0.5 0"_s);
        // The line in plain words; the tool's text stays as the detail.
        row("write failed", Stage::Write, StepResult::failure(u"disk full"_s, u"a\n b"_s), -0.5, out, Severity::Error,
                u"Failed|disk full|x.wav - disk full|1 0 0 0 1 0 0"_s);
        row("write left it alone", Stage::Write, StepResult::leftAlone(u"needs re-encoding"_s), 0.25, out,
                Severity::Warning, u"Skipped|needs re-encoding|x.wav - needs re-encoding|1 0 0 1 0 0 0"_s);
    }

    // Each file's row, log line and totals, without a thread or a tool; outcomes the batches reach not repeated.
    void fileOutcomes()
    {
        QFETCH(Stage, stage);
        QFETCH(StepResult, result);
        QFETCH(double, headChange);
        QFETCH(QString, outputPath);
        const QueueItem source = queued(u"in/x.wav"_s);
        QueueItem item = source;
        item.status = ItemStatus::Trimming;
        item.headSec = 1.0;
        item.headChangeSec = headChange;
        item.outputPath = outputPath;
        const std::optional<FileOutcome> outcome = stage == Stage::Analysis
                ? FileOutcome::afterPlan(item, result, true, true)
                : stage == Stage::Guard ? FileOutcome::beforeWrite(item, true, false, QString())
                                        : FileOutcome::afterWrite(source, item, result, stage == Stage::WriteAtStop);
        QString seen;
        if (outcome) {
            const BatchSummary &t = outcome->tally;
            seen = u"%1|%2|%3|"_s.arg(statusText(outcome->item.status), outcome->item.message, outcome->line)
                    + QString::asprintf("%d %d %d %d %d %g %g", t.processed, t.written, t.wouldChange, t.skipped,
                            t.failed, t.secondsCut, t.secondsAdded);
            QTEST(outcome->severity, "severity");
            QCOMPARE(outcome->item.detail, result.detail); // for the tool tip and the record, not the line
        }
        QTEST(seen, "outcome");
    }
};

QTEST_GUILESS_MAIN(tst_Controller)
#include "tst_controller.moc"
