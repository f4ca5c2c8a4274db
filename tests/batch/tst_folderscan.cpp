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

private slots:
    void initTestCase();
    void reportsEvery250Files();
    void filters_data();
    void filters();
    void missingFolderGivesNothing();
    void linksAreNotFollowed();
    void stopEndsTheWalk();

private:
    void touch(const QString &relative);
    QStringList scan(const QString &root, const QStringList &extensions, bool recursive, QStringList *lines = nullptr,
                     bool *cancelled = nullptr);

    QTemporaryDir m_dir;
};

void tst_FolderScan::initTestCase()
{
    registerRecordTypes();
}

void tst_FolderScan::touch(const QString &relative)
{
    const QString path = QDir(m_dir.path()).filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QStringList tst_FolderScan::scan(const QString &root, const QStringList &extensions, bool recursive,
                                 QStringList *lines, bool *cancelled)
{
    Controller controller;
    QSignalSpy finished(&controller, &Controller::scanFinished);
    QSignalSpy messages(&controller, &Controller::message);
    controller.scan(root, extensions, recursive);
    if (finished.size() != 1)
        return { u"<no single scanFinished>"_s };
    if (lines) {
        for (const QList<QVariant> &m : std::as_const(messages)) {
            *lines << m.at(0).toString();
            if (m.at(1).toInt() != 0)
                *lines << u"<level %1>"_s.arg(m.at(1).toInt());
        }
    }
    if (cancelled)
        *cancelled = finished.first().at(2).toBool();
    if (finished.first().at(1).toString() != root)
        return { u"<root not repeated>"_s };
    QStringList files = finished.first().at(0).toStringList();
    for (QString &f : files)
        f = QDir(m_dir.path()).relativeFilePath(f);
    return files;
}

void tst_FolderScan::reportsEvery250Files()
{
    const QString root = QDir(m_dir.path()).filePath(u"many"_s);
    QStringList expected;
    for (int i = 0; i < 600; ++i) {
        const QString name = u"many/%1 take.%2"_s.arg(599 - i, 3, 10, QLatin1Char('0')).arg(i % 2 ? u"mp3"_s : u"WAV"_s);
        touch(name);
        expected << name;
    }
    touch(u"many/notes.txt"_s);
    std::sort(expected.begin(), expected.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    QStringList lines;
    bool cancelled = true;
    QCOMPARE(scan(root, { u"mp3"_s, u"wav"_s }, true, &lines, &cancelled), expected);
    QCOMPARE(lines, QStringList({ u"Scanning... 250 file(s)"_s, u"Scanning... 500 file(s)"_s }));
    QVERIFY(!cancelled);
}

void tst_FolderScan::filters_data()
{
    QTest::addColumn<QStringList>("extensions");
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("case and white space") << QStringList{ u" MP3 "_s, u" WAV"_s } << true
                                          << QStringList{ u"f/a/Deep.mp3"_s, u"f/Song.MP3"_s, u"f/take.wav"_s };
    QTest::newRow("not recursive") << QStringList{ u"mp3"_s, u"wav"_s } << false
                                   << QStringList{ u"f/Song.MP3"_s, u"f/take.wav"_s };
    QTest::newRow("no extensions lists every file")
            << QStringList() << false << QStringList{ u"f/notes.txt"_s, u"f/Song.MP3"_s, u"f/take.wav"_s };
    QTest::newRow("no match") << QStringList{ u"flac"_s } << true << QStringList();
}

void tst_FolderScan::filters()
{
    QFETCH(QStringList, extensions);
    QFETCH(bool, recursive);
    QFETCH(QStringList, found);
    if (!QFile::exists(QDir(m_dir.path()).filePath(u"f/take.wav"_s))) {
        touch(u"f/take.wav"_s);
        touch(u"f/Song.MP3"_s);
        touch(u"f/notes.txt"_s);
        touch(u"f/a/Deep.mp3"_s);
        QDir(m_dir.path()).mkpath(u"f/folder.mp3"_s); // a folder is never a file
    }
    QCOMPARE(scan(QDir(m_dir.path()).filePath(u"f"_s), extensions, recursive), found);
}

void tst_FolderScan::missingFolderGivesNothing()
{
    bool cancelled = true;
    QStringList lines;
    QCOMPARE(scan(QDir(m_dir.path()).filePath(u"nowhere"_s), { u"mp3"_s }, true, &lines, &cancelled), QStringList());
    QVERIFY(!cancelled);
    QVERIFY(lines.isEmpty());
}

void tst_FolderScan::linksAreNotFollowed()
{
    touch(u"other/elsewhere.mp3"_s);
    touch(u"linked/own.mp3"_s);
    QVERIFY(QFile::link(QDir(m_dir.path()).filePath(u"other"_s), QDir(m_dir.path()).filePath(u"linked/into-other"_s)));
    QVERIFY(QFile::link(QDir(m_dir.path()).filePath(u"other/elsewhere.mp3"_s),
                        QDir(m_dir.path()).filePath(u"linked/alias.mp3"_s)));
    QCOMPARE(scan(QDir(m_dir.path()).filePath(u"linked"_s), { u"mp3"_s }, true), QStringList{ u"linked/own.mp3"_s });
}

void tst_FolderScan::stopEndsTheWalk()
{
    for (int i = 0; i < 20; ++i)
        touch(u"stop/%1.mp3"_s.arg(i, 2, 10, QLatin1Char('0')));
    Controller controller;
    QSignalSpy finished(&controller, &Controller::scanFinished);
    controller.requestStop(); // a stop from an earlier job is cleared when the scan starts
    controller.scan(QDir(m_dir.path()).filePath(u"stop"_s), { u"mp3"_s }, true);
    QCOMPARE(finished.first().at(0).toStringList().size(), 20);
    QVERIFY(!finished.first().at(2).toBool());

    // Stop as soon as the first progress line is out: on a larger tree.
    for (int i = 0; i < 300; ++i)
        touch(u"stop/more/%1.mp3"_s.arg(i, 3, 10, QLatin1Char('0')));
    connect(&controller, &Controller::message, &controller, &Controller::requestStop);
    finished.clear();
    controller.scan(QDir(m_dir.path()).filePath(u"stop"_s), { u"mp3"_s }, true);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().at(0).toStringList().size(), 250); // the file just found stays in the list
    QVERIFY(finished.first().at(2).toBool());
    QVERIFY(!controller.isBusy());
}

QTEST_GUILESS_MAIN(tst_FolderScan)
#include "tst_folderscan.moc"
