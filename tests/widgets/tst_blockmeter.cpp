#include "blockmeter.h"
#include "widgetprobe.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using ks::BlockMeter;

class tst_BlockMeter : public QObject
{
    Q_OBJECT

private slots:
    void layoutAcrossWidths_data();
    void layoutAcrossWidths();
    void litCountRoundsHalvesUp_data();
    void litCountRoundsHalvesUp();
    void gradedSchemeZones_data();
    void gradedSchemeZones();
    void unlitColoursDerivedFromBase_data();
    void unlitColoursDerivedFromBase();
    void scaleLabelsSpreadAcrossRow_data();
    void scaleLabelsSpreadAcrossRow();
    void sizeHints();
    void settersClampTheirValues();
    void paintsLitAndUnlitBlocks();
    void unsetValueStillShowsTheZones();
    void blocksStayCrispAtDoubleRatio();
    void sameValueSkipsRepaint();
};

void tst_BlockMeter::layoutAcrossWidths_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("cell");
    QTest::addColumn<int>("gap");
    QTest::addColumn<int>("margin");
    QTest::addColumn<int>("span");

    QTest::newRow("400 px, 34 blocks") << 400 << 34 << 9 << 2 << 14 << 372;
    QTest::newRow("one spare pixel stays at the right") << 373 << 34 << 9 << 2 << 0 << 372;
    QTest::newRow("3n-2 keeps the gaps") << 100 << 34 << 1 << 2 << 0 << 100;
    QTest::newRow("3n-3 drops the gaps") << 99 << 34 << 2 << 0 << 15 << 68;
    QTest::newRow("narrower than n runs past the edge") << 20 << 34 << 1 << 0 << 0 << 34;
    QTest::newRow("one block fills the width") << 50 << 1 << 50 << 2 << 0 << 50;
    QTest::newRow("no width, no blocks") << 0 << 34 << 0 << 0 << 0 << 0;
}

void tst_BlockMeter::layoutAcrossWidths()
{
    QFETCH(int, width);
    QFETCH(int, blocks);
    QFETCH(int, cell);
    QFETCH(int, gap);
    QFETCH(int, margin);
    QFETCH(int, span);

    const BlockMeter::Layout row = BlockMeter::layout(width, blocks);
    QCOMPARE(row.cell, cell);
    QCOMPARE(row.gap, gap);
    QCOMPARE(row.margin, margin);
    QCOMPARE(row.span(), span);
    if (cell > 0) {
        QCOMPARE(row.block(0, 13), QRect(margin, 0, cell, 13));
        QCOMPARE(row.block(blocks - 1, 13).right(), margin + span - 1);
    }
}

void tst_BlockMeter::litCountRoundsHalvesUp_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("lit");

    QTest::newRow("50 % of 34") << 50 << 34 << 17;
    QTest::newRow("1 % of 34") << 1 << 34 << 0;
    QTest::newRow("2 % of 34") << 2 << 34 << 1;
    QTest::newRow("25 % of 34 is 8.5") << 25 << 34 << 9;
    QTest::newRow("75 % of 34 is 25.5") << 75 << 34 << 26;
    // 0.58 * 25 comes out just below 14.5 in floating point.
    QTest::newRow("58 % of 25 is exactly 14.5") << 58 << 25 << 15;
    QTest::newRow("full") << 100 << 34 << 34;
    QTest::newRow("empty") << 0 << 34 << 0;
    QTest::newRow("no value") << -1 << 34 << 0;
    QTest::newRow("one block at 50 %") << 50 << 1 << 1;
}

void tst_BlockMeter::litCountRoundsHalvesUp()
{
    QFETCH(int, value);
    QFETCH(int, blocks);
    QFETCH(int, lit);
    QCOMPARE(BlockMeter::litCount(value, blocks), lit);
}

void tst_BlockMeter::gradedSchemeZones_data()
{
    QTest::addColumn<int>("scheme");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<QColor>("colour");

    const QColor teal(u"#2BD9C4"_s);
    const QColor amber(u"#C08A2A"_s);
    const QColor red(u"#C0392B"_s);
    QTest::newRow("34: first") << 1 << 0 << 34 << teal;
    QTest::newRow("34: last teal") << 1 << 19 << 34 << teal;
    QTest::newRow("34: first amber") << 1 << 20 << 34 << amber;
    QTest::newRow("34: block 28 at 0.848") << 1 << 28 << 34 << amber;
    QTest::newRow("34: first red") << 1 << 29 << 34 << red;
    QTest::newRow("34: last") << 1 << 33 << 34 << red;
    QTest::newRow("11: exactly 0.6 is amber") << 1 << 6 << 11 << amber;
    QTest::newRow("21: exactly 0.85 is red") << 1 << 17 << 21 << red;
    QTest::newRow("one graded block") << 1 << 0 << 1 << teal;
    QTest::newRow("uniform") << 0 << 33 << 34 << teal;
}

void tst_BlockMeter::gradedSchemeZones()
{
    QFETCH(int, scheme);
    QFETCH(int, index);
    QFETCH(int, blocks);
    QFETCH(QColor, colour);
    QCOMPARE(BlockMeter::baseColor(scheme, index, blocks), colour);
}

void tst_BlockMeter::unlitColoursDerivedFromBase_data()
{
    QTest::addColumn<QColor>("base");
    QTest::addColumn<QColor>("unlit");
    QTest::newRow("teal") << QColor(u"#2BD9C4"_s) << QColor(u"#0F302C"_s);
    QTest::newRow("amber") << QColor(u"#C08A2A"_s) << QColor(u"#282312"_s);
    QTest::newRow("red") << QColor(u"#C0392B"_s) << QColor(u"#281512"_s);
    QTest::newRow("black") << QColor(Qt::black) << QColor(8, 12, 11);
}

void tst_BlockMeter::unlitColoursDerivedFromBase()
{
    QFETCH(QColor, base);
    QFETCH(QColor, unlit);
    QCOMPARE(BlockMeter::unlitColor(base), unlit);
}

void tst_BlockMeter::scaleLabelsSpreadAcrossRow_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("advance");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("labels");
    QTest::addColumn<int>("x");

    // 400 px: the row runs from 14 to 386.
    QTest::newRow("first at the row's left") << 400 << 6 << 0 << 5 << 14;
    QTest::newRow("middle") << 400 << 12 << 2 << 5 << 194;
    QTest::newRow("last ends at the row's right") << 400 << 28 << 4 << 5 << 358;
    QTest::newRow("a single label at the left") << 400 << 28 << 0 << 1 << 14;
    QTest::newRow("kept inside on the right") << 30 << 28 << 4 << 5 << 2;
    QTest::newRow("kept inside on the left") << 20 << 40 << 4 << 5 << 0;
}

void tst_BlockMeter::scaleLabelsSpreadAcrossRow()
{
    QFETCH(int, width);
    QFETCH(int, advance);
    QFETCH(int, index);
    QFETCH(int, labels);
    QFETCH(int, x);
    QCOMPARE(BlockMeter::labelX(BlockMeter::layout(width, 34), width, advance, index, labels), x);
}

void tst_BlockMeter::sizeHints()
{
    BlockMeter meter;
    QCOMPARE(meter.sizeHint(), QSize(408, 13));
    QCOMPARE(meter.minimumSizeHint(), QSize(170, 13));
    meter.setScaleLabels({ u"0"_s, u"100%"_s });
    const int withLabels = 13 + meter.fontMetrics().height() + 2;
    QCOMPARE(meter.sizeHint(), QSize(408, withLabels));
    QCOMPARE(meter.minimumSizeHint(), QSize(170, withLabels));
}

void tst_BlockMeter::settersClampTheirValues()
{
    BlockMeter meter;
    meter.setValue(150);
    QCOMPARE(meter.value(), 100);
    meter.setValue(-7);
    QCOMPARE(meter.value(), -1);
    meter.setBlockCount(0);
    QCOMPARE(meter.blockCount(), 1);
    meter.setBarHeight(2);
    QCOMPARE(meter.barHeight(), 4);
}

void tst_BlockMeter::paintsLitAndUnlitBlocks()
{
    BlockMeter meter;
    meter.setValue(50);
    const QImage image = widgetprobe::render(meter, QSize(400, 13));
    // 17 of 34 lit: block 16 spans x 190..198, block 17 starts at 201.
    QCOMPARE(image.pixelColor(194, 6), QColor(u"#2BD9C4"_s));
    QCOMPARE(image.pixelColor(205, 6), QColor(u"#0F302C"_s));
    QCOMPARE(qAlpha(image.pixel(199, 6)), 0);
    QCOMPARE(qAlpha(image.pixel(10, 6)), 0);
}

void tst_BlockMeter::unsetValueStillShowsTheZones()
{
    BlockMeter meter;
    meter.setScheme(BlockMeter::GradedScheme);
    meter.setValue(100);
    meter.setValue(-1);
    const QImage image = widgetprobe::render(meter, QSize(400, 13));
    const BlockMeter::Layout row = BlockMeter::layout(400, 34);
    QCOMPARE(image.pixelColor(row.block(0, 13).center()), QColor(u"#0F302C"_s));
    QCOMPARE(image.pixelColor(row.block(20, 13).center()), QColor(u"#282312"_s));
    QCOMPARE(image.pixelColor(row.block(33, 13).center()), QColor(u"#281512"_s));
}

void tst_BlockMeter::blocksStayCrispAtDoubleRatio()
{
    BlockMeter meter;
    meter.setValue(50);
    const QImage image = widgetprobe::render(meter, QSize(400, 13), 2.0);
    // Block 16 covers device pixels 380..397, the gap 398..401.
    QCOMPARE(image.pixelColor(380, 12), QColor(u"#2BD9C4"_s));
    QCOMPARE(image.pixelColor(397, 12), QColor(u"#2BD9C4"_s));
    QCOMPARE(qAlpha(image.pixel(379, 12)), 0);
    QCOMPARE(qAlpha(image.pixel(398, 12)), 0);
    QCOMPARE(image.pixelColor(402, 25), QColor(u"#0F302C"_s));
}

void tst_BlockMeter::sameValueSkipsRepaint()
{
    auto *meter = new BlockMeter;
    widgetprobe::RepaintWatch watch(meter, QSize(400, 13));
    QVERIFY(watch.exposed());
    QCOMPARE(watch.paintsAfter([meter] { meter->setValue(40); }), 1);
    QCOMPARE(watch.paintsAfter([meter] { meter->setValue(40); }), 0);
    QCOMPARE(watch.paintsAfter([meter] { meter->setValue(-1); }), 1);
    QCOMPARE(watch.paintsAfter([meter] { meter->setValue(-20); }), 0);
    QCOMPARE(watch.paintsAfter([meter] { meter->setValue(100); }), 1);
    QCOMPARE(watch.paintsAfter([meter] { meter->setValue(250); }), 0);
}

QTEST_MAIN(tst_BlockMeter)
#include "tst_blockmeter.moc"
