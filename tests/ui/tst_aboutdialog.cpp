#include "aboutdialog.h"
#include "identity.h"

#include <QLabel>
#include <QPixmap>
#include <QTextDocument>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// Runs with QT_SCALE_FACTOR=2 (see CMakeLists.txt), the dense screen the logo
// has to stay sharp on.
class tst_AboutDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void showsTheTexts();
    void logoFitsInDevicePixels();
    void wordmarkWithoutTheLogo();
    void returnCloses();
};

namespace {

QLabel *label(const AboutDialog &dialog, const char *name)
{
    auto *found = dialog.findChild<QLabel *>(QLatin1String(name));
    if (!found)
        qFatal("no label named %s", name);
    return found;
}

QString shownText(const QLabel *label)
{
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

} // namespace

void tst_AboutDialog::initTestCase()
{
    applyIdentity();
}

void tst_AboutDialog::showsTheTexts()
{
    const AboutDialog dialog;
    QCOMPARE(dialog.windowTitle(), u"About Kestrova"_s);
    QVERIFY(dialog.isModal());
    QCOMPARE(label(dialog, "versionLabel")->text(), u"Version 1.0.0"_s);
    QCOMPARE(label(dialog, "versionLabel")->font().weight(), QFont::Bold);
    QCOMPARE(label(dialog, "descriptionLabel")->text(),
             u"Automatic silence trimming and batch topping and tailing, part of the Orrinworks suite."_s);
    QCOMPARE(label(dialog, "rightsLabel")->text(), u"\u00A9 2026 Orrinworks. All rights reserved."_s);

    const QLabel *links = label(dialog, "linksLabel");
    QVERIFY(links->openExternalLinks());
    QCOMPARE(links->text(), u"<a href=\"https://www.orrinworks.example\">https://www.orrinworks.example</a><br>"
                            "<a href=\"https://www.orrinworks.example/people/kestrova\">"
                            "https://www.orrinworks.example/people/kestrova</a>"_s);
    QCOMPARE(shownText(label(dialog, "licenceLabel")),
             u"Uses the system's FFmpeg, which comes with its own licence (see /usr/share/doc/ffmpeg)."_s);
}

void tst_AboutDialog::logoFitsInDevicePixels()
{
    const AboutDialog dialog;
    QVERIFY2(qFuzzyCompare(dialog.devicePixelRatioF(), 2.0), "expects QT_SCALE_FACTOR=2");
    const QLabel *logo = label(dialog, "logoLabel");
    const QPixmap pixmap = logo->pixmap();
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.size(), QSize(800, 131));
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    QCOMPARE(logo->sizeHint().width(), 400);
}

void tst_AboutDialog::wordmarkWithoutTheLogo()
{
    Q_CLEANUP_RESOURCE(kestrova);
    const auto restore = qScopeGuard([] { Q_INIT_RESOURCE(kestrova); });
    QVERIFY(QPixmap(u":/icons/logo.png"_s).isNull());

    const AboutDialog dialog;
    const QLabel *logo = label(dialog, "logoLabel");
    QVERIFY(logo->pixmap().isNull());
    QCOMPARE(shownText(logo), u"Kestrova"_s);
    const QString markup = logo->text();
    QVERIFY(markup.indexOf(u"#12325C"_s) >= 0);
    QVERIFY(markup.indexOf(u"#12325C"_s) < markup.indexOf(u"#F2601A"_s));
    QCOMPARE(markup.count(u"26pt"_s), 2);
}

void tst_AboutDialog::returnCloses()
{
    AboutDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

QTEST_MAIN(tst_AboutDialog)
#include "tst_aboutdialog.moc"
