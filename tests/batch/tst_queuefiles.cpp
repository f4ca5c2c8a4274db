#include "fixtures.h"
#include "queuecsv.h"
#include "queuemodel.h"
#include "queuestore.h"

#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

using Notices = QList<std::pair<int, int>>; // first and last row of each change notice

namespace {

// An item as a run leaves it, lengths and changes in seconds.
QueueItem measured(const QString &path, double length, double headChange, double tailChange, double newLength,
        ItemStatus status, const QString &result)
{
    QueueItem item;
    item.path = path;
    item.durationSec = length;
    item.headChangeSec = headChange;
    item.tailChangeSec = tailChange;
    item.newDurationSec = newLength;
    item.status = status;
    item.message = result;
    return item;
}

} // namespace

// The files the queue leaves behind: the report a spreadsheet opens and the
// saved queue the next window starts from.
class tst_QueueFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every text that would break a CSV line, or run as a spreadsheet formula, is quoted.
    void reportRowsStayOneRecord_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QByteArray>("row");
        const QByteArray numbers = ",3.500,1.000,2.000,-0.850,0.000,2.650,Trimmed,";
        QTest::newRow("plain") << u"/m/a.mp3"_s << u"cut 0.85 s"_s << "/m/a.mp3" + numbers + "cut 0.85 s,lossless\r\n";
        QTest::newRow("comma and quote") << u"/m/Hello, \"World\".mp3"_s << u"ok"_s
                                         << "\"/m/Hello, \"\"World\"\".mp3\"" + numbers + "ok,lossless\r\n";
        QTest::newRow("line break") << u"/m/a.mp3"_s << u"one\ntwo"_s
                                    << "/m/a.mp3" + numbers + "\"one\ntwo\",lossless\r\n";
        QTest::newRow("formula") << u"=cmd|' /C calc'!A0"_s << u"+1"_s
                                 << "'=cmd|' /C calc'!A0" + numbers + "'+1,lossless\r\n";
        QTest::newRow("non-ASCII") << u"/m/Café.flac"_s << u"ok"_s
                                   << QString(u"/m/Café.flac"_s).toUtf8() + numbers + "ok,lossless\r\n";
    }
    void reportRowsStayOneRecord()
    {
        QFETCH(QString, path);
        QFETCH(QString, result);
        QFETCH(QByteArray, row);
        QueueItem item = measured(path, 3.5, -0.85, 0.0, 2.65, ItemStatus::Trimmed, result);
        item.headSec = 1.0;
        item.tailSec = 2.0;
        QCOMPARE(QueueCsv::row(item), row);
        QVERIFY(QueueCsv::report({ item }).startsWith(QueueCsv::header()));
    }

    // Each column sorts by what its cells stand for: seconds (a cut below an added second, not
    // by the text), the status's order, the name below the queued folder; equal rows keep queue order.
    void rowsSortByWhatCellsMean_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QList<int>>("order"); // queue rows, ascending
        QTest::newRow("file") << int(QueueModel::FileColumn) << QList<int>{ 1, 2, 0 };
        QTest::newRow("length") << int(QueueModel::LengthColumn) << QList<int>{ 2, 0, 1 };
        QTest::newRow("head change") << int(QueueModel::HeadColumn) << QList<int>{ 1, 2, 0 };
        QTest::newRow("tail change") << int(QueueModel::TailColumn) << QList<int>{ 0, 1, 2 };
        QTest::newRow("new length") << int(QueueModel::NewLengthColumn) << QList<int>{ 0, 2, 1 };
        QTest::newRow("status") << int(QueueModel::StatusColumn) << QList<int>{ 1, 2, 0 };
        QTest::newRow("result") << int(QueueModel::ResultColumn) << QList<int>{ 2, 0, 1 };
    }
    void rowsSortByWhatCellsMean()
    {
        QFETCH(int, column);
        QFETCH(QList<int>, order);
        QList<QueueItem> items{ measured(u"/music/b/z.mp3"_s, 10.0, 2.0, -3.0, 4.0, ItemStatus::Trimmed, u"ok"_s),
            measured(u"/music/a/y.mp3"_s, 100.0, -1.5, 0.0, 100.5, ItemStatus::Pending, u"wait"_s),
            measured(u"/music/b/a.mp3"_s, 9.5, 0.0, 0.0, 9.5, ItemStatus::Pending, u"done"_s) };
        for (QueueItem &item : items)
            item.relPath = QDir(u"/music"_s).relativeFilePath(item.path); // as a queued folder gives it
        QueueModel queue;
        QCOMPARE(queue.restoreItems(items), 3);
        QList<int> sorted{ 0, 1, 2 };
        std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) { return queue.lessThan(a, b, column); });
        QCOMPARE(sorted, order);
    }

    // Results given at once reach the rows of their ids, a removed row's nowhere, with one change notice per run of
    // adjacent rows.
    void resultsAtOnceReachTheirRows_data()
    {
        QTest::addColumn<QList<int>>("results"); // queue rows, in the order the results came
        QTest::addColumn<int>("removed");        // a row removed before they arrive, or -1
        QTest::addColumn<Notices>("notices");    // rows as the queue is then
        QTest::newRow("one") << QList<int>{ 3 } << -1 << Notices{ { 3, 3 } };
        QTest::newRow("runs") << QList<int>{ 5, 0, 4, 1, 4 } << -1 << Notices{ { 0, 1 }, { 4, 5 } };
        QTest::newRow("removed") << QList<int>{ 2, 3, 1 } << 2 << Notices{ { 1, 2 } };
    }
    void resultsAtOnceReachTheirRows()
    {
        QFETCH(QList<int>, results);
        QFETCH(int, removed);
        QFETCH(Notices, notices);
        QueueModel queue;
        queue.addFiles(
                { u"/a/0.mp3"_s, u"/a/1.mp3"_s, u"/a/2.mp3"_s, u"/a/3.mp3"_s, u"/a/4.mp3"_s, u"/a/5.mp3"_s }, u"/a"_s);
        QList<QueueItem> done;
        for (const int row : results) {
            done << queue.items().at(row);
            done.last().status = ItemStatus::Trimmed;
        }
        if (removed >= 0)
            queue.removeItems({ removed });
        Notices seen;
        connect(&queue, &QAbstractItemModel::dataChanged, this, [&](const QModelIndex &first, const QModelIndex &last) {
            seen.append({ first.row(), last.row() });
        });
        queue.setItemsById(done);
        QCOMPARE(seen, notices);
        QList<int> trimmed, noticed;
        for (int row = 0; row < queue.rowCount(); ++row)
            if (queue.items().at(row).status == ItemStatus::Trimmed)
                trimmed << row;
        for (const auto &[first, last] : notices)
            for (int row = first; row <= last; ++row)
                noticed << row;
        QCOMPARE(trimmed, noticed);
    }

    // A saved queue comes back field for field; a row a run was working on comes back pending, a file that is
    // gone is counted and dropped, and a damaged or missing store gives an empty queue.
    void savedQueueComesBack()
    {
        const QTemporaryDir dir;
        const QString kept = dir.filePath(u"kept.wav"_s), store = dir.filePath(u"queue.json"_s);
        QVERIFY(QFile(kept).open(QIODevice::WriteOnly));
        QueueItem done = measured(kept, 3.25, -0.35, 0.25, 3.15, ItemStatus::Failed, u"damaged audio"_s);
        done.relPath = u"sub/kept.wav"_s;
        done.headSec = 0.5;
        done.tailSec = 1.125;
        done.sizeBytes = 5'000'000'000;
        done.reencoded = true;
        done.failedAnalysing = true;
        QueueItem working = done, vanished = done;
        working.path = dir.filePath(u"working.wav"_s);
        working.status = ItemStatus::Trimming;
        QVERIFY(QFile(working.path).open(QIODevice::WriteOnly));
        vanished.path = dir.filePath(u"gone.wav"_s);
        QVERIFY(QueueStore::save(store, { done, vanished, working }, u"Trim complete - 1 written"_s));

        const QueueStore::Saved saved = QueueStore::load(store);
        QCOMPARE(std::tuple(saved.vanished, saved.lastRun, saved.items.size()),
                std::tuple(1, u"Trim complete - 1 written"_s, qsizetype(2)));
        const auto fields = [](const QueueItem &i) {
            return std::tuple(i.path, i.relPath, i.durationSec, i.headSec, i.tailSec, i.headChangeSec, i.tailChangeSec,
                    i.newDurationSec, i.sizeBytes, i.reencoded, i.status, i.failedAnalysing, i.message);
        };
        QCOMPARE(fields(saved.items.at(0)), fields(done));
        QCOMPARE(std::pair(saved.items.at(1).status, saved.items.at(1).message),
                std::pair(ItemStatus::Pending, QString()));

        QVERIFY(test::writeFile(store, "{\"items\": [{\"path\": "));
        QCOMPARE(QueueStore::load(store).items.size(), 0);
        QCOMPARE(QueueStore::load(dir.filePath(u"none.json"_s)).items.size(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_QueueFiles)
#include "tst_queuefiles.moc"
