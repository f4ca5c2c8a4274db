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
    void logoFitsInDevicePixels();
    void wordmarkWithoutTheLogo();
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

QTEST_MAIN(tst_AboutDialog)
#include "tst_aboutdialog.moc"
