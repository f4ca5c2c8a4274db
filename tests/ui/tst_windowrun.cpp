#include "audiofixture.h"
#include "blockmeter.h"
#include "daytimeline.h"
#include "faketool.h"
#include "filechecks.h"
#include "queuemodel.h"
#include "queueview.h"
#include "recordtypes.h"
#include "segmentdisplay.h"
#include "settingsstore.h"
#include "windowrig.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMimeData>
#include <QSpinBox>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// Real analysis and trim runs through the window, with the real tools on
// generated files, watched from the first click to the summary line.
class tst_WindowRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void trimRunFromStartToSummary();
    void analysisRun();
    void resultsFollowTheirItemsWhenRowsGo();
    void closingDuringRunStopsCleanly();
    void preferencesDuringRunReachOnlyTheNextRun();
    void dropsFromTwoFoldersTrimIntoTheDestination();
    void selectionRunsAndUndo();

private:
    QueueModel *model(WindowRig &rig) { return rig.queue(); }
    void queue(WindowRig &rig, const QStringList &names);
    QStringList statuses(WindowRig &rig);
    static QStringList liveCommands(WindowRig &rig);
    QStringList leftovers() const { return test::temporaryFiles(m_dir.path()); }
    static QString cell(QueueModel *m, int row, int column) { return m->index(row, column).data().toString(); }

    QTemporaryDir m_dir;
};

void tst_WindowRun::initTestCase()
{
    registerRecordTypes();
    test::ToneSpec cut;
    cut.leadSec = 1.0;
    cut.tailSec = 2.0;
    QCOMPARE(test::makeAudio(m_dir.filePath(u"in/cut.wav"_s), cut), QString());
    test::ToneSpec silent;
    silent.toneSec = 0.0;
    QCOMPARE(test::makeAudio(m_dir.filePath(u"in/silent.wav"_s), silent), QString());
    QFile garbage(m_dir.filePath(u"in/garbage.mp3"_s));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("not audio\n");
    test::ToneSpec longer;
    longer.toneSec = 240.0;
    QCOMPARE(test::makeAudio(m_dir.filePath(u"in/a rather long take.mp3"_s), longer), QString());
}

void tst_WindowRun::init()
{
    QDir(m_dir.filePath(u"out"_s)).removeRecursively();
}

void tst_WindowRun::queue(WindowRig &rig, const QStringList &names)
{
    QStringList paths;
    for (const QString &name : names)
        paths << m_dir.filePath(u"in/"_s + name);
    rig.prompts->fileNames << paths;
    rig.find<QPushButton>("addFilesButton")->click();
}

QStringList tst_WindowRun::statuses(WindowRig &rig)
{
    QStringList texts;
    for (int row = 0; row < model(rig)->rowCount(); ++row)
        texts << cell(model(rig), row, QueueModel::StatusColumn);
    return texts;
}

// The menu entries and buttons that can be used now.
QStringList tst_WindowRun::liveCommands(WindowRig &rig)
{
    QStringList live;
    for (QAction *menu : rig.window->menuBar()->actions()) {
        for (QAction *action : menu->menu()->actions()) {
            if (!action->isSeparator() && action->isEnabled())
                live << WindowRig::plain(action->text());
        }
    }
    for (QPushButton *button : rig.window->findChildren<QPushButton *>()) {
        if (button->isEnabled())
            live << u"[%1]"_s.arg(button->text());
    }
    if (rig.find<QCheckBox>("overwriteCheck")->isEnabled())
        live << u"[overwrite]"_s;
    return live;
}

void tst_WindowRun::trimRunFromStartToSummary()
{
    WindowRig rig([&](Settings &s) {
        s.outputRoot = m_dir.filePath(u"out"_s);
        s.trimMethod = TrimMethod::ReEncode; // keeps the long file busy long enough to watch
        s.parallelJobs = 1; // watched one file after another
    });
    rig.window->show(); // the panel's lines are elided to its real width
    queue(rig, { u"cut.wav"_s, u"silent.wav"_s, u"garbage.mp3"_s, u"a rather long take.mp3"_s });
    rig.find<ks::VfdPanel>("VfdPanel")->setSkipLit(true); // lit by an earlier batch
    const QStringList idle = liveCommands(rig);

    rig.find<QPushButton>("trimButton")->click();
    // At the start.
    QCOMPARE(rig.status(), u"Trimming..."_s);
    QCOMPARE(rig.lastLog().text, u"Trimming 4 file(s)."_s);
    QVERIFY(rig.lit("trimChip") && !rig.lit("scanChip") && !rig.lit("skipChip") && !rig.lit("errorChip"));
    QCOMPARE(rig.find<BlockMeter>("fileMeter")->value(), 0);
    QCOMPARE(rig.find<BlockMeter>("batchMeter")->value(), 0);
    QCOMPARE(rig.find<SegmentDisplay>("clock")->text(), u"0:00:00"_s);
    QCOMPARE(liveCommands(rig), QStringList({ u"Exit"_s, u"Stop"_s, u"Copy result"_s, u"Check for Updates..."_s,
                                              u"Orrinworks Website"_s, u"About Kestrova"_s, u"[Stop]"_s }));

    // During the long file, after the first three have been reported.
    QTRY_VERIFY_WITH_TIMEOUT(rig.status().startsWith(u"3 of 4"_s), 30000);
    QVERIFY(rig.lit("trimChip") && rig.lit("skipChip") && rig.lit("errorChip"));
    QCOMPARE(rig.find<BlockMeter>("batchMeter")->value(), 75);
    QTRY_COMPARE(rig.find<QLabel>("fileLabel")->text(), u"A RATHER LONG TAKE.MP3"_s);
    const int today = QTime::currentTime().hour() * 4 + QTime::currentTime().minute() / 15;
    QVERIFY(rig.find<DayTimeline>("timeline")->markedSlots().contains(today));

    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 60000);
    QCOMPARE(statuses(rig), QStringList({ u"Trimmed"_s, u"Skipped"_s, u"Failed"_s, u"Trimmed"_s }));
    QCOMPARE(cell(model(rig), 0, QueueModel::HeadColumn), u"-0.850 s"_s);
    QCOMPARE(cell(model(rig), 0, QueueModel::NewLengthColumn), u"0:00:02"_s);
    QCOMPARE(cell(model(rig), 0, QueueModel::ResultColumn), u"head -0.850 s, tail -1.850 s"_s);
    QCOMPARE(cell(model(rig), 1, QueueModel::ResultColumn), u"file is silent end to end - left alone"_s);

    // After: the idle look, with SKIP still lit and the run's summary.
    QVERIFY(!rig.lit("trimChip") && rig.lit("skipChip") && !rig.lit("errorChip"));
    QCOMPARE(rig.find<SegmentDisplay>("clock")->text(), u"-:--:--"_s);
    const QString summary = rig.panelText("summaryLabel");
    QCOMPARE(summary.section(u" · "_s, 1), u"4 SCANNED · 2 WRITTEN · 1 SKIPPED · 1 FAIL · 5.4 S CUT · 0.0 S ADDED"_s);
    QVERIFY2(summary.startsWith(u"LAST "_s), qPrintable(summary));
    QCOMPARE(rig.lastLog().text, u"Complete - 2 written, 1 skipped, 1 failed, 5.4 s cut, 0.0 s added."_s);
    QCOMPARE(rig.lastLog().level, 2);
    QCOMPARE(liveCommands(rig), idle);
    QVERIFY(QFileInfo(m_dir.filePath(u"out/cut.wav"_s)).size() > 0);

    // The next batch darkens SKIP as it starts.
    rig.find<QPushButton>("analyseButton")->click();
    QVERIFY(!rig.lit("skipChip"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 60000);
}

void tst_WindowRun::analysisRun()
{
    WindowRig rig;
    queue(rig, { u"cut.wav"_s, u"silent.wav"_s });
    rig.find<QPushButton>("analyseButton")->click();
    QCOMPARE(rig.status(), u"Analysing..."_s);
    QVERIFY(rig.lit("trimChip"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 30000);
    QCOMPARE(statuses(rig), QStringList({ u"Analysed"_s, u"Skipped"_s }));
    QCOMPARE(cell(model(rig), 0, QueueModel::ResultColumn), u"would adjust head -0.850 s, tail -1.850 s"_s);
    QVERIFY(rig.prompts->asked.size() == 1); // no question for an analysis
    const QStringList lines = rig.logTexts();
    QVERIFY(lines.contains(u"cut.wav - measured head 1.00 s, tail 2.00 s; head -0.850 s, tail -1.850 s"_s));
    QCOMPARE(rig.lastLog().text, u"Analysis complete - 2 file(s) measured."_s);
    QCOMPARE(rig.lastLog().level, 1);
    QVERIFY(rig.panelText("summaryLabel")
                    .endsWith(u" · 2 SCANNED · 1 WOULD CHANGE · 1 SKIPPED · 0 FAIL · 2.7 S TO CUT · 0.0 S TO ADD"_s));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(u"out"_s)));

    // A new target is planned again from the measurements at once; a new
    // threshold sends the row back to be measured.
    const auto accept = [&](const char *spin, double value) {
        rig.prompts->dialogs << [=](QDialog &dialog) {
            if (auto *target = dialog.findChild<QSpinBox *>(QLatin1String(spin)))
                target->setValue(int(value));
            else
                dialog.findChild<QDoubleSpinBox *>(QLatin1String(spin))->setValue(value);
            return int(QDialog::Accepted);
        };
        rig.command(u"Preferences..."_s)->trigger();
    };
    accept("leadTargetSpin", 500);
    QCOMPARE(cell(model(rig), 0, QueueModel::ResultColumn), u"would adjust head -0.500 s, tail -1.850 s"_s);
    QCOMPARE(statuses(rig), QStringList({ u"Analysed"_s, u"Skipped"_s }));
    accept("thresholdSpin", -40);
    QCOMPARE(statuses(rig), QStringList({ u"Pending"_s, u"Skipped"_s }));
    QCOMPARE(model(rig)->items().first().headSec, 0.0);
}

void tst_WindowRun::resultsFollowTheirItemsWhenRowsGo()
{
    WindowRig rig([&](Settings &s) { s.outputRoot = m_dir.filePath(u"out"_s); });
    queue(rig, { u"cut.wav"_s, u"a rather long take.mp3"_s, u"silent.wav"_s });
    rig.find<QPushButton>("trimButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(cell(model(rig), 0, QueueModel::StatusColumn), u"Trimmed"_s, 30000);
    model(rig)->removeItems({ 0 });
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 60000);
    QCOMPARE(model(rig)->rowCount(), 2);
    QCOMPARE(model(rig)->items().at(0).path, m_dir.filePath(u"in/a rather long take.mp3"_s));
    QCOMPARE(statuses(rig), QStringList({ u"Trimmed"_s, u"Skipped"_s }));
    QCOMPARE(cell(model(rig), 1, QueueModel::ResultColumn), u"file is silent end to end - left alone"_s);
}

void tst_WindowRun::closingDuringRunStopsCleanly()
{
    const QString source = m_dir.filePath(u"in/a rather long take.mp3"_s);
    QFile original(source);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();
    {
        WindowRig rig([&](Settings &s) {
            s.outputMode = OutputMode::InPlace;
            s.makeBackup = false;
            s.trimMethod = TrimMethod::ReEncode;
        });
        rig.window->show();
        queue(rig, { u"a rather long take.mp3"_s });
        rig.prompts->answers << QMessageBox::Yes; // overwrite originals
        rig.find<QPushButton>("trimButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(rig.find<BlockMeter>("fileMeter")->value() > 50, 30000); // rewriting now

        rig.prompts->answers << QMessageBox::Yes; // stop it and quit
        QVERIFY(rig.window->close());
        QCOMPARE(rig.prompts->asked.last().caption, u"Quit"_s);
        QCOMPARE(rig.prompts->asked.last().text, u"A run is still going. Stop it and quit?"_s);
        rig.window.reset(); // waits for the worker to finish
    }
    QProcess pgrep;
    pgrep.start(u"pgrep"_s, { u"-f"_s, u"a rather long take"_s });
    QVERIFY(pgrep.waitForFinished());
    QVERIFY2(pgrep.readAllStandardOutput().trimmed().isEmpty(), "ffmpeg is still running");
    QVERIFY2(leftovers().isEmpty(), qPrintable(leftovers().join(u", "_s)));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QVERIFY(original.readAll() == before);
}

void tst_WindowRun::preferencesDuringRunReachOnlyTheNextRun()
{
    WindowRig rig([&](Settings &s) { s.outputRoot = m_dir.filePath(u"out"_s); });
    queue(rig, { u"a rather long take.mp3"_s, u"cut.wav"_s });
    rig.find<QPushButton>("trimButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.find<BlockMeter>("fileMeter")->value() > 0, 30000);

    // Accepted while the first file is being worked on, naming an ffmpeg
    // that fails whatever it is asked.
    const QString broken = test::writeFakeTool(m_dir.path(), u"failing-ffmpeg"_s, "exit 1");
    rig.prompts->dialogs << [&](QDialog &dialog) {
        dialog.findChild<QLineEdit *>(u"ffmpegEdit"_s)->setText(broken);
        return int(QDialog::Accepted);
    };
    QVERIFY(QMetaObject::invokeMethod(rig.window.get(), "onPreferences"));
    QCOMPARE(appSettings().ffmpegPath, broken);

    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 60000);
    QCOMPARE(statuses(rig), QStringList({ u"Trimmed"_s, u"Trimmed"_s }));
}

// Dropped files join each relative to its own folder, so a mirror run puts
// both straight into the destination; a dropped text file is left out.
void tst_WindowRun::dropsFromTwoFoldersTrimIntoTheDestination()
{
    QDir().mkpath(m_dir.filePath(u"other"_s));
    QVERIFY(QFile::copy(m_dir.filePath(u"in/cut.wav"_s), m_dir.filePath(u"other/cut two.wav"_s)));
    QFile notes(m_dir.filePath(u"other/notes.txt"_s));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    WindowRig rig([&](Settings &s) { s.outputRoot = m_dir.filePath(u"out"_s); });
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(m_dir.filePath(u"in/cut.wav"_s)),
                   QUrl::fromLocalFile(m_dir.filePath(u"other/cut two.wav"_s)),
                   QUrl::fromLocalFile(notes.fileName()) });
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.window.get(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.window.get(), &drop);
    QCOMPARE(model(rig)->rowCount(), 2);
    QVERIFY(rig.logTexts().contains(u"Ignored 1 dropped file(s) that are not of a scanned type."_s));
    QCOMPARE(rig.find<QLabel>("queueSizeLabel")->text(), u"2 file(s) queued"_s);

    rig.find<QPushButton>("trimButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 30000);
    QCOMPARE(statuses(rig), QStringList({ u"Trimmed"_s, u"Trimmed"_s }));
    QVERIFY(QFileInfo::exists(m_dir.filePath(u"out/cut.wav"_s)));
    QVERIFY(QFileInfo::exists(m_dir.filePath(u"out/cut two.wav"_s)));
}

// Runs on the selection and on the failed rows touch only those rows; an
// in-place trim is undone from its backup byte for byte, and backups go on
// request.
void tst_WindowRun::selectionRunsAndUndo()
{
    QDir().mkpath(m_dir.filePath(u"undo"_s));
    const QString source = m_dir.filePath(u"undo/cut.wav"_s);
    QFile::remove(source);
    QFile::remove(source + u".bak"_s);
    QVERIFY(QFile::copy(m_dir.filePath(u"in/cut.wav"_s), source));
    const QByteArray original = test::sha256(source);
    WindowRig rig([&](Settings &s) {
        s.outputMode = OutputMode::InPlace;
        s.makeBackup = true;
    });
    rig.prompts->fileNames << QStringList{ source, m_dir.filePath(u"in/garbage.mp3"_s) };
    rig.find<QPushButton>("addFilesButton")->click();
    auto *table = rig.find<QueueView>("queueTable");
    table->selectQueueRow(0);
    rig.prompts->answers << QMessageBox::Yes;
    rig.command(u"Trim selected"_s)->trigger();
    QCOMPARE(rig.prompts->asked.last().text.left(36), u"1 file(s) will be rewritten in place"_s);
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 30000);
    QCOMPARE(statuses(rig), QStringList({ u"Trimmed"_s, u"Pending"_s }));
    QCOMPARE(test::sha256(source + u".bak"_s), original);

    rig.command(u"Analyse"_s)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 30000);
    QCOMPARE(statuses(rig), QStringList({ u"Analysed"_s, u"Failed"_s }));
    QCOMPARE(rig.lastLog().text, u"Analysis complete - 1 measured, 1 failed."_s);
    rig.prompts->answers << QMessageBox::Yes;
    rig.command(u"Retry failed"_s)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 30000);
    QCOMPARE(statuses(rig), QStringList({ u"Analysed"_s, u"Failed"_s })); // only the failed row ran again
    QCOMPARE(rig.prompts->asked.last().text.left(36), u"1 file(s) will be rewritten in place"_s);

    table->selectQueueRow(0);
    const QDateTime backupTime = QFileInfo(source + u".bak"_s).lastModified();
    rig.prompts->answers << QMessageBox::Yes;
    rig.command(u"Restore original"_s)->trigger();
    QCOMPARE(rig.prompts->asked.last().caption, u"Restore original"_s);
    QCOMPARE(test::sha256(source), original);
    QCOMPARE(QFileInfo(source).lastModified(), backupTime);
    QVERIFY(!QFileInfo::exists(source + u".bak"_s));
    QCOMPARE(statuses(rig), QStringList({ u"Pending"_s, u"Failed"_s }));

    QFile::copy(source, source + u".bak"_s); // as an earlier session left it
    rig.prompts->answers << QMessageBox::Yes;
    rig.command(u"Delete backups"_s)->trigger();
    QVERIFY(!QFileInfo::exists(source + u".bak"_s));
    QCOMPARE(rig.lastLog().text, u"Deleted 1 backup(s)."_s);
}

QTEST_MAIN(tst_WindowRun)
#include "tst_windowrun.moc"
