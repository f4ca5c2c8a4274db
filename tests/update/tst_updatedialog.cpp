#include "updatedialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

namespace {

UpdateChecker::Result release(const QString &address = u"https://example.org/2.1"_s)
{
    UpdateChecker::Result result;
    result.ok = result.updateAvailable = true;
    result.latestVersion = u"2.1.0"_s;
    result.downloadUrl = result.notesUrl = address;
    result.notes = u"Faster scans."_s;
    return result;
}

// What a label shows, with any markup it interprets rendered away.
QString shown(const QString &name, const UpdateDialog &dialog)
{
    const auto *label = dialog.findChild<QLabel *>(name);
    QTextDocument document;
    document.setHtml(label->text());
    return label->textFormat() == Qt::PlainText ? label->text() : document.toPlainText();
}

} // namespace

class tst_UpdateDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void showsTheRelease_data();
    void showsTheRelease();
    void boundsWhatTheServerSent();
    void buttonsDecide_data();
    void buttonsDecide();
};

void tst_UpdateDialog::initTestCase()
{
    QCoreApplication::setApplicationName(u"Kestrova"_s);
    QCoreApplication::setApplicationVersion(u"1.4.2"_s);
    // Month names must come out in English whatever the user's locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void tst_UpdateDialog::showsTheRelease_data()
{
    QTest::addColumn<UpdateChecker::Result>("result");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("info");

    UpdateChecker::Result critical = release();
    critical.critical = true;
    critical.releaseDate = u"2026-03-01"_s;
    UpdateChecker::Result undated = release(QString());
    undated.releaseDate = u"soon"_s;
    UpdateChecker::Result markup = release();
    markup.latestVersion = u"<i>2.1</i>"_s;
    markup.releaseDate = u"<b>soon</b>"_s;
    markup.notes = u"<h1>Big</h1> & <a href='file:///'>small</a>"_s;

    const QString running = u"You are running 1.4.2."_s;
    QTest::newRow("ordinary") << release() << u"Update available"_s << running;
    QTest::newRow("critical") << critical << u"Important update"_s << running + u" Released 1 March 2026."_s;
    QTest::newRow("not a date, no address") << undated << u"Update available"_s << running + u" Released soon."_s;
    QTest::newRow("markup") << markup << u"Update available"_s << running + u" Released <b>soon</b>."_s;
}

void tst_UpdateDialog::showsTheRelease()
{
    QFETCH(UpdateChecker::Result, result);
    QFETCH(QString, title);
    QFETCH(QString, info);
    const UpdateDialog dialog(result);

    QCOMPARE(dialog.windowTitle(), title);
    QCOMPARE(shown(u"headingLabel"_s, dialog), u"Kestrova %1 is available."_s.arg(result.latestVersion));
    QCOMPARE(shown(u"infoLabel"_s, dialog), info);
    QCOMPARE(shown(u"destinationLabel"_s, dialog),
             result.downloadUrl.isEmpty() ? QString() : u"Download opens a page on example.org."_s);
    QCOMPARE(dialog.findChild<QPlainTextEdit *>(u"notesView"_s)->toPlainText(), result.notes);
    QCOMPARE(shown(u"criticalLabel"_s, dialog), u"This release is marked critical."_s);
    QCOMPARE(dialog.findChild<QLabel *>(u"criticalLabel"_s)->isHidden(), !result.critical);
    QCOMPARE(dialog.findChild<QPushButton *>(u"skipButton"_s)->isHidden(), result.critical);
    QCOMPARE(dialog.findChild<QPushButton *>(u"notesButton"_s)->isEnabled(), !result.notesUrl.isEmpty());
}

void tst_UpdateDialog::boundsWhatTheServerSent()
{
    UpdateChecker::Result huge = release(u"https://downloads.example.org/"_s + QString(5000, u'p'));
    huge.latestVersion = QString(300, u'W');
    huge.releaseDate = QString(100000, u'9');
    huge.notes = QString(1000000, u'a'); // one word

    QElapsedTimer clock;
    clock.start();
    UpdateDialog dialog(huge);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCoreApplication::processEvents();
    // A guard against laying out the whole word as one line, which took a
    // minute; the figure itself is a few milliseconds.
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));

    const auto *heading = dialog.findChild<QLabel *>(u"headingLabel"_s);
    QVERIFY(shown(u"headingLabel"_s, dialog).startsWith(u"Kestrova WWW"_s));
    QVERIFY(shown(u"headingLabel"_s, dialog).endsWith(u"\u2026 is available."_s));
    QCOMPARE(heading->textInteractionFlags(), Qt::NoTextInteraction);
    for (const QString &name : { u"headingLabel"_s, u"infoLabel"_s, u"destinationLabel"_s }) {
        const auto *label = dialog.findChild<QLabel *>(name);
        QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(name));
        QVERIFY2(label->sizeHint().height() < 2 * label->fontMetrics().lineSpacing(), qPrintable(name));
    }
    QCOMPARE(shown(u"destinationLabel"_s, dialog), u"Download opens a page on downloads.example.org."_s);
    const auto *notes = dialog.findChild<QPlainTextEdit *>(u"notesView"_s);
    QCOMPARE(notes->toPlainText(), QString(UpdateDialog::MaxNotesLength, u'a') + u"..."_s);
    QCOMPARE(notes->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    QVERIFY(dialog.width() < 600);
}

void tst_UpdateDialog::buttonsDecide_data()
{
    QTest::addColumn<QByteArray>("button"); // empty: the Escape key
    QTest::addColumn<QString>("address"); // to download and of the notes
    QTest::addColumn<int>("choice");
    QTest::addColumn<QString>("events");

    const QString https = u"https://example.org/2.1"_s;
    const QString broken = u"https://broken.example/"_s; // the desktop fails to open it
    QTest::newRow("download") << "downloadButton"_ba << https << 2 << u"opened %1; closed 1"_s.arg(https);
    QTest::newRow("download, no address") << "downloadButton"_ba << QString() << 2 << u"closed 1"_s;
    for (const QString &address : { u"file:///usr/bin/xterm"_s, u"javascript:alert(1)"_s, u"/usr/bin/xterm"_s }) {
        QTest::addRow("download refuses %s", qPrintable(address)) << "downloadButton"_ba << address << 2
            << u"Not opening %1 - only http and https addresses are opened.; closed 1"_s.arg(address);
    }
    QTest::newRow("release notes stay open") << "notesButton"_ba << u"http://example.org/"_s << 0
                                             << u"opened http://example.org/"_s;
    QTest::newRow("desktop cannot open") << "notesButton"_ba << broken << 0
                                         << u"opened %1; Could not open %1."_s.arg(broken);
    QTest::newRow("skip") << "skipButton"_ba << https << 1 << u"closed 1"_s;
    QTest::newRow("later") << "laterButton"_ba << https << 0 << u"closed 0"_s;
    QTest::newRow("escape") << QByteArray() << https << 0 << u"closed 0"_s;
}

void tst_UpdateDialog::buttonsDecide()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, address);
    QFETCH(int, choice);
    QFETCH(QString, events);

    UpdateDialog dialog(release(address));
    QStringList seen;
    dialog.setUrlOpener([&](const QUrl &url) {
        seen << u"opened "_s + url.toString();
        return url.host() != u"broken.example"_s;
    });
    connect(&dialog, &UpdateDialog::linkNotOpened, this, [&](const QString &notice) { seen << notice; });
    connect(&dialog, &QDialog::finished, this, [&](int result) { seen << u"closed %1"_s.arg(result); });
    if (button.isEmpty())
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        dialog.findChild<QPushButton *>(QLatin1String(button))->click();

    QCOMPARE(seen.join(u"; "_s), events);
    QCOMPARE(int(dialog.choice()), choice);
}

QTEST_MAIN(tst_UpdateDialog)
#include "tst_updatedialog.moc"
