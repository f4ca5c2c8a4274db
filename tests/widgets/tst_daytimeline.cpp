#include "daytimeline.h"
#include "widgetprobe.h"

#include <QTime>
#include <QtTest>

using namespace Qt::StringLiterals;
using ks::DayTimeline;

namespace {

const QColor currentColour(u"#8BFFF0"_s);
const QColor markedColour(u"#2BD9C4"_s);
const QColor idleColour(u"#11221F"_s);

DayTimeline::Label labelAt(int slot)
{
    const QList<DayTimeline::Label> labels = DayTimeline::labels();
    // The first "00" for slot 0, the closing one for 95.
    for (const DayTimeline::Label &label : labels) {
        if (label.slot == slot)
            return label;
    }
    return { -1, "" };
}

} // namespace

class tst_DayTimeline : public QObject
{
    Q_OBJECT

private slots:
    void layoutAcrossWidths_data();
    void layoutAcrossWidths();
    void hourLabels_data();
    void hourLabels();
    void cellHeightHasFloor();
    void slotOfTime_data();
    void slotOfTime();
    void slotsOutsideTheDayIgnored();
    void paintsCurrentAndMarkedCells();
    void cellsStayCrispAtDoubleRatio();
};

void tst_DayTimeline::layoutAcrossWidths_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("cell");
    QTest::addColumn<int>("gap");
    QTest::addColumn<int>("margin");
    QTest::addColumn<int>("rowEnd");

    QTest::newRow("400 px") << 400 << 3 << 1 << 8 << 391;
    QTest::newRow("150 px has no gaps") << 150 << 1 << 0 << 27 << 123;
    QTest::newRow("191 px, the narrowest with gaps") << 191 << 1 << 1 << 0 << 191;
    QTest::newRow("190 px") << 190 << 1 << 0 << 47 << 143;
    QTest::newRow("50 px runs past the edge") << 50 << 1 << 0 << 0 << 96;
    QTest::newRow("1000 px") << 1000 << 9 << 1 << 20 << 979;
    QTest::newRow("no width") << 0 << 0 << 0 << 0 << 0;
}

void tst_DayTimeline::layoutAcrossWidths()
{
    QFETCH(int, width);
    QFETCH(int, cell);
    QFETCH(int, gap);
    QFETCH(int, margin);
    QFETCH(int, rowEnd);

    const DayTimeline::Layout row = DayTimeline::layout(width);
    QCOMPARE(row.cell, cell);
    QCOMPARE(row.gap, gap);
    QCOMPARE(row.margin, margin);
    if (cell > 0) {
        QCOMPARE(row.rowEnd(), rowEnd);
        QCOMPARE(row.cellRect(95, 10).right() + 1, rowEnd);
    }
}

void tst_DayTimeline::hourLabels_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("advance");
    QTest::addColumn<int>("x");

    QTest::newRow("400: 00") << 400 << 0 << 14 << 8;
    QTest::newRow("400: 06") << 400 << 24 << 14 << 104;
    QTest::newRow("400: 18") << 400 << 72 << 14 << 296;
    QTest::newRow("400: closing 00 ends with the row") << 400 << 95 << 14 << 377;
    QTest::newRow("150: 06") << 150 << 24 << 14 << 51;
    QTest::newRow("150: closing 00") << 150 << 95 << 14 << 109;
    QTest::newRow("20: 18 kept inside") << 20 << 72 << 14 << 6;
    QTest::newRow("10: wider than the strip") << 10 << 95 << 14 << 0;
}

void tst_DayTimeline::hourLabels()
{
    QFETCH(int, width);
    QFETCH(int, slot);
    QFETCH(int, advance);
    QFETCH(int, x);

    const DayTimeline::Label label = labelAt(slot);
    QCOMPARE(label.slot, slot);
    QCOMPARE(DayTimeline::labelX(DayTimeline::layout(width), width, advance, label), x);
}

void tst_DayTimeline::cellHeightHasFloor()
{
    QCOMPARE(DayTimeline::cellHeight(30, 13), 16);
    QCOMPARE(DayTimeline::cellHeight(15, 13), 10);
    QCOMPARE(DayTimeline::cellHeight(0, 13), 10);

    QStringList texts;
    for (const DayTimeline::Label &label : DayTimeline::labels())
        texts << QLatin1String(label.text);
    QCOMPARE(texts, QStringList({ u"00"_s, u"06"_s, u"12"_s, u"18"_s, u"00"_s }));
}

void tst_DayTimeline::slotOfTime_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<int>("slot");
    QTest::newRow("midnight") << QTime(0, 0) << 0;
    QTest::newRow("00:14:59") << QTime(0, 14, 59) << 0;
    QTest::newRow("00:15") << QTime(0, 15) << 1;
    QTest::newRow("13:37") << QTime(13, 37) << 54;
    QTest::newRow("23:59:59") << QTime(23, 59, 59) << 95;
}

void tst_DayTimeline::slotOfTime()
{
    QFETCH(QTime, time);
    QFETCH(int, slot);
    QCOMPARE(DayTimeline::slotOf(time), slot);
}

void tst_DayTimeline::slotsOutsideTheDayIgnored()
{
    DayTimeline timeline;
    QCOMPARE(timeline.currentSlot(), -1);
    timeline.setCurrentSlot(95);
    QCOMPARE(timeline.currentSlot(), 95);
    timeline.setCurrentSlot(96);
    QCOMPARE(timeline.currentSlot(), -1);
    timeline.setCurrentSlot(-5);
    QCOMPARE(timeline.currentSlot(), -1);

    timeline.markSlot(200);
    timeline.markSlot(-1);
    QVERIFY(timeline.markedSlots().isEmpty());
    timeline.markSlot(7);
    timeline.markSlot(7);
    QCOMPARE(timeline.markedSlots(), QSet<int>({ 7 }));
    timeline.markNow();
    QVERIFY(timeline.markedSlots().size() <= 2);
    timeline.clear();
    QVERIFY(timeline.markedSlots().isEmpty());

    QCOMPARE(timeline.sizeHint(), QSize(400, 30));
    QCOMPARE(timeline.minimumSizeHint(), QSize(200, 30));
}

void tst_DayTimeline::paintsCurrentAndMarkedCells()
{
    DayTimeline timeline;
    timeline.markSlot(10);
    timeline.markSlot(20);
    timeline.setCurrentSlot(10);
    const DayTimeline::Layout row = DayTimeline::layout(400);
    const int cells = DayTimeline::cellHeight(30, timeline.fontMetrics().height());

    QImage image = widgetprobe::render(timeline, QSize(400, 30));
    // The current slot wins over its mark.
    QCOMPARE(image.pixelColor(row.cellRect(10, cells).center()), currentColour);
    QCOMPARE(image.pixelColor(row.cellRect(20, cells).center()), markedColour);
    QCOMPARE(image.pixelColor(row.cellRect(30, cells).center()), idleColour);
    QCOMPARE(qAlpha(image.pixel(row.cellRect(30, cells).right() + 1, 2)), 0);

    timeline.setCurrentSlot(11);
    image = widgetprobe::render(timeline, QSize(400, 30));
    QCOMPARE(image.pixelColor(row.cellRect(10, cells).center()), markedColour);
    QCOMPARE(image.pixelColor(row.cellRect(11, cells).center()), currentColour);

    // Too short for cells and labels: the cells keep 10 px.
    image = widgetprobe::render(timeline, QSize(400, 12));
    QCOMPARE(image.pixelColor(row.cellRect(20, 10).left(), 9), markedColour);
}

void tst_DayTimeline::cellsStayCrispAtDoubleRatio()
{
    DayTimeline timeline;
    timeline.setCurrentSlot(24);
    const QImage image = widgetprobe::render(timeline, QSize(400, 30), 2.0);
    // Slot 24 covers x 104..106, device pixels 208..213.
    QCOMPARE(image.pixelColor(208, 4), currentColour);
    QCOMPARE(image.pixelColor(213, 4), currentColour);
    QCOMPARE(qAlpha(image.pixel(207, 4)), 0);
    QCOMPARE(qAlpha(image.pixel(214, 4)), 0);
}

QTEST_MAIN(tst_DayTimeline)
#include "tst_daytimeline.moc"
