#include "queuecsv.h"
#include "queuemodel.h"
#include "queuestore.h"

#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

using Notices = QList<std::pair<int, int>>; // first and last row of each change notice

// The files the queue leaves behind: the report a spreadsheet opens and the
// saved queue the next window starts from.
class tst_QueueFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

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
        QueueItem item;
        item.path = path;
        item.durationSec = 3.5;
        item.headSec = 1.0;
        item.tailSec = 2.0;
        item.headChangeSec = -0.85;
        item.newDurationSec = 2.65;
        item.status = ItemStatus::Trimmed;
        item.message = result;
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
        struct Row
        {
            const char *name;
            double length, head, tail, newLength;
            ItemStatus status;
            const char *result;
        };
        const Row rows[] = { { "b/z.mp3", 10.0, 2.0, -3.0, 4.0, ItemStatus::Trimmed, "ok" },
            { "a/y.mp3", 100.0, -1.5, 0.0, 100.5, ItemStatus::Pending, "wait" },
            { "b/a.mp3", 9.5, 0.0, 0.0, 9.5, ItemStatus::Pending, "done" } };
        QueueModel queue;
        QStringList paths;
        for (const Row &row : rows)
            paths << u"/music/"_s + QLatin1String(row.name);
        QCOMPARE(queue.addFiles(paths, u"/music"_s), 3);
        for (int i = 0; i < 3; ++i) {
            QueueItem item = queue.items().at(i);
            item.durationSec = rows[i].length;
            item.headChangeSec = rows[i].head;
            item.tailChangeSec = rows[i].tail;
            item.newDurationSec = rows[i].newLength;
            item.status = rows[i].status;
            item.message = QLatin1String(rows[i].result);
            queue.setItem(i, item);
        }
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
            QueueItem item = queue.items().at(row);
            item.status = ItemStatus::Trimmed;
            done << item;
        }
        if (removed >= 0)
            queue.removeItems({ removed });
        Notices seen;
        connect(&queue, &QAbstractItemModel::dataChanged, this, [&](const QModelIndex &first, const QModelIndex &last) {
            seen.append({ first.row(), last.row() });
        });
        queue.setItemsById(done);
        QCOMPARE(seen, notices);
        QStringList trimmed;
        for (const QueueItem &item : queue.items()) {
            if (item.status == ItemStatus::Trimmed)
                trimmed << item.path;
        }
        QStringList expected;
        for (const int row : results) {
            if (row != removed && !expected.contains(u"/a/%1.mp3"_s.arg(row)))
                expected << u"/a/%1.mp3"_s.arg(row);
        }
        expected.sort();
        QCOMPARE(trimmed, expected);
    }

    // A saved queue comes back field for field; a row a run was working on comes back pending, a file that is
    // gone is counted and dropped, and a damaged or missing store gives an empty queue.
    void savedQueueComesBack()
    {
        const QString kept = m_dir.filePath(u"kept.wav"_s), gone = m_dir.filePath(u"gone.wav"_s),
                      store = m_dir.filePath(u"queue.json"_s);
        QVERIFY(QFile(kept).open(QIODevice::WriteOnly));
        QueueItem done;
        done.path = kept;
        done.relPath = u"sub/kept.wav"_s;
        done.durationSec = 3.25;
        done.headSec = 0.5;
        done.tailSec = 1.125;
        done.headChangeSec = -0.35;
        done.tailChangeSec = 0.25;
        done.newDurationSec = 3.15;
        done.sizeBytes = 5'000'000'000;
        done.reencoded = true;
        done.status = ItemStatus::Failed;
        done.failedAnalysing = true;
        done.message = u"damaged audio"_s;
        QueueItem working = done;
        working.path = m_dir.filePath(u"working.wav"_s);
        working.status = ItemStatus::Trimming;
        QVERIFY(QFile(working.path).open(QIODevice::WriteOnly));
        QueueItem vanished = done;
        vanished.path = gone;
        QVERIFY(QueueStore::save(store, { done, vanished, working }, u"Trim complete - 1 written"_s));

        const QueueStore::Saved saved = QueueStore::load(store);
        QCOMPARE(saved.vanished, 1);
        QCOMPARE(saved.lastRun, u"Trim complete - 1 written"_s);
        QCOMPARE(saved.items.size(), 2);
        const QueueItem &back = saved.items.at(0);
        QCOMPARE(std::tuple(back.path, back.relPath, back.durationSec, back.headSec, back.tailSec, back.headChangeSec),
                std::tuple(done.path, done.relPath, done.durationSec, done.headSec, done.tailSec, done.headChangeSec));
        QCOMPARE(std::tuple(back.tailChangeSec, back.newDurationSec, back.sizeBytes, back.reencoded, back.status,
                         back.failedAnalysing, back.message),
                std::tuple(done.tailChangeSec, done.newDurationSec, done.sizeBytes, done.reencoded, done.status,
                        done.failedAnalysing, done.message));
        QCOMPARE(std::pair(saved.items.at(1).status, saved.items.at(1).message),
                std::pair(ItemStatus::Pending, QString()));

        QFile damaged(store);
        QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("{\"items\": [{\"path\": ") > 0);
        damaged.close();
        QCOMPARE(QueueStore::load(store).items.size(), 0);
        QCOMPARE(QueueStore::load(m_dir.filePath(u"none.json"_s)).items.size(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_QueueFiles)
#include "tst_queuefiles.moc"
