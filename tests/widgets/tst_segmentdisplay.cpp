#include "segmentdisplay.h"
#include "widgetprobe.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using ks::SegmentDisplay;

namespace {

enum Segment { A, B, C, D, E, F, G };

void comparePolygon(const QPolygonF &actual, const QList<QPointF> &expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QVERIFY2(qAbs(actual.at(i).x() - expected.at(i).x()) < 1e-9
                     && qAbs(actual.at(i).y() - expected.at(i).y()) < 1e-9,
                 qPrintable(u"corner %1"_s.arg(i)));
    }
}

QPoint middleOf(const QPolygonF &segment, qreal ratio = 1.0)
{
    return (segment.boundingRect().center() * ratio).toPoint();
}

} // namespace

class tst_SegmentDisplay : public QObject
{
    Q_OBJECT

private slots:
    void sizeHintFollowsText_data();
    void sizeHintFollowsText();
    void digitHeightHasFloor();
    void segmentMasks_data();
    void segmentMasks();
    void segmentCorners();
    void barsMeetAtTheirTips();
    void colonDotsAroundMiddle();
    void runCentredInShortWidget();
    void paintsLitAndDimSegments_data();
    void paintsLitAndDimSegments();
    void onlyLengthChangeUpdatesGeometry();
};

void tst_SegmentDisplay::sizeHintFollowsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("height");
    QTest::addColumn<QSize>("hint");

    QTest::newRow("blank clock") << u"-:--:--"_s << 66 << QSize(273, 66);
    QTest::newRow("empty") << QString() << 66 << QSize(0, 66);
    QTest::newRow("ten hours") << u"10:00:00"_s << 66 << QSize(319, 66);
    QTest::newRow("default") << u"0:00:00"_s << 62 << QSize(257, 62);
    // 8 × 0.69 × 100 is 552 exactly; a sum of doubles would lose a pixel.
    QTest::newRow("whole sum") << u"88888888"_s << 100 << QSize(552, 100);
}

void tst_SegmentDisplay::sizeHintFollowsText()
{
    QFETCH(QString, text);
    QFETCH(int, height);
    QFETCH(QSize, hint);

    SegmentDisplay display;
    display.setDigitHeight(height);
    display.setText(text);
    QCOMPARE(display.sizeHint(), hint);
    QCOMPARE(display.minimumSizeHint(), hint);
}

void tst_SegmentDisplay::digitHeightHasFloor()
{
    SegmentDisplay display;
    QCOMPARE(display.text(), u"0:00:00"_s);
    QCOMPARE(display.digitHeight(), 62);
    display.setDigitHeight(5);
    QCOMPARE(display.digitHeight(), 12);
    QCOMPARE(display.sizeHint().height(), 12);
}

void tst_SegmentDisplay::segmentMasks_data()
{
    QTest::addColumn<QChar>("ch");
    QTest::addColumn<int>("mask");

    const int table[] = { 0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B };
    for (int digit = 0; digit < 10; ++digit)
        QTest::addRow("'%d'", digit) << QChar(u'0' + digit) << table[digit];
    QTest::newRow("minus lights the middle") << QChar(u'-') << 0x01;
    QTest::newRow("space") << QChar(u' ') << 0;
    QTest::newRow("letter") << QChar(u'A') << 0;
    QTest::newRow("point") << QChar(u'.') << 0;
    QTest::newRow("Arabic-Indic five") << QChar(0x0665) << 0x5B;
    QTest::newRow("Arabic-Indic nine") << QChar(0x0669) << 0x7B;
    QTest::newRow("Bengali four") << QChar(0x09EA) << 0x33;
    QTest::newRow("fullwidth seven") << QChar(0xFF17) << 0x70;
    QTest::newRow("superscript two is no digit") << QChar(0x00B2) << 0;
    QTest::newRow("Roman four is no digit") << QChar(0x2163) << 0;
}

void tst_SegmentDisplay::segmentMasks()
{
    QFETCH(QChar, ch);
    QFETCH(int, mask);
    QCOMPARE(int(SegmentDisplay::segmentMask(ch)), mask);
}

void tst_SegmentDisplay::segmentCorners()
{
    // h = 100: t = 13.5, m = 7.425, g = 11.475, k = 6.75; L = 7.425,
    // R = 52.575, top 7.425, bottom 92.575, middle 50.
    const SegmentDisplay::Segments s = SegmentDisplay::segmentPolygons(QRectF(0, 0, 60, 100));
    comparePolygon(s[A], { { 14.175, 0.675 }, { 45.825, 0.675 }, { 52.575, 7.425 },
                           { 45.825, 14.175 }, { 14.175, 14.175 }, { 7.425, 7.425 } });
    comparePolygon(s[B], { { 52.575, 18.9 }, { 59.325, 25.65 }, { 59.325, 37.5125 },
                           { 52.575, 44.2625 }, { 45.825, 37.5125 }, { 45.825, 25.65 } });
    comparePolygon(s[E], { { 7.425, 55.7375 }, { 14.175, 62.4875 }, { 14.175, 74.35 },
                           { 7.425, 81.1 }, { 0.675, 74.35 }, { 0.675, 62.4875 } });
    comparePolygon(s[G], { { 14.175, 43.25 }, { 45.825, 43.25 }, { 52.575, 50 },
                           { 45.825, 56.75 }, { 14.175, 56.75 }, { 7.425, 50 } });
}

void tst_SegmentDisplay::barsMeetAtTheirTips()
{
    const QRectF cell(10, 20, 39.6, 66);
    const SegmentDisplay::Segments s = SegmentDisplay::segmentPolygons(cell);
    for (const QPolygonF &segment : s)
        QVERIFY(cell.contains(segment.boundingRect()));
    // Horizontal tips on the lines the uprights are centred on.
    for (Segment bar : { A, D, G }) {
        QCOMPARE(s[bar].at(5).x(), s[F].at(0).x());
        QCOMPARE(s[bar].at(2).x(), s[B].at(0).x());
    }
    // The uprights stop short of the bars' tips and never reach into a bar.
    QVERIFY(s[B].at(0).y() > s[A].at(2).y());
    QVERIFY(s[B].at(3).y() < s[G].at(2).y());
    QVERIFY(s[C].at(0).y() > s[G].at(2).y());
    QVERIFY(s[C].at(3).y() < s[D].at(2).y());
    QVERIFY(s[F].boundingRect().top() > s[A].boundingRect().bottom());
    QVERIFY(s[E].boundingRect().bottom() < s[D].boundingRect().top());
}

void tst_SegmentDisplay::colonDotsAroundMiddle()
{
    const SegmentDisplay::ColonDots dots = SegmentDisplay::colonDots(QRectF(0, 0, 26, 100));
    QCOMPARE(dots[0].center(), QPointF(13, 30));
    QCOMPARE(dots[1].center(), QPointF(13, 70));
    QVERIFY(qAbs(dots[0].width() - 14.85) < 1e-9);
    QCOMPARE(dots[0].width(), dots[0].height());
}

void tst_SegmentDisplay::runCentredInShortWidget()
{
    // 40 px high: glyphs shrink to 40, the cell is 24 wide and the gap 3.6.
    QList<QRectF> cells = SegmentDisplay::cellRects(u"8"_s, 66, QSizeF(100, 40));
    QCOMPARE(cells.size(), 1);
    QCOMPARE(cells.at(0), QRectF(38, 0, 24, 40));

    cells = SegmentDisplay::cellRects(u"1:2"_s, 66, QSizeF(200, 80));
    QCOMPARE(cells.size(), 3);
    const qreal gap = 0.09 * 66;
    QCOMPARE(cells.at(0).top(), 7.0);
    QCOMPARE(cells.at(1).width(), 0.26 * 66);
    QVERIFY(qAbs(cells.at(1).left() - (cells.at(0).right() + gap)) < 1e-9);
    // Centred without the trailing gap.
    QVERIFY(qAbs(cells.at(0).left() - (200 - cells.at(2).right())) < 1e-9);
}

void tst_SegmentDisplay::paintsLitAndDimSegments_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("ratio 1") << 1.0;
    QTest::newRow("ratio 2") << 2.0;
}

void tst_SegmentDisplay::paintsLitAndDimSegments()
{
    QFETCH(qreal, ratio);
    const QColor lit(u"#45E8D5"_s);
    const QColor dim(u"#14312C"_s);

    SegmentDisplay display;
    display.setDigitHeight(66);
    display.setText(u"1:\u0665"_s);
    const QSize size = display.sizeHint();
    const QImage image = widgetprobe::render(display, size, ratio);
    const QList<QRectF> cells = SegmentDisplay::cellRects(display.text(), 66, QSizeF(size));

    const SegmentDisplay::Segments one = SegmentDisplay::segmentPolygons(cells.at(0));
    QCOMPARE(image.pixelColor(middleOf(one[B], ratio)), lit);
    QCOMPARE(image.pixelColor(middleOf(one[C], ratio)), lit);
    QCOMPARE(image.pixelColor(middleOf(one[A], ratio)), dim);
    QCOMPARE(image.pixelColor(middleOf(one[G], ratio)), dim);

    const SegmentDisplay::ColonDots dots = SegmentDisplay::colonDots(cells.at(1));
    QCOMPARE(image.pixelColor((dots[0].center() * ratio).toPoint()), lit);
    QCOMPARE(qAlpha(image.pixel((cells.at(1).center() * ratio).toPoint())), 0);

    // The Arabic-Indic five draws like '5': no upper right, no lower left.
    const SegmentDisplay::Segments five = SegmentDisplay::segmentPolygons(cells.at(2));
    QCOMPARE(image.pixelColor(middleOf(five[F], ratio)), lit);
    QCOMPARE(image.pixelColor(middleOf(five[C], ratio)), lit);
    QCOMPARE(image.pixelColor(middleOf(five[B], ratio)), dim);
    QCOMPARE(image.pixelColor(middleOf(five[E], ratio)), dim);
}

void tst_SegmentDisplay::onlyLengthChangeUpdatesGeometry()
{
    auto *display = new SegmentDisplay;
    display->setText(u"0:00:09"_s);
    widgetprobe::RepaintWatch watch(display, QSize(300, 66));
    QVERIFY(watch.exposed());

    QCOMPARE(watch.relayoutsAfter([display] { display->setText(u"0:00:10"_s); }), 0);
    QCOMPARE(watch.paintsAfter([display] { display->setText(u"0:00:11"_s); }), 1);
    QCOMPARE(watch.paintsAfter([display] { display->setText(u"0:00:11"_s); }), 0);
    display->setText(u"9:59:59"_s);
    QCOMPARE(watch.relayoutsAfter([display] { display->setText(u"10:00:00"_s); }), 1);
}

QTEST_MAIN(tst_SegmentDisplay)
#include "tst_segmentdisplay.moc"
