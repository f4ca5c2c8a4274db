#include "localhttpserver.h"
#include "recordtypes.h"
#include "settingsstore.h"
#include "updatedialog.h"
#include "windowrig.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// When the window asks for updates and what it tells the user about each
// answer, against a release feed on 127.0.0.1.
class tst_UpdateFlow : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // Stands in for the desktop's handler of the addresses a test watches.
    void recordOpened(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void automaticCheckOnlyWhenDue_data();
    void automaticCheckOnlyWhenDue();
    void answers_data();
    void answers();
    void skippedVersionStaysQuietUntilAskedByHand();
    void askingTwiceSendsOneRequest();
    void refusedLinkIsLogged();
    void serverTextStaysText();
    void endlessReplyEndsBeforeTheBox();

private:
    void checkByHand(WindowRig &rig);
    void checkWithRealBox(WindowRig &rig, int openMs, const std::function<void(QMessageBox &)> &inspect);
    static QByteArray release(const QString &version, bool critical = false, const QString &download = {});

    std::unique_ptr<test::LocalHttpServer> m_server;
    QByteArray m_savedEndpoint;
    QList<QUrl> m_opened;
};

void tst_UpdateFlow::initTestCase()
{
    registerRecordTypes();
    m_savedEndpoint = qgetenv("KESTROVA_UPDATE_URL");
}

void tst_UpdateFlow::init()
{
    m_server = std::make_unique<test::LocalHttpServer>();
    QVERIFY(m_server->listen());
    qputenv("KESTROVA_UPDATE_URL", m_server->url(u"/api/latest.json"_s).toString().toUtf8());
}

void tst_UpdateFlow::cleanup()
{
    qputenv("KESTROVA_UPDATE_URL", m_savedEndpoint);
}

QByteArray tst_UpdateFlow::release(const QString &version, bool critical, const QString &download)
{
    return u"{\"latest_version\":\"%1\",\"critical\":%2,\"download_url\":\"%3\",\"notes\":\"Fixes.\"}"_s
            .arg(version, critical ? u"true"_s : u"false"_s, download)
            .toUtf8();
}

void tst_UpdateFlow::checkByHand(WindowRig &rig)
{
    rig.command(u"Check for Updates..."_s)->trigger();
}

// A check by hand answered with the program's own message boxes; the box it
// shows is handed to `inspect` once it has been open for about `openMs`, then
// closed.
void tst_UpdateFlow::checkWithRealBox(WindowRig &rig, int openMs, const std::function<void(QMessageBox &)> &inspect)
{
    rig.window->setPrompts(std::make_unique<UserPrompts>());
    rig.prompts = nullptr;
    bool inspected = false;
    QTimer poll;
    poll.setInterval(openMs);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        inspected = true;
        inspect(*box);
        box->button(QMessageBox::Ok)->click();
    });
    poll.start();
    checkByHand(rig);
    QTRY_VERIFY_WITH_TIMEOUT(inspected, 5000);
}

void tst_UpdateFlow::automaticCheckOnlyWhenDue_data()
{
    QTest::addColumn<int>("hoursAgo");
    QTest::addColumn<bool>("autoCheck");
    QTest::addColumn<bool>("asks");
    QTest::newRow("19 hours ago") << 19 << true << false;
    QTest::newRow("21 hours ago") << 21 << true << true;
    QTest::newRow("in the future") << -3 << true << false;
    QTest::newRow("never") << 100000 << true << true;
    QTest::newRow("switched off") << 100000 << false << false;
}

void tst_UpdateFlow::automaticCheckOnlyWhenDue()
{
    QFETCH(int, hoursAgo);
    QFETCH(bool, autoCheck);
    QFETCH(bool, asks);
    m_server->setResponse(u"/api/latest.json"_s, test::HttpResponse::json(release(u"1.0.0"_s)));
    WindowRig rig([&](Settings &s) {
        s.autoCheck = autoCheck;
        if (hoursAgo != 100000)
            s.lastCheck = QDateTime::currentDateTime().addSecs(-qint64(hoursAgo) * 3600);
    });
    QTest::qWait(1300);
    QCOMPARE(m_server->requestCount(), 0); // never before 1.5 s
    if (asks) {
        QTRY_COMPARE(m_server->requestCount(), 1);
        QTRY_COMPARE(rig.lastLog().text, u"Up to date - 1.0.0 is the current release."_s);
        QVERIFY(rig.logTexts().contains(u"Checking for updates..."_s));
        QVERIFY(qAbs(appSettings().lastCheck.secsTo(QDateTime::currentDateTime())) < 60);
        QVERIFY(QSettings().value(u"updates/lastCheck"_s).toDateTime().isValid());
    } else {
        QTest::qWait(500);
        QCOMPARE(m_server->requestCount(), 0);
        QVERIFY(!rig.logTexts().contains(u"Checking for updates..."_s));
    }
    QVERIFY(rig.prompts->asked.isEmpty()); // an automatic answer never asks
}

void tst_UpdateFlow::answers_data()
{
    QTest::addColumn<int>("status"); // -1: nothing listens
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("byHand");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("asked"); // method|title|text, or empty
    const QString title = u"Check for Updates"_s;
    const QString http500 = u"The update server answered with an error (HTTP 500)."_s;
    QTest::newRow("failure, automatic") << 500 << QByteArray("oops") << false
                                        << u"Update check failed - "_s + http500 << 2 << QString();
    QTest::newRow("failure, by hand") << 500 << QByteArray("oops") << true << u"Update check failed - "_s + http500
                                      << 2 << u"warning|%1|%2"_s.arg(title, http500);
    QTest::newRow("unreachable, by hand")
            << -1 << QByteArray() << true << u"Update check failed - Connection refused"_s << 2
            << u"warning|%1|Could not reach the update server.\n\nConnection refused"_s.arg(title);
    QTest::newRow("malformed, by hand") << 200 << QByteArray(R"({"latest_version":"soon"})") << true
                                        << u"Update check failed - Update server sent a malformed reply."_s << 2
                                        << u"warning|%1|Update server sent a malformed reply."_s.arg(title);
    QTest::newRow("nothing published, by hand")
            << 404 << QByteArray() << true << u"No update information published."_s << 0
            << u"information|%1|The update server has nothing published for this platform at the moment."_s.arg(title);
    QTest::newRow("up to date, by hand")
            << 200 << release(u"1.0.0"_s) << true << u"Up to date - 1.0.0 is the current release."_s << 1
            << u"information|%1|Kestrova 1.0.0 is the current release. You are up to date."_s.arg(title);
    QTest::newRow("newer, by hand") << 200 << release(u"1.2.0"_s) << true << u"Version 1.2.0 is available."_s << 1
                                    << u"exec|Update available|"_s;
    QTest::newRow("critical, automatic")
            << 200 << release(u"1.2.1"_s, true) << false << u"Version 1.2.1 is available and marked critical."_s << 2
            << u"exec|Important update|"_s;
}

void tst_UpdateFlow::answers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, byHand);
    QFETCH(QString, line);
    QFETCH(int, level);
    QFETCH(QString, asked);
    if (status < 0)
        qputenv("KESTROVA_UPDATE_URL", "http://127.0.0.1:9/api/latest.json"); // the discard port
    else if (status != 404)
        m_server->setResponse(u"/api/latest.json"_s, test::HttpResponse::json(body, status));
    WindowRig rig([&](Settings &s) { s.autoCheck = !byHand; });
    if (byHand)
        checkByHand(rig);
    if (status >= 0)
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requestCount(), 1, 5000);
    QTRY_VERIFY(rig.lastLog().text.startsWith(line));
    QCOMPARE(rig.lastLog().level, level);
    if (asked.isEmpty()) {
        QVERIFY(rig.prompts->asked.isEmpty());
    } else {
        QCOMPARE(rig.prompts->asked.size(), 1);
        const ScriptedPrompts::Asked &question = rig.prompts->asked.first();
        QVERIFY2((question.method + u'|' + question.caption + u'|' + question.text).startsWith(asked),
                 qPrintable(question.method + u'|' + question.caption + u'|' + question.text));
    }
    // A failed check is no check: the next start asks again.
    const bool failed = line.startsWith(u"Update check failed"_s);
    QCOMPARE(appSettings().lastCheck.isValid(), !failed);
    QCOMPARE(QSettings().value(u"updates/lastCheck"_s).toDateTime().isValid(), !failed);
}

void tst_UpdateFlow::skippedVersionStaysQuietUntilAskedByHand()
{
    m_server->setResponse(u"/api/latest.json"_s, test::HttpResponse::json(release(u"1.2.0"_s)));
    QString stored;
    {
        WindowRig rig;
        rig.prompts->dialogs << [](QDialog &dialog) {
            dialog.findChild<QPushButton *>(u"skipButton"_s)->click();
            return dialog.result();
        };
        checkByHand(rig);
        QTRY_COMPARE(rig.lastLog().text, u"Version 1.2.0 will not be offered again."_s);
        QCOMPARE(appSettings().skippedVersion, u"1.2.0"_s);
        stored = QSettings().value(u"updates/skipped"_s).toString();
        QCOMPARE(stored, u"1.2.0"_s);
    }
    {
        // The next start finds the same version: a line in the log, nothing more.
        WindowRig rig([&](Settings &s) {
            s.skippedVersion = stored;
            s.autoCheck = true;
        });
        QTRY_COMPARE_WITH_TIMEOUT(rig.lastLog().text, u"Version 1.2.0 is available."_s, 5000);
        QTest::qWait(100);
        QVERIFY(rig.prompts->asked.isEmpty());

        // By hand it is offered all the same.
        checkByHand(rig);
        QTRY_COMPARE(rig.prompts->asked.size(), 1);
        QCOMPARE(rig.prompts->asked.first().caption, u"Update available"_s);
    }
}

void tst_UpdateFlow::askingTwiceSendsOneRequest()
{
    m_server->setResponse(u"/api/latest.json"_s, test::HttpResponse::json(release(u"1.0.0"_s)));
    WindowRig rig;
    checkByHand(rig);
    checkByHand(rig);
    QTRY_COMPARE(rig.lastLog().text, u"Up to date - 1.0.0 is the current release."_s);
    QTest::qWait(200);
    QCOMPARE(m_server->requestCount(), 1);
    QCOMPARE(rig.logTexts().count(u"Checking for updates..."_s), 1);
    QCOMPARE(rig.logTexts().count(u"An update check is already running."_s), 1);
    QCOMPARE(rig.prompts->asked.size(), 1);
}

void tst_UpdateFlow::refusedLinkIsLogged()
{
    m_server->setResponse(u"/api/latest.json"_s,
                          test::HttpResponse::json(release(u"2.0.0"_s, false, u"file:///etc/passwd"_s)));
    WindowRig rig;
    rig.prompts->dialogs << [](QDialog &dialog) {
        dialog.findChild<QPushButton *>(u"downloadButton"_s)->click();
        return dialog.result();
    };
    checkByHand(rig);
    QTRY_COMPARE(rig.prompts->asked.size(), 1);
    const WindowRig::Line refused = rig.lastLog();
    QVERIFY2(refused.text.contains(u"file:///etc/passwd"_s), qPrintable(refused.text));
    QCOMPARE(refused.level, 2);
}

void tst_UpdateFlow::serverTextStaysText()
{
    // Rendered, this would load an image far larger than the screen and turn
    // it into a link to a local file.
    const QString version = u"0.9<a href='file:///etc/passwd'><img width=9999 height=9999></a>"_s;
    m_server->setResponse(u"/api/latest.json"_s, test::HttpResponse::json(release(version)));
    m_opened.clear();
    QDesktopServices::setUrlHandler(u"file"_s, this, "recordOpened");
    WindowRig rig;
    checkWithRealBox(rig, 50, [&](QMessageBox &box) {
        QCOMPARE(box.textFormat(), Qt::PlainText);
        QCOMPARE(box.text(), u"Kestrova %1 is the current release. You are up to date."_s.arg(version));
        QVERIFY(box.sizeHint().width() < 1000);
        auto *label = box.findChild<QLabel *>(u"qt_msgbox_label"_s);
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
    });
    QDesktopServices::unsetUrlHandler(u"file"_s);
    QCOMPARE(m_opened, QList<QUrl>());
}

void tst_UpdateFlow::endlessReplyEndsBeforeTheBox()
{
    m_server->setResponse(u"/api/latest.json"_s, test::HttpResponse::endless(QByteArray(64 * 1024, ' ')));
    WindowRig rig;
    // While the error box is open the event loop runs on: nothing may still
    // be arriving then.
    qint64 sent = -1;
    int open = -1;
    checkWithRealBox(rig, 500, [&](QMessageBox &box) {
        QCOMPARE(box.text(), u"Update server sent a malformed reply."_s);
        sent = m_server->bytesSent();
        open = m_server->openConnections();
    });
    QCOMPARE(open, 0);
    QVERIFY2(sent < 4 * UpdateChecker::MaxReplyBytes, qPrintable(QString::number(sent)));
}

QTEST_MAIN(tst_UpdateFlow)
#include "tst_updateflow.moc"
