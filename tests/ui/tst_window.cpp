#include "audiofixture.h"
#include "blockmeter.h"
#include "edgepreview.h"
#include "edgestrip.h"
#include "faketool.h"
#include "filechecks.h"
#include "identity.h"
#include "localhttpserver.h"
#include "logconsole.h"
#include "mainwindow.h"
#include "panelpalette.h"
#include "preferencesdialog.h"
#include "queuemodel.h"
#include "queueview.h"
#include "recordtypes.h"
#include "scriptedprompts.h"
#include "settingssandbox.h"
#include "settingsstore.h"
#include "statuschip.h"
#include "updatechecker.h"

#include <QtTest>
#include <QtWidgets>

using namespace ks;
using namespace Qt::StringLiterals;
using test::HttpResponse;

namespace {

// A main window with scripted answers and a private settings store, and the
// readers of what it shows.
struct Rig
{
    explicit Rig(const std::function<void(Settings &)> &prepare = {})
    {
        registerRecordTypes();
        applyIdentity();
        if (prepare)
            prepare(appSettings());
        window = std::make_unique<MainWindow>();
        window->setPrompts(std::unique_ptr<ScriptedPrompts>(prompts));
    }
    template<typename T = QPushButton>
    T *find(const char *name) const { return window->findChild<T *>(QLatin1String(name)); }
    QString status() const { return find<QLabel>("statusLabel")->text(); }
    QueueModel *queue() const { return window->findChild<QueueModel *>(); }
    QueueView *view() const { return window->findChild<QueueView *>(); }
    EdgePreview &preview() const { return *window->findChild<EdgePreview *>(); }
    static QString plain(QString text) { return text.remove(u'&'); }
    QAction *command(const QString &text) const
    {
        const QList<QAction *> actions = window->findChildren<QAction *>();
        return *std::find_if(actions.begin(), actions.end(), [&](QAction *a) { return plain(a->text()) == text; });
    }
    // The enabled entries of `menus`, and of the window's buttons when asked.
    QString live(const QList<QAction *> &menus, bool buttons = false) const
    {
        QStringList live;
        for (QAction *menu : menus) {
            for (QAction *action : menu->menu() ? menu->menu()->actions() : QList<QAction *>{ menu })
                live << (action->isEnabled() && !action->isSeparator() ? plain(action->text()) : QString());
        }
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
            live << (buttons && button->isEnabled() && !button->text().isEmpty() ? u'[' + button->text() + u']' : QString());
        live.removeAll(QString());
        return live.join(u", "_s);
    }
    void addFiles(const QStringList &paths)
    {
        prompts->fileNames << paths;
        find("addFilesButton")->click();
    }
    bool drop(const QStringList &paths)
    {
        QMimeData mime;
        for (const QString &path : paths)
            mime.setUrls(mime.urls() << QUrl::fromLocalFile(path));
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        return QCoreApplication::sendEvent(window.get(), &enter) && enter.isAccepted()
                && QCoreApplication::sendEvent(window.get(), &dropped) && dropped.isAccepted();
    }
    void run(const char *button, int ms = 30000)
    {
        find(button)->click();
        QTRY_COMPARE_WITH_TIMEOUT(status(), u"Idle"_s, ms);
    }
    QString cell(int row, int column) const { return queue()->index(row, column).data().toString(); }
    QString statuses() const
    {
        QStringList texts;
        for (int row = 0; row < queue()->rowCount(); ++row)
            texts << cell(row, QueueModel::StatusColumn);
        return texts.join(u' ');
    }
    // Each log line without its timestamp, and the level its colour shows.
    QStringList log() const
    {
        QStringList lines;
        const QTextDocument *document = find<LogConsole>("LogConsole")->document();
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            int level = -1;
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                for (int l = 0; l < 4; ++l)
                    level = it.fragment().charFormat().foreground().color() == QColor(PanelPalette::LogLevels[l]) ? l : level;
            }
            if (!block.text().isEmpty())
                lines << block.text().section(u"] "_s, 1) + u" @%1"_s.arg(level);
        }
        return lines;
    }
    QString lastLog() const { return log().value(log().size() - 1); }

    test::SettingsSandbox sandbox; // first in, last out
    ScriptedPrompts *prompts = new ScriptedPrompts; // owned by the window
    std::unique_ptr<MainWindow> window;
};

QueueItem measured(const QString &path, double lengthSec, double headChange, double tailChange,
                   const QString &writtenTo = {})
{
    QueueItem item;
    item.path = path;
    item.durationSec = lengthSec;
    item.headSec = 1.85;
    item.tailSec = 3.2;
    item.headChangeSec = headChange;
    item.tailChangeSec = tailChange;
    item.newDurationSec = lengthSec + headChange + tailChange;
    item.status = writtenTo.isEmpty() ? ItemStatus::Analysed : ItemStatus::Trimmed;
    item.outputPath = writtenTo;
    return item;
}

QList<qint64> runningChildren(const QObject &owner)
{
    QList<qint64> pids;
    for (const QProcess *process : owner.findChildren<QProcess *>())
        pids << (process->state() == QProcess::Running ? process->processId() : 0);
    pids.removeAll(0);
    return pids;
}

bool anyAlive(const QList<qint64> &pids)
{
    return std::any_of(pids.begin(), pids.end(), [](qint64 pid) { return QFileInfo::exists(u"/proc/%1"_s.arg(pid)); });
}

} // namespace

// The window as it is used: its commands and questions, what it says of the
// answers of a release feed on 127.0.0.1, real runs with the real tools on
// generated files, and the edge preview.
class tst_Window : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void recordOpened(const QUrl &url) { m_opened.append(url); } // the desktop's file: handler

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void menusAndKeys_data();
    void menusAndKeys();
    void runRefusals_data();
    void runRefusals();
    void queueAndSettingsCommandsOffDuringARun();
    void emptyHintAndSortedResults();
    void preferencesKeptOnlyWhenAccepted();
    void updateAnswers_data();
    void updateAnswers();
    void messageBoxesArePlainTextAfterTheReplyEnded_data();
    void messageBoxesArePlainTextAfterTheReplyEnded();
    void dropsFromTwoFoldersTrimIntoTheChosenDestination();
    void analysisRunAndReplanning();
    void stoppedRunLosesNothing_data();
    void stoppedRunLosesNothing();
    void preferencesDuringRunReachOnlyTheNextRun();
    void selectionRunsAndUndo();
    void edges_data();
    void edges();
    void envelopeOfAGeneratedFileAndOfAWrittenOne();
    void previewReadsEndWithTheSelectionAndTheWindow();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    void serve(const HttpResponse &response)
    {
        m_server = std::make_unique<test::LocalHttpServer>();
        QVERIFY(m_server->listen());
        m_server->setResponse(u"/latest.json"_s, response);
        qputenv("KESTROVA_UPDATE_URL", m_server->url(u"/latest.json"_s).toEncoded());
    }
    static HttpResponse release(const QString &version, bool critical = false, const QString &download = {})
    {
        return HttpResponse::json(u"{\"latest_version\":\"%1\",\"critical\":%2,\"download_url\":\"%3\"}"_s
                                          .arg(version, critical ? u"true"_s : u"false"_s, download).toUtf8());
    }

    QTemporaryDir m_dir;
    const QByteArray m_path = qgetenv("PATH"), m_endpoint = qgetenv("KESTROVA_UPDATE_URL");
    std::unique_ptr<test::LocalHttpServer> m_server;
    QList<QUrl> m_opened;
};

void tst_Window::initTestCase()
{
    qputenv("SDL_AUDIODRIVER", "dummy"); // ffplay plays in real time to nowhere
    for (const char *name : { "a/one.mp3", "a/two.wav", "folder/sub/y.ogg", "in/notes.txt", "in/garbage.mp3" }) {
        QDir().mkpath(QFileInfo(file(QLatin1String(name))).absolutePath());
        QFile(file(QLatin1String(name))).open(QIODevice::WriteOnly);
    }
    QCOMPARE(test::makeAudio(file(u"in/cut.wav"_s)), QString()); // 1 s silence, 2 s tone, 2 s silence
    QCOMPARE(test::makeAudio(file(u"in/silent.wav"_s), { 1.0, 0.0 }), QString());
    QCOMPARE(test::makeAudio(file(u"in/long take.mp3"_s), { 1.0, 240.0 }), QString());
    QCOMPARE(test::makeAudio(file(u"tone.wav"_s), { 1.0, 8.0, 2.0 }), QString());
}

void tst_Window::cleanup()
{
    qputenv("PATH", m_path);
    qputenv("KESTROVA_UPDATE_URL", m_endpoint);
    m_server.reset();
    QDir(file(u"out"_s)).removeRecursively();
}

void tst_Window::menusAndKeys_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QKeySequence>("keys");
    for (const QString &row : { u"Add files...|Ctrl+O"_s, u"Add folder...|Ctrl+Shift+O"_s, u"Analyse|Ctrl+R"_s,
                               u"Trim now|Ctrl+T"_s, u"Stop|Esc"_s, u"Preferences...|Ctrl+,"_s,
                               u"Remove selected|Del"_s, u"Exit|Ctrl+Q"_s })
        QTest::newRow(qPrintable(row)) << row.section(u'|', 0, 0) << QKeySequence(row.section(u'|', 1));
}

// Each key reaches its command and the menu shows it; every entry has a mnemonic.
void tst_Window::menusAndKeys()
{
    QFETCH(QString, command);
    QFETCH(QKeySequence, keys);
    Rig rig;
    rig.window->show();
    QApplication::setActiveWindow(rig.window.get());
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    for (QAction *menu : rig.window->menuBar()->actions()) {
        for (QAction *entry : menu->menu()->actions() + QList<QAction *>{ menu })
            QVERIFY2(entry->isSeparator() || entry->text().contains(u'&'), qPrintable(entry->text()));
    }
    QAction *action = rig.command(command);
    QCOMPARE(action->shortcut(), keys);
    action->setEnabled(true); // Stop, as in a run
    QSignalSpy triggered(action, &QAction::triggered);
    QTest::keySequence(rig.window.get(), keys);
    QCOMPARE(triggered.size(), 1);
}

void tst_Window::runRefusals_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("asked"); // method|caption|text, or the log's line when nothing is asked
    QTest::newRow("empty queue") << u"out"_s << u"Nothing in the queue - add files or a folder first. @2"_s;
    QTest::newRow("tools missing") << u"out"_s << u"warning|ffmpeg not found|ffmpeg/ffprobe not found. Install them "
                                                  "(sudo apt install ffmpeg), or set their paths in Preferences."_s;
    QTest::newRow("both ends left alone") << u"out"_s << u"information|Nothing to do|Both the head and the tail are "
            "set to leave alone, so there is nothing to change.\n\nSet a target for at least one end in Preferences."_s;
    QTest::newRow("mirror onto the sources") << u"a"_s << u"warning|Destination folder|The destination folder %1 "
            "would put the trimmed copies over their originals.\n\nChoose another destination in Preferences, or "
            "overwrite the originals."_s.arg(file(u"a"_s));
    QTest::newRow("no destination, none chosen") << QString() << u"existingDirectory|Choose the destination folder|"_s;
    QTest::newRow("in place, not confirmed") << QString() << u"question|Overwrite originals|2 file(s) will be rewritten "
            "in place.\n\nHead: MAX 150 MS\nTail: MAX 150 MS\n\nNo backups will be kept. This cannot be undone.\n\n"
            "Continue?"_s;
}

// Each refusal before a run: one question or a line in the log, and nothing runs.
void tst_Window::runRefusals()
{
    QFETCH(QString, destination);
    QFETCH(QString, asked);
    const QString tag = QLatin1String(QTest::currentDataTag());
    if (tag == u"tools missing"_s)
        qputenv("PATH", QFile::encodeName(file(u"empty"_s)));
    Rig rig([&](Settings &s) {
        if (tag == u"both ends left alone"_s)
            s.headMode = s.tailMode = EndMode::LeaveAlone;
        s.outputRoot = destination.isEmpty() ? QString() : file(destination);
        s.outputMode = tag.startsWith(u"in place"_s) ? OutputMode::InPlace : OutputMode::Mirror;
        s.makeBackup = false;
    });
    // Missing tools are told at start in the log, never in a box.
    QCOMPARE(rig.lastLog() == asked.section(u'|', 2) + u" @2"_s, tag == u"tools missing"_s);
    if (tag != u"empty queue"_s)
        rig.addFiles({ file(u"a/one.mp3"_s), file(u"a/two.wav"_s) });
    QSignalSpy process(rig.window.get(), &MainWindow::requestProcess);
    rig.find("trimButton")->click();
    QCOMPARE(process.size(), 0);
    const QList<ScriptedPrompts::Asked> &all = rig.prompts->asked;
    QCOMPARE(all.size(), tag == u"empty queue"_s ? 0 : 2); // the file picker, then one question
    const ScriptedPrompts::Asked last = all.value(all.size() - 1);
    const QString shown = all.size() < 2 ? rig.lastLog() : QStringList{ last.method, last.caption, last.text }.join(u'|');
    QVERIFY2(shown.startsWith(asked), qPrintable(shown));
    QCOMPARE(last.defaultButton, last.method == u"question"_s ? QMessageBox::No : last.defaultButton); // Enter says No
}

// Menu, buttons, row menu and drops alike: nothing changes the queue or the
// settings while a run goes, and all of it is back afterwards.
void tst_Window::queueAndSettingsCommandsOffDuringARun()
{
    Rig rig;
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    rig.addFiles({ file(u"a/one.mp3"_s), file(u"a/two.wav"_s) });
    const auto rowMenu = [&] {
        Q_EMIT rig.view()->customContextMenuRequested(rig.view()->visualRect(rig.queue()->index(0, 0)).center());
        auto *menu = rig.view()->findChild<QMenu *>(u"queueMenu"_s);
        menu->close();
        return rig.live(menu->actions());
    };
    const QString idle = rig.live(rig.window->menuBar()->actions(), true);
    QCOMPARE(rowMenu(), u"Show in folder, Copy result, Analyse selected, Trim selected, Retry failed, "
                        "Restore original, Delete backups, Remove selected"_s);
    rig.find("analyseButton")->click();
    QCOMPARE(rig.live(rig.window->menuBar()->actions(), true), u"Exit, Stop, Copy result, Check for Updates..., "
                                                               "Orrinworks Website, About Kestrova, [Stop]"_s);
    QCOMPARE(rowMenu(), u"Show in folder, Copy result"_s);
    QVERIFY(!rig.drop({ file(u"in/cut.wav"_s) }));
    QCOMPARE(rig.lastLog(), u"Nothing can be added while a run is going. @2"_s);
    QTRY_COMPARE(rig.status(), u"Idle"_s);
    QCOMPARE(rig.queue()->rowCount(), 2);
    QCOMPARE(rig.live(rig.window->menuBar()->actions(), true), idle);
}

// The hint in an empty queue; sorted rows still send each result to its own
// file, with the whole text as its tool tip.
void tst_Window::emptyHintAndSortedResults()
{
    Rig rig;
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    QueueView *view = rig.view();
    const auto middleIsBlank = [view] {
        const QImage shot = view->viewport()->grab().toImage();
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixel(x, shot.height() / 2) != shot.pixel(0, shot.height() / 2))
                return false;
        }
        return true;
    };
    QVERIFY(!middleIsBlank());
    rig.addFiles({ file(u"a/two.wav"_s), file(u"a/one.mp3"_s) });
    QVERIFY(middleIsBlank());
    view->sortByColumn(QueueModel::FileColumn, Qt::AscendingOrder);
    view->selectRow(0);
    QCOMPARE(view->selectedQueueRows(), QList<int>{ 1 });
    QueueItem item = rig.queue()->items().at(1);
    item.message = u"not an audio file"_s;
    item.detail = u"[mp3 @ 0x5] a.mp3: Invalid data"_s;
    rig.queue()->setItem(1, item);
    QCOMPARE(view->model()->index(0, QueueModel::ResultColumn).data(Qt::ToolTipRole).toString(),
             u"not an audio file\n\n[mp3 @ 0x5] a.mp3: Invalid data"_s);
    rig.command(u"Clear queue"_s)->trigger();
    QVERIFY(!middleIsBlank());
}

// Every field goes through Preferences and back; accepted changes are stored
// and shown at once, rejected ones are not.
void tst_Window::preferencesKeptOnlyWhenAccepted()
{
    QCOMPARE(test::fields(PreferencesDialog(test::unusualSettings()).settings()), test::fields(test::unusualSettings()));
    Rig rig;
    for (const bool accept : { false, true }) {
        rig.prompts->dialogs << [accept](QDialog &dialog) {
            dialog.findChild<QDoubleSpinBox *>(u"thresholdSpin"_s)->setValue(-45);
            dialog.findChild<QLineEdit *>(u"extensionsEdit"_s)->setText(u"*.MP3, .wav;;  Flac"_s);
            return accept ? int(QDialog::Accepted) : int(QDialog::Rejected);
        };
        rig.command(u"Preferences..."_s)->trigger();
        QCOMPARE(QSettings().value(u"detection/thresholdDb"_s, -50.0).toDouble(), accept ? -45.0 : -50.0);
        QCOMPARE(rig.find<StatusChip>("detectionChip")->text(), accept ? u"-45 dB · 0.50 S"_s : u"-50 dB · 0.50 S"_s);
    }
    QCOMPARE(appSettings().extensions, QStringList({ u"mp3"_s, u"wav"_s, u"flac"_s }));
}

void tst_Window::updateAnswers_data()
{
    QTest::addColumn<HttpResponse>("response"); // status 0: nothing listens
    QTest::addColumn<bool>("byHand");
    QTest::addColumn<QString>("line"); // the log's last line starts so
    QTest::addColumn<QString>("asked"); // method|title|text starts so, or empty
    const QString http500 = u"The update server answered with an error (HTTP 500)."_s;
    const HttpResponse failing = HttpResponse::json("oops", 500);
    QTest::newRow("failure, automatic") << failing << false << u"Update check failed - "_s + http500 << QString();
    QTest::newRow("failure, by hand") << failing << true << u"Update check failed - "_s + http500
                                      << u"warning|Check for Updates|"_s + http500;
    QTest::newRow("unreachable, by hand") << HttpResponse(0) << true << u"Update check failed - Connection refused @2"_s
            << u"warning|Check for Updates|Could not reach the update server.\n\nConnection refused"_s;
    QTest::newRow("up to date, by hand") << release(u"1.0.0"_s) << true << u"Up to date - 1.0.0 is the current release. @1"_s
            << u"information|Check for Updates|Kestrova 1.0.0 is the current release. You are up to date."_s;
    QTest::newRow("download of a local file refused") << release(u"1.2.0"_s, false, u"file:///etc/passwd"_s) << true
                                                      << u"Not opening file:///etc/passwd"_s << u"exec|Update available"_s;
    QTest::newRow("critical, automatic") << release(u"1.2.1"_s, true) << false
            << u"Version 1.2.1 is available and marked critical. @2"_s << u"exec|Important update"_s;
}

void tst_Window::updateAnswers()
{
    QFETCH(HttpResponse, response);
    QFETCH(bool, byHand);
    QFETCH(QString, line);
    QFETCH(QString, asked);
    serve(response);
    if (response.status == 0)
        qputenv("KESTROVA_UPDATE_URL", "http://127.0.0.1:9/latest.json"); // the discard port
    Rig rig([&](Settings &s) { s.autoCheck = !byHand; });
    if (line.startsWith(u"Not opening"_s)) {
        rig.prompts->dialogs << [](QDialog &dialog) {
            dialog.findChild<QPushButton *>(u"downloadButton"_s)->click();
            return dialog.result();
        };
    }
    if (byHand)
        rig.command(u"Check for Updates..."_s)->trigger();
    QTRY_VERIFY2_WITH_TIMEOUT(rig.lastLog().startsWith(line), qPrintable(rig.lastLog()), 5000);
    QCOMPARE(rig.prompts->asked.size(), asked.isEmpty() ? 0 : 1);
    for (const ScriptedPrompts::Asked &box : rig.prompts->asked)
        QVERIFY2((box.method + u'|' + box.caption + u'|' + box.text).startsWith(asked), qPrintable(box.text));
    // A failed check is no check: the next start asks again.
    QCOMPARE(QSettings().value(u"updates/lastCheck"_s).toDateTime().isValid(), !line.startsWith(u"Update check failed"_s));
}

void tst_Window::messageBoxesArePlainTextAfterTheReplyEnded_data()
{
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("openMs"); // how long the box is open before it is read
    // Rendered, this would load a huge image inside a link to a local file.
    const QString markup = u"0.9<a href='file:///etc/passwd'><img width=9999 height=9999></a>"_s;
    QTest::newRow("markup in the version") << release(markup)
            << u"Kestrova %1 is the current release. You are up to date."_s.arg(markup) << 50;
    QTest::newRow("endless reply") << HttpResponse::endless(QByteArray(64 * 1024, ' '))
                                   << u"Update server sent a malformed reply."_s << 500;
}

// The program's own boxes show server text literally and open no link, and
// nothing still arrives while one is open.
void tst_Window::messageBoxesArePlainTextAfterTheReplyEnded()
{
    QFETCH(HttpResponse, response);
    QFETCH(int, openMs);
    serve(response);
    QDesktopServices::setUrlHandler(u"file"_s, this, "recordOpened");
    const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(u"file"_s); });
    Rig rig;
    rig.window->setPrompts(std::make_unique<UserPrompts>());
    QStringList seen; // format, text, narrow, open connections, bytes sent well bounded
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        auto *label = box ? box->findChild<QLabel *>(u"qt_msgbox_label"_s) : nullptr;
        if (!label)
            return;
        poll.stop();
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
        seen << QString::number(box->textFormat()) << box->text() << QString::number(box->sizeHint().width() < 1000)
             << QString::number(m_server->openConnections())
             << QString::number(m_server->bytesSent() < 4 * UpdateChecker::MaxReplyBytes);
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(openMs);
    rig.command(u"Check for Updates..."_s)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty(), 5000);
    QFETCH(QString, text);
    QCOMPARE(seen, QStringList({ QString::number(Qt::PlainText), text, u"1"_s, u"0"_s, u"1"_s }));
    QCOMPARE(m_opened, QList<QUrl>());
}

// Dropped files join each relative to its own folder, so a mirror run puts
// both straight into the destination chosen when it starts; text is left
// out and a folder is scanned. The panel and log sum up the run.
void tst_Window::dropsFromTwoFoldersTrimIntoTheChosenDestination()
{
    QDir().mkpath(file(u"other"_s));
    QFile::copy(file(u"in/cut.wav"_s), file(u"other/cut two.wav"_s));
    Rig rig;
    QVERIFY(rig.drop({ file(u"in/cut.wav"_s), file(u"other/cut two.wav"_s), file(u"in/notes.txt"_s), file(u"folder"_s) }));
    QVERIFY(rig.log().contains(u"Ignored 1 dropped file(s) that are not of a scanned type. @2"_s));
    QTRY_COMPARE(rig.status(), u"Idle"_s);
    QCOMPARE(rig.queue()->items().at(2).relPath, u"sub/y.ogg"_s);
    rig.prompts->paths << file(u"out"_s);
    rig.run("trimButton");
    QCOMPARE(rig.statuses(), u"Trimmed Trimmed Failed"_s);
    QCOMPARE(rig.cell(0, QueueModel::ResultColumn), u"head -0.850 s, tail -1.850 s"_s);
    QVERIFY(qAbs(test::decodedSeconds(file(u"out/cut two.wav"_s)) - 2.3) < 0.05); // a copied packet either side
    QCOMPARE(QSettings().value(u"output/root"_s).toString(), file(u"out"_s));
    QCOMPARE(rig.find<QLabel>("summaryLabel")->text().section(u" · "_s, 1),
             u"3 SCANNED · 2 WRITTEN · 0 SKIPPED · 1 FAIL · 5.4 S CUT · 0.0 S ADDED"_s);
    QCOMPARE(rig.lastLog(), u"Complete - 2 written, 0 skipped, 1 failed, 5.4 s cut, 0.0 s added. @2"_s);
}

// An analysis changes no file and says what a trim would do; a new target is
// planned again from the measurements at once, a new threshold measures again.
void tst_Window::analysisRunAndReplanning()
{
    Rig rig;
    rig.addFiles({ file(u"in/cut.wav"_s), file(u"in/silent.wav"_s) });
    rig.run("analyseButton");
    QCOMPARE(rig.statuses(), u"Analysed Skipped"_s);
    QCOMPARE(rig.cell(1, QueueModel::ResultColumn), u"file is silent end to end - left alone"_s);
    QVERIFY(rig.log().contains(u"cut.wav - measured head 1.00 s, tail 2.00 s; head -0.850 s, tail -1.850 s @0"_s));
    QCOMPARE(rig.lastLog(), u"Analysis complete - 2 file(s) measured. @1"_s);
    QVERIFY(rig.find<QLabel>("summaryLabel")->text().endsWith(
            u" · 2 SCANNED · 1 WOULD CHANGE · 1 SKIPPED · 0 FAIL · 2.7 S TO CUT · 0.0 S TO ADD"_s));
    QCOMPARE(rig.prompts->asked.size(), 1); // the file picker, no question
    QVERIFY(!QFileInfo::exists(file(u"out"_s)));
    for (const char *spin : { "leadTargetSpin", "thresholdSpin" }) {
        rig.prompts->dialogs << [=](QDialog &dialog) {
            if (auto *target = dialog.findChild<QSpinBox *>(QLatin1String(spin)))
                target->setValue(500);
            else
                dialog.findChild<QDoubleSpinBox *>(QLatin1String(spin))->setValue(-40);
            return int(QDialog::Accepted);
        };
        rig.command(u"Preferences..."_s)->trigger();
        QCOMPARE(rig.cell(0, QueueModel::ResultColumn),
                 spin[0] == 'l' ? u"would adjust head -0.500 s, tail -1.850 s"_s : QString());
    }
    QCOMPARE(rig.statuses(), u"Pending Skipped"_s);
}

void tst_Window::stoppedRunLosesNothing_data()
{
    QTest::addColumn<bool>("byClosing");
    QTest::newRow("stop") << false;
    QTest::newRow("closing the window") << true;
}

// Stopped while rewriting a file in place: the source is intact, no
// temporary file or child is left, and the row is back to Pending.
void tst_Window::stoppedRunLosesNothing()
{
    QFETCH(bool, byClosing);
    const QString source = file(u"in/long take.mp3"_s);
    const QByteArray before = test::sha256(source);
    Rig rig([&](Settings &s) {
        s.outputMode = OutputMode::InPlace;
        s.trimMethod = TrimMethod::ReEncode; // busy long enough to stop
    });
    rig.addFiles({ source });
    rig.prompts->answers << QMessageBox::Yes << QMessageBox::Yes; // rewrite in place; stop it and quit
    rig.find("trimButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.find<BlockMeter>("fileMeter")->value() > 50, 30000);
    if (byClosing) {
        QVERIFY(rig.window->close());
        QCOMPARE(rig.prompts->asked.last().text, u"A run is still going. Stop it and quit?"_s);
        rig.window.reset(); // waits for the worker
    } else {
        rig.run("stopButton");
        QCOMPARE(rig.statuses() + u' ' + rig.cell(0, QueueModel::ResultColumn), u"Pending cancelled"_s);
    }
    QProcess pgrep;
    pgrep.start(u"pgrep"_s, { u"-f"_s, u"long take"_s });
    QVERIFY(pgrep.waitForFinished());
    QVERIFY2(pgrep.readAllStandardOutput().trimmed().isEmpty(), "ffmpeg is still running");
    QCOMPARE(test::temporaryFiles(m_dir.path()), QStringList());
    QCOMPARE(test::sha256(source), before);
    QVERIFY(!QFileInfo::exists(source + u".bak"_s));
}

// Accepted while the first file is worked on, an ffmpeg that fails whatever
// it is asked reaches neither file of this run.
void tst_Window::preferencesDuringRunReachOnlyTheNextRun()
{
    Rig rig([&](Settings &s) { s.outputRoot = file(u"out"_s); });
    rig.addFiles({ file(u"in/long take.mp3"_s), file(u"in/cut.wav"_s) });
    rig.find("trimButton")->click();
    const QString broken = test::writeFakeTool(m_dir.path(), u"failing-ffmpeg"_s, "exit 1");
    rig.prompts->dialogs << [&](QDialog &dialog) {
        dialog.findChild<QLineEdit *>(u"ffmpegEdit"_s)->setText(broken);
        return int(QDialog::Accepted);
    };
    QVERIFY(QMetaObject::invokeMethod(rig.window.get(), "onPreferences"));
    QCOMPARE(appSettings().ffmpegPath, broken);
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 60000);
    QCOMPARE(rig.statuses(), u"Trimmed Trimmed"_s);
}

// Runs on the selection and on the failed rows touch only those rows; an
// in-place trim is undone from its backup byte for byte, and backups of an
// earlier session go on request.
void tst_Window::selectionRunsAndUndo()
{
    QDir().mkpath(file(u"undo"_s));
    const QString source = file(u"undo/cut.wav"_s);
    QFile::copy(file(u"in/cut.wav"_s), source);
    const QByteArray original = test::sha256(source);
    Rig rig([&](Settings &s) {
        s.outputMode = OutputMode::InPlace;
        s.makeBackup = true;
    });
    rig.addFiles({ source, file(u"in/garbage.mp3"_s) });
    const auto run = [&](const QString &command, const QString &statuses) {
        rig.prompts->answers << QMessageBox::Yes;
        rig.command(command)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), u"Idle"_s, 30000);
        QCOMPARE(rig.statuses(), statuses);
    };
    rig.view()->selectQueueRow(0);
    run(u"Trim selected"_s, u"Trimmed Pending"_s);
    QVERIFY(rig.prompts->asked.last().text.startsWith(u"1 file(s) will be rewritten in place.\n\nHead: MAX 150 MS\n"
            "Tail: MAX 150 MS\n\nA .bak copy of every trimmed file will be kept alongside it."_s));
    QCOMPARE(test::sha256(source + u".bak"_s), original);
    run(u"Analyse"_s, u"Analysed Failed"_s);
    QCOMPARE(rig.lastLog(), u"Analysis complete - 1 measured, 1 failed. @2"_s);
    run(u"Retry failed"_s, u"Analysed Failed"_s); // only the failed row ran again
    QVERIFY(rig.prompts->asked.last().text.startsWith(u"1 file(s)"_s));
    rig.view()->selectQueueRow(0);
    const QDateTime backupTime = QFileInfo(source + u".bak"_s).lastModified();
    run(u"Restore original"_s, u"Pending Failed"_s);
    QCOMPARE(test::sha256(source), original);
    QCOMPARE(QFileInfo(source).lastModified(), backupTime);
    QFile::copy(source, source + u".bak"_s); // as an earlier session left it
    run(u"Delete backups"_s, u"Pending Failed"_s);
    QVERIFY(!QFileInfo::exists(source + u".bak"_s));
    QCOMPARE(rig.lastLog(), u"Deleted 1 backup(s). @0"_s);
}

void tst_Window::edges_data()
{
    QTest::addColumn<QueueItem>("item");
    QTest::addColumn<QList<double>>("head"); // axis, silence, edge, added, read, play
    QTest::addColumn<QList<double>>("tail");
    QTest::addColumn<QString>("play"); // the head's, then the tail's
    QTest::newRow("cut back at both ends") << measured(u"/in/a.flac"_s, 30.0, -1.7, -3.05)
            << QList<double>{ 0, 5, 0, 1.85, 1.7, 0, 0, 0, 5, 1.7, 3, 0 }
            << QList<double>{ 23.8, 30, 26.8, 30, 26.95, 30, 30, 23.8, 6.2, 23.95, 3, 0 }
            << u"-ss 1.700 -t 3.000 /in/a.flac|-ss 23.950 -t 3.000 /in/a.flac"_s;
    QueueItem shortFile = measured(u"/in/b.wav"_s, 4.0, 0.45, 1.0);
    shortFile.headSec = 0.05;
    shortFile.tailSec = 0.0;
    QTest::newRow("topped up, shorter than a strip") << shortFile
            << QList<double>{ -0.45, 4, 0, 0.05, -0.45, -0.45, 0, 0, 4, 0, 3, 0.45 }
            << QList<double>{ 0, 5, 4, 4, 5, 4, 5, 0, 4, 1, 3, 1 }
            << u"-ss 0.000 -t 3.000 -af adelay=450:all=1 /in/b.wav|-ss 1.000 -t 3.000 -af apad=pad_dur=1.000 /in/b.wav"_s;
    QTest::newRow("trimmed: the written file, its added silence inside it")
            << measured(u"/in/c.flac"_s, 30.0, -1.7, 0.5, u"/out/c.flac"_s)
            << QList<double>{ 0, 5, 0, 0.15, 0, 0, 0, 0, 5, 0, 3, 0 }
            << QList<double>{ 22.1, 28.8, 25.1, 28.8, 28.8, 28.3, 28.8, 22.1, 6.7, 25.8, 3, 0 }
            << u"-ss 0.000 -t 3.000 /out/c.flac|-ss 25.800 -t 3.000 /out/c.flac"_s;
}

// Where each strip reads, what it marks and what Play runs, as numbers.
void tst_Window::edges()
{
    QFETCH(QueueItem, item);
    const std::optional<EdgePreview::Edges> edges = EdgePreview::edgesFor(item, -50.0);
    QCOMPARE(edges->written, item.status == ItemStatus::Trimmed);
    QStringList play;
    for (const auto &[edge, side, column] : { std::tuple(edges->head, EdgePreview::Head, "head"),
                                              std::tuple(edges->tail, EdgePreview::Tail, "tail") }) {
        const EdgeStrip::Scene &s = edge.scene;
        QList<double> numbers{ s.fromSec, s.toSec, s.silenceFromSec, s.silenceToSec, s.edgeSec, s.addedFromSec,
                               s.addedToSec, edge.readFromSec, edge.readSec, edge.playFromSec, edge.playSec,
                               edge.playPadSec };
        for (double &n : numbers)
            n = std::round(n * 1000.0) / 1000.0 + 0.0; // no -0
        QTEST(numbers, column);
        play << EdgePreview::playArguments(edges->path, edge, side).join(u' ');
    }
    QTEST(play.join(u'|').remove(u"-nodisp -autoexit -loglevel error "_s), "play");
    item.durationSec = 0.0; // not probed yet
    QVERIFY(!EdgePreview::edgesFor(item, -50.0));
}

// The strips of a file with known silences, and of a trimmed row's written
// file: sound, shading and the new edge within one column of where they are.
void tst_Window::envelopeOfAGeneratedFileAndOfAWrittenOne()
{
    const QString tone = file(u"tone.wav"_s), written = file(u"written.wav"_s);
    QCOMPARE(test::makeAudio(written, { 0.15, 8.0, 0.15 }), QString());
    // 100 columns a second over 5 s strips: first and last sound, shading, edge.
    const QList<QList<int>> expected{ { 100, 499, 0, 100, 85 }, { 0, 299, 300, 500, 315 }, { 15, 499, 0, 15, 0 } };
    for (const QString &shown : { tone, written }) {
        Rig rig;
        rig.queue()->addFiles({ tone }, m_dir.path());
        QueueItem item = measured(tone, 11.0, -0.85, -1.85, shown == written ? written : QString());
        item.headSec = 1.0;
        item.tailSec = 2.0;
        rig.queue()->setItem(0, item);
        rig.view()->selectQueueRow(0);
        const QList<EdgeStrip *> strips = rig.preview().findChildren<EdgeStrip *>();
        QTRY_VERIFY(!rig.preview().isReading() && strips.at(0)->hasPeaks() && strips.at(1)->hasPeaks());
        QVERIFY(rig.preview().findChild<QLabel *>()->text().startsWith(QFileInfo(shown).fileName().toUpper()));
        for (int side = 0; side < (shown == written ? 1 : 2); ++side) {
            const EdgeStrip::Scene &s = strips.at(side)->scene();
            const QList<EdgeStrip::Peak> columns = EdgeStrip::columns(strips.at(side)->peaks(),
                    strips.at(side)->peaksFromSec(), strips.at(side)->peakSec(), s.fromSec, s.toSec, 500);
            QList<int> found{ -1, -1 }; // first and last column well above the resampler's ripple
            for (int x = 0; x < columns.size(); ++x) {
                found[0] = found[0] < 0 && columns.at(x).second > 400 ? x : found[0];
                found[1] = columns.at(x).second > 400 ? x : found[1];
            }
            const QPair<int, int> shade = EdgeStrip::columnSpan(s.silenceFromSec, s.silenceToSec, s, 500);
            found << shade.first << shade.second << EdgeStrip::columnAt(s.edgeSec, s.fromSec, s.toSec, 500);
            const QList<int> &e = expected.at(shown == written ? 2 : side);
            QVERIFY2(qAbs(found[0] - e[0]) <= 1 && qAbs(found[1] - e[1]) <= 1,
                     qPrintable(u"sound in columns %1..%2"_s.arg(found[0]).arg(found[1])));
            QCOMPARE(found.mid(2), e.mid(2));
            // A sine of an eighth of full scale in the middle, digital silence away from its ends.
            const EdgeStrip::Peak middle = columns.at(200), quiet = columns.at(side == 0 ? 5 : 400);
            QVERIFY2(middle.first <= -4000 && middle.first >= -4200 && middle.second >= 4000 && middle.second <= 4200,
                     qPrintable(u"%1..%2"_s.arg(middle.first).arg(middle.second)));
            QCOMPARE(quiet, EdgeStrip::Peak(0, 0));
        }
    }
}

// A selection change ends the reads of the row before, a run holds reads back
// until it ends, a second press of Play stops the player, and nothing the
// preview started outlives the window.
void tst_Window::previewReadsEndWithTheSelectionAndTheWindow()
{
    const QString hang = test::writeFakeTool(m_dir.path(), u"ffmpeg"_s, "exec sleep 30");
    Rig rig([&](Settings &settings) { settings.ffmpegPath = hang; });
    EdgePreview &preview = rig.preview();
    auto *play = rig.find("playHeadButton");
    preview.setPlayer(QString());
    QVERIFY(!play->isVisibleTo(&preview));
    preview.setPlayer(QStandardPaths::findExecutable(u"ffplay"_s));
    QVERIFY(play->isVisibleTo(&preview));
    for (const QString &path : { file(u"tone.wav"_s), file(u"in/cut.wav"_s) }) {
        rig.queue()->addFiles({ path }, m_dir.path());
        rig.queue()->setItem(rig.queue()->rowOfPath(path), measured(path, 11.0, -0.85, -1.85));
    }
    QList<qint64> before;
    for (const bool running : { false, false, true }) {
        preview.setRunning(running);
        rig.view()->selectQueueRow(before.isEmpty() ? 0 : 1 - rig.view()->selectedQueueRows().value(0));
        QTRY_VERIFY(!anyAlive(before));
        QTest::qWait(running ? 200 : 0); // time to start a read it should not
        QTRY_COMPARE(runningChildren(preview).size(), running ? 0 : 2);
        before = runningChildren(preview);
    }
    QCOMPARE(preview.findChild<QLabel *>()->text(), EdgePreview::tr("Waiting for the run to finish...").toUpper());
    preview.setRunning(false);
    QTRY_COMPARE(runningChildren(preview).size(), 2);
    play->click();
    QTRY_COMPARE(runningChildren(preview).size(), 3);
    const qint64 player = runningChildren(preview).last();
    play->click();
    QVERIFY(!anyAlive({ player }) && !play->isChecked());
    play->click();
    QTRY_COMPARE(runningChildren(preview).size(), 3);
    const QList<qint64> running = runningChildren(preview);
    rig.window.reset();
    QVERIFY(!anyAlive(running));
}

QTEST_MAIN(tst_Window)
#include "tst_window.moc"
