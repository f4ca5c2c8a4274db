#include "addedpaths.h"
#include "controller.h"
#include "fixtures.h"
#include "queuemodel.h"
#include "workerhost.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// Batches through the worker host, as the window and the command line run them, and scans.
class tst_Controller : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void severalAtOnceAsOneAtATime();
    void stopEndsEveryRunningFile();
    void scanCountsNamesNotUtf8();
    void destinationLeftOutOfScan();
    void queueRemovesScatteredRows();

private:
    bool run(const QList<QueueItem> &items, bool analyseOnly = false);
    // Row i as its last report left it, "status|message|output"; empty if none came.
    QString row(int i) const;
    QueueItem queued(const QString &path, const QString &root = u"in"_s) const;
    QString at(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    WorkerHost m_host;
    QSignalSpy m_items{ &m_host, &WorkerHost::itemChanged };
    QSignalSpy m_log{ &m_host, &WorkerHost::message };
    QSignalSpy m_finished{ &m_host, &WorkerHost::batchFinished };
    Settings m_settings;
};

// cut.wav has 1 s before and 2 s after its tone, and a twin in another folder.
void tst_Controller::initTestCase()
{
    for (const QString &name : { u"in/cut.wav"_s, u"copy/cut.wav"_s })
        QCOMPARE(test::makeAudio(at(name)), QString());
    QCOMPARE(test::makeAudio(at(u"in/within.wav"_s), { 0.0, 2.0, 0.0 }), QString());
    QCOMPARE(test::makeAudio(at(u"in/silent.wav"_s), { 1.0, 0.0 }), QString());
    QFile garbage(at(u"in/garbage.mp3"_s));
    QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("this is not audio at all\n"));
}

// Every test starts from the same settings, whatever the one before changed.
void tst_Controller::init()
{
    m_settings = Settings();
    m_settings.outputRoot = at(u"out"_s);
}

bool tst_Controller::run(const QList<QueueItem> &items, bool analyseOnly)
{
    for (QSignalSpy *spy : { &m_items, &m_log, &m_finished })
        spy->clear();
    Q_EMIT m_host.requestProcess(items, m_settings, analyseOnly);
    return m_finished.wait(60000);
}

QString tst_Controller::row(int i) const
{
    for (auto it = m_items.crbegin(); it != m_items.crend(); ++it) {
        const QueueItem item = it->at(1).value<QueueItem>();
        if (it->at(0).toInt() == i)
            return u"%1|%2|%3"_s.arg(statusText(item.status), item.message, item.outputPath.mid(m_dir.path().size()));
    }
    return QString();
}

QueueItem tst_Controller::queued(const QString &path, const QString &root) const
{
    QueueItem item;
    item.path = at(path);
    item.relPath = QDir(at(root)).relativeFilePath(item.path);
    return item;
}

// Three at once give each file the same outcome, log line and totals as one
// at a time, a clash between two sources still goes to the later, and ffmpeg
// is asked for its encoders once per run.
void tst_Controller::severalAtOnceAsOneAtATime()
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
            QStringList({ QString(), u"Trimmed|head -0.850 s, tail -1.850 s|/out/cut.wav"_s,
                    u"Skipped|already within target|"_s, u"Skipped|file is silent end to end - left alone|"_s,
                    u"Failed|damaged or not an audio file (no readable frames)|"_s,
                    u"Failed|output %1/out/cut.wav was already written from %1/in/cut.wav "
                    "in this run|/out/cut.wav"_s.arg(m_dir.path()),
                    u"5 1 2 2 2.700, encoder lists 1"_s }));
    QVERIFY(one.contains(u"1|cut.wav - head -0.850 s, tail -1.850 s"_s));
    QVERIFY(qAbs(test::decodedSeconds(at(u"out/cut.wav"_s)) - 2.3) < 0.05);

    QCOMPARE(outcome(3), one);
    QCOMPARE(test::temporaryFiles(m_dir.path()), QStringList());
}

// A stop with three files being written ends every child and puts each of
// them back to waiting; nothing is left half-written.
void tst_Controller::stopEndsEveryRunningFile()
{
    QList<QueueItem> items;
    for (const QString &name : { u"in/stop-a.mp3"_s, u"in/stop-b.mp3"_s, u"in/stop-c.mp3"_s, u"in/stop-d.mp3"_s }) {
        QCOMPARE(test::makeAudio(at(name), { 1.0, 240.0 }), QString());
        items << queued(name);
    }
    m_settings.trimMethod = TrimMethod::ReEncode;
    m_settings.parallelJobs = 3;
    QSet<int> writing;
    const auto stopper = connect(&m_host, &WorkerHost::fileProgress, this, [&](int i, int percent) {
        if (percent > 50)
            writing.insert(i);
        if (writing.size() == 3)
            m_host.requestStop();
    });
    QVERIFY(run(items));
    disconnect(stopper);

    QCOMPARE(QStringList({ m_finished.last().at(1).toString(), row(0), row(1), row(2), row(3),
                     QString::number(m_finished.last().at(0).value<BatchSummary>().processed) }),
            QStringList({ u"true"_s, u"Pending|cancelled|"_s, u"Pending|cancelled|"_s, u"Pending|cancelled|"_s,
                    QString(), u"0"_s }));
    QCOMPARE(test::temporaryFiles(m_dir.path()), QStringList());
    QCOMPARE(QProcess::execute(u"pgrep"_s, { u"-f"_s, u"stop-[abcd]"_s }), 1); // no child still running

    // The next run clears the stop, and gets as far as the last guard before
    // writing: a destination mirroring onto the sources themselves.
    m_settings.outputRoot = at(u"in"_s);
    QVERIFY(run({ queued(u"in/cut.wav"_s) }));
    QCOMPARE(row(0), u"Failed|output would overwrite the source|/in/cut.wav"_s);
}

// Qt lists such names nowhere, so they are counted from the raw entries.
void tst_Controller::scanCountsNamesNotUtf8()
{
    QCOMPARE(test::makeAudio(at(u"odd/ok.mp3"_s)), QString());
    const QByteArray latin1 = QFile::encodeName(at(u"odd"_s)) + "/caf\xe9.mp3"; // "café.mp3"
    if (FILE *raw = ::fopen(latin1.constData(), "w"))
        ::fclose(raw);
    const auto removeLatin1 = qScopeGuard([&] { ::remove(latin1.constData()); }); // its folder could not
    Controller controller;
    QSignalSpy finished(&controller, &Controller::scanFinished);
    QSignalSpy messages(&controller, &Controller::message);
    controller.scan(at(u"odd"_s), { u"mp3"_s }, true);
    QCOMPARE(finished.first().at(0).toStringList(), QStringList{ at(u"odd/ok.mp3"_s) });
    QCOMPARE(messages.last().at(0).toString(), u"Skipped 1 file(s) whose names are not valid UTF-8"_s);
}

void tst_Controller::destinationLeftOutOfScan()
{
    const QStringList files{ u"/music/a.mp3"_s, u"/music/trimmed/a.mp3"_s, u"/music/trimmed-old/b.mp3"_s };
    QCOMPARE(AddedPaths::outside(files, u"/music/trimmed/"_s),
            QStringList({ u"/music/a.mp3"_s, u"/music/trimmed-old/b.mp3"_s }));
    QCOMPARE(AddedPaths::outside(files, QString()), files);
}

// Removing many scattered rows at once, with indexes out of range and
// repeated, keeps every other path findable by its new row.
void tst_Controller::queueRemovesScatteredRows()
{
    QueueModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStringList paths;
    QList<int> rows{ 1200, -1, 0, 0 };
    for (int i = 0; i < 1000; ++i)
        paths << u"/q/%1.mp3"_s.arg(i, 4, 10, QLatin1Char('0'));
    for (int i = 0; i < 1000; i += 3)
        rows << i;
    model.addFiles(paths, u"/q"_s);
    model.removeItems(rows);
    QCOMPARE(model.rowCount(), 666);
    for (int i = 0; i < 1000; ++i) // each left behind the rows removed before it; the others gone
        QCOMPARE(model.rowOfPath(paths.at(i)), i % 3 ? i - i / 3 - 1 : -1);
    // What was removed can be queued again; what is left is not queued twice.
    model.addFiles(paths, u"/q"_s);
    QCOMPARE(model.rowCount(), 1000);
}

QTEST_GUILESS_MAIN(tst_Controller)
#include "tst_controller.moc"
