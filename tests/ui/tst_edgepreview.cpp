#include "audiofixture.h"
#include "edgepreview.h"
#include "edgestrip.h"
#include "faketool.h"
#include "queuemodel.h"
#include "queueview.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"
#include "windowrig.h"

#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace ks;

namespace {

QueueItem measured(const QString &path, double lengthSec, double headSec, double tailSec, double headChange,
                   double tailChange)
{
    QueueItem item;
    item.path = path;
    item.durationSec = lengthSec;
    item.headSec = headSec;
    item.tailSec = tailSec;
    item.headChangeSec = headChange;
    item.tailChangeSec = tailChange;
    item.newDurationSec = lengthSec + headChange + tailChange;
    item.status = ItemStatus::Analysed;
    return item;
}

QList<double> numbers(const EdgePreview::Edge &e)
{
    const EdgeStrip::Scene &s = e.scene;
    QList<double> all{ s.fromSec, s.toSec, s.silenceFromSec, s.silenceToSec, s.edgeSec, s.addedFromSec,
                       s.addedToSec, e.readFromSec, e.readSec, e.playFromSec, e.playSec, e.playPadSec };
    for (double &n : all)
        n = std::round(n * 1000.0) / 1000.0 + 0.0; // no -0
    return all;
}

// The first and the last column with sound in it, well above the resampler's ripple.
QPair<int, int> soundColumns(const EdgeStrip &strip, int width)
{
    const EdgeStrip::Scene &s = strip.scene();
    const QList<EdgeStrip::Peak> columns
            = EdgeStrip::columns(strip.peaks(), strip.peaksFromSec(), strip.peakSec(), s.fromSec, s.toSec, width);
    int first = -1, last = -1;
    for (int x = 0; x < columns.size(); ++x) {
        if (columns.at(x).second > 400) {
            last = x;
            if (first < 0)
                first = x;
        }
    }
    return { first, last };
}

bool alive(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(u"/proc/%1"_s.arg(pid));
}

QList<qint64> runningChildren(const QObject &owner)
{
    QList<qint64> pids;
    for (const QProcess *process : owner.findChildren<QProcess *>()) {
        if (process->state() == QProcess::Running)
            pids << process->processId();
    }
    return pids;
}

// A queue with its view and preview, outside any window.
struct Rig
{
    test::SettingsSandbox sandbox;
    QueueModel model;
    QueueView view{ &model };
    EdgePreview preview{ &view };

    void add(const QueueItem &item)
    {
        model.addFiles({ item.path }, QFileInfo(item.path).absolutePath());
        model.setItem(model.rowOfPath(item.path), item);
    }
    EdgeStrip &strip(int side) { return *preview.findChildren<EdgeStrip *>().at(side); }
    bool read() { return !preview.isReading() && strip(0).hasPeaks() && strip(1).hasPeaks(); }
    QString fileText() { return preview.findChildren<QLabel *>().at(0)->text(); }
};

} // namespace

class tst_EdgePreview : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void edges_data();
    void edges();
    void envelopeOfAGeneratedFile();
    void trimmedRowShowsTheWrittenFile();
    void selectionChangeCancelsTheRead();
    void noChildOutlivesTheWindow();

private:
    QTemporaryDir m_dir;
    QString m_tone; // 1 s of silence, 8 s of tone, 2 s of silence
};

void tst_EdgePreview::initTestCase()
{
    // ffplay plays in real time to nowhere.
    qputenv("SDL_AUDIODRIVER", "dummy");
    m_tone = m_dir.filePath(u"tone.wav"_s);
    QCOMPARE(test::makeAudio(m_tone, { 1.0, 8.0, 2.0 }), QString());
}

void tst_EdgePreview::edges_data()
{
    QTest::addColumn<QueueItem>("item");
    QTest::addColumn<QList<double>>("head"); // axis, silence, edge, added, read, play
    QTest::addColumn<QList<double>>("tail");
    QTest::addColumn<QString>("headPlay");

    QTest::newRow("cut back at both ends")
            << measured(u"/in/a.flac"_s, 30.0, 1.85, 3.2, -1.7, -3.05)
            << QList<double>{ 0, 5, 0, 1.85, 1.7, 0, 0, 0, 5, 1.7, 3, 0 }
            << QList<double>{ 23.8, 30, 26.8, 30, 26.95, 30, 30, 23.8, 6.2, 23.95, 3, 0 }
            << u"-nodisp -autoexit -loglevel error -ss 1.700 -t 3.000 /in/a.flac"_s;
    QTest::newRow("topped up, shorter than a strip")
            << measured(u"/in/b.wav"_s, 4.0, 0.05, 0.0, 0.45, 1.0)
            << QList<double>{ -0.45, 4, 0, 0.05, -0.45, -0.45, 0, 0, 4, 0, 3, 0.45 }
            << QList<double>{ 0, 5, 4, 4, 5, 4, 5, 0, 4, 1, 3, 1 }
            << u"-nodisp -autoexit -loglevel error -ss 0.000 -t 3.000 -af adelay=450:all=1 /in/b.wav"_s;
    QueueItem written = measured(u"/in/c.flac"_s, 30.0, 1.85, 3.2, -1.7, 0.5);
    written.status = ItemStatus::Trimmed;
    written.outputPath = u"/out/c.flac"_s;
    QTest::newRow("trimmed: the written file, its added silence inside it")
            << written << QList<double>{ 0, 5, 0, 0.15, 0, 0, 0, 0, 5, 0, 3, 0 }
            << QList<double>{ 22.1, 28.8, 25.1, 28.8, 28.8, 28.3, 28.8, 22.1, 6.7, 25.8, 3, 0 }
            << u"-nodisp -autoexit -loglevel error -ss 0.000 -t 3.000 /out/c.flac"_s;
}

void tst_EdgePreview::edges()
{
    QFETCH(QueueItem, item);
    const std::optional<EdgePreview::Edges> edges = EdgePreview::edgesFor(item, -50.0);
    QVERIFY(edges);
    QCOMPARE(edges->written, item.status == ItemStatus::Trimmed);
    QTEST(numbers(edges->head), "head");
    QTEST(numbers(edges->tail), "tail");
    QTEST(EdgePreview::playArguments(edges->path, edges->head, EdgePreview::Head).join(u' '), "headPlay");
    if (item.tailChangeSec > 0 && !edges->written)
        QVERIFY(EdgePreview::playArguments(edges->path, edges->tail, EdgePreview::Tail).contains(u"apad=pad_dur=1.000"_s));

    item.durationSec = 0.0; // not probed yet
    QVERIFY(!EdgePreview::edgesFor(item, -50.0));
}

void tst_EdgePreview::envelopeOfAGeneratedFile()
{
    Rig rig;
    rig.add(measured(m_tone, 11.0, 1.0, 2.0, -0.85, -1.85));
    rig.view.selectQueueRow(0);
    QTRY_VERIFY(rig.read());
    QVERIFY(rig.fileText().contains(u"TONE.WAV"_s));

    // 100 columns a second over 5 s strips: the head from 0 s, the tail from 6 s.
    const int width = 500;
    struct Expected { int firstSound, lastSound, shadeFrom, shadeTo, edge; };
    const Expected expected[] = { { 100, 499, 0, 100, 85 }, { 0, 299, 300, 500, 315 } };
    for (const int side : { 0, 1 }) {
        const EdgeStrip &strip = rig.strip(side);
        const EdgeStrip::Scene &s = strip.scene();
        const QPair<int, int> sound = soundColumns(strip, width);
        const QPair<int, int> shade = EdgeStrip::columnSpan(s.silenceFromSec, s.silenceToSec, s, width);
        const Expected &e = expected[side];
        QVERIFY2(std::abs(sound.first - e.firstSound) <= 1 && std::abs(sound.second - e.lastSound) <= 1,
                 qPrintable(u"side %1: sound in columns %2..%3"_s.arg(side).arg(sound.first).arg(sound.second)));
        QCOMPARE(shade, qMakePair(e.shadeFrom, e.shadeTo));
        QCOMPARE(EdgeStrip::columnAt(s.edgeSec, s.fromSec, s.toSec, width), e.edge);
        // A sine of an eighth of full scale, and digital silence away from its ends.
        const QList<EdgeStrip::Peak> columns
                = EdgeStrip::columns(strip.peaks(), strip.peaksFromSec(), strip.peakSec(), s.fromSec, s.toSec, width);
        const EdgeStrip::Peak tone = columns.at(200), quiet = columns.at(side == 0 ? 50 : 400);
        QVERIFY2(tone.first <= -4000 && tone.first >= -4200 && tone.second >= 4000 && tone.second <= 4200,
                 qPrintable(u"%1..%2"_s.arg(tone.first).arg(tone.second)));
        QCOMPARE(quiet, EdgeStrip::Peak(0, 0));
    }
}

void tst_EdgePreview::trimmedRowShowsTheWrittenFile()
{
    const QString written = m_dir.filePath(u"out/written.wav"_s);
    QCOMPARE(test::makeAudio(written, { 0.15, 8.0, 0.15 }), QString());
    Rig rig;
    QueueItem item = measured(m_tone, 11.0, 1.0, 2.0, -0.85, -1.85);
    item.status = ItemStatus::Trimmed;
    item.outputPath = written;
    rig.add(item);
    rig.view.selectQueueRow(0);
    QTRY_VERIFY(rig.read());
    QVERIFY(rig.fileText().startsWith(u"WRITTEN.WAV"_s));
    QVERIFY(rig.fileText().endsWith(EdgePreview::tr("WRITTEN FILE").toUpper()));

    // Its head strip of 5 s: the sound begins 0.15 s in, where the shading ends.
    const EdgeStrip &head = rig.strip(0);
    const QPair<int, int> sound = soundColumns(head, 500);
    QVERIFY2(std::abs(sound.first - 15) <= 1, qPrintable(QString::number(sound.first)));
    QCOMPARE(EdgeStrip::columnSpan(head.scene().silenceFromSec, head.scene().silenceToSec, head.scene(), 500),
             qMakePair(0, 15));
}

void tst_EdgePreview::selectionChangeCancelsTheRead()
{
    Rig rig;
    appSettings().ffmpegPath = test::writeFakeTool(m_dir.path(), u"ffmpeg"_s, "exec sleep 30");
    rig.add(measured(m_tone, 11.0, 1.0, 2.0, -0.85, -1.85));
    rig.add(measured(m_dir.filePath(u"other.wav"_s), 11.0, 1.0, 2.0, -0.85, -1.85));

    rig.view.selectQueueRow(0);
    QTRY_COMPARE(runningChildren(rig.preview).size(), 2);
    const QList<qint64> first = runningChildren(rig.preview);
    rig.view.selectQueueRow(1);
    QTRY_VERIFY(!alive(first.at(0)) && !alive(first.at(1)));
    QTRY_COMPARE(runningChildren(rig.preview).size(), 2);
    const QList<qint64> second = runningChildren(rig.preview);

    // A run holds the reads back until it is over.
    rig.preview.setRunning(true);
    rig.view.selectQueueRow(0);
    QTRY_VERIFY(!alive(second.at(0)) && !alive(second.at(1)));
    QTest::qWait(200);
    QCOMPARE(runningChildren(rig.preview), QList<qint64>());
    QCOMPARE(rig.fileText(), EdgePreview::tr("Waiting for the run to finish...").toUpper());
    rig.preview.setRunning(false);
    QTRY_COMPARE(runningChildren(rig.preview).size(), 2);
}

void tst_EdgePreview::noChildOutlivesTheWindow()
{
    const QString hang = test::writeFakeTool(m_dir.path(), u"ffmpeg"_s, "exec sleep 30");
    WindowRig rig([&](Settings &settings) { settings.ffmpegPath = hang; });
    auto *preview = rig.window->findChild<EdgePreview *>();
    auto *play = rig.find<QPushButton>("playHeadButton");
    preview->setPlayer(QString());
    QVERIFY(!play->isVisibleTo(preview));
    preview->setPlayer(QStandardPaths::findExecutable(u"ffplay"_s));
    QVERIFY(play->isVisibleTo(preview));

    rig.queue()->addFiles({ m_tone }, m_dir.path());
    rig.queue()->setItem(0, measured(m_tone, 11.0, 1.0, 2.0, -0.85, -1.85));
    rig.window->findChild<QueueView *>()->selectQueueRow(0);
    QTRY_COMPARE(runningChildren(*preview).size(), 2);

    // A second press stops what the first one started.
    play->click();
    QTRY_COMPARE(runningChildren(*preview).size(), 3);
    QVERIFY(play->isChecked());
    const qint64 player = runningChildren(*preview).last();
    play->click();
    QVERIFY(!alive(player) && !play->isChecked());
    play->click();
    QTRY_COMPARE(runningChildren(*preview).size(), 3);
    const QList<qint64> running = runningChildren(*preview);

    rig.window.reset();
    for (const qint64 pid : running)
        QVERIFY2(!alive(pid), qPrintable(QString::number(pid)));
}

QTEST_MAIN(tst_EdgePreview)
#include "tst_edgepreview.moc"
