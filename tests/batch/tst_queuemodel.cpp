#include "queuemodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_QueueModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void texts_data();
    void texts();
    void cellsOfAnItem_data();
    void cellsOfAnItem();
    void duplicatesDroppedExactly();
    void fileColumnRelativeToRoot_data();
    void fileColumnRelativeToRoot();
    void scatteredRowsRemoved_data();
    void scatteredRowsRemoved();
    void resetForRunKeepsPathsAndLength();
};

void tst_QueueModel::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("length rounds up to the hour") << QueueModel::durationText(3599.6) << u"1:00:00"_s;
    QTest::newRow("no length") << QueueModel::durationText(0.0) << u"-"_s;
    QTest::newRow("three minutes") << QueueModel::durationText(187.2) << u"0:03:07"_s;
    QTest::newRow("hours unpadded") << QueueModel::durationText(43205.0) << u"12:00:05"_s;
    QTest::newRow("tiny cut") << QueueModel::changeText(-0.0004) << u"-"_s;
    QTest::newRow("added") << QueueModel::changeText(0.25) << u"+0.250 s"_s;
    QTest::newRow("cut") << QueueModel::changeText(-1.25) << u"-1.250 s"_s;
    QTest::newRow("half a millisecond cut") << QueueModel::changeText(-0.0005) << u"-0.001 s"_s;
    QTest::newRow("measured nothing") << QueueModel::measuredText(0.0) << u"-"_s;
}

void tst_QueueModel::texts()
{
    QFETCH(QString, text);
    QTEST(text, "expected");
}

void tst_QueueModel::cellsOfAnItem_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("right");
    const QString native = QDir::toNativeSeparators(u"/in/sub/x.wav"_s);
    QTest::newRow("file") << 0 << QDir::toNativeSeparators(u"sub/x.wav"_s) << native << false;
    QTest::newRow("length") << 1 << u"0:03:07"_s << native << true;
    QTest::newRow("head") << 2 << u"-1.250 s"_s << u"Head silence measured 1.400 s, adjustment -1.250 s"_s << true;
    QTest::newRow("tail") << 3 << u"-"_s << u"Tail silence measured -, adjustment -"_s << true;
    QTest::newRow("new length") << 4 << u"0:03:06"_s << native << true;
    QTest::newRow("status") << 5 << u"Trimmed"_s << native << false;
    QTest::newRow("result, shown as it is") << 6 << u"head -1.250 s, tail %1 -"_s << u"head -1.250 s, tail %1 -"_s
                                            << false;
}

void tst_QueueModel::cellsOfAnItem()
{
    QFETCH(int, column);
    QueueModel model;
    model.addFiles({ u"/in/sub/x.wav"_s }, u"/in"_s);
    QueueItem item = model.items().first();
    item.durationSec = 187.2;
    item.headSec = 1.4;
    item.headChangeSec = -1.25;
    item.newDurationSec = 185.95;
    item.status = ItemStatus::Trimmed;
    item.message = u"head -1.250 s, tail %1 -"_s;
    model.setItem(0, item);
    const QModelIndex index = model.index(0, column);
    QTEST(index.data().toString(), "display");
    QTEST(index.data(Qt::ToolTipRole).toString(), "toolTip");
    QFETCH(bool, right);
    QCOMPARE(index.data(Qt::TextAlignmentRole),
             right ? QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter)) : QVariant());
}

void tst_QueueModel::duplicatesDroppedExactly()
{
    QueueModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.addFiles({ u"C:/music/a.mp3"_s }, QString());
    model.addFiles({ u"C:/music/a.mp3"_s }, QString());
    QCOMPARE(inserted.size(), 1); // nothing new, no signal
    model.addFiles({ u"C:/Music/a.mp3"_s, u"/b.mp3"_s, u"/b.mp3"_s }, QString());
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(inserted.last().at(1).toInt(), 1);
    QCOMPARE(inserted.last().at(2).toInt(), 2);
    QCOMPARE(model.rowOfPath(u"/b.mp3"_s), 2);
}

void tst_QueueModel::fileColumnRelativeToRoot_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("relPath");
    QTest::newRow("below the root") << u"/in/sub/x.wav"_s << u"/in"_s << u"sub/x.wav"_s;
    QTest::newRow("no root") << u"/in/sub/x.wav"_s << QString() << u"x.wav"_s;
    QTest::newRow("beside the root") << u"/music/b/take.wav"_s << u"/music/a"_s << u"../b/take.wav"_s;
}

void tst_QueueModel::fileColumnRelativeToRoot()
{
    QFETCH(QString, path);
    QFETCH(QString, root);
    QueueModel model;
    model.addFiles({ path }, root);
    QTEST(model.items().first().relPath, "relPath");
}

void tst_QueueModel::scatteredRowsRemoved_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("rows 1 and 3 of five") << 5 << QList<int>{ 3, 1 };
    QTest::newRow("out of range and repeated") << 5 << QList<int>{ 7, -1, 4, 4, 0 };
    QList<int> everyThird;
    for (int i = 999; i >= 0; i -= 3)
        everyThird << i;
    QTest::newRow("many scattered") << 1000 << everyThird;
}

void tst_QueueModel::scatteredRowsRemoved()
{
    QFETCH(int, count);
    QFETCH(QList<int>, rows);
    QueueModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths << u"/q/%1.mp3"_s.arg(i, 4, 10, QLatin1Char('0'));
    model.addFiles(paths, u"/q"_s);

    QStringList expected;
    for (int i = 0; i < count; ++i)
        if (!rows.contains(i))
            expected << paths.at(i);
    model.removeItems(rows);
    QStringList left;
    for (const QueueItem &item : model.items())
        left << item.path;
    QCOMPARE(left, expected);
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(model.rowOfPath(expected.at(i)), i);
    // What was removed can be queued again; what is left is not queued twice.
    model.addFiles(paths, u"/q"_s);
    QCOMPARE(model.rowCount(), count);
}

void tst_QueueModel::resetForRunKeepsPathsAndLength()
{
    QueueModel model;
    model.addFiles({ u"/in/a.mp3"_s, u"/in/b.mp3"_s }, u"/in"_s);
    QueueItem item = model.items().at(1);
    item.outputPath = u"/out/b.mp3"_s;
    item.durationSec = 10.0;
    item.sizeBytes = 1234;
    item.headSec = item.tailSec = 1.0;
    item.headChangeSec = item.tailChangeSec = -0.5;
    item.newDurationSec = 9.0;
    item.reencoded = true;
    item.status = ItemStatus::Failed;
    item.message = u"cancelled"_s;
    model.setItem(1, item);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.resetForRun();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().at(1).toModelIndex(), model.index(1, 6));
    const QueueItem &reset = model.items().at(1);
    QCOMPARE(reset.status, ItemStatus::Pending);
    QVERIFY(reset.message.isEmpty() && !reset.reencoded);
    QCOMPARE(reset.headSec + reset.tailSec + reset.headChangeSec + reset.tailChangeSec + reset.newDurationSec, 0.0);
    QCOMPARE(reset.outputPath, u"/out/b.mp3"_s);
    QCOMPARE(reset.durationSec, 10.0);
    QCOMPARE(reset.sizeBytes, qint64(1234));
}

QTEST_MAIN(tst_QueueModel)
#include "tst_queuemodel.moc"
