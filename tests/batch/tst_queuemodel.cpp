#include "queuemodel.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QSignalSpy>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_QueueModel : public QObject
{
    Q_OBJECT

private slots:
    void headersAndShape();
    void durationText_data();
    void durationText();
    void changeText_data();
    void changeText();
    void cellsOfAnItem_data();
    void cellsOfAnItem();
    void foregroundByStatus_data();
    void foregroundByStatus();
    void duplicatesDroppedExactly();
    void fileColumnRelativeToRoot_data();
    void fileColumnRelativeToRoot();
    void scatteredRowsRemoved_data();
    void scatteredRowsRemoved();
    void setItemOutsideListIgnored();
    void resetForRunKeepsPathsAndLength();
};

void tst_QueueModel::headersAndShape()
{
    QueueModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QStringList headers{ u"File"_s, u"Length"_s, u"Head"_s, u"Tail"_s, u"New length"_s, u"Status"_s, u"Result"_s };
    QCOMPARE(model.columnCount(), 7);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(model.headerData(i, Qt::Horizontal).toString(), headers.at(i));
    QVERIFY(!model.headerData(7, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
    model.addFiles({ u"/a/x.mp3"_s, u"/a/y.mp3"_s }, u"/a"_s);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
    QCOMPARE(model.columnCount(model.index(0, 0)), 0);
    QVERIFY(!model.data(model.index(5, 0)).isValid());
    QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
}

void tst_QueueModel::durationText_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("rounds up to the hour") << 3599.6 << u"1:00:00"_s;
    QTest::newRow("zero") << 0.0 << u"-"_s;
    QTest::newRow("negative") << -3.0 << u"-"_s;
    QTest::newRow("three minutes") << 187.2 << u"0:03:07"_s;
    QTest::newRow("half a second rounds up") << 0.5 << u"0:00:01"_s;
    QTest::newRow("hours unpadded") << 43205.0 << u"12:00:05"_s;
}

void tst_QueueModel::durationText()
{
    QFETCH(double, seconds);
    QTEST(QueueModel::durationText(seconds), "text");
}

void tst_QueueModel::changeText_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("tiny cut") << -0.0004 << u"-"_s;
    QTest::newRow("added") << 0.25 << u"+0.250 s"_s;
    QTest::newRow("cut") << -1.25 << u"-1.250 s"_s;
    QTest::newRow("half a millisecond added") << 0.0005 << u"+0.001 s"_s;
    QTest::newRow("half a millisecond cut") << -0.0005 << u"-0.001 s"_s;
    QTest::newRow("nothing") << 0.0 << u"-"_s;
}

void tst_QueueModel::changeText()
{
    QFETCH(double, seconds);
    QTEST(QueueModel::changeText(seconds), "text");
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
    QTest::newRow("result") << 6 << u"head -1.250 s, tail %1 -"_s << native << false;
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
    if (right)
        QCOMPARE(index.data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignRight | Qt::AlignVCenter);
    else
        QVERIFY(!index.data(Qt::TextAlignmentRole).isValid());
    QVERIFY(!index.data(Qt::DecorationRole).isValid());
}

void tst_QueueModel::foregroundByStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("colour"); // empty: no value
    QTest::newRow("pending") << 0 << QString();
    QTest::newRow("analysing") << 1 << QString();
    QTest::newRow("analysed") << 2 << QString();
    QTest::newRow("trimming") << 3 << QString();
    QTest::newRow("trimmed") << 4 << u"#176b3c"_s;
    QTest::newRow("skipped") << 5 << u"#9a6b18"_s;
    QTest::newRow("failed") << 6 << u"#b03024"_s;
    QTest::newRow("unknown") << 9 << QString();
}

void tst_QueueModel::foregroundByStatus()
{
    QFETCH(int, status);
    QFETCH(QString, colour);
    QueueModel model;
    model.addFiles({ u"/a.mp3"_s }, QString());
    QueueItem item = model.items().first();
    item.status = ItemStatus(status);
    model.setItem(0, item);
    const QVariant brush = model.index(0, 3).data(Qt::ForegroundRole);
    if (colour.isEmpty()) {
        QVERIFY(!brush.isValid());
    } else {
        QCOMPARE(brush.value<QBrush>().color().name(), colour);
        QCOMPARE(brush.value<QBrush>().style(), Qt::SolidPattern);
    }
    if (status == 9)
        QCOMPARE(model.index(0, 5).data().toString(), QString());
}

void tst_QueueModel::duplicatesDroppedExactly()
{
    QueueModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.addFiles({ u"C:/music/a.mp3"_s }, QString());
    model.addFiles({ u"C:/music/a.mp3"_s }, QString());
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(inserted.size(), 1); // nothing new, no signal
    model.addFiles({ u"C:/Music/a.mp3"_s, u"/b.mp3"_s, u"/b.mp3"_s, u"C:/music/a.mp3"_s }, QString());
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted.last().at(1).toInt(), 1);
    QCOMPARE(inserted.last().at(2).toInt(), 2);
    QCOMPARE(model.rowOfPath(u"/b.mp3"_s), 2);
    QCOMPARE(model.items().at(2).status, ItemStatus::Pending);
}

void tst_QueueModel::fileColumnRelativeToRoot_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("relPath");
    QTest::newRow("below the root") << u"/in/sub/x.wav"_s << u"/in"_s << u"sub/x.wav"_s;
    QTest::newRow("no root") << u"/in/sub/x.wav"_s << QString() << u"x.wav"_s;
    QTest::newRow("root with a trailing slash") << u"/in/a.mp3"_s << u"/in/"_s << u"a.mp3"_s;
    QTest::newRow("beside the root") << u"/music/b/take.wav"_s << u"/music/a"_s << u"../b/take.wav"_s;
}

void tst_QueueModel::fileColumnRelativeToRoot()
{
    QFETCH(QString, path);
    QFETCH(QString, root);
    QFETCH(QString, relPath);
    QueueModel model;
    model.addFiles({ path }, root);
    QCOMPARE(model.items().first().relPath, relPath);
    QCOMPARE(model.index(0, 0).data().toString(), QDir::toNativeSeparators(relPath));
}

void tst_QueueModel::scatteredRowsRemoved_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("rows 1 and 3 of five") << 5 << QList<int>{ 3, 1 };
    QTest::newRow("out of range and repeated") << 5 << QList<int>{ 7, -1, 4, 4, 0 };
    QTest::newRow("a run") << 6 << QList<int>{ 2, 3, 4 };
    QTest::newRow("many scattered") << 1000 << [] {
        QList<int> every;
        for (int i = 999; i >= 0; i -= 3)
            every << i;
        return every;
    }();
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

    QStringList expected = paths;
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end(), std::greater<int>());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (const int row : std::as_const(sorted))
        if (row >= 0 && row < count)
            expected.removeAt(row);

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

void tst_QueueModel::setItemOutsideListIgnored()
{
    QueueModel model;
    model.addFiles({ u"/a.mp3"_s }, QString());
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QueueItem item;
    item.path = u"/other.mp3"_s;
    model.setItem(1, item);
    model.setItem(-1, item);
    QCOMPARE(changed.size(), 0);
    model.setItem(0, model.items().first());
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex(), model.index(0, 0));
    QCOMPARE(changed.first().at(1).toModelIndex(), model.index(0, 6));
}

void tst_QueueModel::resetForRunKeepsPathsAndLength()
{
    QueueModel model;
    model.resetForRun(); // empty: nothing to do
    model.addFiles({ u"/in/a.mp3"_s, u"/in/b.mp3"_s }, u"/in"_s);
    for (int row = 0; row < 2; ++row) {
        QueueItem item = model.items().at(row);
        item.outputPath = u"/out/x.mp3"_s;
        item.durationSec = 10.0;
        item.sizeBytes = 1234;
        item.headSec = item.tailSec = 1.0;
        item.headChangeSec = item.tailChangeSec = -0.5;
        item.newDurationSec = 9.0;
        item.reencoded = true;
        item.status = ItemStatus::Failed;
        item.message = u"cancelled"_s;
        model.setItem(row, item);
    }
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.resetForRun();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().at(1).toModelIndex(), model.index(1, 6));
    for (const QueueItem &item : model.items()) {
        QCOMPARE(item.status, ItemStatus::Pending);
        QVERIFY(item.message.isEmpty());
        QCOMPARE(item.headSec + item.tailSec + item.headChangeSec + item.tailChangeSec + item.newDurationSec, 0.0);
        QVERIFY(!item.reencoded);
        QCOMPARE(item.outputPath, u"/out/x.mp3"_s);
        QCOMPARE(item.durationSec, 10.0);
        QCOMPARE(item.sizeBytes, qint64(1234));
        QCOMPARE(item.relPath.isEmpty(), false);
    }
}

QTEST_MAIN(tst_QueueModel)
#include "tst_queuemodel.moc"
