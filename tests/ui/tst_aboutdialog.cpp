#include "aboutdialog.h"

#include <QLabel>
#include <QtTest>

// Runs with QT_SCALE_FACTOR=2 (see CMakeLists.txt), the dense screen the logo must stay sharp on.
class tst_AboutDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void logoFitsInDevicePixels();
};

void tst_AboutDialog::logoFitsInDevicePixels()
{
    const ks::AboutDialog dialog;
    QVERIFY2(qFuzzyCompare(dialog.devicePixelRatioF(), 2.0), "expects QT_SCALE_FACTOR=2");
    const QLabel *logo = dialog.findChild<QLabel *>(QStringLiteral("logoLabel"));
    QCOMPARE(logo->pixmap().size(), QSize(800, 131));
    QCOMPARE(logo->pixmap().devicePixelRatio(), 2.0);
    QCOMPARE(logo->sizeHint().width(), 400);
}

QTEST_MAIN(tst_AboutDialog)
#include "tst_aboutdialog.moc"
