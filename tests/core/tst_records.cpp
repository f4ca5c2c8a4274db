#include "batchsummary.h"
#include "queueitem.h"
#include "recordtypes.h"
#include "settings.h"

#include <QMetaType>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_Records : public QObject
{
    Q_OBJECT

private slots:
    void settingsDefaults();
    void endModeLabels_data();
    void endModeLabels();
    void queueItemDefaults();
    void statusTexts_data();
    void statusTexts();
    void metaTypesRegisteredByName_data();
    void metaTypesRegisteredByName();
    void recordsCrossQueuedConnections();
};

void tst_Records::settingsDefaults()
{
    const Settings s;
    QCOMPARE(s.thresholdDb, -50.0);
    QCOMPARE(s.minSilenceSec, 0.5);
    QCOMPARE(s.maxTrimSec, 900.0);
    QCOMPARE(s.leadMode, EndMode::CutBack);
    QCOMPARE(s.tailMode, EndMode::CutBack);
    QCOMPARE(s.leadTargetMs, 150);
    QCOMPARE(s.tailTargetMs, 150);
    QCOMPARE(s.outputMode, OutputMode::Mirror);
    QCOMPARE(s.trimMethod, TrimMethod::StreamCopy);
    QVERIFY(s.outputRoot.isEmpty());
    QVERIFY(s.keepMtime);
    QVERIFY(s.makeBackup);
    QVERIFY(s.skipUntrimmed);
    QCOMPARE(s.padFallback, PadFallback::ReEncode);
    QCOMPARE(s.extensions, QStringList({ u"mp3"_s, u"wav"_s, u"flac"_s, u"ogg"_s, u"m4a"_s, u"aac"_s,
                                         u"wma"_s, u"aiff"_s }));
    QVERIFY(s.recursive);
    QVERIFY(s.ffmpegPath.isEmpty());
    QVERIFY(s.ffprobePath.isEmpty());
    QVERIFY(s.autoCheck);
    QVERIFY(s.skippedVersion.isEmpty());
    QVERIFY(!s.lastCheck.isValid());
}

void tst_Records::endModeLabels_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("targetMs");
    QTest::addColumn<QString>("label");
    QTest::newRow("leave alone hides the target") << 0 << 500 << u"OFF"_s;
    QTest::newRow("cut back") << 1 << 150 << u"MAX 150 MS"_s;
    QTest::newRow("top up") << 2 << 2000 << u"MIN 2000 MS"_s;
    QTest::newRow("exact zero") << 3 << 0 << u"SET 0 MS"_s;
    QTest::newRow("unknown mode") << 4 << 150 << QString();
    QTest::newRow("negative mode") << -1 << 150 << QString();
}

void tst_Records::endModeLabels()
{
    QFETCH(int, mode);
    QFETCH(int, targetMs);
    QFETCH(QString, label);
    QCOMPARE(endModeLabel(EndMode(mode), targetMs), label);
}

void tst_Records::queueItemDefaults()
{
    const QueueItem item;
    QCOMPARE(item.status, ItemStatus::Pending);
    QCOMPARE(statusText(item.status), u"Pending"_s);
    QVERIFY(item.message.isEmpty());
    QVERIFY(item.path.isEmpty() && item.relPath.isEmpty() && item.outputPath.isEmpty());
    QCOMPARE(item.durationSec, 0.0);
    QCOMPARE(item.sizeBytes, qint64(0));
    QVERIFY(!item.reencoded);

    const BatchSummary summary;
    QCOMPARE(summary.processed + summary.written + summary.skipped + summary.failed, 0);
    QCOMPARE(summary.secondsCut, 0.0);
    QCOMPARE(summary.secondsAdded, 0.0);
}

void tst_Records::statusTexts_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    const char *names[] = { "Pending", "Analysing", "Analysed", "Trimming", "Trimmed", "Skipped", "Failed" };
    for (int i = 0; i < 7; ++i)
        QTest::newRow(names[i]) << i << QString::fromLatin1(names[i]);
    QTest::newRow("out of range") << 7 << QString();
}

void tst_Records::statusTexts()
{
    QFETCH(int, status);
    QFETCH(QString, text);
    QCOMPARE(statusText(ItemStatus(status)), text);
}

void tst_Records::metaTypesRegisteredByName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("item") << QByteArray("ks::QueueItem");
    QTest::newRow("summary") << QByteArray("ks::BatchSummary");
    QTest::newRow("settings") << QByteArray("ks::Settings");
    QTest::newRow("item list") << QByteArray("QList<ks::QueueItem>");
}

void tst_Records::metaTypesRegisteredByName()
{
    QFETCH(QByteArray, name);
    registerRecordTypes();
    QVERIFY2(QMetaType::fromName(name).isValid(), name.constData());
}

// A small sender on another thread proves the records arrive intact by value.
class Sender : public QObject
{
    Q_OBJECT
signals:
    void sent(const QList<ks::QueueItem> &items, const ks::Settings &settings, const ks::BatchSummary &summary);
};

void tst_Records::recordsCrossQueuedConnections()
{
    registerRecordTypes();
    Sender sender;
    QThread thread;
    sender.moveToThread(&thread);
    thread.start();

    QList<QueueItem> received;
    Settings receivedSettings;
    BatchSummary receivedSummary;
    bool arrived = false;
    connect(&sender, &Sender::sent, this,
            [&](const QList<QueueItem> &items, const Settings &settings, const BatchSummary &summary) {
                received = items;
                receivedSettings = settings;
                receivedSummary = summary;
                arrived = true;
            });

    QueueItem item;
    item.path = u"/music/ä b.mp3"_s;
    item.status = ItemStatus::Failed;
    item.message = u"cancelled"_s;
    Settings settings;
    settings.tailMode = EndMode::Exact;
    BatchSummary summary;
    summary.secondsCut = 12.5;
    QMetaObject::invokeMethod(&sender, [&] { emit sender.sent({ item }, settings, summary); });

    QTRY_VERIFY(arrived);
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().path, item.path);
    QCOMPARE(received.first().status, ItemStatus::Failed);
    QCOMPARE(receivedSettings.tailMode, EndMode::Exact);
    QCOMPARE(receivedSummary.secondsCut, 12.5);
    thread.quit();
    thread.wait();
}

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
