#include "preferencesdialog.h"
#include "queuemodel.h"
#include "queueview.h"
#include "recordtypes.h"
#include "settingsstore.h"
#include "windowrig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// The window's commands and dialogs up to the point where a run starts:
// menus and keys, adding and dropping, refusals and questions, the queue's
// own commands, the layout and Preferences. Real runs are tst_windowrun's.
class tst_Window : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void menusAndKeys_data();
    void menusAndKeys();
    void startLines_data();
    void startLines();
    void addFilesAndFolders();
    void drops();
    void runRefusals_data();
    void runRefusals();
    void destinationAskedFor();
    void inPlaceQuestion_data();
    void inPlaceQuestion();
    void queueCommands();
    void rowMenu_data();
    void rowMenu();
    void layoutAndSettingsKept();
    void preferences();
    void preferencesDialog();
    void unrunnableToolRefused_data();
    void unrunnableToolRefused();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    void queueTwo(WindowRig &rig) const
    {
        rig.prompts->fileNames << QStringList{ file(u"a/one.mp3"_s), file(u"a/two.wav"_s) };
        button(rig, "addFilesButton")->click();
    }
    static QPushButton *button(WindowRig &rig, const char *name) { return rig.find<QPushButton>(name); }
    static bool drop(WindowRig &rig, const QList<QUrl> &urls);

    QTemporaryDir m_dir;
    QByteArray m_path;
};

void tst_Window::initTestCase()
{
    registerRecordTypes();
    m_path = qgetenv("PATH");
    for (const char *name : { "a/one.mp3", "a/two.wav", "b/three.flac", "b/cover.jpg", "folder/x.mp3",
                              "folder/sub/y.ogg", "folder/notes.txt" }) {
        QDir().mkpath(QFileInfo(file(QLatin1String(name))).absolutePath());
        QFile(file(QLatin1String(name))).open(QIODevice::WriteOnly);
    }
}

void tst_Window::cleanup()
{
    qputenv("PATH", m_path);
}

bool tst_Window::drop(WindowRig &rig, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint centre = rig.window->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.window.get(), &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(QPointF(centre), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.window.get(), &dropped);
    return dropped.isAccepted();
}

void tst_Window::menusAndKeys_data()
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

// Each key reaches its command, and the menu shows it; every menu entry
// has a mnemonic.
void tst_Window::menusAndKeys()
{
    QFETCH(QString, command);
    QFETCH(QKeySequence, keys);
    WindowRig rig;
    rig.window->show();
    QApplication::setActiveWindow(rig.window.get());
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    for (QAction *menu : rig.window->menuBar()->actions()) {
        QVERIFY2(menu->text().contains(u'&'), qPrintable(menu->text()));
        for (QAction *entry : menu->menu()->actions())
            QVERIFY2(entry->isSeparator() || entry->text().contains(u'&'), qPrintable(entry->text()));
    }
    QAction *action = rig.command(command);
    QVERIFY(action);
    QCOMPARE(action->shortcut(), keys);
    action->setEnabled(true); // Stop, as in a run
    QSignalSpy triggered(action, &QAction::triggered);
    QTest::keySequence(rig.window.get(), keys);
    QCOMPARE(triggered.size(), 1);
}

void tst_Window::startLines_data()
{
    QTest::addColumn<bool>("toolsFound");
    QTest::newRow("tools found") << true;
    QTest::newRow("tools missing") << false;
}

void tst_Window::startLines()
{
    QFETCH(bool, toolsFound);
    if (!toolsFound)
        qputenv("PATH", QFile::encodeName(file(u"empty"_s)));
    WindowRig rig;
    QCOMPARE(rig.logTexts().first(), u"Kestrova 1.0.0 ready."_s);
    QCOMPARE(rig.lastLog().text.startsWith(u"ffmpeg/ffprobe not found. Install them (sudo apt install ffmpeg)"_s),
             !toolsFound);
    QCOMPARE(rig.lastLog().level, toolsFound ? 0 : 2);
    QVERIFY(rig.prompts->asked.isEmpty()); // no dialog at start-up
}

void tst_Window::addFilesAndFolders()
{
    WindowRig rig([](Settings &s) { s.extensions = { u"mp3"_s, u"wav"_s, u"ogg"_s }; });
    QueueModel *model = rig.queue();
    button(rig, "addFilesButton")->click(); // cancelled
    QCOMPARE(rig.prompts->asked.last().filter, u"Audio files (*.mp3 *.wav *.ogg);;All files (*)"_s);
    QCOMPARE(model->rowCount(), 0);

    // Each file joins relative to its own folder; one queued again is not doubled.
    rig.prompts->fileNames << QStringList{ file(u"a/one.mp3"_s), file(u"b/three.flac"_s), file(u"a/one.mp3"_s) };
    button(rig, "addFilesButton")->click();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->items().at(1).relPath, u"three.flac"_s);
    QCOMPARE(rig.lastLog().text, u"Added 3 file(s)."_s);
    QCOMPARE(rig.find<QLabel>("queueSizeLabel")->text(), u"2 file(s) queued"_s);

    // A folder is scanned on the worker; the picker starts where the last one ended.
    QSignalSpy scan(rig.window.get(), &MainWindow::requestScan);
    rig.prompts->paths << file(u"folder"_s);
    button(rig, "addFolderButton")->click();
    QCOMPARE(rig.prompts->asked.last().text, file(u"a"_s));
    QCOMPARE(scan.size(), 1);
    QVERIFY(rig.lit("scanChip") && !button(rig, "addFolderButton")->isEnabled());
    QTRY_COMPARE(rig.status(), u"Idle"_s);
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(model->items().at(2).relPath, u"sub/y.ogg"_s);
    QCOMPARE(rig.lastLog().text, u"Scan complete - 2 file(s) found."_s);
    QVERIFY(!rig.lit("scanChip") && button(rig, "addFolderButton")->isEnabled());
}

// Dropped files join as "Add files..." adds them and only when of a scanned
// type; folders are scanned; nothing joins during a run or from the web.
void tst_Window::drops()
{
    WindowRig rig;
    QVERIFY(drop(rig, { QUrl::fromLocalFile(file(u"a/one.mp3"_s)), QUrl::fromLocalFile(file(u"b/three.flac"_s)),
                        QUrl::fromLocalFile(file(u"b/cover.jpg"_s)), QUrl::fromLocalFile(file(u"folder"_s)) }));
    QCOMPARE(rig.queue()->rowCount(), 2);
    QCOMPARE(rig.queue()->items().at(1).relPath, u"three.flac"_s);
    QCOMPARE(rig.logTexts().mid(2, 2), QStringList({ u"Added 2 file(s)."_s,
                                                     u"Ignored 1 dropped file(s) that are not of a scanned type."_s }));
    QTRY_COMPARE(rig.status(), u"Idle"_s);
    QCOMPARE(rig.queue()->rowCount(), 4);

    QVERIFY(!drop(rig, { QUrl(u"https://www.orrinworks.example/song.mp3"_s) }));
    rig.find<QPushButton>("analyseButton")->click(); // running now
    QVERIFY(!drop(rig, { QUrl::fromLocalFile(file(u"a/two.wav"_s)) }));
    QCOMPARE(rig.lastLog().text, u"Nothing can be added while a run is going."_s);
    QCOMPARE(rig.queue()->rowCount(), 4);
    QTRY_COMPARE(rig.status(), u"Idle"_s);
    QVERIFY(rig.prompts->asked.isEmpty());
}

void tst_Window::runRefusals_data()
{
    QTest::addColumn<bool>("queued");
    QTest::addColumn<bool>("tools");
    QTest::addColumn<bool>("leaveBoth");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("asked"); // "" when only the log says why
    QTest::addColumn<QString>("text");
    QTest::newRow("empty queue") << false << true << false << QString() << QString()
                                 << u"Nothing in the queue - add files or a folder first."_s;
    QTest::newRow("tools missing") << true << false << false << QString() << u"warning|ffmpeg not found"_s
                                   << u"ffmpeg/ffprobe not found. Install them (sudo apt install ffmpeg), or set their "
                                      "paths in Preferences."_s;
    QTest::newRow("both ends left alone") << true << true << true << QString() << u"information|Nothing to do"_s
                                          << u"Both the head and the tail are set to leave alone, so there is nothing "
                                             "to change.\n\nSet a target for at least one end in Preferences."_s;
    QTest::newRow("destination is the sources' folder")
            << true << true << false << u"a"_s << u"warning|Destination folder"_s
            << u"The destination folder %1 would put the trimmed copies over their originals.\n\n"
               "Choose another destination in Preferences, or overwrite the originals."_s;
}

void tst_Window::runRefusals()
{
    QFETCH(bool, queued);
    QFETCH(bool, leaveBoth);
    QFETCH(QString, destination);
    QFETCH(QString, asked);
    QFETCH(QString, text);
    WindowRig rig([&](Settings &s) {
        if (leaveBoth)
            s.headMode = s.tailMode = EndMode::LeaveAlone;
        s.outputRoot = destination.isEmpty() ? file(u"out"_s) : file(destination);
    });
    if (queued)
        queueTwo(rig);
    QFETCH(bool, tools);
    if (!tools)
        qputenv("PATH", QFile::encodeName(file(u"empty"_s)));
    const int before = int(rig.prompts->asked.size());
    QSignalSpy process(rig.window.get(), &MainWindow::requestProcess);
    button(rig, "trimButton")->click();

    QCOMPARE(process.size(), 0);
    QVERIFY(button(rig, "trimButton")->isEnabled());
    QCOMPARE(rig.prompts->asked.size(), before + (asked.isEmpty() ? 0 : 1));
    text = text.arg(QDir::toNativeSeparators(file(destination)));
    if (asked.isEmpty()) {
        QCOMPARE(rig.lastLog().text, text);
    } else {
        const ScriptedPrompts::Asked &box = rig.prompts->asked.last();
        QCOMPARE(box.method + u'|' + box.caption, asked);
        QCOMPARE(box.text, text);
    }
}

// A mirror run without a destination asks for one, keeps it and starts.
void tst_Window::destinationAskedFor()
{
    WindowRig rig;
    queueTwo(rig);
    rig.prompts->paths << file(u"out dir"_s);
    QSignalSpy process(rig.window.get(), &MainWindow::requestProcess);
    button(rig, "trimButton")->click();
    QCOMPARE(rig.prompts->asked.last().caption, u"Choose the destination folder"_s);
    QCOMPARE(process.size(), 1);
    QCOMPARE(process.first().at(1).value<Settings>().outputRoot, file(u"out dir"_s));
    QCOMPARE(QSettings().value(u"output/root"_s).toString(), file(u"out dir"_s));
    QTRY_COMPARE(rig.status(), u"Idle"_s);

    rig.prompts->paths.clear(); // cancelled the second time: nothing runs
    appSettings().outputRoot.clear();
    button(rig, "trimButton")->click();
    QCOMPARE(process.size(), 1);
}

void tst_Window::inPlaceQuestion_data()
{
    QTest::addColumn<bool>("backup");
    QTest::addColumn<bool>("yes");
    QTest::newRow("backups, yes") << true << true;
    QTest::newRow("no backups, no") << false << false;
}

void tst_Window::inPlaceQuestion()
{
    QFETCH(bool, backup);
    QFETCH(bool, yes);
    WindowRig rig([&](Settings &s) {
        s.outputMode = OutputMode::InPlace;
        s.makeBackup = backup;
        s.tailMode = EndMode::LeaveAlone;
    });
    queueTwo(rig);
    if (yes)
        rig.prompts->answers << QMessageBox::Yes;
    QSignalSpy process(rig.window.get(), &MainWindow::requestProcess);
    button(rig, "trimButton")->click();

    const ScriptedPrompts::Asked &question = rig.prompts->asked.last();
    const QString sentence = backup ? u"A .bak copy of every trimmed file will be kept alongside it."_s
                                    : u"No backups will be kept. This cannot be undone."_s;
    QCOMPARE(question.text, u"2 file(s) will be rewritten in place.\n\nHead: MAX 150 MS\nTail: OFF\n\n"_s + sentence
                     + u"\n\nContinue?"_s);
    QCOMPARE(question.defaultButton, QMessageBox::No); // Enter answers No
    QCOMPARE(process.size(), yes ? 1 : 0);
    if (yes)
        QTRY_COMPARE(rig.status(), u"Idle"_s);
}

// Remove, clear, stop while idle, the empty-queue hint, and sorting that
// still sends each result to its own file.
void tst_Window::queueCommands()
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
    QVERIFY(!middleIsBlank()); // the hint
    rig.prompts->fileNames << QStringList{ file(u"b/three.flac"_s), file(u"a/one.mp3"_s), file(u"a/two.wav"_s) };
    button(rig, "addFilesButton")->click();
    QVERIFY(middleIsBlank());

    view->sortByColumn(QueueModel::FileColumn, Qt::AscendingOrder);
    QCOMPARE(view->model()->index(0, QueueModel::FileColumn).data().toString(), u"one.mp3"_s);
    view->selectRow(0);
    QCOMPARE(view->selectedQueueRows(), QList<int>{ 1 });
    QueueItem item = rig.queue()->items().at(1);
    item.message = u"not an audio file"_s;
    item.detail = u"[mp3 @ 0x5] a.mp3: Invalid data"_s;
    rig.queue()->setItem(1, item);
    QCOMPARE(view->model()->index(0, QueueModel::ResultColumn).data().toString(), u"not an audio file"_s);
    QCOMPARE(view->model()->index(0, QueueModel::ResultColumn).data(Qt::ToolTipRole).toString(),
             u"not an audio file\n\n[mp3 @ 0x5] a.mp3: Invalid data"_s);
    button(rig, "removeButton")->click();
    QCOMPARE(rig.queue()->rowCount(), 2);
    QCOMPARE(rig.queue()->items().at(1).path, file(u"a/two.wav"_s));

    rig.command(u"Stop"_s)->setEnabled(true); // as in a run
    button(rig, "stopButton")->click();
    QCOMPARE(rig.status(), u"Stopping..."_s);
    rig.command(u"Clear queue"_s)->trigger();
    QCOMPARE(rig.queue()->rowCount(), 0);
    QCOMPARE(rig.panelText("summaryLabel"), u"QUEUE CLEARED"_s);
    QVERIFY(!middleIsBlank());
    QCOMPARE(rig.prompts->asked.size(), 1); // only the file picker
}

void tst_Window::rowMenu_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("withOutput");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QStringList>("enabled");
    const QStringList rowCommands{ u"Copy result"_s,      u"Analyse selected"_s, u"Trim selected"_s,
                                   u"Retry failed"_s,     u"Restore original"_s, u"Delete backups"_s,
                                   u"Remove selected"_s };
    QTest::newRow("fresh row") << 0 << false << false << QStringList{ u"Show in folder"_s } + rowCommands;
    QTest::newRow("row with an output")
            << 0 << true << false << QStringList{ u"Show in folder"_s, u"Open output folder"_s } + rowCommands;
    QTest::newRow("during a run") << 0 << true << true
                                  << QStringList{ u"Show in folder"_s, u"Open output folder"_s, u"Copy result"_s };
    QTest::newRow("below the rows") << -1 << false << false << rowCommands;
}

void tst_Window::rowMenu()
{
    QFETCH(int, row);
    QFETCH(bool, withOutput);
    QFETCH(bool, running);
    QFETCH(QStringList, enabled);
    WindowRig rig;
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    queueTwo(rig);
    if (withOutput) {
        QueueItem item = rig.queue()->items().first();
        item.outputPath = file(u"b/one.mp3"_s);
        rig.queue()->setItem(0, item);
    }
    if (running)
        button(rig, "analyseButton")->click();

    auto *view = rig.find<QueueView>("queueTable");
    const QPoint at = row < 0 ? QPoint(5, view->viewport()->height() - 5)
                              : view->visualRect(view->model()->index(row, 0)).center();
    Q_EMIT view->customContextMenuRequested(at);
    auto *menu = view->findChild<QMenu *>(u"queueMenu"_s);
    QVERIFY(menu);
    QStringList live;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator() && action->isEnabled())
            live << WindowRig::plain(action->text());
    }
    QCOMPARE(live, enabled);
    if (withOutput) {
        menu->actions().at(1)->trigger();
        QCOMPARE(rig.prompts->opened.last(), QUrl::fromLocalFile(file(u"b"_s)));
    }
    menu->close();
    if (running)
        QTRY_COMPARE(rig.status(), u"Idle"_s);
}

// The layout comes back in the next window; closing while idle asks nothing
// and saves the settings, leaving the program's own groups as they were.
void tst_Window::layoutAndSettingsKept()
{
    QByteArray columns;
    WindowRig rig([](Settings &s) {
        s.outputMode = OutputMode::InPlace;
        s.makeBackup = false;
    });
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    auto *overwrite = rig.find<QCheckBox>("overwriteCheck");
    QVERIFY(overwrite->isChecked());
    QCOMPARE(rig.find<QLabel>("outputLabel")->toolTip(), u"OUT · IN PLACE · NO BACKUP"_s);
    overwrite->setChecked(false);
    QCOMPARE(QSettings().value(u"output/mode"_s).toInt(), 0);
    QCOMPARE(rig.find<QLabel>("outputLabel")->toolTip(), u"OUT · MIRROR · NOT SET"_s);

    rig.window->resize(1111, 822);
    auto *header = rig.find<QueueView>("queueTable")->horizontalHeader();
    header->moveSection(QueueModel::StatusColumn, QueueModel::HeadColumn);
    columns = header->saveState();
    appSettings().thresholdDb = -61.0;
    QVERIFY(rig.window->close());
    QVERIFY(rig.prompts->asked.isEmpty());
    QCOMPARE(QSettings().value(u"detection/thresholdDb"_s).toDouble(), -61.0);
    QSettings store;
    store.beginGroup(u"window"_s);
    QCOMPARE(store.childKeys(), QStringList({ u"geometry"_s, u"lastFolder"_s, u"queueColumns"_s, u"splitter"_s,
                                              u"state"_s }));

    WindowRig again({}, WindowRig::SameStore);
    QCOMPARE(again.window->size(), QSize(1111, 822));
    QCOMPARE(again.find<QueueView>("queueTable")->horizontalHeader()->saveState(), columns);
}

void tst_Window::preferences()
{
    WindowRig rig;
    for (const bool accept : { false, true }) {
        rig.prompts->dialogs << [accept](QDialog &dialog) {
            dialog.findChild<QDoubleSpinBox *>(u"thresholdSpin"_s)->setValue(-45);
            dialog.findChild<QDoubleSpinBox *>(u"minSilenceSpin"_s)->setValue(0.3);
            return accept ? int(QDialog::Accepted) : int(QDialog::Rejected);
        };
        rig.command(u"Preferences..."_s)->trigger();
        QCOMPARE(appSettings().thresholdDb, accept ? -45.0 : -50.0);
        QCOMPARE(QSettings().contains(u"detection/thresholdDb"_s), accept);
        QCOMPARE(rig.panelText("detectionChip"), accept ? u"-45 dB · 0.30 S"_s : u"-50 dB · 0.50 S"_s);
    }
    QCOMPARE(rig.lastLog().text, u"Preferences saved."_s);
}

// Every field goes through the dialog and back unchanged; the controls
// follow the modes; pickers ask through the prompt seam.
void tst_Window::preferencesDialog()
{
    QCOMPARE(test::fields(PreferencesDialog(test::unusualSettings()).settings()), test::fields(test::unusualSettings()));
    Settings s;
    s.outputRoot = u"  /music/out "_s;
    s.headMode = EndMode::LeaveAlone;
    s.tailMode = EndMode::TopUp;
    PreferencesDialog dialog(s);
    ScriptedPrompts prompts;
    dialog.setPrompts(&prompts);
    const auto enabled = [&dialog](const char *name) { return dialog.findChild<QWidget *>(QLatin1String(name))->isEnabled(); };
    QVERIFY(!enabled("leadTargetSpin") && enabled("tailTargetSpin") && enabled("padFallbackCombo"));
    dialog.findChild<QComboBox *>(u"tailModeCombo"_s)->setCurrentIndex(int(EndMode::CutBack));
    QVERIFY(enabled("tailTargetSpin") && !enabled("padFallbackCombo"));
    dialog.findChild<QRadioButton *>(u"inPlaceRadio"_s)->click();
    QVERIFY(!enabled("outputRootEdit") && !enabled("outputBrowseButton"));
    QCOMPARE(dialog.settings().outputRoot, u"/music/out"_s);
    dialog.findChild<QLineEdit *>(u"extensionsEdit"_s)->setText(u"*.MP3, .wav;;  Flac"_s);
    QCOMPARE(dialog.settings().extensions, QStringList({ u"mp3"_s, u"wav"_s, u"flac"_s }));

    prompts.paths = { QString(), u"/opt/ff/ffprobe"_s };
    dialog.findChild<QPushButton *>(u"ffmpegBrowseButton"_s)->click(); // cancelled
    dialog.findChild<QPushButton *>(u"ffprobeBrowseButton"_s)->click();
    QCOMPARE(prompts.asked.at(1).caption, u"Locate ffprobe"_s);
    QVERIFY(dialog.settings().ffmpegPath.isEmpty());
    QCOMPARE(dialog.settings().ffprobePath, u"/opt/ff/ffprobe"_s);
}

void tst_Window::unrunnableToolRefused_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("problem"); // empty: accepted
    QTest::newRow("blank searches") << QString() << QString();
    QTest::newRow("runnable") << u"/bin/sh"_s << QString();
    QTest::newRow("missing") << u"/nowhere/ffmpeg"_s << u"/nowhere/ffmpeg does not exist."_s;
    QTest::newRow("folder") << u"/tmp"_s << u"/tmp is a folder, not a program."_s;
    QTest::newRow("not executable") << u"%1"_s << u"%1 is not a program that can be run."_s;
}

void tst_Window::unrunnableToolRefused()
{
    QFETCH(QString, path);
    QFETCH(QString, problem);
    QTemporaryFile plain; // "%1": a file without execute permission
    QVERIFY(plain.open());
    if (path == u"%1")
        path = plain.fileName();
    problem.replace(u"%1"_s, plain.fileName());
    PreferencesDialog dialog{ Settings() };
    ScriptedPrompts prompts;
    dialog.setPrompts(&prompts);
    dialog.findChild<QLineEdit *>(u"ffprobeEdit"_s)->setText(path);
    dialog.accept();
    QCOMPARE(dialog.result(), problem.isEmpty() ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(prompts.asked.isEmpty() ? QString() : prompts.asked.first().text, problem);
}

QTEST_MAIN(tst_Window)
#include "tst_window.moc"
