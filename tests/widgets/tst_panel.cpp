#include "blockmeter.h"
#include "daytimeline.h"
#include "edgestrip.h"
#include "logconsole.h"
#include "panelpalette.h"
#include "panelstyle.h"
#include "segmentdisplay.h"
#include "statuschip.h"
#include "vfdpanel.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;
using namespace ks;

namespace {

const QColor teal(u"#2BD9C4"_s), clear(Qt::transparent);

QImage render(QWidget &widget, QSize size, int ratio = 1) // alone, on a transparent image of that logical size
{
    widget.resize(size);
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool fills(const QLabel *label, int allowed) // shows at most `allowed` pixels, and uses that room
{
    const QFontMetrics metrics(label->font());
    const int shown = metrics.horizontalAdvance(label->text());
    return shown <= allowed && shown > allowed - metrics.horizontalAdvance(u"MM"_s);
}

} // namespace

// The status panel's painted parts, the panel itself and the log.
class tst_Panel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(PanelStyle::applyStyleSheet()); }

    void textReadsAtFourAndAHalfToOne_data()
    {
        QTest::addColumn<QColor>("text");
        QTest::addColumn<QColor>("background");
        const QColor glass(PanelPalette::Glass), tableRow(u"#FAFAFA"_s);
        VfdPanel panel; // its labels and the log as the style sheet colours them
        for (const char *role : { "caption", "info", "summary" }) {
            auto *label = new QLabel(u"X"_s, &panel);
            label->setProperty("vfdRole", QLatin1String(role));
            label->ensurePolished();
            QTest::addRow("panel %s", role) << label->palette().color(QPalette::WindowText) << glass;
        }
        LogConsole log;
        log.ensurePolished();
        QTest::newRow("scale labels") << QColor(PanelPalette::Caption) << glass;
        QTest::newRow("unlit chip") << StatusChip::look(teal, false).text << StatusChip::look(teal, false).fill;
        QTest::newRow("log time") << QColor(PanelPalette::LogTime) << log.palette().color(QPalette::Base);
        QTest::newRow("log warning") << QColor(PanelPalette::LogLevels[2]) << log.palette().color(QPalette::Base);
        QTest::newRow("skipped row") << QColor(PanelPalette::SkippedText) << tableRow;
        QTest::newRow("failed row") << QColor(PanelPalette::FailedText) << tableRow;
    }

    // WCAG's AA for small text, on the backgrounds each colour is drawn on.
    void textReadsAtFourAndAHalfToOne()
    {
        QFETCH(QColor, text);
        QFETCH(QColor, background);
        const double ratio = PanelStyle::contrast(text, background);
        QVERIFY2(ratio >= 4.5,
                qPrintable(u"%1 on %2: %3:1"_s.arg(text.name(), background.name()).arg(ratio, 0, 'f', 2)));
    }

    void geometry_data()
    {
        QTest::addColumn<QList<int>>("got");
        QTest::addColumn<QList<int>>("expected");
        using Ints = QList<int>;
        const auto meter = [](int width, int blocks) {
            const BlockMeter::Layout r = BlockMeter::layout(width, blocks);
            return Ints{ r.cell, r.gap, r.margin, r.span() };
        };
        QTest::newRow("meter 3n-2 keeps the gaps") << meter(100, 34) << Ints{ 1, 2, 0, 100 };
        QTest::newRow("meter 3n-3 drops them") << meter(99, 34) << Ints{ 2, 0, 15, 68 };
        // Halves round up: 25 % of 34 is 8.5; 58 % of 25 is 14.5, a hair below in floating point.
        const auto lit = &BlockMeter::litCount;
        QTest::newRow("lit blocks") << Ints{ lit(1, 34), lit(2, 34), lit(25, 34), lit(58, 25), lit(-1, 34) }
                                    << Ints{ 0, 1, 9, 15, 0 };
        // Cell, gap, margin, and where "06" and the closing "00", 14 px wide, start.
        const DayTimeline::Layout day = DayTimeline::layout(191);
        QTest::newRow("timeline narrowest with gaps")
                << Ints{ day.cell, day.gap, day.margin, DayTimeline::labelX(day, 191, 14, DayTimeline::labels().at(1)),
                       DayTimeline::labelX(day, 191, 14, DayTimeline::labels().last()) }
                << Ints{ 1, 1, 0, 48, 177 };
        using S = EdgeStrip;
        QTest::newRow("strip columns") << Ints{ S::columnAt(0.999, 0.0, 5.0, 500), S::columnAt(0.0, -0.5, 5.0, 550),
            S::columnAt(6.0, 0.0, 5.0, 500), S::columnAt(1.0, 5.0, 5.0, 500) }
                                       << Ints{ 99, 50, 500, 0 };
        // Full scale reaches the edge row, 40 dB down on an 80 dB scale half way, below the scale the centre row.
        QTest::newRow("strip rows") << Ints{ S::sampleY(32767, -80.0, 64), S::sampleY(-32768, -80.0, 64),
            S::sampleY(-328, -80.0, 64), S::sampleY(3, -80.0, 64), S::thresholdY(-50.0, 64) }
                                    << Ints{ 1, 63, 48, 32, 20 };
        // 8 × 0.69 × 100 is 552 exactly; a sum of doubles would lose a pixel.
        QTest::newRow("clock width") << Ints{ SegmentDisplay::runWidth(u"88888888"_s, 100) } << Ints{ 552 };
        Ints masks;
        for (const QChar ch : u"05- A\u0665\u00B2"_s)
            masks << SegmentDisplay::segmentMask(ch);
        QTest::newRow("segments, other digits like 5") << masks << Ints{ 0x7E, 0x5B, 0x01, 0, 0, 0x5B, 0 };
    }

    void geometry()
    {
        QFETCH(QList<int>, got);
        QTEST(got, "expected");
    }

    // The meter at either pixel ratio; the strip's silence, edge and cut part, and silence added before the file.
    void meterAndStripPixels()
    {
        BlockMeter meter;
        meter.setValue(50);
        // 17 of 34 lit: block 16 covers x 190..198 and block 17 starts at 201, with no blending at either edge.
        for (const int ratio : { 1, 2 }) {
            const QImage image = render(meter, QSize(400, 13), ratio);
            QList<QColor> seen;
            for (const int x : { 190 * ratio - 1, 190 * ratio, 199 * ratio - 1, 199 * ratio, 201 * ratio })
                seen << image.pixelColor(x, 6 * ratio);
            QCOMPARE(seen, (QList<QColor>{ clear, teal, teal, clear, QColor(u"#0F302C"_s) }));
        }
        using P = EdgeStrip::Peak;
        EdgeStrip strip; // a second of silence, two of tone, two of silence; the cut half way into the tone
        strip.setPeaks(QList<P>(1000, P(0, 0)) + QList<P>(2000, P(-4096, 4096)) + QList<P>(2000, P(0, 0)), 0.0, 0.001);
        strip.setScene({ 0.0, 5.0, 0.0, 1.0, 2.0, 0.0, 0.0, true, -50.0 });
        QImage image = render(strip, QSize(500, 64));
        const QColor glass(u"#070C0B"_s), shade(u"#11221F"_s), edge(u"#8BFFF0"_s), lost(u"#2E7A72"_s);
        QCOMPARE((QList<QColor>{ image.pixelColor(50, 2), image.pixelColor(120, 2), image.pixelColor(150, 32),
                         image.pixelColor(250, 32), image.pixelColor(200, 10) }),
                (QList<QColor>{ shade, glass, lost, teal, edge }));

        // Half a second added before the file: hatched there and nowhere else.
        strip.setScene({ -0.5, 5.0, 0.0, 1.0, -0.5, -0.5, 0.0, true, -50.0 });
        image = render(strip, QSize(550, 64));
        int leadIn = 0, elsewhere = 0;
        for (int x = 1; x < 550; ++x)
            for (int y = 0; y < 64; ++y)
                (x < 50 ? leadIn : elsewhere) += image.pixelColor(x, y) == QColor(u"#C98A2E"_s);
        QVERIFY2(leadIn > 100 && elsewhere == 0, qPrintable(u"%1 hatched, %2 elsewhere"_s.arg(leadIn).arg(elsewhere)));
    }

    // The clock, and the file and output lines elided to the room they have.
    void longTextsFitTheirRoom()
    {
        QCOMPARE(QStringList({ VfdPanel::clockText(-1), VfdPanel::clockText(3725), VfdPanel::clockText(90000) }),
                QStringList({ u"-:--:--"_s, u"1:02:05"_s, u"25:00:00"_s }));
        QWidget window; // plain, so the panel can be narrower than its layout would let a window of its own be
        auto *panel = new VfdPanel(&window);
        panel->resize(1500, 220);
        window.show();
        const QLabel *file = panel->findChild<QLabel *>(u"fileLabel"_s);
        const QLabel *output = panel->findChild<QLabel *>(u"outputLabel"_s);
        const int minimum = panel->minimumSizeHint().width();
        const QString name = u"a-rather-long-recording-from-the-archive-2024-03-14.flac"_s;
        const QString out = u"OUT \u00B7 MIRROR \u00B7 /SRV/MEDIA/ARCHIVE/PODCASTS/SEASON-04/EPISODE-117"_s;
        panel->setCurrentFile(name);
        panel->setOutput(out.toLower());
        // Wide: both whole, and the name not holding the panel that wide.
        QCOMPARE(QStringList({ file->text(), output->text() }), QStringList({ name.toUpper(), out }));
        panel->layout()->activate();
        QCOMPARE(panel->minimumSizeHint().width(), minimum);

        // Narrow: the name loses its start, the output line its middle but never below 140 px, not in its tool tip.
        panel->resize(200, 220);
        QVERIFY2(file->text().startsWith(QChar(0x2026)) && file->text().endsWith(u".FLAC"_s) && fills(file, 120),
                qPrintable(file->text()));
        QVERIFY2(output->text().contains(QChar(0x2026)) && output->text().endsWith(u"-117"_s) && fills(output, 140),
                qPrintable(output->text()));
        QCOMPARE(output->toolTip(), out);
    }

    void logShowsTextLiterallyAndKeepsTheLatest()
    {
        LogConsole console;
        console.resize(240, 120);
        console.show();
        QVERIFY(QTest::qWaitForWindowExposed(&console));
        const QTextDocument *doc = console.document();
        // Markup and "%1" are shown as typed; levels outside 0..3 are clamped.
        const QString text = u"<b>100%</b> of %1 & %2"_s;
        console.append(text, -5);
        console.append(text, 7);
        QCOMPARE(doc->firstBlock().text().mid(22), text); // past the "[yyyy-MM-dd HH:mm:ss] " stamp
        const auto colour
                = [](const QTextBlock &line) { return (--line.end()).fragment().charFormat().foreground().color(); };
        QCOMPARE(std::pair(colour(doc->firstBlock()), colour(doc->lastBlock())),
                std::pair(QColor(u"#33C9B8"_s), QColor(u"#E05B4C"_s)));

        for (int i = 0; i < 2000; ++i)
            console.append(u"line %1"_s.arg(i));
        console.append(QString(400, u'w'));
        QCOMPARE(std::pair(doc->blockCount(), doc->firstBlock().text().mid(22)), std::pair(2000, u"line 1"_s));
        // A line longer than the console wraps, even a word with no space to break at.
        QTRY_VERIFY(doc->lastBlock().layout()->lineCount() > 1);
        QCOMPARE(console.horizontalScrollBar()->maximum(), 0);

        // The user scrolls up to read; the next message brings the view back.
        QScrollBar *bar = console.verticalScrollBar();
        bar->setValue(0);
        console.append(u"newest"_s);
        QCOMPARE(
                std::pair(bar->value() > 0, bar->value()), std::pair(true, bar->maximum())); // there was room to scroll
    }
};

QTEST_MAIN(tst_Panel)
#include "tst_panel.moc"
