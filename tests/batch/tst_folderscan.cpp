#include "addedpaths.h"
#include "controller.h"
#include "recordtypes.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_FolderScan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void reportsEvery250FilesAndSorts();
    void filters_data();
    void filters();
    void stopEndsTheWalk();
    void namesNotUtf8AreCounted();
    void destinationIsNotRescanned();

private:
    void touch(const QString &relative) { QFile(m_dir.filePath(relative)).open(QIODevice::WriteOnly); }

    QTemporaryDir m_dir;
};

void tst_FolderScan::initTestCase()
{
    registerRecordTypes();
    for (const char *folder : { "many", "f/a", "other", "stop/more" })
        QDir().mkpath(m_dir.filePath(QLatin1String(folder)));
    for (const char *name : { "f/take.wav", "f/Song.MP3", "f/notes.txt", "f/a/Deep.mp3", "other/elsewhere.mp3" })
        touch(QLatin1String(name));
    QDir().mkpath(m_dir.filePath(u"f/folder.mp3"_s)); // a folder is never a file
    // Links lead into another tree and to a file elsewhere; neither is followed.
    QFile::link(m_dir.filePath(u"other"_s), m_dir.filePath(u"f/a/into-other"_s));
    QFile::link(m_dir.filePath(u"other/elsewhere.mp3"_s), m_dir.filePath(u"f/alias.mp3"_s));
}

void tst_FolderScan::reportsEvery250FilesAndSorts()
{
    QStringList expected;
    for (int i = 0; i < 600; ++i) {
        const QString name = u"many/%1 take.%2"_s.arg(599 - i, 3, 10, QLatin1Char('0')).arg(i % 2 ? u"mp3"_s : u"WAV"_s);
        touch(name);
        expected << m_dir.filePath(name);
    }
    std::sort(expected.begin(), expected.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    Controller controller;
    QSignalSpy finished(&controller, &Controller::scanFinished);
    QSignalSpy messages(&controller, &Controller::message);
    controller.scan(m_dir.filePath(u"many"_s), { u"mp3"_s, u"wav"_s }, true);
    QCOMPARE(finished.first().at(0).toStringList(), expected);
    QCOMPARE(finished.first().at(1).toString(), m_dir.filePath(u"many"_s));
    QVERIFY(!finished.first().at(2).toBool());
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages.at(0), QVariantList({ u"Scanning... 250 file(s)"_s, 0 }));
    QCOMPARE(messages.at(1), QVariantList({ u"Scanning... 500 file(s)"_s, 0 }));
}

void tst_FolderScan::filters_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QStringList>("extensions");
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("case and white space") << u"f"_s << QStringList{ u" MP3 "_s, u" WAV"_s } << true
                                          << QStringList{ u"f/a/Deep.mp3"_s, u"f/Song.MP3"_s, u"f/take.wav"_s };
    QTest::newRow("not recursive") << u"f"_s << QStringList{ u"mp3"_s, u"wav"_s } << false
                                   << QStringList{ u"f/Song.MP3"_s, u"f/take.wav"_s };
    QTest::newRow("no extensions lists every file")
            << u"f"_s << QStringList() << false << QStringList{ u"f/notes.txt"_s, u"f/Song.MP3"_s, u"f/take.wav"_s };
    QTest::newRow("missing folder") << u"nowhere"_s << QStringList{ u"mp3"_s } << true << QStringList();
}

void tst_FolderScan::filters()
{
    QFETCH(QString, root);
    QFETCH(QStringList, extensions);
    QFETCH(bool, recursive);
    Controller controller;
    QSignalSpy finished(&controller, &Controller::scanFinished);
    controller.scan(m_dir.filePath(root), extensions, recursive);
    QStringList found = finished.first().at(0).toStringList();
    for (QString &path : found)
        path = QDir(m_dir.path()).relativeFilePath(path);
    QTEST(found, "found");
    QVERIFY(!finished.first().at(2).toBool());
}

void tst_FolderScan::namesNotUtf8AreCounted()
{
    QDir().mkpath(m_dir.filePath(u"latin1"_s));
    touch(u"latin1/ok.mp3"_s);
    // "café.mp3" as Latin-1 bytes: no valid UTF-8 name.
    const QByteArray name = QFile::encodeName(m_dir.filePath(u"latin1"_s)) + "/caf\xe9.mp3";
    QFile raw;
    QVERIFY(raw.open(::fopen(name.constData(), "w"), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    raw.close();
    Controller controller;
    QSignalSpy finished(&controller, &Controller::scanFinished);
    QSignalSpy messages(&controller, &Controller::message);
    controller.scan(m_dir.filePath(u"latin1"_s), { u"mp3"_s }, true);
    QCOMPARE(finished.first().at(0).toStringList(), QStringList{ m_dir.filePath(u"latin1/ok.mp3"_s) });
    QCOMPARE(messages.last().at(0).toString(), u"Skipped 1 file(s) whose names are not valid UTF-8"_s);
}

void tst_FolderScan::destinationIsNotRescanned()
{
    const QStringList files{ u"/music/a.mp3"_s, u"/music/trimmed/a.mp3"_s, u"/music/trimmed-old/b.mp3"_s };
    QCOMPARE(AddedPaths::outside(files, u"/music/trimmed/"_s),
             QStringList({ u"/music/a.mp3"_s, u"/music/trimmed-old/b.mp3"_s }));
    QCOMPARE(AddedPaths::outside(files, QString()), files);
}

void tst_FolderScan::stopEndsTheWalk()
{
    for (int i = 0; i < 300; ++i)
        touch(u"stop/more/%1.mp3"_s.arg(i, 3, 10, QLatin1Char('0')));
    Controller controller;
    QSignalSpy finished(&controller, &Controller::scanFinished);
    controller.requestStop(); // a stop left from an earlier job is cleared when the scan starts
    controller.scan(m_dir.filePath(u"stop"_s), { u"mp3"_s }, true);
    QCOMPARE(finished.first().at(0).toStringList().size(), 300);
    QVERIFY(!finished.first().at(2).toBool());

    // Stopped as soon as the first progress line is out: the file just found stays.
    connect(&controller, &Controller::message, &controller, &Controller::requestStop);
    controller.scan(m_dir.filePath(u"stop"_s), { u"mp3"_s }, true);
    QCOMPARE(finished.last().at(0).toStringList().size(), 250);
    QVERIFY(finished.last().at(2).toBool());
    QVERIFY(!controller.isBusy());
}

QTEST_GUILESS_MAIN(tst_FolderScan)
#include "tst_folderscan.moc"
