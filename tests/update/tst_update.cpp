#include "localhttpserver.h"
#include "updatechecker.h"
#include "updatedialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTextDocument>
#include <QtTest>

using namespace ks;
using namespace ks::test;
using namespace Qt::StringLiterals;

namespace {

const QString FeedPath = u"/api/latest.json"_s;
const QString Malformed = u"error: Update server sent a malformed reply."_s;
const QString TimedOut = u"error: Update check timed out."_s;
const QByteArray EveryField = R"({"latest_version":"2.0","download_url":"https://d.example/k.tar.xz",)"
                              R"("notes_url":"https://n.example/","notes":"Fixed <b>all</b>",)"
                              R"("release_date":"2026-03-01","critical":true,"extra":[1]})";

// One check, told as "ok", the flags set and the fields read, or "error: " and the error. Every outcome comes
// from the event loop, so that a caller connecting after check() hears of it; a second check meanwhile does nothing.
QString checkOnce(const QString &endpoint, int timeLimitMs = 60000)
{
    UpdateChecker checker;
    checker.setEndpoint(endpoint);
    checker.setTimeLimit(timeLimitMs);
    QSignalSpy spy(&checker, &UpdateChecker::finished);
    checker.check(true);
    if (!spy.isEmpty())
        return u"reported within check()"_s;
    if (checker.isBusy())
        checker.check(false);
    if (!spy.wait(timeLimitMs + 60000) || spy.count() != 1 || !spy.first().at(1).toBool() || checker.isBusy())
        return u"%1 reports, busy %2"_s.arg(spy.count()).arg(checker.isBusy());
    const auto r = spy.first().first().value<UpdateChecker::Result>();
    QStringList words{ r.ok ? u"ok"_s : u"error: "_s + r.error, r.nothingPublished ? u"nothing published"_s : QString(),
        r.updateAvailable ? u"newer"_s : QString(), r.critical ? u"critical"_s : QString(), r.latestVersion,
        r.downloadUrl, r.notesUrl, r.notes, r.releaseDate };
    words.removeAll(QString());
    return words.join(u' ');
}

// What a label shows, with any markup it interprets rendered away, and a note if it needs a second line.
QString shown(const QString &name, const UpdateDialog &dialog)
{
    const auto *label = dialog.findChild<QLabel *>(name);
    QTextDocument document;
    document.setHtml(label->text());
    const QSize hint = label->sizeHint();
    const bool fits = hint.width() <= label->width() && hint.height() < 2 * label->fontMetrics().lineSpacing();
    return (label->textFormat() == Qt::PlainText ? label->text() : document.toPlainText())
            + (fits ? QString() : u" (not on one line)"_s);
}

} // namespace

class tst_Update : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(u"Kestrova"_s);
        QCoreApplication::setApplicationVersion(u"1.4.2"_s);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void asksAndJudgesReplies_data()
    {
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<QString>("outcome");

        const auto json = [](const QByteArray &body) { return HttpResponse::json(body); };
        const auto deflate = [](const QByteArray &body) { // a zlib stream
            return HttpResponse(200, "Content-Encoding: deflate\r\n", qCompress(body).mid(4));
        };
        QTest::newRow("critical, every field")
                << json(EveryField)
                << u"ok newer critical 2.0 https://d.example/k.tar.xz https://n.example/ Fixed <b>all</b> 2026-03-01"_s;
        QTest::newRow("404") << HttpResponse::json("{}", 404) << u"ok nothing published"_s;
        QTest::newRow("not JSON") << json("<html>maintenance</html>") << Malformed;
        QTest::newRow("65 characters") << json("{\"latest_version\":\"9." + QByteArray(63, '0') + "\"}") << Malformed;
        QTest::newRow("not a version") << json(R"({"latest_version":"<b>new</b>"})") << Malformed;
        QTest::newRow("line separator") << json("{\"latest_version\":\"1.0\xe2\x80\xa8new\"}") << Malformed;
        QTest::newRow("500") << HttpResponse(500, {}, "oops")
                             << u"error: The update server answered with an error (HTTP 500)."_s;
        QTest::newRow("bad gzip") << HttpResponse(200, "Content-Encoding: gzip\r\n", "not gzip at all") << Malformed;
        QTest::newRow("deflate") << deflate(R"({"latest_version":"1.10"})") << u"ok newer 1.10"_s;
        // 32 MiB of spaces in a few kilobytes: the bound counts what it unpacks to.
        QTest::newRow("deflate bomb") << deflate(QByteArray(32 * 1024 * 1024, ' ')) << Malformed;
        QTest::newRow("never answers") << HttpResponse(0) << TimedOut;
        QTest::newRow("a byte at a time") << HttpResponse::endless(" ", 20) << TimedOut;
        QTest::newRow("endless header") << HttpResponse::endlessHeader(QByteArray(64 * 1024, 'x')) << TimedOut;

        QByteArray oneMiB = R"({"latest_version":"2.0"})";
        oneMiB.append(UpdateChecker::MaxReplyBytes - oneMiB.size(), ' ');
        QTest::newRow("1 MiB") << json(oneMiB) << u"ok newer 2.0"_s;
        // Held open, so only the checker's own bound can end these.
        QTest::newRow("past 1 MiB") << HttpResponse(200, {}, oneMiB + ' ', true) << Malformed;
        const QByteArray spaces(64 * 1024, ' ');
        QTest::newRow("claims 200 MB") << HttpResponse::endless(spaces, 0, "Content-Length: 200000000\r\n")
                                       << Malformed;
    }

    void asksAndJudgesReplies()
    {
        QFETCH(HttpResponse, response);
        QFETCH(QString, outcome);
        LocalHttpServer server;
        QVERIFY(server.listen());
        server.setResponse(FeedPath, response);
        // A reply that never completes meets a short limit; any other gets a generous one.
        QCOMPARE(checkOnce(server.url(FeedPath).toString(), outcome == TimedOut ? 300 : 60000), outcome);
        // Every check leaves its connection closed, however much it was offered.
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 60000);
        QCOMPARE_LT(server.bytesSent(), 4 * UpdateChecker::MaxReplyBytes);

        const QByteArray head = server.requests().value(0);
        QCOMPARE(server.requestCount(), 1);
        const QString arch = QSysInfo::currentCpuArchitecture();
        const QString line = u"GET %1?app=Kestrova&current=1.4.2&platform=linux&arch=%2 "_s.arg(FeedPath, arch);
        const QString agent = u"\r\nUser-Agent: Kestrova/1.4.2 (linux; %1)\r\n"_s.arg(arch);
        QVERIFY2(head.startsWith(line.toUtf8()) && head.contains(agent.toUtf8()), head.constData());
    }

    // Redirects stay on https and carry no cookie.
    void redirectsStayOnHttps()
    {
        if (QStandardPaths::findExecutable(u"openssl"_s).isEmpty())
            QSKIP("the openssl command makes the test certificate");
        LocalHttpServer plain, secure;
        QVERIFY(plain.listen());
        QVERIFY(secure.listenTls());
        const auto redirect = [](const QUrl &to) {
            return HttpResponse(301, "Set-Cookie: visitor=4711; Path=/\r\nLocation: " + to.toEncoded() + "\r\n");
        };
        secure.setResponse(u"/moved"_s, redirect(secure.url(FeedPath)));
        secure.setResponse(u"/down"_s, redirect(plain.url(FeedPath)));
        secure.setResponse(FeedPath, HttpResponse::json(R"({"latest_version":"3.0"})"));

        QCOMPARE(checkOnce(secure.url(u"/moved"_s).toString()), u"ok newer 3.0"_s);
        QCOMPARE(checkOnce(secure.url(u"/down"_s).toString()), u"error: Insecure redirect"_s);
        QCOMPARE(std::pair(plain.requestCount(), secure.requestCount()), std::pair(0, 3)); // plain: never asked
        QVERIFY2(!secure.requests().at(1).toLower().contains("\r\ncookie:"), secure.requests().at(1).constData());
    }

    // A closed port is an error of its own; an address no check may use is refused by name.
    void refusesOrFailsToReach()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QString refused = u"http://127.0.0.1:%1/api/latest.json"_s.arg(closed.serverPort());
        closed.close();
        QCOMPARE(checkOnce(refused), u"error: Connection refused"_s);
        for (const QString &endpoint : { u"file:///etc/passwd"_s, u"https:///api/latest.json"_s,
                     u"ftp://updates.example/latest.json"_s, u"::"_s })
            QCOMPARE(checkOnce(endpoint), u"error: Update endpoint is not a valid URL: "_s + endpoint);
    }

    void comparesVersions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");

        QTest::newRow("1.10 > 1.9") << u"1.10"_s << u"1.9"_s << 1;
        QTest::newRow("1.2.1 > 1.2") << u"1.2.1"_s << u"1.2"_s << 1;
        QTest::newRow("1.2.0.1 > 1.2") << u"1.2.0.1"_s << u"1.2"_s << 1;
        QTest::newRow("v, padding and rc dropped") << u"v1.0-rc1"_s << u"1.0.0"_s << 0;
        QTest::newRow("20 digits") << u"99999999999999999999.1"_s << u"99999999999999999998.2"_s << 1;
        QTest::newRow("Arabic-Indic digits") << u"\u0661.\u0661\u0660"_s << u"1.9"_s << 1;
        QTest::newRow("superscript is no digit") << u"\u00B2.0"_s << u"0"_s << 0;
    }

    void comparesVersions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        QCOMPARE(UpdateChecker::compareVersions(a, b), expected);
        QCOMPARE(UpdateChecker::compareVersions(b, a), -expected);
    }

    // Everything from the server is shown as plain text and bounded, the date in English whatever the locale.
    void dialogShowsTheReleaseBounded()
    {
        UpdateChecker::Result result;
        result.ok = result.updateAvailable = result.critical = true;
        result.downloadUrl = result.notesUrl = u"https://downloads.example.org/"_s + QString(5000, u'p');
        result.latestVersion = u"<i>"_s + QString(300, u'W');
        result.releaseDate = u"2026-03-01"_s;
        result.notes = u"<h1>Big</h1> & <a href='file:///'>"_s + QString(1000000, u'a'); // one word
        UpdateDialog dialog(result);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCoreApplication::processEvents();

        const QString heading = shown(u"headingLabel"_s, dialog);
        QCOMPARE(heading.left(13) + heading.right(15), u"Kestrova <i>W\u2026 is available."_s);
        QCOMPARE(shown(u"infoLabel"_s, dialog), u"You are running 1.4.2. Released 1 March 2026."_s);
        QCOMPARE(shown(u"destinationLabel"_s, dialog), u"Download opens a page on downloads.example.org."_s);
        QCOMPARE(dialog.findChild<QPlainTextEdit *>(u"notesView"_s)->toPlainText(),
                result.notes.left(UpdateDialog::MaxNotesLength) + u"..."_s);
        QVERIFY(!dialog.findChild<QLabel *>(u"criticalLabel"_s)->isHidden());
        QVERIFY(dialog.findChild<QPushButton *>(u"skipButton"_s)->isHidden());
        QVERIFY(dialog.width() < 600);
    }

    void dialogButtonsDecide_data()
    {
        QTest::addColumn<QByteArray>("button"); // empty: the Escape key
        QTest::addColumn<QString>("address");   // to download and of the notes
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("events");

        const QString https = u"https://example.org/2.1"_s;
        QTest::newRow("download") << "downloadButton"_ba << https << 2 << u"opened %1; closed 1"_s.arg(https);
        QTest::newRow("download refuses a file")
                << "downloadButton"_ba << u"file:///usr/bin/xterm"_s << 2
                << u"Not opening file:///usr/bin/xterm - only http and https addresses are opened.; closed 1"_s;
        QTest::newRow("no notes address") << "notesButton"_ba << QString() << 0 << QString();
        QTest::newRow("release notes stay open")
                << "notesButton"_ba << u"http://example.org/"_s << 0 << u"opened http://example.org/"_s;
        QTest::newRow("desktop cannot open")
                << "notesButton"_ba << u"https://broken.example/"_s << 0
                << u"opened https://broken.example/; Could not open https://broken.example/."_s;
        QTest::newRow("skip") << "skipButton"_ba << https << 1 << u"closed 1"_s;
        QTest::newRow("escape") << QByteArray() << https << 0 << u"closed 0"_s;
    }

    void dialogButtonsDecide()
    {
        QFETCH(QByteArray, button);
        QFETCH(QString, address);
        UpdateChecker::Result result;
        result.ok = result.updateAvailable = true;
        result.latestVersion = u"2.1.0"_s;
        result.downloadUrl = result.notesUrl = address;
        UpdateDialog dialog(result);
        QStringList seen;
        dialog.setUrlOpener([&](const QUrl &url) {
            seen << u"opened "_s + url.toString();
            return url.host() != u"broken.example"_s;
        });
        connect(&dialog, &UpdateDialog::linkNotOpened, this, [&](const QString &notice) { seen << notice; });
        connect(&dialog, &QDialog::finished, this, [&](int result) { seen << u"closed %1"_s.arg(result); });
        button.isEmpty() ? QTest::keyClick(&dialog, Qt::Key_Escape)
                         : dialog.findChild<QPushButton *>(QLatin1String(button))->click();
        QTEST(seen.join(u"; "_s), "events");
        QTEST(int(dialog.choice()), "choice");
    }
};

QTEST_MAIN(tst_Update)
#include "tst_update.moc"
