#include "blockmeter.h"
#include "daytimeline.h"
#include "edgestrip.h"
#include "segmentdisplay.h"
#include "statuschip.h"

#include <QtTest>

#include <functional>

using namespace Qt::StringLiterals;
using namespace ks;

namespace {

enum Segment { A, B, C, D, E, F, G };

const QColor teal(u"#2BD9C4"_s), amber(u"#C08A2A"_s), red(u"#C0392B"_s), clear(Qt::transparent);

// The widget alone on a transparent image of the given logical size.
QImage render(QWidget &widget, QSize size, int ratio = 1)
{
    widget.resize(size);
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The paints each watched widget gets, and the relayouts asked of them.
struct Watch final : QObject
{
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        paints[watched] += event->type() == QEvent::Paint;
        relayouts += event->type() == QEvent::LayoutRequest;
        return false;
    }
    QHash<QObject *, int> paints;
    int relayouts = 0;
};

} // namespace

// The painted status widgets: their numbers, a few of their pixels, and their setters.
class tst_Painting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void blockMeter();
    void dayTimeline();
    void edgeStripGeometry_data();
    void edgeStripGeometry();
    void edgeStripPixels();
    void segmentDisplay();
    void statusChip();
    void unchangedSettersSkipWork();
};

void tst_Painting::blockMeter()
{
    const auto row = [](int width, int blocks) {
        const BlockMeter::Layout r = BlockMeter::layout(width, blocks);
        return QList<int>{ r.cell, r.gap, r.margin, r.span() };
    };
    QCOMPARE(row(400, 34), (QList<int>{ 9, 2, 14, 372 }));
    QCOMPARE(row(100, 34), (QList<int>{ 1, 2, 0, 100 })); // 3n - 2 keeps the gaps
    QCOMPARE(row(99, 34), (QList<int>{ 2, 0, 15, 68 })); // 3n - 3 drops them
    QCOMPARE(row(20, 34), (QList<int>{ 1, 0, 0, 34 })); // narrower than n runs past the edge
    QCOMPARE(row(50, 1), (QList<int>{ 50, 2, 0, 50 }));

    // Halves round up: 25 % of 34 is 8.5; 58 % of 25 is 14.5, a hair below in floating point.
    const auto lit = &BlockMeter::litCount;
    QCOMPARE((QList<int>{ lit(50, 34), lit(1, 34), lit(2, 34), lit(25, 34), lit(58, 25), lit(-1, 34) }),
             (QList<int>{ 17, 0, 1, 9, 15, 0 }));

    QList<QColor> zones;
    for (int i = 0; i < 34; ++i)
        zones << BlockMeter::baseColor(BlockMeter::GradedScheme, i, 34);
    QCOMPARE(zones, QList<QColor>(20, teal) + QList<QColor>(9, amber) + QList<QColor>(5, red));
    QCOMPARE(BlockMeter::baseColor(BlockMeter::GradedScheme, 6, 11), amber); // exactly 0.6
    QCOMPARE(BlockMeter::baseColor(BlockMeter::GradedScheme, 17, 21), red); // exactly 0.85
    QCOMPARE(BlockMeter::baseColor(BlockMeter::UniformScheme, 33, 34), teal);
    const auto unlit = &BlockMeter::unlitColor;
    QCOMPARE((QList<QColor>{ unlit(teal), unlit(amber), unlit(red) }),
             (QList<QColor>{ QColor(u"#0F302C"_s), QColor(u"#282312"_s), QColor(u"#281512"_s) }));

    BlockMeter meter;
    meter.setValue(50);
    // 17 of 34 lit: block 16 covers x 190..198 and block 17 starts at 201,
    // with no blending at either edge, at either ratio.
    for (const int ratio : { 1, 2 }) {
        const QImage image = render(meter, QSize(400, 13), ratio);
        QList<QColor> seen;
        for (const int x : { 190 * ratio - 1, 190 * ratio, 199 * ratio - 1, 199 * ratio, 201 * ratio })
            seen << image.pixelColor(x, 6 * ratio);
        QCOMPARE(seen, (QList<QColor>{ clear, teal, teal, clear, QColor(u"#0F302C"_s) }));
    }
}

void tst_Painting::dayTimeline()
{
    // Cell, gap, margin, and where "06" and the closing "00", 14 px wide, start.
    const QList<DayTimeline::Label> labels = DayTimeline::labels();
    QCOMPARE(QLatin1String(labels.at(1).text), QLatin1String("06"));
    const auto strip = [&labels](int width) {
        const DayTimeline::Layout r = DayTimeline::layout(width);
        return QList<int>{ r.cell, r.gap, r.margin, DayTimeline::labelX(r, width, 14, labels.at(1)),
                           DayTimeline::labelX(r, width, 14, labels.last()) };
    };
    QCOMPARE(strip(400), (QList<int>{ 3, 1, 8, 104, 377 }));
    QCOMPARE(strip(191), (QList<int>{ 1, 1, 0, 48, 177 })); // the narrowest with gaps
    QCOMPARE(strip(190), (QList<int>{ 1, 0, 47, 71, 129 }));
    QCOMPARE(strip(150), (QList<int>{ 1, 0, 27, 51, 109 }));

    const QColor current(u"#8BFFF0"_s), marked(u"#2BD9C4"_s);
    DayTimeline timeline;
    timeline.markSlot(10);
    timeline.markSlot(20);
    timeline.setCurrentSlot(10);
    const DayTimeline::Layout row = DayTimeline::layout(400);
    const auto cell = [&row](const QImage &image, int slot) {
        return image.pixelColor(row.cellRect(slot, 10).center());
    };

    QImage image = render(timeline, QSize(400, 30));
    QCOMPARE((QList<QColor>{ cell(image, 10), cell(image, 20), cell(image, 30) }),
             (QList<QColor>{ current, marked, QColor(u"#11221F"_s) }));

    // Moved on, in a strip too short for cells and labels: the cells keep 10 px.
    timeline.setCurrentSlot(11);
    image = render(timeline, QSize(400, 12));
    QCOMPARE((QList<QColor>{ cell(image, 10), cell(image, 11), image.pixelColor(row.cellRect(20, 10).left(), 9) }),
             (QList<QColor>{ marked, current, marked }));
}

void tst_Painting::edgeStripGeometry_data()
{
    QTest::addColumn<int>("got");
    QTest::addColumn<int>("expected");
    const EdgeStrip::Scene fiveSeconds{ 0.0, 5.0 };
    const auto row = [](const char *name, int got, int expected) { QTest::newRow(name) << got << expected; };
    row("column of a moment", EdgeStrip::columnAt(1.0, 0.0, 5.0, 500), 100);
    row("a hair before it", EdgeStrip::columnAt(0.999, 0.0, 5.0, 500), 99);
    row("axis starting before the file", EdgeStrip::columnAt(0.0, -0.5, 5.0, 550), 50);
    row("past the right end", EdgeStrip::columnAt(6.0, 0.0, 5.0, 500), 500);
    row("empty axis", EdgeStrip::columnAt(1.0, 5.0, 5.0, 500), 0);
    row("span start", EdgeStrip::columnSpan(0.0, 1.0, fiveSeconds, 500).first, 0);
    row("span end", EdgeStrip::columnSpan(0.0, 1.0, fiveSeconds, 500).second, 100);
    row("empty span", EdgeStrip::columnSpan(1.0, 1.0, fiveSeconds, 500).second, 0);
    // Full scale reaches the edge row, 40 dB down at the bottom of an 80 dB
    // scale reaches half way, below the scale stays on the centre row.
    row("full scale up", EdgeStrip::sampleY(32767, -80.0, 64), 1);
    row("full scale down", EdgeStrip::sampleY(-32768, -80.0, 64), 63);
    row("-40 dB up", EdgeStrip::sampleY(328, -80.0, 64), 16);
    row("-40 dB down", EdgeStrip::sampleY(-328, -80.0, 64), 48);
    row("below the scale", EdgeStrip::sampleY(3, -80.0, 64), 32);
    row("threshold -50 dB", EdgeStrip::thresholdY(-50.0, 64), 20);
    row("threshold -40 dB", EdgeStrip::thresholdY(-40.0, 64), 19);
}

void tst_Painting::edgeStripGeometry()
{
    QFETCH(int, got);
    QFETCH(int, expected);
    QCOMPARE(got, expected);
}

void tst_Painting::edgeStripPixels()
{
    // Ten peaks of 1 ms growing by one; each belongs to the column its middle falls in.
    QList<EdgeStrip::Peak> peaks;
    for (int i = 0; i < 10; ++i)
        peaks << EdgeStrip::Peak(qint16(-i), qint16(i));
    using P = EdgeStrip::Peak;
    QCOMPARE(EdgeStrip::columns(peaks, 0.0, 0.001, 0.0, 0.01, 4), (QList<P>{ P(-1, 1), P(-4, 4), P(-6, 6), P(-9, 9) }));
    QCOMPARE(EdgeStrip::columns(peaks, 0.0, 0.001, 0.0, 0.02, 4), (QList<P>{ P(-4, 4), P(-9, 9), P(0, 0), P(0, 0) }));
    QCOMPARE(EdgeStrip::columns(peaks, -0.005, 0.001, 0.0, 0.01, 2), (QList<P>{ P(-9, 9), P(0, 0) }));

    // A second of silence, two of tone, two of silence; the cut half way into the tone.
    QList<P> outline(1000, P(0, 0));
    outline += QList<P>(2000, P(-4096, 4096));
    outline += QList<P>(2000, P(0, 0));
    EdgeStrip strip;
    strip.setPeaks(outline, 0.0, 0.001);
    strip.setScene({ 0.0, 5.0, 0.0, 1.0, 2.0, 0.0, 0.0, true, -50.0 });
    QImage image = render(strip, QSize(500, 64));
    const QColor glass(u"#070C0B"_s), shade(u"#11221F"_s), edge(u"#8BFFF0"_s), lost(u"#2E7A72"_s);
    QCOMPARE((QList<QColor>{ image.pixelColor(50, 2), image.pixelColor(120, 2), image.pixelColor(150, 32),
                             image.pixelColor(250, 32), image.pixelColor(200, 10), image.pixelColor(99, 2) }),
             (QList<QColor>{ shade, glass, lost, teal, edge, shade }));

    // Half a second added before the file: hatched there and nowhere else.
    strip.setScene({ -0.5, 5.0, 0.0, 1.0, -0.5, -0.5, 0.0, true, -50.0 });
    image = render(strip, QSize(550, 64));
    const auto hatched = [&image](int from, int to) {
        int count = 0;
        for (int x = from; x < to; ++x)
            for (int y = 0; y < 64; ++y)
                count += image.pixelColor(x, y) == QColor(u"#C98A2E"_s);
        return count;
    };
    QVERIFY(hatched(1, 50) > 100);
    QCOMPARE(hatched(50, 550), 0);
}

void tst_Painting::segmentDisplay()
{
    SegmentDisplay display;
    const auto hint = [&display](const QString &text, int height) {
        display.setDigitHeight(height);
        display.setText(text);
        return display.sizeHint();
    };
    QCOMPARE(hint(u"-:--:--"_s, 66), QSize(273, 66));
    QCOMPARE(hint(QString(), 66), QSize(0, 66));
    // 8 × 0.69 × 100 is 552 exactly; a sum of doubles would lose a pixel.
    QCOMPARE(hint(u"88888888"_s, 100), QSize(552, 100));
    QCOMPARE(hint(u"8"_s, 5), QSize(8, 12));

    QList<int> masks;
    for (const QChar ch : u"0123456789- A\u0665\u00B2"_s)
        masks << SegmentDisplay::segmentMask(ch);
    QCOMPARE(masks, (QList<int>{ 0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B, 0x01, 0, 0, 0x5B, 0 }));

    const QColor lit(u"#45E8D5"_s), dim(u"#14312C"_s);
    display.setDigitHeight(66);
    display.setText(u"1:\u0665"_s);
    const QImage image = render(display, display.sizeHint());
    const QList<QRectF> cells = SegmentDisplay::cellRects(display.text(), 66, QSizeF(display.sizeHint()));
    const auto at = [&](int i, Segment s) {
        return image.pixelColor(SegmentDisplay::segmentPolygons(cells.at(i))[s].boundingRect().center().toPoint());
    };
    // '1' lights b and c; U+0665 draws like '5', without b and e.
    QCOMPARE((QList<QColor>{ at(0, B), at(0, G), at(2, F), at(2, B) }), (QList<QColor>{ lit, dim, lit, dim }));
    QCOMPARE(image.pixelColor(SegmentDisplay::colonDots(cells.at(1))[0].center().toPoint()), lit);
}

void tst_Painting::statusChip()
{
    StatusChip indicator(u"SCAN"_s, StatusChip::IndicatorStyle);
    StatusChip value(u"SCANNING"_s, StatusChip::ValueStyle);
    QCOMPARE(value.font().weight(), QFont::Bold);
    const QFontMetrics plain(indicator.font()), bold(value.font());
    QCOMPARE(indicator.sizeHint(), QSize(plain.horizontalAdvance(u"SCAN"_s) + 20, plain.height() + 10));
    QCOMPARE(value.minimumSizeHint(), QSize(bold.horizontalAdvance(u"SCANNING"_s) + 28, bold.height() + 10));

    const QColor chipTeal(u"#45E8D5"_s), chipRed(u"#E05B4C"_s), darkFill(u"#0B1412"_s);
    const struct { int style; bool lit; QColor colour, fill; } chips[] = {
        { StatusChip::IndicatorStyle, false, chipRed, darkFill },
        { StatusChip::IndicatorStyle, true, chipTeal, QColor(u"#07211E"_s) },
        { StatusChip::IndicatorStyle, true, QColor(u"#C98A2E"_s), QColor(u"#161306"_s) },
        { StatusChip::IndicatorStyle, true, chipRed, QColor(u"#180D0A"_s) },
        { StatusChip::ValueStyle, false, chipTeal, QColor(u"#07211E"_s) }, // glows unlit
    };
    for (const auto &look : chips) {
        StatusChip chip(u"ERR"_s, look.style);
        chip.setColor(look.colour);
        chip.setLit(look.lit);
        const QImage image = render(chip, chip.sizeHint());
        const QColor border = look.fill == darkFill ? QColor(u"#1B2A27"_s) : QColor(look.colour.darker(140).rgb());
        QCOMPARE(image.pixelColor(3, chip.height() / 2), look.fill);
        QCOMPARE(image.pixelColor(0, chip.height() / 2), border);
    }
}

void tst_Painting::unchangedSettersSkipWork()
{
    QWidget window;
    auto *meter = new BlockMeter(&window);
    auto *display = new SegmentDisplay(&window);
    auto *chip = new StatusChip(u"SCAN"_s, StatusChip::IndicatorStyle, &window);
    meter->setGeometry(0, 0, 400, 13);
    display->setGeometry(0, 20, 400, 66);
    chip->setGeometry(0, 90, 100, 20);
    window.resize(420, 120);
    window.show();

    Watch watch;
    for (QWidget *widget : std::initializer_list<QWidget *>{ &window, meter, display, chip })
        widget->installEventFilter(&watch);
    // The window paints everything dirty in one pass, so once a corner of it
    // that no child covers has been repainted, so has what a setter dirtied.
    const auto settle = [&] {
        QCoreApplication::sendPostedEvents(&window, QEvent::LayoutRequest);
        watch.paints.remove(&window);
        window.update(410, 0, 10, 10);
        return QTest::qWaitFor([&] { return watch.paints.value(&window) > 0; });
    };
    QVERIFY(settle());

    struct Step { const char *what; std::function<void()> set; int paints, relayouts; };
    const Step steps[] = {
        { "meter full", [=] { meter->setValue(100); }, 1, 0 },
        { "meter past full", [=] { meter->setValue(250); }, 0, 0 },
        { "meter blank", [=] { meter->setValue(-1); }, 1, 0 },
        { "meter below blank", [=] { meter->setValue(-20); }, 0, 0 },
        { "clock ticks", [=] { display->setText(u"0:00:01"_s); }, 1, 0 },
        { "clock stays", [=] { display->setText(u"0:00:01"_s); }, 0, 0 },
        { "clock grows", [=] { display->setText(u"10:00:00"_s); }, 1, 1 },
        { "chip lit", [=] { chip->setLit(true); }, 1, 0 },
        { "chip stays lit", [=] { chip->setLit(true); }, 0, 0 },
        { "chip text stays", [=] { chip->setText(u"SCAN"_s); }, 0, 0 },
        { "chip text grows", [=] { chip->setText(u"SCANNING"_s); }, 1, 1 },
    };
    for (const Step &step : steps) {
        watch.paints.clear();
        watch.relayouts = 0;
        step.set();
        QVERIFY2(settle(), step.what);
        const int paints = watch.paints.value(meter) + watch.paints.value(display) + watch.paints.value(chip);
        QVERIFY2(paints == step.paints && watch.relayouts == step.relayouts,
                 qPrintable(u"%1: %2 paints, %3 relayouts"_s.arg(QLatin1String(step.what)).arg(paints)
                                .arg(watch.relayouts)));
    }
}

QTEST_MAIN(tst_Painting)
#include "tst_painting.moc"
