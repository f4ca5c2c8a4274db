#include "localhttpserver.h"
#include "testcertificate.h"
#include "updatechecker.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTcpServer>
#include <QtTest>

using namespace ks;
using namespace ks::test;
using namespace Qt::StringLiterals;

namespace {

const QString FeedPath = u"/api/latest.json"_s;
const QByteArray MalformedReply = "Update server sent a malformed reply.";
constexpr int Wait = 5000;

UpdateChecker::Result resultOf(const QSignalSpy &spy)
{
    return spy.first().first().value<UpdateChecker::Result>();
}

} // namespace

class tst_UpdateChecker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sendsQueryItemsInOrderAndUserAgent();
    void judgesReplies_data();
    void judgesReplies();
    void readsEveryReplyField();
    void badEndpointFailsAtOnce_data();
    void badEndpointFailsAtOnce();
    void endpointComesFromEnvironmentOrBuild();
    void refusedConnectionIsAnError();
    void silentServerEndsAtTimeLimit();
    void secondCheckWhileBusyIsIgnored();
    void destroyedWhileBusyStaysQuiet();
    void followsRedirectOnSameServer();
    void tlsRedirects_data();
    void tlsRedirects();
    void comparesVersions_data();
    void comparesVersions();
    void resultIsRegisteredByName();
};

void tst_UpdateChecker::initTestCase()
{
    QCoreApplication::setApplicationName(u"Kestrova"_s);
    QCoreApplication::setApplicationVersion(u"1.4.2"_s);
}

void tst_UpdateChecker::sendsQueryItemsInOrderAndUserAgent()
{
    LocalHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(FeedPath, HttpResponse::json(R"({"latest_version":"1.4.2"})"));
    UpdateChecker checker;
    checker.setEndpoint(server.url(FeedPath).toString());
    QSignalSpy spy(&checker, &UpdateChecker::finished);
    checker.check(false);
    QVERIFY(spy.wait(Wait));

    QCOMPARE(server.requestCount(), 1);
    const HttpRequest request = server.requests().first();
    QCOMPARE(request.method, "GET");
    QCOMPARE(request.path, FeedPath);
#if defined(Q_OS_WIN)
    const QString platform = u"windows"_s;
#elif defined(Q_OS_MACOS)
    const QString platform = u"macos"_s;
#else
    const QString platform = u"linux"_s;
#endif
    const QList<QPair<QString, QString>> items{
        { u"app"_s, u"Kestrova"_s },
        { u"current"_s, u"1.4.2"_s },
        { u"platform"_s, platform },
        { u"arch"_s, QSysInfo::currentCpuArchitecture() },
    };
    QCOMPARE(request.query.queryItems(QUrl::FullyDecoded), items);
    QCOMPARE(QString::fromUtf8(request.header("User-Agent")),
             u"Kestrova/1.4.2 (%1; %2)"_s.arg(QSysInfo::prettyProductName(),
                                               QSysInfo::currentCpuArchitecture()));
}

void tst_UpdateChecker::judgesReplies_data()
{
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("nothingPublished");
    QTest::addColumn<bool>("updateAvailable");
    QTest::addColumn<bool>("critical");
    QTest::addColumn<QString>("error"); // a part of it, for the network layer's texts

    const auto json = [](const QByteArray &body) { return HttpResponse::json(body); };
    const QString malformed = QString::fromLatin1(MalformedReply);
    QTest::newRow("newer")
        << json(R"({"latest_version":"1.10"})") << true << false << true << false << QString();
    QTest::newRow("equal")
        << json(R"({"latest_version":"1.4.2.0"})") << true << false << false << false << QString();
    QTest::newRow("older")
        << json(R"({"latest_version":"1.4.1"})") << true << false << false << false << QString();
    QTest::newRow("critical")
        << json(R"({"latest_version":"1.5","critical":true})") << true << false << true << true
        << QString();
    QTest::newRow("critical only as a JSON boolean")
        << json(R"({"latest_version":"1.5","critical":"true"})") << true << false << true << false
        << QString();
    QTest::newRow("404 is nothing published")
        << HttpResponse::json("{}", 404) << true << true << false << false << QString();
    QTest::newRow("empty version")
        << json(R"({"latest_version":""})") << true << true << false << false << QString();
    QTest::newRow("no version")
        << json(R"({"notes":"x"})") << true << true << false << false << QString();
    QTest::newRow("not JSON")
        << json("<html>maintenance</html>") << false << false << false << false << malformed;
    QTest::newRow("JSON array")
        << json(R"([{"latest_version":"9.0"}])") << false << false << false << false << malformed;
    QTest::newRow("server error")
        << HttpResponse::json(R"({"latest_version":"9.0"})", 500) << false << false << false << false
        << u"Internal Server Error"_s;

    // The reply may be 1 MiB and no more. Past that, the check gives up even
    // if the server keeps the connection open, so only the bound can end these.
    QByteArray exactlyOneMiB = R"({"latest_version":"2.0"})";
    exactlyOneMiB.append(UpdateChecker::MaxReplyBytes - exactlyOneMiB.size(), ' ');
    QTest::newRow("1 MiB") << json(exactlyOneMiB) << true << false << true << false << QString();

    HttpResponse overLimit;
    overLimit.body = QByteArray(UpdateChecker::MaxReplyBytes + 1, ' ');
    overLimit.end = HttpResponse::End::HoldOpen;
    QTest::newRow("past 1 MiB") << overLimit << false << false << false << false << malformed;

    HttpResponse announcedOverLimit;
    announcedOverLimit.headers = { { "Content-Length", QByteArray::number(64 * 1024 * 1024) } };
    announcedOverLimit.body = R"({"latest_version":)";
    announcedOverLimit.end = HttpResponse::End::HoldOpen;
    QTest::newRow("announces 64 MiB")
        << announcedOverLimit << false << false << false << false << malformed;
}

void tst_UpdateChecker::judgesReplies()
{
    QFETCH(HttpResponse, response);
    QFETCH(bool, ok);
    QFETCH(bool, nothingPublished);
    QFETCH(bool, updateAvailable);
    QFETCH(bool, critical);
    QFETCH(QString, error);

    LocalHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(FeedPath, response);
    UpdateChecker checker;
    checker.setEndpoint(server.url(FeedPath).toString());
    QSignalSpy spy(&checker, &UpdateChecker::finished);
    checker.check(true);
    QVERIFY(checker.isBusy());
    QVERIFY(spy.wait(Wait));

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(1).toBool(), true);
    QVERIFY(!checker.isBusy());
    const UpdateChecker::Result result = resultOf(spy);
    QCOMPARE(result.ok, ok);
    QCOMPARE(result.nothingPublished, nothingPublished);
    QCOMPARE(result.updateAvailable, updateAvailable);
    QCOMPARE(result.critical, critical);
    QVERIFY2(result.error.contains(error), qPrintable(result.error));
    QCOMPARE(result.error.isEmpty(), ok);
}

void tst_UpdateChecker::readsEveryReplyField()
{
    LocalHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(FeedPath, HttpResponse::json(R"({
        "latest_version": "2.0.1",
        "download_url": "https://dl.example.org/k-2.0.1.tar.xz",
        "notes_url": "https://example.org/notes/2.0.1",
        "notes": "Faster scans.\nFixed <b>everything</b>.",
        "release_date": "2026-03-01",
        "critical": true,
        "extra": [1, 2, 3]
    })"));
    UpdateChecker checker;
    checker.setEndpoint(server.url(FeedPath).toString());
    QSignalSpy spy(&checker, &UpdateChecker::finished);
    checker.check(false);
    QVERIFY(spy.wait(Wait));

    const UpdateChecker::Result result = resultOf(spy);
    QVERIFY(result.ok);
    QVERIFY(result.updateAvailable);
    QVERIFY(result.critical);
    QCOMPARE(result.latestVersion, u"2.0.1"_s);
    QCOMPARE(result.downloadUrl, u"https://dl.example.org/k-2.0.1.tar.xz"_s);
    QCOMPARE(result.notesUrl, u"https://example.org/notes/2.0.1"_s);
    QCOMPARE(result.notes, u"Faster scans.\nFixed <b>everything</b>."_s);
    QCOMPARE(result.releaseDate, u"2026-03-01"_s);
}

void tst_UpdateChecker::badEndpointFailsAtOnce_data()
{
    QTest::addColumn<QString>("endpoint");
    QTest::newRow("empty") << QString();
    QTest::newRow("no scheme") << u"www.example.org/api/latest.json"_s;
    QTest::newRow("not a URL") << u"http://exa mple.org/"_s;
    QTest::newRow("local file") << u"file:///etc/passwd"_s;
}

void tst_UpdateChecker::badEndpointFailsAtOnce()
{
    QFETCH(QString, endpoint);
    UpdateChecker checker;
    checker.setEndpoint(endpoint);
    QSignalSpy spy(&checker, &UpdateChecker::finished);
    checker.check(true);

    QCOMPARE(spy.count(), 1);
    QVERIFY(!checker.isBusy());
    const UpdateChecker::Result result = resultOf(spy);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, u"Update endpoint is not a valid URL: %1"_s.arg(endpoint));
}

void tst_UpdateChecker::endpointComesFromEnvironmentOrBuild()
{
    const QByteArray saved = qgetenv("KESTROVA_UPDATE_URL");
    const auto restore = qScopeGuard([&] { qputenv("KESTROVA_UPDATE_URL", saved); });
    qputenv("KESTROVA_UPDATE_URL", "http://127.0.0.1:1/feed.json");
    QCOMPARE(UpdateChecker().endpoint(), u"http://127.0.0.1:1/feed.json"_s);

    qputenv("KESTROVA_UPDATE_URL", "");
    const QUrl builtIn(UpdateChecker::defaultEndpoint());
    QCOMPARE(builtIn.scheme(), u"https"_s);
    QVERIFY(!builtIn.host().isEmpty());
    QCOMPARE(builtIn.path(), FeedPath);
}

void tst_UpdateChecker::refusedConnectionIsAnError()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();

    UpdateChecker checker;
    checker.setEndpoint(u"http://127.0.0.1:%1/api/latest.json"_s.arg(port));
    QSignalSpy spy(&checker, &UpdateChecker::finished);
    checker.check(false);
    QVERIFY(spy.wait(Wait));
    const UpdateChecker::Result result = resultOf(spy);
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(u"refused"_s, Qt::CaseInsensitive), qPrintable(result.error));
}

void tst_UpdateChecker::silentServerEndsAtTimeLimit()
{
    QCOMPARE(UpdateChecker().transferTimeout(), 15000);

    LocalHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(FeedPath, HttpResponse::neverAnswer());
    UpdateChecker checker;
    checker.setEndpoint(server.url(FeedPath).toString());
    checker.setTransferTimeout(150);
    QSignalSpy spy(&checker, &UpdateChecker::finished);
    checker.check(false);
    QVERIFY(spy.wait(Wait));

    QCOMPARE(server.requestCount(), 1);
    const UpdateChecker::Result result = resultOf(spy);
    QVERIFY(!result.ok);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(!checker.isBusy());
}

void tst_UpdateChecker::secondCheckWhileBusyIsIgnored()
{
    LocalHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(FeedPath, HttpResponse::json(R"({"latest_version":"2.0"})"));
    UpdateChecker checker;
    checker.setEndpoint(server.url(FeedPath).toString());
    QSignalSpy spy(&checker, &UpdateChecker::finished);
    // The owner may check again from its slot, so the checker is idle by then.
    bool busyWhenReported = true;
    connect(&checker, &UpdateChecker::finished, this,
            [&] { busyWhenReported = checker.isBusy(); });

    checker.check(true);
    checker.check(false);
    QVERIFY(spy.wait(Wait));

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(1).toBool(), true);
    QVERIFY(!busyWhenReported);
    // A second request would still be under way.
    QVERIFY(!checker.isBusy());
    QCOMPARE(server.requestCount(), 1);
}

void tst_UpdateChecker::destroyedWhileBusyStaysQuiet()
{
    LocalHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(FeedPath, HttpResponse::neverAnswer());
    QSignalSpy received(&server, &LocalHttpServer::requestReceived);
    auto *checker = new UpdateChecker;
    checker->setEndpoint(server.url(FeedPath).toString());
    int reports = 0;
    connect(checker, &UpdateChecker::finished, this, [&] { ++reports; });
    checker->check(false);
    QVERIFY(received.wait(Wait));

    delete checker;
    QCoreApplication::processEvents();
    QCOMPARE(reports, 0);
}

void tst_UpdateChecker::followsRedirectOnSameServer()
{
    LocalHttpServer server;
    QVERIFY(server.listen());
    HttpResponse moved = HttpResponse::redirect(u"/feeds/current.json"_s, 301);
    moved.body = "<html>moved</html>";
    server.setResponse(FeedPath, moved);
    server.setResponse(u"/feeds/current.json"_s, HttpResponse::json(R"({"latest_version":"3.0"})"));
    UpdateChecker checker;
    checker.setEndpoint(server.url(FeedPath).toString());
    QSignalSpy spy(&checker, &UpdateChecker::finished);
    checker.check(false);
    QVERIFY(spy.wait(Wait));

    const UpdateChecker::Result result = resultOf(spy);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.latestVersion, u"3.0"_s);
    QCOMPARE(server.requestCount(), 2);
    QCOMPARE(server.requests().at(1).path, u"/feeds/current.json"_s);
}

void tst_UpdateChecker::tlsRedirects_data()
{
    QTest::addColumn<bool>("toPlainHttp");
    QTest::newRow("https to https is followed") << false;
    QTest::newRow("https to http is refused") << true;
}

void tst_UpdateChecker::tlsRedirects()
{
    QFETCH(bool, toPlainHttp);
    QString why;
    const TestCertificate certificate = makeTestCertificate(&why);
    if (why == u"openssl not found"_s)
        QSKIP("the openssl command is needed to make a test certificate");
    QVERIFY2(!certificate.isNull(), qPrintable(why));
    trustCertificate(certificate.certificate);

    LocalHttpServer plain;
    QVERIFY(plain.listen());
    plain.setResponse(FeedPath, HttpResponse::json(R"({"latest_version":"6.6.6"})"));
    LocalHttpServer secure;
    QVERIFY(secure.listenTls(certificate.certificate, certificate.key));
    secure.setResponse(u"/feeds/current.json"_s, HttpResponse::json(R"({"latest_version":"3.0"})"));
    const QUrl target = toPlainHttp ? plain.url(FeedPath) : secure.url(u"/feeds/current.json"_s);
    secure.setResponse(FeedPath, HttpResponse::redirect(target.toString()));

    UpdateChecker checker;
    checker.setEndpoint(secure.url(FeedPath).toString());
    QSignalSpy spy(&checker, &UpdateChecker::finished);
    checker.check(false);
    QVERIFY(spy.wait(Wait));

    const UpdateChecker::Result result = resultOf(spy);
    QCOMPARE(plain.requestCount(), 0);
    if (toPlainHttp) {
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(secure.requestCount(), 1);
    } else {
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.latestVersion, u"3.0"_s);
        QCOMPARE(secure.requestCount(), 2);
    }
}

void tst_UpdateChecker::comparesVersions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    QTest::newRow("1.10 > 1.9") << u"1.10"_s << u"1.9"_s << 1;
    QTest::newRow("2 = 2.0.0") << u"2"_s << u"2.0.0"_s << 0;
    QTest::newRow("rc counts as release") << u"1.0.0-rc1"_s << u"1.0.0"_s << 0;
    QTest::newRow("1.2.3-beta is 1.2.3") << u"1.2.3-beta"_s << u"1.2.3"_s << 0;
    QTest::newRow("v2.0 is 0.0") << u"v2.0"_s << u"0"_s << 0;
    QTest::newRow("spaces trimmed") << u"  1.5 \n"_s << u"1.5"_s << 0;
    QTest::newRow("leading zeros") << u"1.007"_s << u"1.7"_s << 0;
    QTest::newRow("empty parts are 0") << u"1..2"_s << u"1.0.2"_s << 0;
    QTest::newRow("empty string") << QString() << u"0.0"_s << 0;
    QTest::newRow("largest int") << u"1.2147483647"_s << u"1.2147483646"_s << 1;
    QTest::newRow("too big for int is 0") << u"1.2147483648"_s << u"1.0"_s << 0;
    QTest::newRow("far too big is 0") << u"99999999999999999999.1"_s << u"0.1"_s << 0;
    QTest::newRow("Arabic-Indic digits") << u"\u0661.\u0661\u0660"_s << u"1.9"_s << 1;
    QTest::newRow("fullwidth digits") << u"\uFF13"_s << u"2.9"_s << 1;
    QTest::newRow("digits beyond the BMP") << u"\U0001D7D0.1"_s << u"2.1"_s << 0;
    QTest::newRow("superscript is not a digit") << u"\u00B2.0"_s << u"0"_s << 0;
}

void tst_UpdateChecker::comparesVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(UpdateChecker::compareVersions(a, b), expected);
    QCOMPARE(UpdateChecker::compareVersions(b, a), -expected);
}

void tst_UpdateChecker::resultIsRegisteredByName()
{
    const UpdateChecker checker;
    QCOMPARE(QMetaType::fromName("ks::UpdateChecker::Result"),
             QMetaType::fromType<UpdateChecker::Result>());
}

QTEST_GUILESS_MAIN(tst_UpdateChecker)
#include "tst_updatechecker.moc"
