#include "blockmeter.h"
#include "controller.h"
#include "edgepreview.h"
#include "fixtures.h"
#include "folderscan.h"
#include "identity.h"
#include "localhttpserver.h"
#include "logconsole.h"
#include "mainwindow.h"
#include "preferencesdialog.h"
#include "queuemodel.h"
#include "queueview.h"
#include "recordtypes.h"
#include "runfeedback.h"
#include "settingssandbox.h"
#include "settingsstore.h"
#include "toollocator.h"
#include "userprompts.h"
#include "workerhost.h"

#include <QtTest>
#include <QtWidgets>

#include <fcntl.h>
#include <unistd.h>

using namespace ks;
using namespace Qt::StringLiterals;
using test::HttpResponse;

namespace {

// The longest a wait for what is sure to happen may take on a loaded machine: an upper bound, never a pause.
constexpr int Patience = 120000;

// Answers from queues the test fills and records each question; unscripted ones cancel, default or reject.
struct ScriptedPrompts final : ks::UserPrompts
{
    using Button = QMessageBox::StandardButton;
    QList<QStringList> picked;                    // file picker, or the folder picker's first
    QList<Button> answers;                        // message boxes
    QList<std::function<int(QDialog &)>> dialogs; // exec: may edit the dialog, returns its result
    QList<int> chosen;                            // choose: the index of the button pressed, -1 for Cancel
    QStringList asked;                            // function|caption or title|text, start folder or filter

    QStringList openFileNames(QWidget *, const QString &caption, const QString &, const QString &filter) override
    {
        return take(picked, u"openFileNames|"_s + caption + u'|' + filter, {});
    }
    QString saveFileName(QWidget *, const QString &caption, const QString &path, const QString &) override
    {
        return take(picked, u"saveFileName|"_s + caption + u'|' + path, {}).value(0);
    }
    QString existingDirectory(QWidget *, const QString &caption, const QString &dir) override
    {
        return take(picked, u"existingDirectory|"_s + caption + u'|' + dir, {}).value(0);
    }
    Button warning(QWidget *, const QString &t, const QString &x) override { return box(u"warning"_s, t, x); }
    Button information(QWidget *, const QString &t, const QString &x) override { return box(u"information"_s, t, x); }
    Button question(QWidget *, const QString &t, const QString &x, QMessageBox::StandardButtons, Button dflt) override
    {
        return box(u"question (%1)"_s.arg(dflt == QMessageBox::No ? u"No"_s : u"Yes"_s), t, x, dflt);
    }
    int choose(QWidget *, const QString &title, const QString &text, const QStringList &choices) override
    {
        return take(chosen, u"choose|"_s + title + u'|' + text + u'|' + choices.join(u','), -1);
    }
    int exec(QDialog &dialog) override
    {
        return take(dialogs, u"exec|"_s + dialog.windowTitle(), [](QDialog &) { return int(QDialog::Rejected); })(
                dialog);
    }
    template<typename T>
    T take(QList<T> &scripted, const QString &question, const typename QList<T>::value_type &unscripted)
    {
        return asked << question, scripted.isEmpty() ? unscripted : scripted.takeFirst();
    }
    Button box(const QString &kind, const QString &title, const QString &text, Button byDefault = QMessageBox::Ok)
    {
        return take(answers, kind + u'|' + title + u'|' + text, byDefault);
    }
};

// A main window with scripted answers and a private settings store.
struct Rig
{
    explicit Rig(const std::function<void(Settings &)> &prepare = [](Settings &) {})
    {
        registerRecordTypes();
        applyIdentity();
        prepare(appSettings()); // what the window starts with
        restart();
    }
    // Closes the window as a user does and opens the next one on the same settings store.
    void restart()
    {
        QVERIFY(!window || window->close());
        window.reset();
        window = std::make_unique<MainWindow>();
        window->setPrompts(std::unique_ptr<ScriptedPrompts>(prompts = new ScriptedPrompts));
    }
    QPushButton *button(const char *name) const { return window->findChild<QPushButton *>(QLatin1String(name)); }
    QString label(const QString &name) const { return window->findChild<QLabel *>(name)->text(); }
    QueueModel *queue() const { return window->findChild<QueueModel *>(); }
    QueueView *view() const { return window->findChild<QueueView *>(); }
    EdgePreview *preview() const { return window->findChild<EdgePreview *>(); }
    // What the edge preview says of the head of the one file selected, once it took in the last change.
    QString headShown() const
    {
        const QTimer *settle = preview()->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
        return QTest::qWaitFor([settle] { return !settle->isActive(); }, Patience)
                ? preview()->findChild<QLabel *>(u"headDetailsLabel"_s)->text()
                : u"never settled"_s;
    }
    static QString plain(QString text) { return text.remove(u'&'); }
    QAction *command(const QString &text) const
    {
        const QList<QAction *> all = window->findChildren<QAction *>();
        return *std::find_if(all.begin(), all.end(), [&](QAction *action) { return plain(action->text()) == text; });
    }
    // The enabled entries of these menus, then the enabled buttons if asked.
    QString live(const QList<QAction *> &menus, bool buttons = false) const
    {
        QStringList live;
        for (QAction *menu : menus)
            for (QAction *action : menu->menu() ? menu->menu()->actions() : QList<QAction *>{ menu })
                live << (action->isEnabled() && !action->isSeparator() ? plain(action->text()) : QString());
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
            live << (buttons && button->isEnabled() ? button->text() : QString());
        live.removeAll(QString());
        return live.join(u", "_s);
    }
    void addFiles(const QStringList &paths)
    {
        prompts->picked << paths;
        button("addFilesButton")->click();
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
    // Runs the command to its end and returns the rows' statuses.
    QString run(const QString &command)
    {
        if (!command.isEmpty())
            this->command(command)->trigger();
        [&] { QTRY_COMPARE_WITH_TIMEOUT(label(u"statusLabel"_s), u"Idle"_s, Patience); }();
        QStringList texts;
        for (int row = 0; row < queue()->rowCount(); ++row)
            texts << cell(row, QueueModel::StatusColumn);
        return texts.join(u' ');
    }
    QString summary() const { return label(u"summaryLabel"_s).section(u" · "_s, 1); } // after "LAST hh:mm"
    QStringList tail(int lines) const { return log().mid(log().size() - lines); }
    QString cell(int row, int column, int role = Qt::DisplayRole) const
    {
        return queue()->index(row, column).data(role).toString();
    }
    QStringList log() const // without the timestamps
    {
        static const QRegularExpression stamp(u"^\\[[^\\]]*\\] "_s, QRegularExpression::MultilineOption);
        return window->findChild<LogConsole *>()->toPlainText().remove(stamp).split(u'\n', Qt::SkipEmptyParts);
    }

    test::SettingsSandbox sandbox;      // first in, last out
    ScriptedPrompts *prompts = nullptr; // owned by the window
    std::unique_ptr<MainWindow> window;
};

// A strip in 500 columns: where the sound is; shading, edge, mid-strip sine swing (thousandths), silence level.
struct Drawn
{
    int soundFrom, soundTo;
    QString marks;
    static Drawn of(const EdgeStrip &strip, int quietColumn)
    {
        const EdgeStrip::Scene &s = strip.scene();
        const auto columns
                = EdgeStrip::columns(strip.peaks(), strip.peaksFromSec(), strip.peakSec(), s.fromSec, s.toSec, 500);
        const QPair<int, int> shade = EdgeStrip::columnSpan(s.silenceFromSec, s.silenceToSec, s, 500);
        const EdgeStrip::Peak middle = columns.at(200), quiet = columns.at(quietColumn);
        Drawn found{ -1, -1,
            QString::asprintf("shade %d-%d, edge %d, sine %d..%d, silence %d..%d", shade.first, shade.second,
                    EdgeStrip::columnAt(s.edgeSec, s.fromSec, s.toSec, 500), qRound(middle.first / 1000.0),
                    qRound(middle.second / 1000.0), quiet.first, quiet.second) };
        for (int x = 0; x < columns.size(); ++x) { // well above the resampler's ripple
            found.soundFrom = found.soundFrom < 0 && columns.at(x).second > 400 ? x : found.soundFrom;
            found.soundTo = columns.at(x).second > 400 ? x : found.soundTo;
        }
        return found;
    }
};

QList<qint64> running(const QObject &owner)
{
    QList<qint64> pids;
    for (const QProcess *process : owner.findChildren<QProcess *>())
        if (process->state() == QProcess::Running)
            pids << process->processId();
    return pids;
}
bool anyAlive(const QList<qint64> &pids)
{
    return std::any_of(pids.begin(), pids.end(), [](qint64 pid) { return QFileInfo::exists(u"/proc/%1"_s.arg(pid)); });
}
std::function<int(QDialog &)> accepting(const char *field, const QVariant &value)
{
    return [=](QDialog &dialog) {
        QObject *edit = dialog.findChild<QWidget *>(QLatin1String(field));
        edit->setProperty(edit->inherits("QLineEdit") ? "text" : "value", value);
        return int(QDialog::Accepted);
    };
}

enum class Answer { Replace, Skip, KeepBoth, Cancel = -1 }; // the buttons of the existing-files question

} // namespace

// The window's commands, its update answers, its real runs and its edge preview.
class tst_Window : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void recordOpened(const QUrl &url) { m_opened.append(url); } // the desktop's file: handler

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    QList<QUrl> m_opened;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("SDL_AUDIODRIVER", "dummy"); // ffplay plays in real time to nowhere
        for (const QString &name :
                { u"a/one.mp3"_s, u"a/two.wav"_s, u"folder/sub/y.ogg"_s, u"in/notes.txt"_s, u"in/garbage.mp3"_s,
                        u"music/take.mp3"_s, u"music/trimmed/take.mp3"_s, u"music/trimmed-old/b.mp3"_s })
            QVERIFY(QDir().mkpath(QFileInfo(file(name)).path()) && QFile(file(name)).open(QIODevice::WriteOnly));
        const std::pair<const char *, test::ToneShape> audio[]{ { "in/cut.wav", {} }, { "other/cut two.wav", {} },
            { "in/silent.wav", { 1.0, 0.0 } }, { "in/long take.mp3", { 1.0, 240.0 } },
            { "tone.wav", { 1.0, 8.0, 2.0 } } };
        for (const auto &[name, tone] : audio) // by default 1 s silence, 2 s tone, 2 s silence
            QCOMPARE(test::makeAudio(file(QLatin1String(name)), tone), QString());
        QVERIFY(QFile::link(file(u"a"_s), file(u"link to a"_s)));
    }

    void cleanup() { QDir(file(u"out"_s)).removeRecursively(); }

    // A sorted view's selection runs the file shown; a failed analysis is retried as one. A run leaves only Stop and
    // what reads the queue on, refuses drops. A failure's log line gives its gist; tip and Copy result, ffmpeg's text.
    void runsOnTheSelectionAndTheFailedRows()
    {
        Rig rig([&](Settings &s) { s.outputMode = OutputMode::InPlace; });
        QAction *jobs = rig.command(u"Jobs"_s);
        const QString junk = file(u"junk/junk.mp3"_s); // not audio, whatever its name says
        QVERIFY(test::writeFile(junk, "no audio here\n"));
        rig.addFiles({ file(u"in/cut.wav"_s), junk });
        QVERIFY(!rig.command(u"Trim selected"_s)->isEnabled()); // nothing selected is not the whole queue
        rig.view()->sortByColumn(QueueModel::FileColumn, Qt::DescendingOrder); // junk.mp3 shown first, queued second
        rig.view()->selectRow(0);
        QCOMPARE(rig.view()->selectedQueueRows(), QList<int>{ 1 });
        QList<QAction *> menus = rig.window->menuBar()->actions();
        menus.removeOne(jobs);
        const QString idle = rig.live(menus, true);
        rig.command(u"Analyse selected"_s)->trigger();
        QCOMPARE(rig.live(rig.window->menuBar()->actions(), true),
                u"Exit, Stop, Copy result, Export report (CSV)..., Show failed only, Check for Updates..., "
                "Orrinworks Website, About Kestrova, Stop"_s);
        QVERIFY(!rig.drop({ file(u"in/cut.wav"_s) }));
        QCOMPARE(rig.run({}), u"Pending Failed"_s);
        QCOMPARE(rig.live(menus, true), idle);
        const QString gist = u"damaged or not an audio file (no readable frames)"_s;
        QCOMPARE(rig.log().filter(u"junk.mp3"_s), QStringList(u"junk.mp3 - "_s + gist));
        const QString tip = rig.cell(1, QueueModel::ResultColumn, Qt::ToolTipRole);
        QVERIFY2(Qt::mightBeRichText(tip) && tip.contains(u"Failed to read frame size"_s), qPrintable(tip));
        rig.command(u"Copy result"_s)->trigger();
        QVERIFY(QGuiApplication::clipboard()->text().contains(gist + u"\n[mp3 @ 0x"_s));
        QCOMPARE(rig.run(u"Retry failed"_s), u"Pending Failed"_s);
        QCOMPARE(rig.log().filter(u"Analysing "_s),
                QStringList({ u"Analysing 1 file(s)."_s, u"Analysing 1 file(s)."_s }));
        QVERIFY(rig.prompts->asked.filter(u"Overwrite originals"_s).isEmpty()); // not trimmed, so not asked
    }

    void runRefusals_data()
    {
        QTest::addColumn<int>("queued");
        QTest::addColumn<bool>("toolsFound");
        QTest::addColumn<OutputMode>("mode");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("asked"); // method|caption|text, or the log's line when nothing is asked
        const auto mirror = OutputMode::Mirror;
        const QString onto = u"warning|Destination folder|The destination is the folder being trimmed - every copy "
                             "would overwrite its source.\n\nDestination: %1\n"_s;
        QTest::newRow("empty queue") << 0 << true << mirror << u"out"_s
                                     << u"Nothing is queued. Add files or a folder first."_s;
        QTest::newRow("tools missing") << 2 << false << mirror << u"out"_s
                                       << u"warning|ffmpeg not found|ffmpeg/ffprobe not found. Install"_s;
        QTest::newRow("mirror onto the sources through a link")
                << 2 << true << mirror << u"link to a"_s << onto.arg(file(u"link to a"_s));
        QTest::newRow("sources inside the destination")
                << 2 << true << mirror << u"."_s
                << u"question (No)|Destination folder|2 queued file(s) lie inside the destination folder %1, so their "
                   "trimmed copies are written among the files there.\n\nTrim anyway?"_s.arg(file(u"."_s));
        QTest::newRow("no destination, none chosen")
                << 2 << true << mirror << QString() << u"existingDirectory|Choose the destination folder|"_s;
        QTest::newRow("in place, not confirmed")
                << 2 << true << OutputMode::InPlace << QString()
                << u"question (No)|Overwrite originals|2 file(s) will be rewritten in place."_s;
    }

    // One question or log line per refusal, and nothing runs; missing tools are told at start, in the log.
    void runRefusals()
    {
        QFETCH(int, queued);
        QFETCH(bool, toolsFound);
        QFETCH(OutputMode, mode);
        QFETCH(QString, destination);
        QFETCH(QString, asked);
        const auto restore = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
        if (!toolsFound)
            qputenv("PATH", QFile::encodeName(file(u"empty"_s)));
        Rig rig([&](Settings &s) {
            s.outputRoot = destination.isEmpty() ? QString() : file(destination);
            s.outputMode = mode;
            s.makeBackup = false;
        });
        QCOMPARE(rig.log().last().startsWith(u"ffmpeg/ffprobe not found"_s), !toolsFound);
        if (queued)
            rig.addFiles({ file(u"a/one.mp3"_s), file(u"a/two.wav"_s) });
        rig.button("trimButton")->click();
        QCOMPARE(rig.label(u"statusLabel"_s), u"Idle"_s);
        QCOMPARE(rig.prompts->asked.size(), queued ? 2 : 0); // the file picker, then one question at most
        QCOMPARE(rig.prompts->asked.value(1, rig.log().last()).left(asked.size()), asked);
    }

    void updateAnswers_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<bool>("byHand");    // clicked twice, else automatic
        QTest::addColumn<bool>("realBoxes"); // else scripted answers
        QTest::addColumn<QString>("line");   // the log's last line starts so
        QTest::addColumn<QString>("asked");  // the scripted questions, or the real box's format|text|narrow|connections
        QTest::newRow("failure, automatic") << HttpResponse::json("oops", 500) << false << false
                                            << u"Update check failed - The update server answered"_s << QString();
        // Rendered, this would load a huge image inside a link to a local file.
        const QString markup = u"0.9<a href='file:///etc/passwd'><img width=9999 height=9999></a>"_s;
        QTest::newRow("markup in the version")
                << HttpResponse::json(u"{\"latest_version\":\"%1\"}"_s.arg(markup).toUtf8()) << true << true
                << u"Up to date - "_s + markup
                << u"0|Kestrova %1 is the current release. You are up to date.|1|0"_s.arg(markup);
        QTest::newRow("endless reply") << HttpResponse::endless(QByteArray(64 * 1024, ' ')) << true << true
                                       << u"Update check failed - Update server sent a malformed reply."_s
                                       << u"0|Update server sent a malformed reply.|1|0"_s;
    }

    // Automatic checks never ask; a failed check is no check: the next start asks; a second click waits for the first.
    // The real boxes show server text literally, open no link, and come after the reply ended.
    void updateAnswers()
    {
        QFETCH(HttpResponse, response);
        QFETCH(bool, byHand);
        QFETCH(bool, realBoxes);
        QFETCH(QString, line);
        test::LocalHttpServer server;
        QVERIFY(server.listen());
        server.setResponse(u"/latest.json"_s, response);
        qputenv("KESTROVA_UPDATE_URL", server.url(u"/latest.json"_s).toEncoded());
        QDesktopServices::setUrlHandler(u"file"_s, this, "recordOpened");
        const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(u"file"_s); });
        Rig rig([&](Settings &s) { s.autoCheck = !byHand; });
        if (realBoxes)
            rig.window->setPrompts(std::make_unique<UserPrompts>()); // the scripted ones are gone
        // A box's label is clicked and read; it is closed once the server saw the connection closed.
        QStringList seen;
        QTimer poll;
        QDeadlineTimer closing;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            auto *label = box ? box->findChild<QLabel *>(u"qt_msgbox_label"_s) : nullptr;
            if (label && seen.isEmpty()) {
                QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
                seen << QString::number(box->textFormat()) << box->text()
                     << QString::number(box->sizeHint().width() < 1000);
                closing.setRemainingTime(Patience);
            }
            if (!label || (server.openConnections() > 0 && !closing.hasExpired()))
                return;
            poll.stop();
            seen << QString::number(server.openConnections());
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(10);
        for (int click = 0; click < 2 * byHand; ++click)
            rig.command(u"Check for Updates..."_s)->trigger();
        QTRY_VERIFY2_WITH_TIMEOUT(rig.log().last().startsWith(line), qPrintable(rig.log().last()), Patience);
        QTEST((realBoxes ? seen : rig.prompts->asked).join(u'|'), "asked");
        QCOMPARE(std::tuple(rig.log().contains(u"An update check is already running."_s),
                         QSettings().value(u"updates/lastCheck"_s).toDateTime().isValid(), m_opened.isEmpty()),
                std::tuple(byHand, !line.startsWith(u"Update check failed"_s), true)); // no link opened
    }

    void existingOutputs_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("statuses");
        QTest::addColumn<QString>("headShown"); // the edge preview's line for the first file
        QTest::newRow("replace") << Answer::Replace << u"Trimmed Trimmed"_s << u"SILENCE 0.15 S · CUT 0.85 S"_s;
        QTest::newRow("skip, unread") << Answer::Skip << u"Skipped Skipped"_s << u"NOT MEASURED"_s;
        QTest::newRow("cancel") << Answer::Cancel << u"Analysed Analysed"_s << u"SILENCE 1.00 S · CUT 0.85 S"_s;
    }

    // Copies in the destination bring one question, whose answer every file follows; one passed over unread shows as
    // not measured, though measured in an earlier run.
    void existingOutputs()
    {
        Rig rig([&](Settings &s) { s.outputRoot = file(u"out"_s); });
        for (const QString &name : { u"out/cut.wav"_s, u"out/cut two.wav"_s })
            QVERIFY(test::writeFile(file(name), name.toUtf8()));
        rig.addFiles({ file(u"in/cut.wav"_s), file(u"other/cut two.wav"_s) });
        QCOMPARE(rig.run(u"Analyse"_s), u"Analysed Analysed"_s);
        QFETCH(Answer, answer);
        rig.prompts->chosen << int(answer);
        QTEST(rig.run(u"Trim now"_s), "statuses");
        QCOMPARE(rig.prompts->asked.filter(u"choose|Existing files|"_s).size(), 1);
        QCOMPARE(QDir(file(u"out"_s)).entryList(QDir::Files, QDir::Name),
                QStringList({ u"cut two.wav"_s, u"cut.wav"_s }));
        rig.view()->selectQueueRow(0);
        QTEST(rig.headShown(), "headShown");
    }

    // Dropped files join relative to their own folders, so both land straight in the destination. An analysis writes
    // nothing and asks nothing; a new target re-plans at once, a new threshold measures again.
    void dropsAnalysedReplannedAndTrimmedIntoTheChosenDestination()
    {
        Rig rig;
        QVERIFY(rig.drop({ file(u"in/cut.wav"_s), file(u"other/cut two.wav"_s), file(u"in/silent.wav"_s),
                file(u"in/notes.txt"_s), file(u"folder"_s) }));
        rig.run({});
        QCOMPARE(rig.queue()->items().at(3).relPath, u"sub/y.ogg"_s);
        const QString analysed = rig.run(u"Analyse"_s);
        QCOMPARE(analysed + u'|' + rig.summary(),
                u"Analysed Analysed Skipped Failed|4 SCANNED · 2 WOULD CHANGE · 1 SKIPPED · 1 FAIL · 5.4 S TO CUT · 0.0 S TO ADD"_s);
        QVERIFY(rig.log().contains(u"cut.wav - measured head 1.00 s, tail 2.00 s; head -0.850 s, tail -1.850 s"_s));
        QVERIFY(rig.prompts->asked.isEmpty() && !QFileInfo::exists(file(u"out"_s)));
        rig.prompts->dialogs << accepting("leadTargetSpin", 500) << accepting("thresholdSpin", -40.0);
        for (const QString &result : { u"would adjust head -0.500 s, tail -1.850 s"_s, QString() }) {
            rig.command(u"Preferences..."_s)->trigger();
            QCOMPARE(rig.cell(0, QueueModel::ResultColumn), result);
        }
        QCOMPARE(rig.run({}), u"Pending Pending Skipped Failed"_s);
        rig.prompts->picked << QStringList{ file(u"out"_s) };
        const QString trimmed = rig.run(u"Trim now"_s);
        QCOMPARE(trimmed + u'|' + rig.summary(),
                u"Trimmed Trimmed Skipped Failed|4 SCANNED · 2 WRITTEN · 1 SKIPPED · 1 FAIL · 4.7 S CUT · 0.0 S ADDED"_s);
        QVERIFY(qAbs(test::decodedSeconds(file(u"out/cut two.wav"_s)) - 2.65) < 0.05); // a copied packet either side
    }

    // Stopped, or closed and stopped when asked, mid-rewrite in place: source intact, no temporary file, backup or
    // child once the window waited for its worker; a stopped row is back to Pending.
    void stoppedOrClosedRunLosesNothing_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::addColumn<QString>("seen"); // the row and result, and the last question asked
        QTest::newRow("stopped") << false << u"Pending cancelled|question (No)|Overwrite originals"_s;
        QTest::newRow("closed") << true << u"|question (No)|Quit"_s;
    }
    void stoppedOrClosedRunLosesNothing()
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
        rig.button("trimButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(rig.window->findChild<BlockMeter *>(u"fileMeter"_s)->value() > 50, Patience);
        const QString stopped = byClosing ? QString() : rig.run(u"Stop"_s) + u' ';
        const QString row = byClosing ? QString() : stopped + rig.cell(0, QueueModel::ResultColumn);
        QVERIFY(rig.window->close());
        QTEST(row + u'|' + rig.prompts->asked.last().section(u'|', 0, 1), "seen");
        rig.window.reset();
        QCOMPARE(std::tuple(QProcess::execute(u"pgrep"_s, { u"-f"_s, source }), test::temporaryFiles(m_dir.path()),
                         test::sha256(source), QFileInfo::exists(source + u".bak"_s)),
                std::tuple(1, QStringList(), before, false)); // pgrep found no ffmpeg
    }

    // The dialog gives back every field it was given, and refuses a tool path that is no runnable program, saying why.
    void preferencesKeepFieldsAndRefuseUnrunnableTools()
    {
        QCOMPARE(test::fields(PreferencesDialog(test::unusualSettings()).settings()),
                test::fields(test::unusualSettings()));
        PreferencesDialog chosen{ Settings() };
        chosen.findChild<QComboBox *>(u"reencodeQualityCombo"_s)->setCurrentIndex(2);
        QCOMPARE(chosen.settings().reencodeQuality, ReencodeQuality::Medium);
        QTemporaryFile plain; // without execute permission
        ScriptedPrompts prompts;
        QVERIFY(plain.open());
        for (const QString &path : { u"/bin/sh"_s, u"/nowhere/ffmpeg"_s, u"/tmp"_s, plain.fileName() }) {
            PreferencesDialog dialog{ Settings() };
            dialog.setPrompts(&prompts);
            dialog.findChild<QLineEdit *>(u"ffprobeEdit"_s)->setText(path);
            dialog.accept();
            prompts.asked << QString::number(dialog.result());
        }
        QCOMPARE(prompts.asked.join(u'\n'),
                u"1\nwarning|Preferences|/nowhere/ffmpeg does not exist.\n0\nwarning|Preferences|/tmp is a folder, not "
                "a program.\n0\nwarning|Preferences|%1 is not a program that can be run.\n0"_s.arg(plain.fileName()));
    }

    // Stop during a drop of two folders stops both scans, though the second had not begun. Scanned on its own, a
    // folder's count of files found stays out of the log, and its warning is said there once.
    void droppedFoldersStopTogetherAndWarnOnce()
    {
        const QString many = file(u"many"_s);
        for (int i = 0; i <= FolderScan::ReportEvery; ++i)
            QVERIFY(test::writeFile(u"%1/%2.mp3"_s.arg(many).arg(i), {}));
        const QByteArray latin1 = QFile::encodeName(many) + "/caf\xe9.mp3"; // "café.mp3"
        const int raw = ::open(latin1.constData(), O_WRONLY | O_CREAT, 0644);
        const auto removeLatin1 = qScopeGuard([&] { ::unlink(latin1.constData()); }); // its folder could not
        QVERIFY(raw >= 0 && ::close(raw) == 0);
        Rig rig;
        QSemaphore entered, held;
        QMetaObject::invokeMethod(
                rig.window->findChild<WorkerHost *>()->controller(), [&] { entered.release(), held.acquire(); },
                Qt::QueuedConnection);
        entered.acquire(); // the worker is busy until released
        QVERIFY(rig.drop({ many, file(u"folder"_s) }));
        rig.command(u"Stop"_s)->trigger();
        held.release();
        QCOMPARE(rig.run({}), QString());
        QCOMPARE(rig.log().filter(u"Scan "_s),
                QStringList({ u"Scan stopped - 0 file(s) found."_s, u"Scan stopped - 0 file(s) found."_s }));
        QVERIFY(rig.drop({ many }));
        rig.run({});
        QCOMPARE(rig.log().mid(rig.log().indexOf(u"Scanning %1"_s.arg(many), 3)),
                QStringList({ u"Scanning %1"_s.arg(many),
                        u"%1/caf\\xE9.mp3 - skipped: its name is not valid UTF-8"_s.arg(many),
                        u"Scan complete - %1 file(s) found."_s.arg(FolderScan::ReportEvery + 1) }));
    }

    void folderScanLeavesOutTheDestination_data()
    {
        QTest::addColumn<QString>("folder"); // dropped
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QStringList>("queued");
        QTest::addColumn<QString>("said"); // the log's last line
        QTest::newRow("destination inside the folder, a name beside it that begins alike")
                << u"music"_s << u"music/trimmed"_s << QStringList{ u"music/take.mp3"_s, u"music/trimmed-old/b.mp3"_s }
                << u"2 added; not added: 1 inside the destination folder %1."_s;
        QTest::newRow("folder inside the destination, none added")
                << u"a"_s << u"."_s << QStringList() << u"0 added; not added: 2 inside the destination folder %1."_s;
        // More than the window takes in at once: every slice goes in, and the count covers them all.
        QStringList library;
        for (const QString &name : { u"library/trimmed/1.mp3"_s, u"library/trimmed/2.mp3"_s })
            QVERIFY(test::writeFile(file(name), {}));
        for (int i = 0; i < 2345; ++i) {
            library << u"library/%1/%2.mp3"_s.arg(i / 500).arg(i, 4, 10, QLatin1Char('0'));
            QVERIFY(test::writeFile(file(library.last()), {}));
        }
        library.sort();
        QTest::newRow("a library of 2,345 files") << u"library"_s << u"library/trimmed"_s << library
                                                  << u"2345 added; not added: 2 inside the destination folder %1."_s;
    }

    // A folder scanned for a mirror run leaves out the copies in its destination, and says so.
    void folderScanLeavesOutTheDestination()
    {
        QFETCH(QString, destination);
        const QString root = file(destination);
        Rig rig([&](Settings &s) { s.outputRoot = root; });
        QFETCH(QString, folder);
        QVERIFY(rig.drop({ file(folder) }));
        rig.run({});
        QStringList inQueue;
        for (const QueueItem &item : rig.queue()->items())
            inQueue << QDir(m_dir.path()).relativeFilePath(item.path);
        inQueue.sort();
        QFETCH(QStringList, queued);
        QCOMPARE(inQueue.size(), queued.size()); // before a list too long to read
        QCOMPARE(inQueue, queued);
        QFETCH(QString, said);
        QCOMPARE(rig.log().last(), said.arg(root));
    }

    // An add says what it added and what was queued already. The queue and the last run's totals come back in the
    // next window, without the files that are gone; the report and the failed-only view show what is there.
    void queueSurvivesARestart()
    {
        const QString gone = file(u"a/gone.wav"_s), report = file(u"out/report.csv"_s);
        QVERIFY(QFile::copy(file(u"in/cut.wav"_s), gone) && QDir().mkpath(file(u"out"_s)));
        Rig rig([&](Settings &s) { s.outputRoot = file(u"out"_s); });
        rig.addFiles({ file(u"in/cut.wav"_s), file(u"in/garbage.mp3"_s) });
        rig.addFiles({ gone, file(u"in/cut.wav"_s) });
        QCOMPARE(rig.tail(2), QStringList({ u"Added 1 file(s)."_s, u"1 file(s) already queued."_s }));
        QCOMPARE(rig.run(u"Analyse"_s), u"Analysed Failed Analysed"_s);
        const QString totals = rig.log().last();
        rig.restart();
        QVERIFY(QFile::remove(gone));
        rig.restart();
        QCOMPARE(rig.run({}), u"Analysed Failed"_s);
        QCOMPARE(rig.tail(3),
                QStringList({ u"Restored 2 file(s) queued in the last session."_s,
                        u"Dropped 1 file(s) of the last session's queue that no longer exist."_s,
                        u"Last run: "_s + totals }));
        rig.command(u"Show failed only"_s)->trigger();
        QCOMPARE(rig.view()->model()->rowCount(), 1);
        rig.prompts->picked << QStringList{ report };
        rig.command(u"Export report (CSV)..."_s)->trigger();
        const QList<QByteArray> lines = test::contents(report).split('\n');
        QCOMPARE(lines.size(), 4); // the header, two rows and the end of the last line
    }

    // The smallest window fits 1366 x 768 less taskbar and title bar, status bar and run buttons shown; Tab leaves.
    void theSmallestWindow()
    {
        Rig rig;
        rig.window->show();
        QApplication::setActiveWindow(rig.window.get());
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        rig.addFiles({ file(u"in/cut.wav"_s), file(u"in/silent.wav"_s), file(u"tone.wav"_s) });
        const QSize smallest = rig.window->minimumSize().expandedTo(rig.window->minimumSizeHint());
        QVERIFY2(smallest.width() <= 1366 && smallest.height() <= 768 - 40 - 32,
                qPrintable(u"smallest size %1 x %2"_s.arg(smallest.width()).arg(smallest.height())));
        rig.window->resize(smallest);
        QTRY_COMPARE(rig.window->size(), smallest);
        for (QWidget *shown : QList<QWidget *>{ rig.window->statusBar(), rig.button("trimButton"), rig.view() }) {
            const QRect at(shown->mapTo(rig.window.get(), QPoint()), shown->size());
            QVERIFY2(shown->isVisible() && rig.window->rect().contains(at) && at.height() > 0,
                    shown->metaObject()->className());
        }
        rig.view()->setFocus();
        rig.view()->selectQueueRow(0);
        QTest::keyClick(rig.view(), Qt::Key_Tab);
        QVERIFY(!rig.view()->hasFocus());
        QCOMPARE(rig.view()->selectedQueueRows(), QList<int>({ 0 }));
    }

    // The time left counts the audio done inside files still running, so one long file does not read as nearly done.
    void timeLeft()
    {
        // Audio done, files done and waiting, seconds elapsed, the running file's seconds done and left.
        QCOMPARE(RunFeedback::timeLeft(180.0, 3, 6, 60.0, 0.0, 0.0), u"about 2 min left"_s);
        QCOMPARE(RunFeedback::timeLeft(30.0, 3, 0, 1210.0, 3600.0, 3600.0), u"about 20 min left"_s);
    }

    // Restore puts the original back byte for byte and with its date; its row then has the original's length and no
    // head or tail figures until measured again. Delete backups removes one an earlier session left.
    void restoreOriginalShowsItUnmeasured()
    {
        const QString source = file(u"a/cut.wav"_s), backup = source + u".bak"_s;
        QVERIFY(QFile::copy(file(u"in/cut.wav"_s), source)
                && test::dateBack(source)); // not being written, unlike a copy
        const QByteArray original = test::sha256(source);
        Rig rig([&](Settings &s) { s.outputMode = OutputMode::InPlace; });
        rig.addFiles({ source });
        rig.prompts->answers.fill(QMessageBox::Yes, 3); // whatever each run asks
        rig.view()->selectQueueRow(0);
        QCOMPARE(rig.run(u"Trim selected"_s), u"Trimmed"_s);
        QCOMPARE(test::sha256(backup), original);
        QCOMPARE(rig.headShown(), u"SILENCE 0.15 S · CUT 0.85 S"_s);
        QCOMPARE(rig.cell(0, QueueModel::LengthColumn), u"0:00:05"_s);
        const QDateTime backupTime = QFileInfo(backup).lastModified();
        QCOMPARE(rig.run(u"Restore original"_s), u"Pending"_s);
        QCOMPARE(std::pair(test::sha256(source), QFileInfo(source).lastModified()), std::pair(original, backupTime));
        QCOMPARE(QStringList({ rig.cell(0, QueueModel::LengthColumn), rig.cell(0, QueueModel::NewLengthColumn),
                         rig.cell(0, QueueModel::HeadColumn, Qt::ToolTipRole) }),
                QStringList({ u"0:00:05"_s, u"\u2013"_s, u"Head silence not measured"_s }));
        QCOMPARE(rig.headShown(), u"NOT MEASURED"_s);
        QFile::copy(source, backup);                          // as an earlier session left it
        Q_EMIT rig.command(u"Jobs"_s)->menu()->aboutToShow(); // which the menu finds as it opens
        QCOMPARE(rig.run(u"Delete backups"_s), u"Pending"_s);
        QVERIFY(!QFileInfo::exists(backup));
    }

    // The strips of an analysed file with known silences, then of the file its trim wrote; the tail's ffplay arguments.
    // A selection change kills the reads still going, a run holds them back, and no child outlives the window.
    void edgePreviewOfAnAnalysedFileAndOfItsTrim()
    {
        // 100 columns a second, 5 s strips of 500 columns: the head's, the tail's, the written file's head.
        const Drawn expected[]{ { 100, 499, u"shade 0-100, edge 85, sine -4..4, silence 0..0"_s },
            { 0, 299, u"shade 300-500, edge 315, sine -4..4, silence 0..0"_s },
            { 15, 499, u"shade 0-15, edge 0, sine -4..4, silence 0..0"_s } };
        Rig rig([&](Settings &s) {
            s.outputRoot = file(u"out"_s);
            s.trimMethod = TrimMethod::ReEncode; // to the sample
        });
        EdgePreview &preview = *rig.preview();
        rig.addFiles({ file(u"tone.wav"_s), file(u"in/cut.wav"_s), file(u"other/cut two.wav"_s) });
        rig.view()->selectQueueRow(0);
        for (const bool written : { false, true }) {
            rig.run(written ? u"Trim now"_s : u"Analyse"_s);
            const QList<EdgeStrip *> strips = preview.findChildren<EdgeStrip *>();
            QTRY_VERIFY_WITH_TIMEOUT(!preview.isReading() && strips.at(0)->hasPeaks() && strips.at(1)->hasPeaks()
                            && preview.findChild<QLabel *>()->text().startsWith(
                                    written ? u"TONE.WAV · WRITTEN"_s : u"TONE"_s),
                    Patience);
            for (int side = 0; side < 2 - int(written); ++side) {
                const Drawn found = Drawn::of(*strips.at(side), side == 0 ? 5 : 400);
                const Drawn &e = expected[written ? 2 : side];
                COMPARE_NEAR(found.soundFrom, e.soundFrom, 1); // within a column
                COMPARE_NEAR(found.soundTo, e.soundTo, 1);
                QCOMPARE(found.marks, e.marks);
            }
            const EdgePreview::Edges edges = *EdgePreview::edgesFor(rig.queue()->items().first(), -50.0);
            QCOMPARE(EdgePreview::playArguments(edges.path, edges.tail, EdgePreview::Tail).join(u' '),
                    u"-nodisp -autoexit -loglevel error -ss %1 -t 3.000 "_s.arg(written ? u"5.300"_s : u"6.150"_s)
                            + file(written ? u"out/tone.wav"_s : u"tone.wav"_s));
        }
        // The preview's reads never end now; the rows not shown yet have nothing cached.
        appSettings().ffmpegPath = test::writeFakeTool(m_dir.path(), u"ffmpeg"_s, "exec sleep 30");
        QList<qint64> before;
        for (const bool runGoing : { false, false, true }) {
            preview.setRunning(runGoing);
            rig.view()->selectQueueRow(before.isEmpty() || runGoing ? 1 : 2);
            QTRY_VERIFY_WITH_TIMEOUT(!anyAlive(before), Patience);
            QTRY_COMPARE_WITH_TIMEOUT(running(preview).size(), runGoing ? 0 : 2, Patience);
            before = running(preview);
        }
        // Nor does the settle timer's refresh start them.
        QVERIFY(rig.headShown() != u"never settled"_s && !preview.isReading() && running(preview).isEmpty());
        preview.setRunning(false);
        QTRY_COMPARE_WITH_TIMEOUT(running(preview).size(), 2, Patience);
        QPushButton *playHead = rig.button("playHeadButton");
        playHead->click();
        QTRY_COMPARE_WITH_TIMEOUT(running(preview).size(), 3, Patience); // and the player
        QVERIFY(playHead->isChecked());
        playHead->click(); // a second press stops it
        QTRY_COMPARE_WITH_TIMEOUT(running(preview).size(), 2, Patience);
        QVERIFY(!playHead->isChecked());
        // A player with no sound card ends at once and says so only on its error output.
        preview.setPlayer(test::writeFakeTool(
                m_dir.path(), u"deaf-ffplay"_s, "echo 'No more combinations to try, audio open failed' >&2"));
        playHead->click();
        QTRY_COMPARE_WITH_TIMEOUT(preview.findChild<QLabel *>()->text(),
                u"NOTHING WAS PLAYED - NO AUDIO DEVICE COULD BE OPENED."_s, Patience);
        QVERIFY(!playHead->isChecked());
        preview.setPlayer(ToolLocator::locatePlayer(QString()));
        playHead->click();
        QTRY_COMPARE_WITH_TIMEOUT(running(preview).size(), 3, Patience);
        const QList<qint64> all = running(preview);
        rig.window.reset();
        QVERIFY(!anyAlive(all));
    }
};

QTEST_MAIN(tst_Window)
#include "tst_window.moc"
