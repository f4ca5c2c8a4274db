#include "blockmeter.h"
#include "segmentdisplay.h"
#include "statuschip.h"
#include "panelstyle.h"
#include "vfdpanel.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace ks;

namespace {

// Whether a label shows at most `allowed` pixels, and uses that room.
bool fills(const QLabel *label, int allowed)
{
    const QFontMetrics metrics(label->font());
    const int shown = metrics.horizontalAdvance(label->text());
    return shown <= allowed && shown > allowed - metrics.horizontalAdvance(u"MM"_s);
}

} // namespace

class tst_VfdPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void clockTexts();
    void phasesSetTheirChipsAndIdleClearsTheRun();
    void longTextsFitTheirRoom();
};

void tst_VfdPanel::initTestCase()
{
    // The labels' fonts come from the program's stylesheet, as in the program.
    QVERIFY(PanelStyle::applyStyleSheet());
}

void tst_VfdPanel::clockTexts()
{
    VfdPanel panel;
    QStringList texts;
    for (const int seconds : { -1, 0, 59, 3725, 90000 }) {
        panel.setElapsedSeconds(seconds);
        texts << panel.findChild<SegmentDisplay *>()->text();
    }
    QCOMPARE(texts, (QStringList{ u"-:--:--"_s, u"0:00:00"_s, u"0:00:59"_s, u"1:02:05"_s, u"25:00:00"_s }));
}

void tst_VfdPanel::phasesSetTheirChipsAndIdleClearsTheRun()
{
    // Each phase sets every chip it owns and leaves SKIP alone.
    QStringList seen;
    for (int phase = 0; phase <= 4; ++phase) {
        VfdPanel panel;
        const QList<StatusChip *> indicators = panel.findChildren<StatusChip *>().mid(0, 4);
        for (StatusChip *chip : indicators)
            chip->setLit(true);
        panel.setFileProgress(40);
        panel.setBatchProgress(70);
        panel.setCurrentFile(u"take 3.wav"_s);
        panel.setPhase(phase);
        QStringList state;
        for (const StatusChip *chip : indicators) {
            if (chip->isLit())
                state << chip->text();
        }
        for (const BlockMeter *meter : panel.findChildren<BlockMeter *>())
            state << QString::number(meter->value());
        seen << (state << panel.findChild<QLabel *>(u"fileLabel"_s)->text()).join(u' ');
    }
    QCOMPARE(seen, (QStringList{ u"SKIP -1 -1 ---"_s, u"SCAN SKIP 40 70 TAKE 3.WAV"_s, u"TRIM SKIP 40 70 TAKE 3.WAV"_s,
                                 u"TRIM SKIP 40 70 TAKE 3.WAV"_s, u"SKIP ERR 40 70 TAKE 3.WAV"_s }));
}

void tst_VfdPanel::longTextsFitTheirRoom()
{
    const auto fileRoom = &VfdPanel::fileElideWidth;
    // What value chips 150 and 180 px wide leave.
    const auto outputRoom = [](int width) { return VfdPanel::outputElideWidth(width, 150, 180); };
    QCOMPARE((QList<int>{ fileRoom(200), fileRoom(241), fileRoom(242), fileRoom(1000) }),
             (QList<int>{ 120, 120, 121, 500 }));
    QCOMPARE((QList<int>{ outputRoom(200), outputRoom(242), outputRoom(1000) }), (QList<int>{ 140, 140, 370 }));

    // In a plain window, so that it can be made narrower than its layout
    // would let a window of its own be.
    QWidget window;
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

    // Wide: both shown whole, the output line at the right end of the chip
    // row with the room for it, and the name not holding the panel that wide.
    QCOMPARE(file->text(), name.toUpper());
    QCOMPARE(output->text(), out);
    QVERIFY(output->width() >= QFontMetrics(output->font()).horizontalAdvance(out));
    QCOMPARE(output->geometry().right(), panel->contentsRect().right() - 16);
    panel->layout()->activate();
    QCOMPARE(panel->minimumSizeHint().width(), minimum);

    // Narrow: the name loses its beginning, the output line its middle but
    // never below 140 px, and the tool tip keeps the whole line.
    panel->resize(200, 220);
    QVERIFY2(file->text().startsWith(QChar(0x2026)) && file->text().endsWith(u".FLAC"_s), qPrintable(file->text()));
    QVERIFY(fills(file, 120));
    QVERIFY2(output->text().contains(QChar(0x2026)) && output->text().endsWith(u"-117"_s), qPrintable(output->text()));
    QVERIFY(fills(output, 140));
    QCOMPARE(output->toolTip(), out);
}

QTEST_MAIN(tst_VfdPanel)
#include "tst_vfdpanel.moc"
