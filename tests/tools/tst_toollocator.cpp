#include "faketool.h"
#include "settings.h"
#include "settingsstore.h"
#include "settingssandbox.h"
#include "toollocator.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// Plants fake tools beside the test program and on a private PATH, and
// removes them again.
class tst_ToolLocator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void configuredPathWinsWhenRunnable_data();
    void configuredPathWinsWhenRunnable();
    void placesSearchedInOrder_data();
    void placesSearchedInOrder();
    void folderNamedLikeTheToolIsNotTheTool();
    void onlyProbeFoundIsNotAvailable();
    void cacheHoldsUntilReset();

private:
    QString plant(const QString &relativePath);
    QString appDir() const { return QCoreApplication::applicationDirPath(); }

    QTemporaryDir m_pathDir;
    QByteArray m_savedPath;
    QStringList m_planted;
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
};

void tst_ToolLocator::initTestCase()
{
    m_savedPath = qgetenv("PATH");
}

void tst_ToolLocator::init()
{
    m_sandbox = std::make_unique<test::SettingsSandbox>();
    qputenv("PATH", QFile::encodeName(m_pathDir.path()));
    resetToolCache();
}

void tst_ToolLocator::cleanup()
{
    for (const QString &path : std::as_const(m_planted))
        QFile::remove(path);
    for (const QString &folder : { u"ffmpeg"_s, u"tools"_s })
        QDir(appDir()).rmdir(folder);
    m_planted.clear();
    QDir(m_pathDir.path()).removeRecursively();
    QDir().mkpath(m_pathDir.path());
    qputenv("PATH", m_savedPath);
    m_sandbox.reset();
    resetToolCache();
}

QString tst_ToolLocator::plant(const QString &relativePath)
{
    const QString path = relativePath.startsWith(u"PATH/"_s)
            ? QDir(m_pathDir.path()).filePath(relativePath.mid(5))
            : QDir(appDir()).filePath(relativePath);
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    const QString written = test::writeFakeTool(info.absolutePath(), info.fileName(), "exit 0");
    m_planted << written;
    return written;
}

void tst_ToolLocator::configuredPathWinsWhenRunnable_data()
{
    QTest::addColumn<QString>("configured"); // "planted" stands for a runnable file
    QTest::addColumn<bool>("wins");
    QTest::newRow("runnable") << u"planted"_s << true;
    QTest::newRow("missing") << u"/nonexistent/ffmpeg"_s << false;
    QTest::newRow("a folder") << u"/tmp"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void tst_ToolLocator::configuredPathWinsWhenRunnable()
{
    QFETCH(QString, configured);
    QFETCH(bool, wins);
    const QString besideProgram = plant(u"ffmpeg/ffmpeg"_s);
    if (configured == u"planted")
        configured = plant(u"PATH/custom ffmpeg"_s);
    QCOMPARE(locateTool(configured, u"ffmpeg"_s), wins ? configured : besideProgram);
}

void tst_ToolLocator::placesSearchedInOrder_data()
{
    // ffprobe, because on Linux a copy of ffmpeg directly beside the program
    // would share its name with the "ffmpeg" folder.
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("winner");
    const QString folder = u"ffmpeg/ffprobe"_s;
    const QString beside = u"ffprobe"_s;
    const QString tools = u"tools/ffprobe"_s;
    const QString path = u"PATH/ffprobe"_s;
    QTest::newRow("ffmpeg folder first") << QStringList{ folder, beside, tools, path } << folder;
    QTest::newRow("then beside the program") << QStringList{ beside, tools, path } << beside;
    QTest::newRow("then the tools folder") << QStringList{ tools, path } << tools;
    QTest::newRow("then the search path") << QStringList{ path } << path;
    QTest::newRow("nowhere") << QStringList() << QString();
}

void tst_ToolLocator::placesSearchedInOrder()
{
    QFETCH(QStringList, present);
    QFETCH(QString, winner);
    QString expected;
    for (const QString &place : std::as_const(present)) {
        const QString planted = plant(place);
        if (place == winner)
            expected = planted;
    }
    // A file without the executable bit in a better place is passed over.
    if (!present.contains(u"ffmpeg/ffprobe"_s)) {
        QDir().mkpath(QDir(appDir()).filePath(u"ffmpeg"_s));
        QFile notRunnable(QDir(appDir()).filePath(u"ffmpeg/ffprobe"_s));
        QVERIFY(notRunnable.open(QIODevice::WriteOnly));
        notRunnable.close();
        m_planted << notRunnable.fileName();
    }
    QCOMPARE(locateTool(QString(), u"ffprobe"_s), expected);
}

void tst_ToolLocator::folderNamedLikeTheToolIsNotTheTool()
{
    QDir(appDir()).mkdir(u"ffmpeg"_s);
    QCOMPARE(locateTool(QString(), u"ffmpeg"_s), QString());
    const QString onPath = plant(u"PATH/ffmpeg"_s);
    QCOMPARE(locateTool(QString(), u"ffmpeg"_s), onPath);
}

void tst_ToolLocator::onlyProbeFoundIsNotAvailable()
{
    const QString probe = plant(u"tools/ffprobe"_s);
    QString error;
    QVERIFY(!toolsAvailable(&error));
    QCOMPARE(error, u"ffmpeg/ffprobe not found. They ship with Kestrova in the ffmpeg folder beside the program - "
                    "reinstall to restore them, or set their paths in Preferences."_s);
    QCOMPARE(ffprobePath(), probe);
    QVERIFY(ffmpegPath().isEmpty());
    QVERIFY(!toolsAvailable()); // no error text wanted, none written
}

void tst_ToolLocator::cacheHoldsUntilReset()
{
    const QString first = plant(u"PATH/ffmpeg"_s);
    plant(u"PATH/ffprobe"_s);
    QVERIFY(toolsAvailable());
    QCOMPARE(ffmpegPath(), first);

    const QString configured = plant(u"PATH/sub/my-ffmpeg"_s);
    appSettings().ffmpegPath = configured;
    QCOMPARE(ffmpegPath(), first);
    resetToolCache();
    QCOMPARE(ffmpegPath(), configured);
}

QTEST_GUILESS_MAIN(tst_ToolLocator)
#include "tst_toollocator.moc"
