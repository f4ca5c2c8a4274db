#include "updatedialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

namespace {

UpdateChecker::Result newerRelease()
{
    UpdateChecker::Result result;
    result.ok = true;
    result.updateAvailable = true;
    result.latestVersion = u"2.1.0"_s;
    result.downloadUrl = u"https://dl.example.org/kestrova-2.1.0.tar.xz"_s;
    result.notesUrl = u"https://example.org/notes/2.1.0"_s;
    result.notes = u"Faster folder scans."_s;
    return result;
}

template<typename T>
T *part(const UpdateDialog &dialog, const char *name)
{
    return dialog.findChild<T *>(QLatin1String(name));
}

// What a label shows, with any markup it interprets rendered away.
QString shownText(const QLabel *label)
{
    if (label->textFormat() == Qt::PlainText)
        return label->text();
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

} // namespace

class tst_UpdateDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void criticalReleaseChangesTitleAndHidesSkip_data();
    void criticalReleaseChangesTitleAndHidesSkip();
    void infoSentences_data();
    void infoSentences();
    void serverTextIsNeverMarkup();
    void notesFallBackToAMessage();
    void releaseNotesNeedAnAddress();
    void buttonsDecide_data();
    void buttonsDecide();
    void releaseNotesOpenAndStay();
    void escapeMeansLater();
};

void tst_UpdateDialog::initTestCase()
{
    QCoreApplication::setApplicationName(u"Kestrova"_s);
    QCoreApplication::setApplicationVersion(u"1.4.2"_s);
    // Month names must come out in English whatever the user's locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void tst_UpdateDialog::criticalReleaseChangesTitleAndHidesSkip_data()
{
    QTest::addColumn<bool>("critical");
    QTest::addColumn<QString>("title");
    QTest::newRow("ordinary") << false << u"Update available"_s;
    QTest::newRow("critical") << true << u"Important update"_s;
}

void tst_UpdateDialog::criticalReleaseChangesTitleAndHidesSkip()
{
    QFETCH(bool, critical);
    QFETCH(QString, title);
    UpdateChecker::Result result = newerRelease();
    result.critical = critical;
    UpdateDialog dialog(result);
    dialog.show();

    QCOMPARE(dialog.windowTitle(), title);
    QVERIFY(dialog.isModal());
    QCOMPARE(shownText(part<QLabel>(dialog, "headingLabel")), u"Kestrova 2.1.0 is available."_s);
    const QLabel *criticalLine = part<QLabel>(dialog, "criticalLabel");
    QCOMPARE(criticalLine->isVisible(), critical);
    QCOMPARE(shownText(criticalLine), u"This release is marked critical."_s);
    QCOMPARE(part<QPushButton>(dialog, "skipButton")->isVisible(), !critical);
    const QPushButton *download = part<QPushButton>(dialog, "downloadButton");
    QVERIFY(download->isDefault());
    QCOMPARE(download->property("accent").toBool(), true);
}

void tst_UpdateDialog::infoSentences_data()
{
    QTest::addColumn<QString>("releaseDate");
    QTest::addColumn<QString>("info");
    QTest::newRow("no date") << QString() << u"You are running 1.4.2."_s;
    QTest::newRow("ISO date") << u"2026-03-01"_s << u"You are running 1.4.2. Released 1 March 2026."_s;
    QTest::newRow("not a date") << u"soon"_s << u"You are running 1.4.2. Released soon."_s;
    QTest::newRow("impossible date") << u"2026-02-30"_s
                                     << u"You are running 1.4.2. Released 2026-02-30."_s;
}

void tst_UpdateDialog::infoSentences()
{
    QFETCH(QString, releaseDate);
    QFETCH(QString, info);
    UpdateChecker::Result result = newerRelease();
    result.releaseDate = releaseDate;
    const UpdateDialog dialog(result);
    QCOMPARE(shownText(part<QLabel>(dialog, "infoLabel")), info);
}

void tst_UpdateDialog::serverTextIsNeverMarkup()
{
    UpdateChecker::Result result = newerRelease();
    result.latestVersion = u"<i>2.1</i><img src='x'>"_s;
    result.releaseDate = u"<b>soon</b>"_s;
    result.notes = u"<h1>Big</h1> & <a href='file:///'>small</a>"_s;
    const UpdateDialog dialog(result);

    QCOMPARE(shownText(part<QLabel>(dialog, "headingLabel")),
             u"Kestrova <i>2.1</i><img src='x'> is available."_s);
    QCOMPARE(shownText(part<QLabel>(dialog, "infoLabel")),
             u"You are running 1.4.2. Released <b>soon</b>."_s);
    QCOMPARE(part<QPlainTextEdit>(dialog, "notesView")->toPlainText(), result.notes);
}

void tst_UpdateDialog::notesFallBackToAMessage()
{
    UpdateChecker::Result result = newerRelease();
    result.notes.clear();
    const UpdateDialog dialog(result);
    const QPlainTextEdit *notes = part<QPlainTextEdit>(dialog, "notesView");
    QCOMPARE(notes->toPlainText(), u"No release notes were published."_s);
    QVERIFY(notes->isReadOnly());
}

void tst_UpdateDialog::releaseNotesNeedAnAddress()
{
    UpdateChecker::Result result = newerRelease();
    QVERIFY(part<QPushButton>(UpdateDialog(result), "notesButton")->isEnabled());
    result.notesUrl.clear();
    QVERIFY(!part<QPushButton>(UpdateDialog(result), "notesButton")->isEnabled());
}

void tst_UpdateDialog::buttonsDecide_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("downloadUrl");
    QTest::addColumn<bool>("openerWorks");
    QTest::addColumn<int>("choice");
    QTest::addColumn<int>("dialogResult");
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<QString>("notice");

    const QString https = u"https://dl.example.org/kestrova-2.1.0.tar.xz"_s;
    const QString refused = u"Not opening %1 - only http and https addresses are opened."_s;
    QTest::newRow("download opens the address")
        << "downloadButton"_ba << https << true << 2 << int(QDialog::Accepted) << QStringList{ https }
        << QString();
    QTest::newRow("download without address opens nothing")
        << "downloadButton"_ba << QString() << true << 2 << int(QDialog::Accepted) << QStringList()
        << QString();
    QTest::newRow("plain http is opened")
        << "downloadButton"_ba << u"http://example.org/get"_s << true << 2 << int(QDialog::Accepted)
        << QStringList{ u"http://example.org/get"_s } << QString();
    for (const QString &address : { u"file:///usr/bin/xterm"_s, u"javascript:alert(1)"_s,
                                    u"/usr/bin/xterm"_s }) {
        QTest::addRow("download refuses %s", qPrintable(address))
            << "downloadButton"_ba << address << true << 2 << int(QDialog::Accepted) << QStringList()
            << refused.arg(address);
    }
    QTest::newRow("desktop cannot open")
        << "downloadButton"_ba << https << false << 2 << int(QDialog::Accepted) << QStringList{ https }
        << u"Could not open %1."_s.arg(https);
    QTest::newRow("skip") << "skipButton"_ba << https << true << 1 << int(QDialog::Accepted)
                          << QStringList() << QString();
    QTest::newRow("later") << "laterButton"_ba << https << true << 0 << int(QDialog::Rejected)
                           << QStringList() << QString();
}

void tst_UpdateDialog::buttonsDecide()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, downloadUrl);
    QFETCH(bool, openerWorks);
    QFETCH(int, choice);
    QFETCH(int, dialogResult);
    QFETCH(QStringList, opened);
    QFETCH(QString, notice);

    UpdateChecker::Result result = newerRelease();
    result.downloadUrl = downloadUrl;
    UpdateDialog dialog(result);
    QStringList openedUrls;
    dialog.setUrlOpener([&](const QUrl &url) {
        openedUrls.append(url.toString());
        return openerWorks;
    });
    QSignalSpy notices(&dialog, &UpdateDialog::linkNotOpened);

    QPushButton *pushButton = part<QPushButton>(dialog, button.constData());
    QTimer::singleShot(0, pushButton, &QPushButton::click);
    QCOMPARE(dialog.exec(), dialogResult);

    QCOMPARE(int(dialog.choice()), choice);
    QCOMPARE(openedUrls, opened);
    QCOMPARE(notices.count(), notice.isEmpty() ? 0 : 1);
    if (!notice.isEmpty())
        QCOMPARE(notices.first().first().toString(), notice);
}

void tst_UpdateDialog::releaseNotesOpenAndStay()
{
    UpdateDialog dialog(newerRelease());
    QList<QUrl> openedUrls;
    dialog.setUrlOpener([&](const QUrl &url) {
        openedUrls.append(url);
        return true;
    });
    dialog.show();
    part<QPushButton>(dialog, "notesButton")->click();

    QCOMPARE(openedUrls, QList<QUrl>{ QUrl(u"https://example.org/notes/2.1.0"_s) });
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.choice(), UpdateDialog::Later);
}

void tst_UpdateDialog::escapeMeansLater()
{
    UpdateDialog dialog(newerRelease());
    QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(dialog.choice(), UpdateDialog::Later);
}

QTEST_MAIN(tst_UpdateDialog)
#include "tst_updatedialog.moc"
