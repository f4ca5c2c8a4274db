#include "audiofixture.h"
#include "controller.h"
#include "filechecks.h"
#include "recordtypes.h"
#include "runcheck.h"
#include "settingssandbox.h"
#include "settingsstore.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// Drives the controller on a worker thread through queued signals, as the
// window does, and keeps what comes back in the order it arrived.
class Driver : public QObject
{
    Q_OBJECT

public:
    struct Event
    {
        QString kind; // "item", "file", "batch" or "log"
        int index;
        int value; // status, percent, total or level
        QueueItem item;
        QString text;
    };

    explicit Driver(Controller *controller)
    {
        connect(this, &Driver::requestProcess, controller, &Controller::process);
        connect(controller, &Controller::itemChanged, this,
                [this](int i, const QueueItem &item) { events.append({ u"item"_s, i, int(item.status), item, item.message }); });
        connect(controller, &Controller::fileProgress, this,
                [this](int i, int p) { events.append({ u"file"_s, i, p, {}, {} }); });
        connect(controller, &Controller::batchProgress, this,
                [this](int done, int total) { events.append({ u"batch"_s, done, total, {}, {} }); });
        connect(controller, &Controller::message, this,
                [this](const QString &text, int level) { events.append({ u"log"_s, -1, level, {}, text }); });
        connect(controller, &Controller::batchFinished, this, [this](const BatchSummary &s, bool cancelled, bool analysis) {
            summary = s;
            wasCancelled = cancelled;
            wasAnalysis = analysis;
            ++finished;
        });
    }

    bool run(const QList<QueueItem> &items, const Settings &settings, bool analyseOnly)
    {
        events.clear();
        const int before = finished;
        Q_EMIT requestProcess(items, settings, analyseOnly);
        return QTest::qWaitFor([&] { return finished > before; }, 60000);
    }

    QList<Event> of(const QString &kind, int index = -2) const
    {
        QList<Event> picked;
        for (const Event &e : events)
            if (e.kind == kind && (index == -2 || e.index == index))
                picked << e;
        return picked;
    }
    QStringList logLines() const
    {
        QStringList lines;
        for (const Event &e : of(u"log"_s))
            lines << u"%1|%2"_s.arg(e.value).arg(e.text);
        return lines;
    }
    QueueItem last(int index) const { return of(u"item"_s, index).last().item; }

    QList<Event> events;
    BatchSummary summary;
    bool wasCancelled = false;
    bool wasAnalysis = false;
    int finished = 0;

Q_SIGNALS:
    void requestProcess(const QList<ks::QueueItem> &items, const ks::Settings &settings, bool analyseOnly);
};

class tst_Controller : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void analysisReportsEveryItem();
    void trimRunWritesOnlyWhatChanges();
    void unchangedFileRewrittenWhenAsked();
    void severalAtOnceAsOneAtATime();
    void stopEndsEveryRunningFile();
    void nothingToDoOrNoTools();
    void mirrorRefusals_data();
    void mirrorRefusals();
    void firstRefusal_data();
    void firstRefusal();

private:
    QueueItem queued(const QString &path, const QString &root = u"in"_s) const;
    QStringList leftovers() const { return test::temporaryFiles(m_dir.path()); }

    QTemporaryDir m_dir;
    QThread m_thread;
    Controller *m_controller = nullptr;
    std::unique_ptr<Driver> m_driver;
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
    Settings m_settings;
    QList<QueueItem> m_four;
};

void tst_Controller::initTestCase()
{
    registerRecordTypes();
    m_controller = new Controller;
    m_controller->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_controller, &QObject::deleteLater);
    m_thread.start();
    m_driver = std::make_unique<Driver>(m_controller);

    test::ToneSpec cut; // 1 s before and 2 s after the tone
    test::ToneSpec within;
    within.leadSec = within.tailSec = 0.0;
    test::ToneSpec silent;
    silent.toneSec = 0.0;
    QCOMPARE(test::makeAudio(m_dir.filePath(u"in/cut.wav"_s), cut), QString());
    QCOMPARE(test::makeAudio(m_dir.filePath(u"in/within.wav"_s), within), QString());
    QCOMPARE(test::makeAudio(m_dir.filePath(u"in/silent.wav"_s), silent), QString());
    QFile garbage(m_dir.filePath(u"in/garbage.mp3"_s));
    QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("this is not audio at all\n"));
    m_four = { queued(u"in/cut.wav"_s), queued(u"in/within.wav"_s), queued(u"in/silent.wav"_s),
               queued(u"in/garbage.mp3"_s) };
}

void tst_Controller::init()
{
    m_sandbox = std::make_unique<test::SettingsSandbox>();
    m_settings = Settings();
    m_settings.outputRoot = m_dir.filePath(u"out"_s);
    m_settings.parallelJobs = 1; // the order of events is part of what these tests read
    QDir(m_dir.filePath(u"out"_s)).removeRecursively();
}

void tst_Controller::cleanupTestCase()
{
    m_controller->requestStop();
    m_thread.quit();
    m_thread.wait();
}

QueueItem tst_Controller::queued(const QString &path, const QString &root) const
{
    QueueItem item;
    item.path = m_dir.filePath(path);
    item.relPath = QDir(m_dir.filePath(root)).relativeFilePath(item.path);
    return item;
}

void tst_Controller::analysisReportsEveryItem()
{
    QVERIFY(m_driver->run(m_four, m_settings, true));
    QVERIFY(m_driver->wasAnalysis);
    const QList<ItemStatus> finalStatus{ ItemStatus::Analysed, ItemStatus::Analysed, ItemStatus::Skipped,
                                         ItemStatus::Failed };
    for (int i = 0; i < 4; ++i) {
        const QList<Driver::Event> reports = m_driver->of(u"item"_s, i);
        QCOMPARE(reports.size(), 2);
        QCOMPARE(ItemStatus(reports.first().value), ItemStatus::Analysing);
        QCOMPARE(ItemStatus(reports.last().value), finalStatus.at(i));
        for (const Driver::Event &p : m_driver->of(u"file"_s, i))
            QVERIFY(p.value >= 0 && p.value <= 100);
    }
    QCOMPARE(m_driver->last(0).message, u"would adjust head -0.850 s, tail -1.850 s"_s);
    QCOMPARE(m_driver->last(1).message, u"already within target"_s);
    QVERIFY(m_driver->last(0).outputPath.isEmpty()); // nothing would be written

    const QStringList lines = m_driver->logLines();
    QCOMPARE(lines.mid(0, 3), QStringList({ u"0|cut.wav - measured head 1.00 s, tail 2.00 s; head -0.850 s, tail -1.850 s"_s,
                                            u"0|within.wav - measured head 0.00 s, tail 0.00 s; no change needed"_s,
                                            u"2|silent.wav - file is silent end to end - left alone"_s }));
    QVERIFY(lines.at(3).startsWith(u"3|garbage.mp3 - "_s));
    QStringList batch;
    for (const Driver::Event &e : m_driver->of(u"batch"_s))
        batch << u"%1/%2"_s.arg(e.index).arg(e.value);
    QCOMPARE(batch, QStringList({ u"0/4"_s, u"1/4"_s, u"2/4"_s, u"3/4"_s, u"4/4"_s }));
    QCOMPARE(m_driver->summary.processed, 4);
    QCOMPARE(m_driver->summary.written + m_driver->summary.skipped + m_driver->summary.failed, 2);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(u"out"_s)));
}

void tst_Controller::trimRunWritesOnlyWhatChanges()
{
    QVERIFY(m_driver->run(m_four, m_settings, false));
    const QueueItem trimmed = m_driver->last(0);
    QCOMPARE(trimmed.status, ItemStatus::Trimmed);
    QCOMPARE(trimmed.message, u"head -0.850 s, tail -1.850 s"_s);
    QCOMPARE(trimmed.outputPath, m_dir.filePath(u"out/cut.wav"_s));
    QVERIFY(QFileInfo(trimmed.outputPath).size() > 0);
    QCOMPARE(m_driver->last(1).status, ItemStatus::Skipped);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(u"out/within.wav"_s)));

    // Measuring fills the first half of the file's bar, writing the second.
    QList<int> progress;
    for (const Driver::Event &e : m_driver->of(u"file"_s, 0))
        progress << e.value;
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QVERIFY(progress.first() == 0 && progress.last() == 100 && progress.contains(50));

    const QStringList lines = m_driver->logLines();
    QCOMPARE(lines.mid(0, 3), QStringList({ u"1|cut.wav - head -0.850 s, tail -1.850 s"_s,
                                            u"0|within.wav - already within target"_s,
                                            u"2|silent.wav - file is silent end to end - left alone"_s }));
    QCOMPARE(m_driver->summary.processed, 4);
    QCOMPARE(m_driver->summary.written, 1);
    QCOMPARE(m_driver->summary.skipped, 2);
    QCOMPARE(m_driver->summary.failed, 1);
    QVERIFY(qAbs(m_driver->summary.secondsCut - 2.7) < 0.001);
    QCOMPARE(m_driver->summary.secondsAdded, 0.0);
}

void tst_Controller::unchangedFileRewrittenWhenAsked()
{
    m_settings.skipUntrimmed = false;
    m_settings.headMode = m_settings.tailMode = EndMode::TopUp;
    m_settings.headTargetMs = 400;
    m_settings.tailTargetMs = 0;
    QVERIFY(m_driver->run({ queued(u"in/within.wav"_s), queued(u"in/cut.wav"_s) }, m_settings, false));
    QCOMPARE(m_driver->last(0).message, u"head +0.400 s, tail - (re-encoded to add silence)"_s);
    QCOMPARE(m_driver->last(1).status, ItemStatus::Trimmed);
    QCOMPARE(m_driver->last(1).message, u"head -, tail -"_s); // rewritten whole, stream copied
    QVERIFY(!m_driver->last(1).reencoded);
    QCOMPARE(m_driver->summary.written, 2);
    QVERIFY(qAbs(m_driver->summary.secondsAdded - 0.4) < 1e-9);
}

// Three at once give each file the same outcome and the same log line as
// one at a time, and a clash between two sources still goes to the later.
void tst_Controller::severalAtOnceAsOneAtATime()
{
    QDir().mkpath(m_dir.filePath(u"copy"_s));
    QFile::copy(m_dir.filePath(u"in/cut.wav"_s), m_dir.filePath(u"copy/cut.wav"_s));
    QList<QueueItem> items = m_four;
    items << queued(u"copy/cut.wav"_s, u"copy"_s) << queued(u"in/within.wav"_s, u"in"_s);
    const auto outcome = [&](int jobs) {
        QDir(m_dir.filePath(u"out"_s)).removeRecursively();
        m_settings.parallelJobs = jobs;
        QStringList seen;
        if (!m_driver->run(items, m_settings, false))
            return QStringList{ u"timed out"_s };
        for (int i = 0; i < items.size(); ++i) {
            const QueueItem item = m_driver->last(i);
            seen << u"%1|%2|%3"_s.arg(statusText(item.status), item.message, item.outputPath);
        }
        QStringList lines = m_driver->logLines();
        lines.sort();
        seen.replaceInStrings(QRegularExpression(u"0x[0-9a-f]+"_s), u"0x"_s);
        lines.replaceInStrings(QRegularExpression(u"0x[0-9a-f]+"_s), u"0x"_s);
        QStringList batch;
        for (const Driver::Event &e : m_driver->of(u"batch"_s))
            batch << QString::number(e.index);
        const BatchSummary &sum = m_driver->summary;
        return seen + lines
                << batch.join(u',')
                << u"%1 %2 %3 %4 %5"_s.arg(sum.processed).arg(sum.written).arg(sum.skipped).arg(sum.failed)
                           .arg(sum.secondsCut, 0, 'f', 3);
    };
    const QStringList one = outcome(1);
    QVERIFY(one.at(4).contains(u"was already written from"_s));
    QCOMPARE(outcome(3), one);
    QVERIFY(leftovers().isEmpty());
}

// A stop with three files under way ends every child and puts each of them
// back to waiting; nothing is left half-written.
void tst_Controller::stopEndsEveryRunningFile()
{
    test::ToneSpec longTake;
    longTake.toneSec = 240.0;
    QList<QueueItem> items;
    for (const QString &name : { u"stop-a.mp3"_s, u"stop-b.mp3"_s, u"stop-c.mp3"_s, u"stop-d.mp3"_s }) {
        QCOMPARE(test::makeAudio(m_dir.filePath(u"in/"_s + name), longTake), QString());
        items << queued(u"in/"_s + name);
    }
    m_settings.trimMethod = TrimMethod::ReEncode;
    m_settings.parallelJobs = 3;
    QSet<int> writing;
    const QMetaObject::Connection stopper = connect(m_controller, &Controller::fileProgress, this,
                                                    [&](int i, int p) {
                                                        if (p > 50)
                                                            writing.insert(i);
                                                        if (writing.size() == 3)
                                                            m_controller->requestStop();
                                                    },
                                                    Qt::DirectConnection);
    QVERIFY(m_driver->run(items, m_settings, false));
    disconnect(stopper);

    QVERIFY(m_driver->wasCancelled);
    QCOMPARE(m_driver->summary.processed, 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_driver->last(i).status, ItemStatus::Pending);
    QVERIFY(m_driver->of(u"item"_s, 3).isEmpty());
    QVERIFY2(leftovers().isEmpty(), qPrintable(leftovers().join(u", "_s)));
    QProcess pgrep;
    pgrep.start(u"pgrep"_s, { u"-f"_s, u"stop-[abcd]"_s });
    QVERIFY(pgrep.waitForFinished());
    QVERIFY2(pgrep.readAllStandardOutput().trimmed().isEmpty(), "a child is still running");
    for (const QueueItem &item : items)
        QFile::remove(item.path);

    // The next batch clears the flag and runs.
    QVERIFY(m_driver->run({ queued(u"in/cut.wav"_s) }, m_settings, true));
    QVERIFY(!m_driver->wasCancelled);
    QCOMPARE(m_driver->summary.processed, 1);
}

void tst_Controller::nothingToDoOrNoTools()
{
    QVERIFY(m_driver->run({}, m_settings, false));
    QCOMPARE(m_driver->events.size(), 1);
    QCOMPARE(m_driver->events.first().kind + u'|' + QString::number(m_driver->events.first().value), u"batch|0"_s);
    QVERIFY(!m_driver->wasCancelled);

    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir.filePath(u"no-tools-here"_s)));
    const bool ran = m_driver->run(m_four, m_settings, true);
    qputenv("PATH", savedPath);
    QVERIFY(ran);
    QCOMPARE(m_driver->events.size(), 1); // one error line, no progress
    QCOMPARE(m_driver->events.first().value, 3);
    QVERIFY(m_driver->events.first().text.startsWith(u"ffmpeg/ffprobe not found."_s));
    QCOMPARE(m_driver->summary.processed, 0);
    QVERIFY(m_driver->wasAnalysis && !m_driver->wasCancelled);
}

void tst_Controller::mirrorRefusals_data()
{
    QTest::addColumn<QString>("outputRoot");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("roots");
    QTest::addColumn<QStringList>("messages"); // %1: the test folder
    QTest::addColumn<int>("errorLines");
    QTest::newRow("destination is the source folder")
            << u"in"_s << QStringList{ u"in/cut.wav"_s } << QStringList{ u"in"_s }
            << QStringList{ u"output would overwrite the source"_s } << 0;
    QTest::newRow("same output from two roots")
            << u"out"_s << QStringList{ u"in/cut.wav"_s, u"copy/cut.wav"_s } << QStringList{ u"in"_s, u"copy"_s }
            << QStringList{ u"head -0.850 s, tail -1.850 s"_s,
                            u"output %1/out/cut.wav was already written from %1/in/cut.wav in this run"_s }
            << 1;
    QTest::newRow("path climbing out of its root")
            << u"out/inner"_s << QStringList{ u"copy/cut.wav"_s } << QStringList{ u"in"_s }
            << QStringList{ u"output would fall outside the destination folder"_s } << 1;
}

void tst_Controller::mirrorRefusals()
{
    QFETCH(QString, outputRoot);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, roots);
    QFETCH(QStringList, messages);
    QDir().mkpath(m_dir.filePath(u"copy"_s));
    QFile::copy(m_dir.filePath(u"in/cut.wav"_s), m_dir.filePath(u"copy/cut.wav"_s));
    const QByteArray before = test::sha256(m_dir.filePath(u"in/cut.wav"_s));
    m_settings.outputRoot = outputRoot.isEmpty() ? QString() : m_dir.filePath(outputRoot);
    QList<QueueItem> items;
    for (int i = 0; i < paths.size(); ++i)
        items << queued(paths.at(i), roots.at(i));
    QVERIFY(m_driver->run(items, m_settings, false));

    for (int i = 0; i < items.size(); ++i)
        QCOMPARE(m_driver->last(i).message, messages.at(i).arg(QDir::toNativeSeparators(m_dir.path())));
    int errors = 0;
    for (const Driver::Event &e : m_driver->of(u"log"_s))
        errors += e.value == 3;
    QTEST(errors, "errorLines");
    QCOMPARE(test::sha256(m_dir.filePath(u"in/cut.wav"_s)), before);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(u"out/copy"_s)));
    QVERIFY(leftovers().isEmpty());
}

void tst_Controller::firstRefusal_data()
{
    QTest::addColumn<int>("queued");
    QTest::addColumn<bool>("tools");
    QTest::addColumn<bool>("leaveBoth");
    QTest::addColumn<QString>("root");
    QTest::addColumn<bool>("analyseOnly");
    QTest::addColumn<RunRefusal>("refusal");
    // Each row breaks every rule after the one it expects, so the order shows.
    QTest::newRow("empty queue first") << 0 << false << true << QString() << false << RunRefusal::EmptyQueue;
    QTest::newRow("queue not known yet") << -1 << false << true << QString() << false << RunRefusal::ToolsMissing;
    QTest::newRow("then the tools") << 3 << false << true << QString() << false << RunRefusal::ToolsMissing;
    QTest::newRow("then both ends alone") << 3 << true << true << QString() << false << RunRefusal::NothingToChange;
    QTest::newRow("then the destination") << 3 << true << false << QString() << false << RunRefusal::NoDestination;
    QTest::newRow("analysis needs none") << 3 << true << false << QString() << true << RunRefusal::None;
    QTest::newRow("all set") << 3 << true << false << u"/out"_s << false << RunRefusal::None;
}

void tst_Controller::firstRefusal()
{
    QFETCH(int, queued);
    QFETCH(bool, tools);
    QFETCH(bool, leaveBoth);
    QFETCH(bool, analyseOnly);
    Settings settings;
    QFETCH(QString, root);
    settings.outputRoot = root;
    if (leaveBoth)
        settings.headMode = settings.tailMode = EndMode::LeaveAlone;
    const ToolPaths paths = tools ? test::systemTools() : ToolPaths();
    QTEST(firstRunRefusal(queued, settings, paths, analyseOnly), "refusal");
}

QTEST_GUILESS_MAIN(tst_Controller)
#include "tst_controller.moc"
