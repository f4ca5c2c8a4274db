#include "blockmeter.h"
#include "daytimeline.h"
#include "segmentdisplay.h"
#include "statuschip.h"
#include "vfdpanel.h"
#include "widgetprobe.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QTime>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;
using ks::VfdPanel;

namespace {

const QString ellipsis(QChar(0x2026));

// The panel inside a plain window, so that it can be made narrower than its
// layout would allow a top-level window to be.
struct PanelHost
{
    PanelHost()
        : panel(new VfdPanel(&window))
    {
        window.resize(1600, 260);
        panel->setGeometry(0, 0, 900, 220);
        window.show();
    }

    template<typename T>
    T *part(const char *name) const
    {
        return panel->findChild<T *>(QLatin1String(name));
    }

    int advance(const char *label) const
    {
        const QLabel *shown = part<QLabel>(label);
        return QFontMetrics(shown->font()).horizontalAdvance(shown->text());
    }

    QWidget window;
    VfdPanel *panel;
};

bool currentSlotIsNow(int slot)
{
    // The quarter hour may turn between the panel's reading and this one.
    const QTime now = QTime::currentTime();
    return slot == ks::DayTimeline::slotOf(now) || slot == ks::DayTimeline::slotOf(now.addSecs(-5));
}

} // namespace

class tst_VfdPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startsIdleWithDefaultReadout();
    void clockTexts_data();
    void clockTexts();
    void phasesLightChips_data();
    void phasesLightChips();
    void idleBlanksRunState();
    void valueTextsAsGivenSummaryUpperCased();
    void todayMarks();
    void elideWidths_data();
    void elideWidths();
    void fileNameLosesItsBeginning();
    void longFileNameLeavesPanelNarrow();
    void outputLosesItsMiddleWithFullTooltip();
    void paintsPanelAndChips();
};

void tst_VfdPanel::initTestCase()
{
    // The panel's look comes from the program's stylesheet, as in the program.
    QFile style(u":/style/vfd.qss"_s);
    QVERIFY(style.open(QIODevice::ReadOnly | QIODevice::Text));
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
}

void tst_VfdPanel::startsIdleWithDefaultReadout()
{
    PanelHost host;
    QVERIFY(QTest::qWaitForWindowExposed(&host.window));
    VfdPanel *panel = host.panel;
    QCOMPARE(panel->objectName(), u"VfdPanel"_s);
    QCOMPARE(panel->font().pixelSize(), 11);

    const QStringList indicators{ u"scanChip"_s, u"trimChip"_s, u"skipChip"_s, u"errorChip"_s };
    const QStringList captions{ u"SCAN"_s, u"TRIM"_s, u"SKIP"_s, u"ERR"_s };
    const QList<QColor> colours{ QColor(u"#45E8D5"_s), QColor(u"#45E8D5"_s), QColor(u"#C98A2E"_s),
                                 QColor(u"#E05B4C"_s) };
    for (int i = 0; i < indicators.size(); ++i) {
        const auto *chip = panel->findChild<ks::StatusChip *>(indicators.at(i));
        QVERIFY(chip);
        QCOMPARE(chip->text(), captions.at(i));
        QCOMPARE(chip->style(), ks::StatusChip::IndicatorStyle);
        QCOMPARE(chip->color(), colours.at(i));
        QVERIFY(!chip->isLit());
    }
    QCOMPARE(host.part<ks::StatusChip>("detectionChip")->text(), u"-50 DB \u00B7 0.50 S"_s);
    QCOMPARE(host.part<ks::StatusChip>("detectionChip")->style(), ks::StatusChip::ValueStyle);
    QCOMPARE(host.part<ks::StatusChip>("endsChip")->text(), u"HEAD OFF \u00B7 TAIL OFF"_s);
    QCOMPARE(host.part<QLabel>("outputLabel")->text(), u"OUT \u00B7 NOT SET"_s);
    QCOMPARE(host.part<QLabel>("outputLabel")->toolTip(), u"OUT \u00B7 NOT SET"_s);
    QCOMPARE(host.part<QLabel>("summaryLabel")->text(), u"NO RUN YET"_s);
    QCOMPARE(host.part<QLabel>("fileLabel")->text(), u"---"_s);

    const auto *clock = host.part<ks::SegmentDisplay>("clock");
    QCOMPARE(clock->text(), u"-:--:--"_s);
    QCOMPARE(clock->digitHeight(), 66);

    const auto *fileMeter = host.part<ks::BlockMeter>("fileMeter");
    const auto *batchMeter = host.part<ks::BlockMeter>("batchMeter");
    QCOMPARE(fileMeter->value(), -1);
    QCOMPARE(fileMeter->blockCount(), 34);
    QCOMPARE(fileMeter->scheme(), ks::BlockMeter::UniformScheme);
    QVERIFY(fileMeter->scaleLabels().isEmpty());
    QCOMPARE(batchMeter->value(), -1);
    QCOMPARE(batchMeter->scheme(), ks::BlockMeter::GradedScheme);
    QCOMPARE(batchMeter->scaleLabels(), QStringList({ u"0"_s, u"25"_s, u"50"_s, u"75"_s, u"100%"_s }));

    // The labels take their look from the stylesheet through their role.
    QStringList roles;
    for (const QLabel *label : panel->findChildren<QLabel *>())
        roles << label->property("vfdRole").toString() + u':' + label->text();
    for (const QString &caption : { u"ELAPSED"_s, u"PROGRESS"_s, u"FILE"_s, u"BATCH"_s, u"TODAY"_s })
        QVERIFY2(roles.contains(u"caption:"_s + caption), qPrintable(caption));
    QVERIFY(roles.contains(u"summary:NO RUN YET"_s));
    QVERIFY(roles.contains(u"info:---"_s));

    // Today's current quarter hour, kept fresh every 30 s.
    QVERIFY(currentSlotIsNow(host.part<ks::DayTimeline>("timeline")->currentSlot()));
    const QList<QTimer *> timers = panel->findChildren<QTimer *>();
    QVERIFY(std::any_of(timers.cbegin(), timers.cend(),
                        [](const QTimer *timer) { return timer->interval() == 30000 && timer->isActive(); }));
}

void tst_VfdPanel::clockTexts_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("no run") << -1 << u"-:--:--"_s;
    QTest::newRow("start") << 0 << u"0:00:00"_s;
    QTest::newRow("59 s") << 59 << u"0:00:59"_s;
    QTest::newRow("3725 s") << 3725 << u"1:02:05"_s;
    QTest::newRow("ten hours") << 36000 << u"10:00:00"_s;
    QTest::newRow("past a day") << 90000 << u"25:00:00"_s;
}

void tst_VfdPanel::clockTexts()
{
    QFETCH(int, seconds);
    QFETCH(QString, text);
    VfdPanel panel;
    panel.setElapsedSeconds(seconds);
    QCOMPARE(panel.findChild<ks::SegmentDisplay *>()->text(), text);
}

void tst_VfdPanel::phasesLightChips_data()
{
    QTest::addColumn<int>("phase");
    QTest::addColumn<bool>("scan");
    QTest::addColumn<bool>("trim");
    QTest::addColumn<bool>("error");
    QTest::newRow("idle") << 0 << false << false << false;
    QTest::newRow("scanning") << 1 << true << false << false;
    QTest::newRow("analysing") << 2 << false << true << false;
    QTest::newRow("trimming") << 3 << false << true << false;
    QTest::newRow("error") << 4 << false << false << true;
}

void tst_VfdPanel::phasesLightChips()
{
    QFETCH(int, phase);
    QFETCH(bool, scan);
    QFETCH(bool, trim);
    QFETCH(bool, error);

    PanelHost host;
    // Start from everything lit: each phase sets every chip it owns.
    host.panel->setPhase(1);
    host.panel->setPhase(3);
    host.panel->setErrorLit(true);
    host.panel->setSkipLit(true);
    host.part<ks::StatusChip>("scanChip")->setLit(true);

    host.panel->setPhase(phase);
    QCOMPARE(host.part<ks::StatusChip>("scanChip")->isLit(), scan);
    QCOMPARE(host.part<ks::StatusChip>("trimChip")->isLit(), trim);
    QCOMPARE(host.part<ks::StatusChip>("errorChip")->isLit(), error);
    QVERIFY(host.part<ks::StatusChip>("skipChip")->isLit());
}

void tst_VfdPanel::idleBlanksRunState()
{
    PanelHost host;
    VfdPanel *panel = host.panel;
    panel->setFileProgress(40);
    panel->setBatchProgress(70);
    panel->setCurrentFile(u"take 3.wav"_s);
    QCOMPARE(host.part<QLabel>("fileLabel")->text(), u"TAKE 3.WAV"_s);

    panel->setPhase(3);
    QCOMPARE(host.part<ks::BlockMeter>("fileMeter")->value(), 40);
    QCOMPARE(host.part<ks::BlockMeter>("batchMeter")->value(), 70);
    QCOMPARE(host.part<QLabel>("fileLabel")->text(), u"TAKE 3.WAV"_s);

    panel->setPhase(0);
    QCOMPARE(host.part<ks::BlockMeter>("fileMeter")->value(), -1);
    QCOMPARE(host.part<ks::BlockMeter>("batchMeter")->value(), -1);
    QCOMPARE(host.part<QLabel>("fileLabel")->text(), u"---"_s);
}

void tst_VfdPanel::valueTextsAsGivenSummaryUpperCased()
{
    PanelHost host;
    host.panel->setDetection(u"-45 dB \u00B7 0.30 S"_s);
    host.panel->setEnds(u"HEAD MAX 150 MS \u00B7 TAIL SET 500 MS"_s);
    host.panel->setSummary(u"last 14:05 \u00B7 4 scanned \u00B7 12.4 s cut"_s);
    QCOMPARE(host.part<ks::StatusChip>("detectionChip")->text(), u"-45 dB \u00B7 0.30 S"_s);
    QCOMPARE(host.part<ks::StatusChip>("endsChip")->text(), u"HEAD MAX 150 MS \u00B7 TAIL SET 500 MS"_s);
    QCOMPARE(host.part<QLabel>("summaryLabel")->text(), u"LAST 14:05 \u00B7 4 SCANNED \u00B7 12.4 S CUT"_s);
}

void tst_VfdPanel::todayMarks()
{
    VfdPanel panel;
    auto *timeline = panel.findChild<ks::DayTimeline *>();
    panel.markToday();
    QCOMPARE(timeline->markedSlots().size(), 1);
    QVERIFY(currentSlotIsNow(*timeline->markedSlots().cbegin()));
    panel.clearToday();
    QVERIFY(timeline->markedSlots().isEmpty());
}

void tst_VfdPanel::elideWidths_data()
{
    QTest::addColumn<int>("panelWidth");
    QTest::addColumn<int>("fileWidth");
    QTest::addColumn<int>("outputWidth");
    // Value chips 150 and 180 px wide.
    QTest::newRow("200 px") << 200 << 120 << 140;
    QTest::newRow("241 px") << 241 << 120 << 140;
    QTest::newRow("242 px") << 242 << 121 << 140;
    QTest::newRow("770 px") << 770 << 385 << 140;
    QTest::newRow("1000 px") << 1000 << 500 << 370;
}

void tst_VfdPanel::elideWidths()
{
    QFETCH(int, panelWidth);
    QFETCH(int, fileWidth);
    QFETCH(int, outputWidth);
    QCOMPARE(VfdPanel::fileElideWidth(panelWidth), fileWidth);
    QCOMPARE(VfdPanel::outputElideWidth(panelWidth, 150, 180), outputWidth);
}

void tst_VfdPanel::fileNameLosesItsBeginning()
{
    PanelHost host;
    QVERIFY(QTest::qWaitForWindowExposed(&host.window));
    const QString name = u"a-rather-long-recording-from-the-archive-2024-03-14.flac"_s;
    host.panel->setCurrentFile(name);
    const QLabel *label = host.part<QLabel>("fileLabel");
    QCOMPARE(label->text(), name.toUpper());

    const int narrowChar = QFontMetrics(label->font()).horizontalAdvance(u"MM"_s);
    for (const int width : { 200, 400 }) {
        host.panel->resize(width, 220);
        const int allowed = width <= 241 ? 120 : width / 2;
        const QString shown = label->text();
        QVERIFY2(shown.startsWith(ellipsis), qPrintable(shown));
        QVERIFY(name.toUpper().endsWith(shown.mid(1)));
        QVERIFY(shown.endsWith(u".FLAC"_s));
        QVERIFY(host.advance("fileLabel") <= allowed);
        QVERIFY(host.advance("fileLabel") > allowed - narrowChar);
    }
}

void tst_VfdPanel::longFileNameLeavesPanelNarrow()
{
    PanelHost host;
    host.panel->resize(1400, 220);
    host.panel->layout()->activate();
    const int minimum = host.panel->minimumSizeHint().width();
    host.panel->setCurrentFile(QString(150, u'x') + u".wav"_s);
    QVERIFY(host.part<QLabel>("fileLabel")->text().startsWith(ellipsis));
    host.panel->layout()->activate();
    QCOMPARE(host.panel->minimumSizeHint().width(), minimum);
}

void tst_VfdPanel::outputLosesItsMiddleWithFullTooltip()
{
    PanelHost host;
    QVERIFY(QTest::qWaitForWindowExposed(&host.window));
    const QString full = u"OUT \u00B7 MIRROR \u00B7 /SRV/MEDIA/ARCHIVE/PODCASTS/SEASON-04/EPISODE-117"_s;
    host.panel->setOutput(full.toLower());
    const QLabel *label = host.part<QLabel>("outputLabel");

    host.panel->resize(1500, 220);
    QCOMPARE(label->text(), full);
    QCOMPARE(label->toolTip(), full);
    // It has the room to show it, at the right end of the chip row.
    QVERIFY(label->width() >= host.advance("outputLabel"));
    QCOMPARE(label->geometry().right(), host.panel->contentsRect().right() - 16);

    const int narrowChar = QFontMetrics(label->font()).horizontalAdvance(u"MM"_s);
    for (const int width : { 300, 700 }) {
        host.panel->resize(width, 220);
        const QString shown = label->text();
        QVERIFY2(shown.contains(ellipsis), qPrintable(shown));
        QVERIFY(shown.startsWith(u"OUT \u00B7 "_s));
        QVERIFY(shown.endsWith(u"-117"_s));
        // Never squeezed below 140 px, however narrow the panel.
        QVERIFY(host.advance("outputLabel") <= 140);
        QVERIFY(host.advance("outputLabel") > 140 - narrowChar);
        QCOMPARE(label->toolTip(), full);
    }
}

void tst_VfdPanel::paintsPanelAndChips()
{
    PanelHost host;
    QVERIFY(QTest::qWaitForWindowExposed(&host.window));
    host.panel->setPhase(3);
    const QImage image = host.panel->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const auto sample = [&](const char *chip) {
        const QRect box = host.part<ks::StatusChip>(chip)->geometry();
        return image.pixelColor((QPointF(box.left() + 3, box.center().y()) * ratio).toPoint());
    };
    QCOMPARE(sample("trimChip"), QColor(u"#07211E"_s));
    QCOMPARE(sample("scanChip"), QColor(u"#0B1412"_s));
    QCOMPARE(sample("detectionChip"), QColor(u"#07211E"_s));
    // The dark panel itself, between the chip row and the timeline.
    const QRect chip = host.part<ks::StatusChip>("scanChip")->geometry();
    QCOMPARE(image.pixelColor((QPointF(chip.left(), chip.bottom() + 4) * ratio).toPoint()), QColor(u"#070C0B"_s));
}

QTEST_MAIN(tst_VfdPanel)
#include "tst_vfdpanel.moc"
