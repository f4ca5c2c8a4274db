// How the queue and the folder scan scale, and the window against the
// command line on the same trim: adding 100,000 paths, removing
// 10,000 scattered rows, 100,000 per-item updates (with and without a table
// view on the model), scanning folders of 10,000 and 100,000 files, and the
// main window with a dropped folder of 100,000 files: its resident memory
// and how long it stops answering while the files are scanned and queued,
// sorted and scrolled (goals: 200 MB, 100 ms).

#include "addcommands.h"
#include "controller.h"
#include "fixtures.h"
#include "mainwindow.h"
#include "queuemodel.h"
#include "queueview.h"
#include "recordtypes.h"
#include "runfeedback.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"
#include "userprompts.h"
#include "workerhost.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <ctime>

#include <sys/resource.h>

using namespace ks;

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// On a machine shared with other work the wall clock says little; the
// processor time this process took says what the step costs.
void report(const QString &what, qint64 ns, qint64 cpuNs = -1)
{
    out() << QStringLiteral("  %1 %2 ms").arg(what, -56).arg(double(ns) / 1e6, 9, 'f', 1);
    if (cpuNs >= 0)
        out() << QStringLiteral(" (%1 ms processor time)").arg(double(cpuNs) / 1e6, 0, 'f', 1);
    out() << '\n';
    out().flush();
}

qint64 cpuNanoseconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

QStringList paths(int count, const QString &prefix)
{
    QStringList list;
    list.reserve(count);
    for (int i = 0; i < count; ++i)
        list << QStringLiteral("/music/%1/album %2/track %3.mp3").arg(prefix).arg(i / 12).arg(i);
    return list;
}

void queueFigures(bool withView)
{
    QueueModel model;
    QTableView view;
    if (withView) {
        view.setModel(&model);
        view.resize(1000, 600);
        view.show();
        QApplication::processEvents();
    }
    const QString tag = withView ? QStringLiteral(" (table view attached)") : QString();
    QElapsedTimer clock;

    const QStringList many = paths(100000, QStringLiteral("a"));
    clock.start();
    model.addFiles(many, QStringLiteral("/music"));
    QApplication::processEvents();
    report(QStringLiteral("add 100,000 paths") + tag, clock.nsecsElapsed());

    clock.restart();
    model.addFiles(many.mid(0, 50000), QStringLiteral("/music"));
    report(QStringLiteral("add 50,000 paths already queued") + tag, clock.nsecsElapsed());

    QueueItem update = model.items().at(500);
    update.status = ItemStatus::Trimmed;
    update.message = QStringLiteral("head -1.250 s, tail -");
    clock.restart();
    for (int i = 0; i < 100000; ++i)
        model.setItem(i % model.rowCount(), model.items().at(i % model.rowCount()));
    QApplication::processEvents();
    report(QStringLiteral("100,000 setItem updates") + tag, clock.nsecsElapsed());

    QList<int> scattered;
    QRandomGenerator random(7);
    while (scattered.size() < 10000) {
        const int row = int(random.bounded(100000));
        if (!scattered.contains(row))
            scattered << row;
    }
    clock.restart();
    model.removeItems(scattered);
    QApplication::processEvents();
    report(QStringLiteral("remove 10,000 scattered rows") + tag, clock.nsecsElapsed());

    QueueModel small;
    small.addFiles(paths(10, QStringLiteral("b")), QStringLiteral("/music"));
    clock.restart();
    for (int i = 0; i < 100000; ++i)
        small.setItem(i % 10, small.items().at(i % 10));
    report(QStringLiteral("100,000 setItem updates, queue of 10"), clock.nsecsElapsed());
}

// `count` empty files as a library lays them out: a thousand to an artist,
// twelve to an album, in the suffixes a scan looks for.
void makeLibrary(const QString &root, int count)
{
    const char *suffixes[] = { "mp3", "flac", "WAV", "ogg", "m4a" };
    for (int i = 0; i < count; ++i) {
        const QString folder = root + QStringLiteral("/artist %1/album %2").arg(i / 1000).arg(i / 12);
        if (i % 12 == 0 || i % 1000 == 0)
            QDir().mkpath(folder);
        QFile(QStringLiteral("%1/track %2.%3").arg(folder).arg(i).arg(QLatin1String(suffixes[i % 5])))
                .open(QIODevice::WriteOnly);
    }
}

void scanFigures(int count)
{
    QTemporaryDir dir;
    makeLibrary(dir.path(), count);
    Controller controller;
    int found = 0;
    QObject::connect(&controller, &Controller::scanFinished,
            [&](const QStringList &files, const QString &, bool) { found = int(files.size()); });
    QElapsedTimer clock;
    clock.start();
    controller.scan(dir.path(),
            { QStringLiteral("mp3"), QStringLiteral("flac"), QStringLiteral("wav"), QStringLiteral("ogg"),
                    QStringLiteral("m4a") },
            true);
    report(QStringLiteral("scan %1 files (found %2)").arg(count).arg(found), clock.nsecsElapsed());
}

QString loadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    return load.open(QIODevice::ReadOnly) ? QString::fromLatin1(load.readAll()).section(QLatin1Char(' '), 0, 0)
                                          : QString();
}

// The process's resident memory, from the kernel's own count.
double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

// How long the GUI thread is kept from its events: a tick that should come
// every 10 ms and comes late. The thread's own processor time over the
// same gap tells a busy thread from one the machine's other work held up.
class StallMeter
{
public:
    StallMeter()
    {
        m_tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            const qint64 cpuNow = cpuNanoseconds(CLOCK_THREAD_CPUTIME_ID);
            m_longestMs = std::max(m_longestMs, m_sinceTick.restart() - TickMs);
            m_longestCpuMs = std::max(m_longestCpuMs, (cpuNow - m_cpuAtTick) / 1000000 - TickMs);
            m_cpuAtTick = cpuNow;
        });
    }
    void start()
    {
        m_sinceTick.start();
        m_cpuAtTick = cpuNanoseconds(CLOCK_THREAD_CPUTIME_ID);
        m_tick.start(TickMs);
    }
    void stop() { m_tick.stop(); }
    qint64 longestMs() const { return m_longestMs; }
    qint64 longestCpuMs() const { return std::max<qint64>(m_longestCpuMs, 0); }

private:
    static constexpr int TickMs = 10;
    QTimer m_tick;
    QElapsedTimer m_sinceTick;
    qint64 m_cpuAtTick = 0;
    qint64 m_longestMs = 0;
    qint64 m_longestCpuMs = 0;
};

void windowFigures()
{
    test::SettingsSandbox sandbox; // not the user's settings, nor their saved queue
    const double before = residentMegabytes();
    MainWindow window;
    window.resize(1020, 780);
    window.show();
    QApplication::processEvents();
    auto *model = window.findChild<QueueModel *>();
    auto *view = window.findChild<QueueView *>();
    qint64 longest = 0;
    qint64 longestCpu = 0;
    const auto step = [&](const QString &what, const std::function<void()> &work) {
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = cpuNanoseconds();
        work();
        QApplication::processEvents(); // the repaint the step causes is part of it
        const qint64 ns = clock.nsecsElapsed();
        const qint64 cpu = cpuNanoseconds() - cpuBefore;
        longest = std::max(longest, ns);
        longestCpu = std::max(longestCpu, cpu);
        report(what, ns, cpu);
    };
    // A library of 100,000 files dropped on the window, as a user adds it:
    // scanned on the worker, then queued. A tick that should come every
    // 10 ms and comes late says how long the window stopped answering.
    QTemporaryDir library;
    makeLibrary(library.path(), 100000);
    QEventLoop loop;
    QObject::connect(window.findChild<RunFeedback *>(), &RunFeedback::finished, &loop, &QEventLoop::quit);
    StallMeter stalls;
    QElapsedTimer clock;
    clock.start();
    window.findChild<AddCommands *>()->addPaths({ library.path() });
    stalls.start();
    loop.exec();
    stalls.stop();
    report(QStringLiteral("window: drop a folder of 100,000 files (%1 queued)").arg(model->rowCount()),
            clock.nsecsElapsed());
    out() << QStringLiteral("  window: longest stop while they were scanned and queued %1 ms, %2 ms of it its own "
                            "processor time\n")
                     .arg(stalls.longestMs())
                     .arg(stalls.longestCpuMs());
    longest = stalls.longestMs() * 1000000;
    longestCpu = stalls.longestCpuMs() * 1000000;
    for (const int column :
            { int(QueueModel::FileColumn), int(QueueModel::LengthColumn), int(QueueModel::StatusColumn) }) {
        step(QStringLiteral("window: sort 100,000 rows by column %1").arg(column),
                [&] { view->sortByColumn(column, Qt::DescendingOrder); });
    }
    step(QStringLiteral("window: scroll to the end"),
            [&] { view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum()); });
    step(QStringLiteral("window: scroll to the middle"),
            [&] { view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2); });
    out() << QStringLiteral("  window: longest stop %1 ms, %4 ms of processor time (goal 100 ms); resident memory "
                            "%2 MB, %3 MB before the window (goal 200 MB)\n")
                     .arg(double(longest) / 1e6, 0, 'f', 1)
                     .arg(residentMegabytes(), 0, 'f', 0)
                     .arg(before, 0, 'f', 0)
                     .arg(double(longestCpu) / 1e6, 0, 'f', 1);
    out().flush();
}

// Every question answered with its default, as a user who reads nothing would.
struct DefaultAnswers final : UserPrompts
{
    QMessageBox::StandardButton warning(QWidget *, const QString &, const QString &) override
    {
        return QMessageBox::Ok;
    }
    QMessageBox::StandardButton information(QWidget *, const QString &, const QString &) override
    {
        return QMessageBox::Ok;
    }
    QMessageBox::StandardButton question(QWidget *, const QString &, const QString &, QMessageBox::StandardButtons,
            QMessageBox::StandardButton defaultButton) override
    {
        return defaultButton;
    }
};

// Processor time, user and system, of this process or of the children it
// has waited for (theirs included).
qint64 usageMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

qint64 allUsageMs()
{
    return usageMs(RUSAGE_SELF) + usageMs(RUSAGE_CHILDREN);
}

// One trim of the batch: its wall-clock and processor time, the tools' included.
struct Side
{
    qint64 ms = 0;
    qint64 cpuMs = 0;
};

// One window run over `files` into `outputRoot`, and how much the GUI thread
// worked and how long it was kept from its events.
struct WindowRun : Side
{
    qint64 guiCpuMs = 0;
    qint64 longestStallMs = 0;
    qint64 longestStallCpuMs = 0; // of it the GUI thread's own processor time
};

WindowRun trimInWindow(const QStringList &files, const QString &sourceRoot, const QString &outputRoot)
{
    appSettings().outputRoot = outputRoot;
    MainWindow window;
    window.setPrompts(std::make_unique<DefaultAnswers>());
    window.show();
    window.findChild<QueueModel *>()->addFiles(files, sourceRoot);
    QEventLoop loop;
    QObject::connect(window.findChild<WorkerHost *>(), &WorkerHost::batchFinished, &loop, &QEventLoop::quit);
    StallMeter stalls;
    QElapsedTimer clock;
    clock.start();
    const qint64 guiCpuBefore = cpuNanoseconds(CLOCK_THREAD_CPUTIME_ID);
    const qint64 cpuBefore = allUsageMs();
    window.findChild<QPushButton *>(QStringLiteral("trimButton"))->click();
    stalls.start();
    loop.exec();
    WindowRun run;
    run.ms = clock.elapsed();
    run.cpuMs = allUsageMs() - cpuBefore;
    run.longestStallMs = stalls.longestMs();
    run.longestStallCpuMs = stalls.longestCpuMs();
    run.guiCpuMs = (cpuNanoseconds(CLOCK_THREAD_CPUTIME_ID) - guiCpuBefore) / 1000000;
    return run;
}

Side trimWithCli(const QString &sourceRoot, const QString &outputRoot)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = usageMs(RUSAGE_CHILDREN);
    QProcess cli;
    cli.start(QStringLiteral(KESTROVA_CLI),
            { QStringLiteral("trim"), QStringLiteral("--no-settings"), QStringLiteral("--quiet"),
                    QStringLiteral("--out"), outputRoot, sourceRoot });
    cli.waitForFinished(-1);
    return Side{ clock.elapsed(), usageMs(RUSAGE_CHILDREN) - cpuBefore };
}

int filesUnder(const QString &folder)
{
    int files = 0;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++files;
    return files;
}

// The same files trimmed by the window and by kestrova-cli, each run into a
// folder of its own, in alternating order (the command line first in odd
// rounds, the window in even ones) so that neither gains from going second;
// the totals are compared (goal: the window within 5 %).
void windowAgainstCli(int count, int rounds)
{
    test::SettingsSandbox sandbox;
    QTemporaryDir dir;
    const QString take = dir.filePath(QStringLiteral("take.mp3"));
    if (const QString failure = test::makeAudio(take, test::ToneShape{ 1.0, 4.0, 1.0 }); !failure.isEmpty()) {
        out() << failure << '\n';
        return;
    }
    QStringList files;
    const QDateTime finished = QDateTime::currentDateTime().addSecs(-3600); // long finished
    for (int i = 0; i < count; ++i) {
        const QString path = dir.filePath(QStringLiteral("in/%1/take %2.mp3").arg(i / 100).arg(i));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile copy(path);
        if (!QFile::copy(take, path) || !copy.open(QIODevice::ReadWrite)
                || !copy.setFileTime(finished, QFileDevice::FileModificationTime))
            return;
        files << path;
    }

    const QString sources = dir.filePath(QStringLiteral("in"));
    Side cliTotal;
    Side windowTotal;
    const auto ratio = [](qint64 window, qint64 cli) { return double(window) / double(std::max<qint64>(cli, 1)); };
    for (int round = 1; round <= rounds; ++round) {
        const QString cliOut = dir.filePath(QStringLiteral("cli%1").arg(round));
        const QString windowOut = dir.filePath(QStringLiteral("window%1").arg(round));
        Side cli;
        WindowRun window;
        if (round % 2 == 1) {
            cli = trimWithCli(sources, cliOut);
            window = trimInWindow(files, sources, windowOut);
        } else {
            window = trimInWindow(files, sources, windowOut);
            cli = trimWithCli(sources, cliOut);
        }
        cliTotal.ms += cli.ms;
        cliTotal.cpuMs += cli.cpuMs;
        windowTotal.ms += window.ms;
        windowTotal.cpuMs += window.cpuMs;
        out() << QStringLiteral("  round %1: kestrova-cli %2 ms (%3 files written), the window %4 ms (%5 files "
                                "written): %6 x, processor time %7 x; load %8\n")
                         .arg(round)
                         .arg(cli.ms)
                         .arg(filesUnder(cliOut))
                         .arg(window.ms)
                         .arg(filesUnder(windowOut))
                         .arg(ratio(window.ms, cli.ms), 0, 'f', 3)
                         .arg(ratio(window.cpuMs, cli.cpuMs), 0, 'f', 3)
                         .arg(loadAverage());
        out() << QStringLiteral(
                "    the window's GUI thread: %1 ms of processor time, longest stop %2 ms (%3 ms its own)\n")
                         .arg(window.guiCpuMs)
                         .arg(window.longestStallMs)
                         .arg(window.longestStallCpuMs);
        out().flush();
    }
    out() << QStringLiteral("  %1 rounds: the window %2 x the command line in wall-clock time (goal 1.05), %3 x in "
                            "processor time, the tools' included\n")
                     .arg(rounds)
                     .arg(ratio(windowTotal.ms, cliTotal.ms), 0, 'f', 3)
                     .arg(ratio(windowTotal.cpuMs, cliTotal.cpuMs), 0, 'f', 3);
    out().flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    registerRecordTypes();
    // "window" measures the main window alone; "trim [FILES [ROUNDS]]" the window against kestrova-cli.
    if (app.arguments().value(1) == QLatin1String("window")) {
        windowFigures();
        return 0;
    }
    if (app.arguments().value(1) == QLatin1String("trim")) {
        out() << "Window against kestrova-cli\n";
        windowAgainstCli(app.arguments().value(2, QStringLiteral("1000")).toInt(),
                app.arguments().value(3, QStringLiteral("3")).toInt());
        return 0;
    }
    out() << "Queue model\n";
    queueFigures(false);
    queueFigures(true);
    out() << "Folder scan\n";
    scanFigures(10000);
    scanFigures(100000);
    out() << "Main window\n";
    windowFigures();
    return 0;
}
