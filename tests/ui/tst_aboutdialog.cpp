#include "aboutdialog.h"

#include <QLabel>
#include <QtTest>

// Runs with QT_SCALE_FACTOR=2 (see CMakeLists.txt), the dense screen the logo must stay sharp on.
class tst_AboutDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void logoFitsInDevicePixels()
    {
        const ks::AboutDialog dialog;
        const QLabel *logo = dialog.findChild<QLabel *>(QStringLiteral("logoLabel"));
        QCOMPARE(QVariantList({ dialog.devicePixelRatioF(), logo->pixmap().size(), logo->pixmap().devicePixelRatio(),
                         logo->sizeHint().width() }),
                QVariantList({ 2.0, QSize(800, 131), 2.0, 400 }));
    }
};

QTEST_MAIN(tst_AboutDialog)
#include "tst_aboutdialog.moc"
