#include "batchsummary.h"
#include "queueitem.h"
#include "recordtypes.h"
#include "settings.h"

#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_Records : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void labels_data();
    void labels();
    void recordsCrossThreadsByName();
};

void tst_Records::labels_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("leave alone hides its target") << endModeLabel(EndMode::LeaveAlone, 500) << u"OFF"_s;
    QTest::newRow("cut back") << endModeLabel(EndMode::CutBack, 150) << u"MAX 150 MS"_s;
    QTest::newRow("top up") << endModeLabel(EndMode::TopUp, 2000) << u"MIN 2000 MS"_s;
    QTest::newRow("exact zero") << endModeLabel(EndMode::Exact, 0) << u"SET 0 MS"_s;
    QTest::newRow("unknown mode") << endModeLabel(EndMode(4), 150) << QString();
    QTest::newRow("failed status") << statusText(ItemStatus::Failed) << u"Failed"_s;
    QTest::newRow("unknown status") << statusText(ItemStatus(7)) << QString();
}

void tst_Records::labels()
{
    QFETCH(QString, text);
    QTEST(text, "expected");
}

// The names the queued signals use must be the registered ones, or the
// records never reach the other thread.
class Sender : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void sent(const QList<ks::QueueItem> &items, const ks::Settings &settings, const ks::BatchSummary &summary);
};

void tst_Records::recordsCrossThreadsByName()
{
    registerRecordTypes();
    for (const char *name : { "ks::QueueItem", "ks::BatchSummary", "ks::Settings", "QList<ks::QueueItem>" })
        QVERIFY2(QMetaType::fromName(name).isValid(), name);

    Sender sender;
    QThread thread;
    sender.moveToThread(&thread);
    thread.start();
    QList<QueueItem> received;
    Settings receivedSettings;
    connect(&sender, &Sender::sent, this, [&](const QList<QueueItem> &items, const Settings &settings) {
        received = items;
        receivedSettings = settings;
    });
    QueueItem item;
    item.path = u"/music/ä b.mp3"_s;
    item.status = ItemStatus::Failed;
    Settings settings;
    settings.tailMode = EndMode::Exact;
    QMetaObject::invokeMethod(&sender, [&] { Q_EMIT sender.sent({ item }, settings, BatchSummary()); });
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(received.first().path, item.path);
    QCOMPARE(received.first().status, ItemStatus::Failed);
    QCOMPARE(receivedSettings.tailMode, EndMode::Exact);
    thread.quit();
    thread.wait();
}

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
