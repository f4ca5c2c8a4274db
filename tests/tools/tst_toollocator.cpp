#include "faketool.h"
#include "toollocator.h"
#include "toolpaths.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// Plants fake tools beside the test program (it has a folder of its own) and
// on a private search path, and removes them again.
class tst_ToolLocator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void placesInOrder_data();
    void placesInOrder();
    void onlyProbeFoundIsNotComplete();

private:
    QString plant(const QString &place, bool runnable = true);
    QString appDir() const { return QCoreApplication::applicationDirPath(); }

    QTemporaryDir m_pathDir;
    QByteArray m_savedPath = qgetenv("PATH");
    QStringList m_planted;
};

void tst_ToolLocator::init()
{
    qputenv("PATH", QFile::encodeName(m_pathDir.path()));
}

void tst_ToolLocator::cleanup()
{
    for (const QString &path : std::as_const(m_planted))
        QFile::remove(path);
    m_planted.clear();
    for (const QString &folder : { u"ffmpeg"_s, u"tools"_s })
        QDir(appDir()).rmdir(folder);
    qputenv("PATH", m_savedPath);
}

// "PATH/x" plants on the search path, anything else beside the program.
QString tst_ToolLocator::plant(const QString &place, bool runnable)
{
    const QString path = place.startsWith(u"PATH/"_s) ? QDir(m_pathDir.path()).filePath(place.mid(5))
                                                      : QDir(appDir()).filePath(place);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString written = test::writeFakeTool(QFileInfo(path).absolutePath(), QFileInfo(path).fileName(), "exit 0");
    if (!runnable)
        QFile::setPermissions(written, QFile::ReadOwner | QFile::WriteOwner);
    m_planted << written;
    return written;
}

void tst_ToolLocator::placesInOrder_data()
{
    // ffprobe, because on Linux a copy of ffmpeg directly beside the program
    // would share its name with the "ffmpeg" folder.
    QTest::addColumn<QString>("configured"); // "runnable": a planted tool
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("winner"); // empty: configured wins; "-": nothing
    const QStringList all{ u"ffmpeg/ffprobe"_s, u"ffprobe"_s, u"tools/ffprobe"_s, u"PATH/ffprobe"_s };
    QTest::newRow("configured and runnable") << u"runnable"_s << all << QString();
    QTest::newRow("configured but missing") << u"/nonexistent/ffprobe"_s << all << all.at(0);
    QTest::newRow("configured as a folder") << u"/tmp"_s << all << all.at(0);
    QTest::newRow("then beside the program") << QString() << all.mid(1) << all.at(1);
    QTest::newRow("then the tools folder") << QString() << all.mid(2) << all.at(2);
    QTest::newRow("then the search path") << QString() << all.mid(3) << all.at(3);
    QTest::newRow("nowhere") << QString() << QStringList() << u"-"_s;
}

void tst_ToolLocator::placesInOrder()
{
    QFETCH(QString, configured);
    QFETCH(QStringList, present);
    QFETCH(QString, winner);
    QString expected;
    for (const QString &place : std::as_const(present)) {
        const QString planted = plant(place);
        if (place == winner)
            expected = planted;
    }
    // A better place holding something that is not runnable is passed over.
    if (!present.contains(u"ffmpeg/ffprobe"_s))
        plant(u"ffmpeg/ffprobe"_s, false);
    if (configured == u"runnable")
        expected = configured = plant(u"PATH/mine/ffprobe"_s);
    QCOMPARE(locateTool(configured, u"ffprobe"_s), expected);

    // The folder named like the tool is never taken for the tool.
    QCOMPARE(locateTool(QString(), u"ffmpeg"_s), QString());
}

void tst_ToolLocator::onlyProbeFoundIsNotComplete()
{
    const QString probe = plant(u"tools/ffprobe"_s);
    const ToolPaths tools = ToolPaths::resolve(QString(), QString());
    QVERIFY(!tools.isComplete());
    QCOMPARE(tools.ffprobe, probe);
    QVERIFY(tools.ffmpeg.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ToolLocator)
#include "tst_toollocator.moc"
