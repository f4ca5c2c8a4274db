#include "audiofixture.h"
#include "preferencesdialog.h"
#include "queuemodel.h"
#include "queueview.h"
#include "recordtypes.h"
#include "settingsstore.h"
#include "windowrig.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// The window as a person meets it: its look when fresh, and every command's
// way through its checks and questions, answered by a script.
class tst_MainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void freshWindow();
    void menus();
    void shortcutsTriggerTheirCommands_data();
    void shortcutsTriggerTheirCommands();
    void emptyQueueHintAndSorting();
    void firstLogLines_data();
    void firstLogLines();
    void overwriteSwitchFollowsAndWritesStore();
    void addFiles();
    void addFolderScansOnTheWorker();
    void runRefusals_data();
    void runRefusals();
    void destinationPrompt_data();
    void destinationPrompt();
    void inPlaceQuestion_data();
    void inPlaceQuestion();
    void preferences_data();
    void preferences();
    void removeAndClear();
    void stopTwiceThenCloseWhileIdle();

private:
    void queueTwo(WindowRig &rig);
    QPushButton *button(WindowRig &rig, const char *name) { return rig.find<QPushButton>(name); }

    QTemporaryDir m_dir;
    QByteArray m_path;
};

void tst_MainWindow::initTestCase()
{
    registerRecordTypes();
    m_path = qgetenv("PATH");
    for (const char *name : { "a/one.mp3", "a/two.wav", "b/three.flac" }) {
        const QString path = m_dir.filePath(QLatin1String(name));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile(path).open(QIODevice::WriteOnly);
    }
}

void tst_MainWindow::cleanup()
{
    qputenv("PATH", m_path);
}

void tst_MainWindow::queueTwo(WindowRig &rig)
{
    rig.prompts->fileNames << QStringList{ m_dir.filePath(u"a/one.mp3"_s), m_dir.filePath(u"a/two.wav"_s) };
    button(rig, "addFilesButton")->click();
}

void tst_MainWindow::freshWindow()
{
    WindowRig rig;
    MainWindow &w = *rig.window;
    QCOMPARE(w.windowTitle(), u"Kestrova"_s);
    QCOMPARE(w.size(), QSize(1020, 780));
    QCOMPARE(w.minimumWidth(), 900);
    QCOMPARE(rig.status(), u"Idle"_s);
    QCOMPARE(rig.find<QLabel>("VersionChip")->text(), u"v1.0.0"_s);

    for (const char *name : { "addFilesButton", "addFolderButton", "removeButton", "analyseButton", "trimButton" })
        QVERIFY2(button(rig, name)->isEnabled(), name);
    QVERIFY(!button(rig, "stopButton")->isEnabled());
    QVERIFY(button(rig, "trimButton")->property("accent").toBool());
    QVERIFY(!rig.find<QCheckBox>("overwriteCheck")->isChecked());

    auto *table = rig.find<QTableView>("queueTable");
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(table->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(table->alternatingRowColors() && table->verticalHeader()->isHidden());
    QCOMPARE(table->verticalHeader()->defaultSectionSize(), 24);
    QCOMPARE(table->horizontalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
    for (int column = 1; column <= 5; ++column)
        QCOMPARE(table->horizontalHeader()->sectionResizeMode(column), QHeaderView::ResizeToContents);
    QVERIFY(table->horizontalHeader()->stretchLastSection());

    // The panel shows the stored settings before the window is first shown.
    QCOMPARE(rig.panelText("detectionChip"), u"-50 dB · 0.50 S"_s);
    QCOMPARE(rig.panelText("endsChip"), u"HEAD MAX 150 MS · TAIL MAX 150 MS"_s);
    QCOMPARE(rig.find<QLabel>("outputLabel")->toolTip(), u"OUT · MIRROR · NOT SET"_s);
    QCOMPARE(rig.panelText("summaryLabel"), u"NO RUN YET"_s);
}

void tst_MainWindow::menus()
{
    WindowRig rig;
    QStringList layout;
    for (QAction *menuAction : rig.window->menuBar()->actions()) {
        QVERIFY2(menuAction->text().contains(u'&'), qPrintable(menuAction->text()));
        layout << u"[%1]"_s.arg(WindowRig::plain(menuAction->text()));
        for (QAction *action : menuAction->menu()->actions()) {
            if (action->isSeparator()) {
                layout << u"--"_s;
                continue;
            }
            QVERIFY2(action->text().contains(u'&'), qPrintable(action->text()));
            QString entry = WindowRig::plain(action->text());
            if (!action->shortcut().isEmpty())
                entry += u" "_s + action->shortcut().toString();
            if (!action->isEnabled())
                entry += u" (off)"_s;
            layout << entry;
        }
    }
    QCOMPARE(layout, QStringList({ u"[Kestrova]"_s, u"Add files... Ctrl+O"_s, u"Add folder... Ctrl+Shift+O"_s, u"--"_s,
                                   u"Preferences... Ctrl+,"_s, u"--"_s, u"Exit Ctrl+Q"_s, u"[Jobs]"_s,
                                   u"Analyse Ctrl+R"_s, u"Trim now Ctrl+T"_s, u"Analyse selected"_s,
                                   u"Trim selected"_s, u"Retry failed"_s, u"Stop Esc (off)"_s, u"--"_s,
                                   u"Restore original"_s, u"Delete backups"_s, u"Copy result"_s, u"--"_s,
                                   u"Remove selected Del"_s, u"Clear queue"_s, u"[Help]"_s,
                                   u"Check for Updates..."_s, u"Orrinworks Website"_s, u"--"_s,
                                   u"About Kestrova"_s }));

    // Exit goes through the close handling, which asks while a run is going.
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    queueTwo(rig);
    rig.prompts->answers << QMessageBox::No;
    QSignalSpy process(rig.window.get(), &MainWindow::requestProcess);
    rig.command(u"Analyse"_s)->trigger(); // running now
    QCOMPARE(process.size(), 1);
    rig.prompts->answers << QMessageBox::No;
    rig.command(u"Exit"_s)->trigger();
    QCOMPARE(rig.prompts->asked.last().caption, u"Quit"_s);
    QVERIFY(rig.window->isVisible());
}

void tst_MainWindow::shortcutsTriggerTheirCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("add files") << u"Add files..."_s << QKeySequence(u"Ctrl+O"_s);
    QTest::newRow("add folder") << u"Add folder..."_s << QKeySequence(u"Ctrl+Shift+O"_s);
    QTest::newRow("analyse") << u"Analyse"_s << QKeySequence(u"Ctrl+R"_s);
    QTest::newRow("trim") << u"Trim now"_s << QKeySequence(u"Ctrl+T"_s);
    QTest::newRow("stop") << u"Stop"_s << QKeySequence(u"Esc"_s);
    QTest::newRow("preferences") << u"Preferences..."_s << QKeySequence(u"Ctrl+,"_s);
    QTest::newRow("remove") << u"Remove selected"_s << QKeySequence(u"Del"_s);
    QTest::newRow("quit") << u"Exit"_s << QKeySequence(u"Ctrl+Q"_s);
}

void tst_MainWindow::shortcutsTriggerTheirCommands()
{
    QFETCH(QString, command);
    QFETCH(QKeySequence, keys);
    WindowRig rig;
    rig.window->show();
    QApplication::setActiveWindow(rig.window.get());
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    QAction *action = rig.command(command);
    QVERIFY(action);
    action->setEnabled(true); // Stop, as in a run
    QSignalSpy triggered(action, &QAction::triggered);
    QTest::keySequence(rig.window.get(), keys);
    QCOMPARE(triggered.size(), 1);
}

// The empty queue says what to do; a sorted table still sends each result to
// its own file.
void tst_MainWindow::emptyQueueHintAndSorting()
{
    WindowRig rig;
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    auto *view = rig.find<QueueView>("queueTable");
    const auto middleIsBlank = [view] {
        const QImage shot = view->viewport()->grab().toImage();
        const int y = shot.height() / 2;
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixel(x, y) != shot.pixel(0, y))
                return false;
        }
        return true;
    };
    QVERIFY(!middleIsBlank());
    rig.prompts->fileNames << QStringList{ m_dir.filePath(u"b/three.flac"_s), m_dir.filePath(u"a/one.mp3"_s) };
    button(rig, "addFilesButton")->click();
    QVERIFY(middleIsBlank());

    view->sortByColumn(QueueModel::FileColumn, Qt::AscendingOrder);
    QCOMPARE(view->model()->index(0, QueueModel::FileColumn).data().toString(), u"one.mp3"_s);
    view->selectRow(0);
    QCOMPARE(view->selectedQueueRows(), QList<int>{ 1 });
    QueueItem item = rig.queue()->items().at(1);
    item.message = u"done"_s;
    rig.queue()->setItem(1, item);
    QCOMPARE(view->model()->index(0, QueueModel::ResultColumn).data().toString(), u"done"_s);
    QCOMPARE(view->model()->index(0, QueueModel::ResultColumn).data(Qt::ToolTipRole).toString(), u"done"_s);

    button(rig, "removeButton")->click();
    button(rig, "removeButton")->click();
    view->selectRow(0);
    button(rig, "removeButton")->click();
    QCOMPARE(rig.queue()->rowCount(), 0);
    QVERIFY(!middleIsBlank());
}

void tst_MainWindow::firstLogLines_data()
{
    QTest::addColumn<bool>("toolsFound");
    QTest::newRow("tools found") << true;
    QTest::newRow("tools missing") << false;
}

void tst_MainWindow::firstLogLines()
{
    QFETCH(bool, toolsFound);
    if (!toolsFound)
        qputenv("PATH", QFile::encodeName(m_dir.filePath(u"empty"_s)));
    WindowRig rig;
    const QList<WindowRig::Line> lines = rig.log();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0).text, u"Kestrova 1.0.0 ready."_s);
    QCOMPARE(lines.at(0).level, 0);
    if (toolsFound) {
        QCOMPARE(lines.at(1).text, u"Using "_s + QDir::toNativeSeparators(test::ffmpegExecutable()));
        QCOMPARE(lines.at(1).level, 0);
    } else {
        QVERIFY(lines.at(1).text.startsWith(u"ffmpeg/ffprobe not found. Install them (sudo apt install ffmpeg)"_s));
        QCOMPARE(lines.at(1).level, 2);
    }
    QVERIFY(rig.prompts->asked.isEmpty()); // no dialog at start-up
}

void tst_MainWindow::overwriteSwitchFollowsAndWritesStore()
{
    WindowRig rig([](Settings &s) {
        s.outputMode = OutputMode::InPlace;
        s.makeBackup = false;
    });
    auto *overwrite = rig.find<QCheckBox>("overwriteCheck");
    QVERIFY(overwrite->isChecked());
    QCOMPARE(rig.find<QLabel>("outputLabel")->toolTip(), u"OUT · IN PLACE · NO BACKUP"_s);

    overwrite->setChecked(false);
    QCOMPARE(appSettings().outputMode, OutputMode::Mirror);
    QCOMPARE(QSettings().value(u"output/mode"_s).toInt(), 0);
    QCOMPARE(rig.find<QLabel>("outputLabel")->toolTip(), u"OUT · MIRROR · NOT SET"_s);
    overwrite->setChecked(true);
    QCOMPARE(QSettings().value(u"output/mode"_s).toInt(), 1);
}

void tst_MainWindow::addFiles()
{
    WindowRig rig([](Settings &s) { s.extensions = { u"mp3"_s, u"wav"_s }; });
    auto *model = rig.queue();

    button(rig, "addFilesButton")->click(); // cancelled
    QCOMPARE(rig.prompts->asked.last().caption, u"Add audio files"_s);
    QCOMPARE(rig.prompts->asked.last().text, QString());
    QCOMPARE(rig.prompts->asked.last().filter, u"Audio files (*.mp3 *.wav);;All files (*)"_s);
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(rig.log().size(), 2);

    rig.prompts->fileNames << QStringList{ m_dir.filePath(u"a/one.mp3"_s), m_dir.filePath(u"b/three.flac"_s),
                                           m_dir.filePath(u"a/two.wav"_s) };
    button(rig, "addFilesButton")->click();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->items().at(1).relPath, u"three.flac"_s); // each relative to its own folder
    QCOMPARE(rig.lastLog().text, u"Added 3 file(s)."_s);

    // Files already queued are dropped, but the line counts what was chosen.
    rig.prompts->fileNames << QStringList{ m_dir.filePath(u"a/one.mp3"_s) };
    button(rig, "addFilesButton")->click();
    QCOMPARE(rig.prompts->asked.last().text, m_dir.filePath(u"a"_s));
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(rig.lastLog().text, u"Added 1 file(s)."_s);
}

void tst_MainWindow::addFolderScansOnTheWorker()
{
    WindowRig rig;
    auto *model = rig.queue();
    QSignalSpy scan(rig.window.get(), &MainWindow::requestScan);
    const QString folder = m_dir.path() + u"/a"_s;
    rig.prompts->paths << folder;
    button(rig, "addFolderButton")->click();

    QCOMPARE(scan.size(), 1);
    QCOMPARE(scan.first().at(0).toString(), folder);
    QCOMPARE(scan.first().at(1).toStringList(), appSettings().extensions);
    QVERIFY(scan.first().at(2).toBool());
    QCOMPARE(rig.status(), u"Scanning %1..."_s.arg(QDir::toNativeSeparators(folder)));
    QCOMPARE(rig.log().at(2).text, u"Scanning %1"_s.arg(QDir::toNativeSeparators(folder)));
    QVERIFY(rig.lit("scanChip"));
    QVERIFY(!button(rig, "addFolderButton")->isEnabled());

    QTRY_COMPARE(rig.status(), u"Idle"_s);
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(rig.lastLog().text, u"Scan complete - 2 file(s) found."_s);
    QCOMPARE(rig.lastLog().level, 1);
    QVERIFY(!rig.lit("scanChip"));
    QVERIFY(button(rig, "addFolderButton")->isEnabled());
    QCOMPARE(rig.prompts->asked.first().text, QString()); // the first dialog starts nowhere in particular

    rig.prompts->paths << m_dir.filePath(u"empty-folder"_s);
    QDir().mkpath(m_dir.filePath(u"empty-folder"_s));
    button(rig, "addFolderButton")->click();
    QCOMPARE(rig.prompts->asked.last().text, folder); // starts where the last one ended
    QTRY_COMPARE(rig.lastLog().text, u"Scan complete - 0 file(s) found."_s);
    QCOMPARE(model->rowCount(), 2);
}

void tst_MainWindow::runRefusals_data()
{
    QTest::addColumn<bool>("queued");
    QTest::addColumn<bool>("tools");
    QTest::addColumn<bool>("leaveBoth");
    QTest::addColumn<bool>("analyse");
    QTest::addColumn<QString>("asked"); // "" for none
    QTest::addColumn<QString>("text");
    const QString nothing = u"Both the head and the tail are set to leave alone, so there is nothing to change.\n\n"
                            "Set a target for at least one end in Preferences."_s;
    QTest::newRow("empty queue") << false << true << false << false << QString()
                                 << u"Nothing in the queue - add files or a folder first."_s;
    QTest::newRow("tools missing") << true << false << false << false << u"warning|ffmpeg not found"_s
                                   << u"ffmpeg/ffprobe not found. Install them (sudo apt install ffmpeg), or set their "
                                      "paths in Preferences."_s;
    QTest::newRow("both ends left alone, trim") << true << true << true << false
                                                << u"information|Nothing to do"_s << nothing;
    QTest::newRow("both ends left alone, analysis") << true << true << true << true
                                                    << u"information|Nothing to do"_s << nothing;
}

void tst_MainWindow::runRefusals()
{
    QFETCH(bool, queued);
    QFETCH(bool, tools);
    QFETCH(bool, leaveBoth);
    QFETCH(bool, analyse);
    QFETCH(QString, asked);
    QFETCH(QString, text);
    WindowRig rig([&](Settings &s) {
        if (leaveBoth)
            s.headMode = s.tailMode = EndMode::LeaveAlone;
    });
    if (queued)
        queueTwo(rig);
    if (!tools)
        qputenv("PATH", QFile::encodeName(m_dir.filePath(u"empty"_s)));
    const int before = int(rig.prompts->asked.size());
    const int logged = int(rig.log().size());
    QSignalSpy process(rig.window.get(), &MainWindow::requestProcess);
    button(rig, analyse ? "analyseButton" : "trimButton")->click();

    QCOMPARE(process.size(), 0);
    QVERIFY(button(rig, "analyseButton")->isEnabled());
    if (asked.isEmpty()) {
        QCOMPARE(rig.prompts->asked.size(), before);
        QCOMPARE(rig.lastLog().text, text);
        QCOMPARE(rig.lastLog().level, 2);
    } else {
        QCOMPARE(rig.prompts->asked.size(), before + 1);
        const ScriptedPrompts::Asked &box = rig.prompts->asked.last();
        QCOMPARE(box.method + u'|' + box.caption, asked);
        QCOMPARE(box.text, text);
        QCOMPARE(rig.log().size(), logged);
    }
}

void tst_MainWindow::destinationPrompt_data()
{
    QTest::addColumn<bool>("choose");
    QTest::newRow("chosen") << true;
    QTest::newRow("cancelled") << false;
}

void tst_MainWindow::destinationPrompt()
{
    QFETCH(bool, choose);
    WindowRig rig;
    queueTwo(rig);
    auto *model = rig.queue();
    QueueItem marked = model->items().first();
    marked.message = u"from before"_s;
    model->setItem(0, marked);
    const QString destination = m_dir.filePath(u"out dir"_s);
    if (choose)
        rig.prompts->paths << destination;
    QSignalSpy process(rig.window.get(), &MainWindow::requestProcess);
    button(rig, "trimButton")->click();

    QCOMPARE(rig.prompts->methods().last(), u"existingDirectory"_s);
    QCOMPARE(rig.prompts->asked.last().caption, u"Choose the destination folder"_s);
    QCOMPARE(rig.prompts->asked.last().text, m_dir.filePath(u"a"_s)); // the last folder used
    if (!choose) {
        QCOMPARE(process.size(), 0);
        QCOMPARE(model->items().first().message, u"from before"_s);
        QVERIFY(appSettings().outputRoot.isEmpty());
        return;
    }
    QCOMPARE(process.size(), 1); // and no further question
    QCOMPARE(rig.prompts->methods().count(u"question"_s), 0);
    QCOMPARE(appSettings().outputRoot, destination);
    QCOMPARE(QSettings().value(u"output/root"_s).toString(), destination);
    QCOMPARE(rig.find<QLabel>("outputLabel")->toolTip(),
             (u"OUT · MIRROR · "_s + QDir::toNativeSeparators(destination)).toUpper());
    QVERIFY(model->items().first().message.isEmpty());
    QCOMPARE(process.first().at(1).value<Settings>().outputRoot, destination);
    QCOMPARE(rig.status(), u"Trimming..."_s);
    QCOMPARE(rig.lastLog().text, u"Trimming 2 file(s)."_s);
    QTRY_COMPARE(rig.status(), u"Idle"_s);
}

void tst_MainWindow::inPlaceQuestion_data()
{
    QTest::addColumn<bool>("backup");
    QTest::addColumn<bool>("yes");
    QTest::newRow("backups, yes") << true << true;
    QTest::newRow("backups, no") << true << false;
    QTest::newRow("no backups, yes") << false << true;
}

void tst_MainWindow::inPlaceQuestion()
{
    QFETCH(bool, backup);
    QFETCH(bool, yes);
    WindowRig rig([&](Settings &s) {
        s.outputMode = OutputMode::InPlace;
        s.makeBackup = backup;
        s.tailMode = EndMode::LeaveAlone;
        s.tailTargetMs = 500;
    });
    queueTwo(rig);
    if (yes)
        rig.prompts->answers << QMessageBox::Yes;
    QSignalSpy process(rig.window.get(), &MainWindow::requestProcess);
    button(rig, "trimButton")->click();

    const ScriptedPrompts::Asked &question = rig.prompts->asked.last();
    QCOMPARE(question.method, u"question"_s);
    QCOMPARE(question.caption, u"Overwrite originals"_s);
    const QString sentence = backup ? u"A .bak copy of every trimmed file will be kept alongside it."_s
                                    : u"No backups will be kept. This cannot be undone."_s;
    QCOMPARE(question.text, u"2 file(s) will be rewritten in place.\n\nHead: MAX 150 MS\nTail: OFF\n\n"_s + sentence
                     + u"\n\nContinue?"_s);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.defaultButton, QMessageBox::No); // Enter answers No
    QCOMPARE(process.size(), yes ? 1 : 0);
    QCOMPARE(button(rig, "stopButton")->isEnabled(), yes);
    if (yes)
        QTRY_COMPARE(rig.status(), u"Idle"_s);
}

void tst_MainWindow::preferences_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("accepted") << true;
    QTest::newRow("cancelled") << false;
}

void tst_MainWindow::preferences()
{
    QFETCH(bool, accept);
    WindowRig rig([](Settings &s) { s.ffmpegPath = u"/nowhere/ffmpeg"_s; });
    rig.prompts->dialogs << [&](QDialog &dialog) {
        dialog.findChild<QDoubleSpinBox *>(u"thresholdSpin"_s)->setValue(-45);
        dialog.findChild<QDoubleSpinBox *>(u"minSilenceSpin"_s)->setValue(0.3);
        return accept ? int(QDialog::Accepted) : int(QDialog::Rejected);
    };
    rig.command(u"Preferences..."_s)->trigger();

    QCOMPARE(rig.prompts->asked.last().caption, u"Preferences"_s);
    if (!accept) {
        QCOMPARE(appSettings().thresholdDb, -50.0);
        QCOMPARE(rig.panelText("detectionChip"), u"-50 dB · 0.50 S"_s);
        QCOMPARE(rig.log().size(), 2);
        QVERIFY(!QSettings().contains(u"detection/thresholdDb"_s));
        return;
    }
    QCOMPARE(appSettings().thresholdDb, -45.0);
    QCOMPARE(QSettings().value(u"detection/thresholdDb"_s).toDouble(), -45.0);
    QCOMPARE(rig.panelText("detectionChip"), u"-45 dB · 0.30 S"_s);
    QCOMPARE(rig.lastLog().text, u"Preferences saved."_s);
    QCOMPARE(rig.lastLog().level, 0);
}

void tst_MainWindow::removeAndClear()
{
    WindowRig rig;
    queueTwo(rig);
    rig.prompts->fileNames << QStringList{ m_dir.filePath(u"b/three.flac"_s) };
    button(rig, "addFilesButton")->click();
    auto *table = rig.find<QTableView>("queueTable");
    auto *model = rig.queue();

    button(rig, "removeButton")->click(); // nothing selected: nothing happens
    QCOMPARE(model->rowCount(), 3);
    table->selectionModel()->select(model->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table->selectionModel()->select(model->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    button(rig, "removeButton")->click();
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->items().first().path, m_dir.filePath(u"a/two.wav"_s));

    rig.command(u"Clear queue"_s)->trigger();
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(rig.panelText("summaryLabel"), u"QUEUE CLEARED"_s);
    QVERIFY(rig.prompts->asked.size() == 2); // only the two file pickers
}

void tst_MainWindow::stopTwiceThenCloseWhileIdle()
{
    WindowRig rig;
    rig.command(u"Stop"_s)->setEnabled(true); // as in a run
    button(rig, "stopButton")->click();
    button(rig, "stopButton")->click();
    QCOMPARE(rig.status(), u"Stopping..."_s);
    QCOMPARE(rig.logTexts().mid(2), QStringList({ u"Stop requested."_s, u"Stop requested."_s }));
    QCOMPARE(rig.lastLog().level, 2);

    // Not running: closing saves the settings and asks nothing.
    appSettings().thresholdDb = -61.0;
    rig.window->show();
    QVERIFY(rig.window->close());
    QVERIFY(rig.prompts->asked.isEmpty());
    QCOMPARE(QSettings().value(u"detection/thresholdDb"_s).toDouble(), -61.0);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
