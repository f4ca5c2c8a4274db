#include "statuschip.h"
#include "widgetprobe.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>

using namespace Qt::StringLiterals;
using ks::StatusChip;

namespace {

const QColor darkFill(u"#0B1412"_s);
const QColor darkBorder(u"#1B2A27"_s);
const QColor darkText(u"#4A5A58"_s);

} // namespace

class tst_StatusChip : public QObject
{
    Q_OBJECT

private slots:
    void glowColours_data();
    void glowColours();
    void darkLookIgnoresColour();
    void fontsByStyle();
    void sizeHintFollowsText();
    void paintsDarkAndGlowingChips_data();
    void paintsDarkAndGlowingChips();
    void borderStaysCrispAtDoubleRatio();
    void unchangedSettersSkipWork();
    void clicksPassThrough();
};

void tst_StatusChip::glowColours_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QColor>("fill");
    QTest::newRow("teal") << QColor(u"#45E8D5"_s) << QColor(u"#07211E"_s);
    QTest::newRow("amber") << QColor(u"#C98A2E"_s) << QColor(u"#161306"_s);
    QTest::newRow("red") << QColor(u"#E05B4C"_s) << QColor(u"#180D0A"_s);
}

void tst_StatusChip::glowColours()
{
    QFETCH(QColor, colour);
    QFETCH(QColor, fill);
    QCOMPARE(StatusChip::glowFill(colour), fill);
    const StatusChip::Look look = StatusChip::look(colour, true);
    QCOMPARE(look.fill, fill);
    QCOMPARE(look.border.rgba(), colour.darker(140).rgba());
    QCOMPARE(look.text, colour);
}

void tst_StatusChip::darkLookIgnoresColour()
{
    for (const QColor &colour : { QColor(u"#45E8D5"_s), QColor(u"#E05B4C"_s) }) {
        const StatusChip::Look look = StatusChip::look(colour, false);
        QCOMPARE(look.fill, darkFill);
        QCOMPARE(look.border, darkBorder);
        QCOMPARE(look.text, darkText);
    }
}

void tst_StatusChip::fontsByStyle()
{
    const StatusChip indicator(u"SCAN"_s, StatusChip::IndicatorStyle);
    const StatusChip value(u"-50 dB"_s, StatusChip::ValueStyle);
    QCOMPARE(indicator.font().pixelSize(), 11);
    QCOMPARE(indicator.font().weight(), QFont::Normal);
    // Letter spacing is kept in 64ths of a pixel.
    QCOMPARE(indicator.font().letterSpacing(), 1.0);
    QCOMPARE(indicator.font().letterSpacingType(), QFont::AbsoluteSpacing);
    QCOMPARE(value.font().weight(), QFont::Bold);
    QVERIFY(qAbs(value.font().letterSpacing() - 1.4) <= 1.0 / 64);
    QCOMPARE(value.font().families().first(), u"Consolas"_s);
    QVERIFY(!indicator.isLit());
    QCOMPARE(indicator.color(), QColor(u"#45E8D5"_s));
    QVERIFY(indicator.testAttribute(Qt::WA_TransparentForMouseEvents));
}

void tst_StatusChip::sizeHintFollowsText()
{
    StatusChip indicator(u"SCAN"_s, StatusChip::IndicatorStyle);
    StatusChip value(u"SCAN"_s, StatusChip::ValueStyle);
    const QFontMetrics indicatorMetrics(indicator.font());
    const QFontMetrics valueMetrics(value.font());
    QCOMPARE(indicator.sizeHint(),
             QSize(indicatorMetrics.horizontalAdvance(u"SCAN"_s) + 20, indicatorMetrics.height() + 10));
    QCOMPARE(value.sizeHint(), QSize(valueMetrics.horizontalAdvance(u"SCAN"_s) + 28, valueMetrics.height() + 10));
    QCOMPARE(indicator.minimumSizeHint(), indicator.sizeHint());

    const QSize before = value.sizeHint();
    value.setText(u"SCAN \u00B7 MORE"_s);
    const int extra = valueMetrics.horizontalAdvance(u"SCAN \u00B7 MORE"_s) - valueMetrics.horizontalAdvance(u"SCAN"_s);
    QVERIFY(extra > 0);
    QCOMPARE(value.sizeHint(), before + QSize(extra, 0));
}

void tst_StatusChip::paintsDarkAndGlowingChips_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("lit");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QColor>("fill");
    QTest::addColumn<QColor>("border");

    const QColor teal(u"#45E8D5"_s);
    const QColor red(u"#E05B4C"_s);
    QTest::newRow("indicator, dark") << StatusChip::IndicatorStyle << false << red << darkFill << darkBorder;
    QTest::newRow("indicator, lit") << StatusChip::IndicatorStyle << true << red << QColor(u"#180D0A"_s)
                                    << QColor(red.darker(140).rgb());
    QTest::newRow("value chip glows unlit") << StatusChip::ValueStyle << false << teal << QColor(u"#07211E"_s)
                                            << QColor(teal.darker(140).rgb());
}

void tst_StatusChip::paintsDarkAndGlowingChips()
{
    QFETCH(int, style);
    QFETCH(bool, lit);
    QFETCH(QColor, colour);
    QFETCH(QColor, fill);
    QFETCH(QColor, border);

    StatusChip chip(u"ERR"_s, style);
    chip.setColor(colour);
    chip.setLit(lit);
    const QSize size = chip.sizeHint();
    const QImage image = widgetprobe::render(chip, size);
    const int middle = size.height() / 2;
    QCOMPARE(image.pixelColor(0, middle), border);
    QCOMPARE(image.pixelColor(size.width() - 1, middle), border);
    QCOMPARE(image.pixelColor(3, middle), fill);
    // Rounded corners leave the very corner open.
    QVERIFY(qAlpha(image.pixel(0, 0)) < 255);

    // The caption is drawn in the text colour (antialiased glyphs of a small
    // font may only come close to it).
    const QColor text = lit || style == StatusChip::ValueStyle ? colour : darkText;
    int nearest = 255;
    for (int x = 6; x < size.width() - 6; ++x) {
        for (int y = 3; y < size.height() - 3; ++y) {
            const QColor pixel = image.pixelColor(x, y);
            const int distance = std::max({ qAbs(pixel.red() - text.red()), qAbs(pixel.green() - text.green()),
                                            qAbs(pixel.blue() - text.blue()) });
            nearest = std::min(nearest, distance);
        }
    }
    QVERIFY2(nearest <= 8, qPrintable(QString::number(nearest)));
}

void tst_StatusChip::borderStaysCrispAtDoubleRatio()
{
    StatusChip chip(u"SCAN"_s, StatusChip::IndicatorStyle);
    const QSize size = chip.sizeHint();
    const QImage image = widgetprobe::render(chip, size, 2.0);
    const int middle = size.height();
    QCOMPARE(image.pixelColor(0, middle), darkBorder);
    QCOMPARE(image.pixelColor(1, middle), darkBorder);
    QCOMPARE(image.pixelColor(2, middle), darkFill);
    QCOMPARE(image.pixelColor(2 * size.width() - 1, middle), darkBorder);
    QCOMPARE(image.pixelColor(2 * size.width() - 3, middle), darkFill);
}

void tst_StatusChip::unchangedSettersSkipWork()
{
    auto *chip = new StatusChip(u"SCAN"_s, StatusChip::IndicatorStyle);
    widgetprobe::RepaintWatch watch(chip, chip->sizeHint());
    QVERIFY(watch.exposed());

    QCOMPARE(watch.paintsAfter([chip] { chip->setLit(false); }), 0);
    QCOMPARE(watch.paintsAfter([chip] { chip->setLit(true); }), 1);
    QCOMPARE(watch.paintsAfter([chip] { chip->setLit(true); }), 0);
    QCOMPARE(watch.paintsAfter([chip] { chip->setText(u"SCAN"_s); }), 0);
    QCOMPARE(watch.relayoutsAfter([chip] { chip->setText(u"SCAN"_s); }), 0);
    QCOMPARE(watch.relayoutsAfter([chip] { chip->setText(u"SCANNING"_s); }), 1);
    // A colour is always taken afresh.
    QCOMPARE(watch.paintsAfter([chip] { chip->setColor(chip->color()); }), 1);
}

void tst_StatusChip::clicksPassThrough()
{
    QWidget window;
    auto *button = new QPushButton(u"beneath"_s, &window);
    button->setGeometry(0, 0, 100, 40);
    auto *chip = new StatusChip(u"SCAN"_s, StatusChip::IndicatorStyle, &window);
    chip->setGeometry(0, 0, 100, 40);
    chip->raise();
    window.resize(120, 60);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(50, 20));
    QCOMPARE(clicked.count(), 1);
}

QTEST_MAIN(tst_StatusChip)
#include "tst_statuschip.moc"
