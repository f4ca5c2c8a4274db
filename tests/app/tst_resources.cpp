#include <QFile>
#include <QImage>
#include <QResource>
#include <QWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

class tst_Resources : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void imagesCompiledIn_data();
    void imagesCompiledIn();
    void stylesheetCompressedWithHooks();
};

void tst_Resources::imagesCompiledIn_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("icon") << u":/icons/app.png"_s << QSize(256, 256);
    QTest::newRow("logo") << u":/icons/logo.png"_s << QSize(920, 151);
}

void tst_Resources::imagesCompiledIn()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
    // Really transparent somewhere, not merely an alpha channel that is all opaque.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
}

void tst_Resources::stylesheetCompressedWithHooks()
{
    const QResource resource(u":/style/vfd.qss"_s);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::ZlibCompression);

    QFile file(u":/style/vfd.qss"_s);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString style = QString::fromUtf8(file.readAll());
    const QStringList hooks{ u"QWidget#Central"_s,
                             u"QFrame#VfdPanel"_s,
                             u"QPlainTextEdit#LogConsole"_s,
                             u"QLabel#VersionChip"_s,
                             u"QLabel[vfdRole=\"caption\"]"_s,
                             u"QLabel[vfdRole=\"info\"]"_s,
                             u"QLabel[vfdRole=\"summary\"]"_s,
                             u"QPushButton[accent=\"true\"]"_s };
    for (const QString &hook : hooks)
        QVERIFY2(style.contains(hook), qPrintable(hook));
    // The rules stand in the order the window is built from the outside in.
    QVERIFY(style.indexOf(u"QWidget#Central"_s) < style.indexOf(u"QMenuBar"_s));
    QVERIFY(style.indexOf(u"QFrame#VfdPanel"_s) < style.indexOf(u"QPushButton {"_s));
    QVERIFY(style.indexOf(u"QTableView"_s) < style.indexOf(u"QPlainTextEdit#LogConsole"_s));
    QVERIFY(style.indexOf(u"QLabel#VersionChip"_s) < style.indexOf(u"QGroupBox"_s));
    // The palette is named in the header.
    for (const char *colour : { "#070C0B", "#16211E", "#45E8D5", "#14312C", "#2E7A72", "#C98A2E", "#C0392B", "#1E7A45" })
        QVERIFY2(style.section(u"*/"_s, 0, 0).contains(QLatin1String(colour)), colour);

    // Qt understands the sheet: a widget named as the window's centre paints its background.
    QWidget central;
    central.setObjectName(u"Central"_s);
    central.setAttribute(Qt::WA_StyledBackground);
    central.setStyleSheet(style);
    central.resize(40, 40);
    QCOMPARE(central.grab().toImage().pixelColor(20, 20), QColor(u"#F3F3F1"_s));
}

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
