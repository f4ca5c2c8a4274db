#include "identity.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"

#include <QSettings>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ks;
using namespace Qt::StringLiterals;

// The settings store: every field kept, earlier layouts carried over, stray values read safely.
class tst_SettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_sandbox.reset(); }
    void storeRoundTrip_data();
    void storeRoundTrip();
    void storedValuesRead_data();
    void storedValuesRead();
    void readingLeavesTheFile_data();
    void readingLeavesTheFile();
    void outOfRangeLoadsDefault_data();
    void outOfRangeLoadsDefault();
    void storeThatIsNoFile_data();
    void storeThatIsNoFile();

private:
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
};

void tst_SettingsStore::init()
{
    applyIdentity();
    m_sandbox = std::make_unique<test::SettingsSandbox>();
}

void tst_SettingsStore::storeRoundTrip_data()
{
    QTest::addColumn<bool>("empty"); // nothing saved: the defaults come back
    QTest::addColumn<QDateTime>("lastCheck");
    QTest::newRow("empty store") << true << QDateTime();
    QTest::newRow("never checked") << false << QDateTime();
    QTest::newRow("every field") << false << QDateTime(QDate(2026, 3, 14), QTime(9, 5, 7));
}

void tst_SettingsStore::storeRoundTrip()
{
    QFETCH(bool, empty);
    QFETCH(QDateTime, lastCheck);
    Settings saved = empty ? Settings() : test::unusualSettings();
    saved.lastCheck = lastCheck;
    if (!empty)
        saveSettings(saved);
    Settings loaded;
    loadSettings(loaded);
    QCOMPARE(test::fields(loaded), test::fields(saved));
    // The native store: an INI file named after the organisation and the program.
    QCOMPARE(QSettings().fileName(), QDir(m_sandbox->path()).filePath(u"Orrinworks/Kestrova.conf"_s));
}

void tst_SettingsStore::storedValuesRead_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("read"); // head mode, tail mode, their targets, threshold, keep mtime, destination
    QTest::newRow("tail was off") << QVariantMap{ { u"detection/padMs"_s, 300 }, { u"detection/trimTail"_s, false } }
                                  << u"1 0 300 300 -50 true /kept"_s;
    QTest::newRow("head was off") << QVariantMap{ { u"detection/padMs"_s, 80 }, { u"detection/trimLead"_s, false } }
                                  << u"0 1 80 80 -50 true /kept"_s;
    QTest::newRow("new keys win") << QVariantMap{ { u"detection/padMs"_s, 300 }, { u"detection/trimLead"_s, false },
        { u"detection/leadMode"_s, 3 }, { u"detection/leadTargetMs"_s, 300 } }
                                  << u"3 1 300 300 -50 true /kept"_s;
    // A value of the wrong type reads as that type's zero (and a threshold
    // of 0 dB is out of range, so the default); an unknown mode is kept; the update address is never read from, nor
    // kept in, the store.
    QTest::newRow("stray values") << QVariantMap{ { u"updates/url"_s, u"https://elsewhere.example/latest.json"_s },
        { u"detection/thresholdDb"_s, u"loud"_s }, { u"output/keepMtime"_s, u"maybe"_s },
        { u"detection/tailMode"_s, 7 } }
                                  << u"1 7 150 150 -50 false /kept"_s;
}

void tst_SettingsStore::storedValuesRead()
{
    QFETCH(QVariantMap, stored);
    {
        QSettings store;
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            store.setValue(it.key(), it.value());
    }
    Settings s;
    s.outputRoot = u"/kept"_s; // not stored: left as it was
    loadSettings(s);
    QTEST(u"%1 %2 %3 %4 %5 %6 %7"_s.arg(int(s.leadMode))
                    .arg(int(s.tailMode))
                    .arg(s.leadTargetMs)
                    .arg(s.tailTargetMs)
                    .arg(s.thresholdDb)
                    .arg(s.keepMtime ? u"true"_s : u"false"_s, s.outputRoot),
            "read");
    QVERIFY(!QSettings().contains(u"updates/url"_s));
}

void tst_SettingsStore::readingLeavesTheFile_data()
{
    QTest::addColumn<StoreUse>("use");
    QTest::addColumn<bool>("rewritten"); // the stale update address gone, the file laid out anew
    QTest::newRow("tidied") << StoreUse::Tidy << true;
    QTest::newRow("only read") << StoreUse::ReadOnly << false;
}

// A store edited by hand, with a comment, its own order and a key nothing
// reads any more: only a tidying load rewrites it.
void tst_SettingsStore::readingLeavesTheFile()
{
    QFETCH(StoreUse, use);
    QFETCH(bool, rewritten);
    const QString path = QSettings().fileName();
    const QByteArray edited = "; thresholds tuned for the archive\n[updates]\nurl=https://old.example/feed\n\n"
                              "[detection]\nthresholdDb=-60\n";
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(edited) == edited.size());
    }
    Settings s;
    QVERIFY(loadSettings(s, use).isEmpty());
    QCOMPARE(s.thresholdDb, -60.0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray after = file.readAll();
    QCOMPARE(after != edited, rewritten);
    QCOMPARE(after.contains("url="), !rewritten);
}

void tst_SettingsStore::outOfRangeLoadsDefault_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("loaded"); // the field's value after loading
    QTest::addColumn<bool>("noted");      // one note names the key
    const QVariant defaultExtensions = Settings().extensions;
    QTest::newRow("safety limit switched off") << u"detection/maxTrimSec"_s << QVariant(1e9) << QVariant(900.0) << true;
    QTest::newRow("thousands of jobs") << u"tools/parallelJobs"_s << QVariant(100000) << QVariant(0) << true;
    QTest::newRow("threshold at full scale") << u"detection/thresholdDb"_s << QVariant(0) << QVariant(-50.0) << true;
    QTest::newRow("threshold not a number")
            << u"detection/thresholdDb"_s << QVariant(u"nan"_s) << QVariant(-50.0) << true;
    QTest::newRow("negative target") << u"detection/tailTargetMs"_s << QVariant(-1) << QVariant(150) << true;
    QTest::newRow("largest int target") << u"detection/leadTargetMs"_s << QVariant(2147483647) << QVariant(150) << true;
    QTest::newRow("10 MB destination") << u"output/root"_s << QVariant(QString(10'000'000, u'x')) << QVariant(QString())
                                       << true;
    QTest::newRow("no extensions") << u"scan/extensions"_s << QVariant(QStringList()) << defaultExtensions << true;
    QTest::newRow("blank extensions") << u"scan/extensions"_s << QVariant(QStringList{ u" "_s }) << defaultExtensions
                                      << true;
    // The limits themselves are in range.
    QTest::newRow("highest limit") << u"detection/maxTrimSec"_s << QVariant(7200) << QVariant(7200.0) << false;
    QTest::newRow("quietest threshold") << u"detection/thresholdDb"_s << QVariant(-90) << QVariant(-90.0) << false;
    QTest::newRow("loudest threshold") << u"detection/thresholdDb"_s << QVariant(-10) << QVariant(-10.0) << false;
    QTest::newRow("most jobs") << u"tools/parallelJobs"_s << QVariant(64) << QVariant(64) << false;
    QTest::newRow("longest target") << u"detection/leadTargetMs"_s << QVariant(30000) << QVariant(30000) << false;
    QTest::newRow("one extension") << u"scan/extensions"_s << QVariant(QStringList{ u"opus"_s })
                                   << QVariant(QStringList{ u"opus"_s }) << false;
}

void tst_SettingsStore::outOfRangeLoadsDefault()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, loaded);
    QFETCH(bool, noted);
    QSettings().setValue(key, stored);
    Settings s;
    const QStringList notes = loadSettings(s);
    const QVariantMap fields{ { u"detection/maxTrimSec"_s, s.maxTrimSec }, { u"tools/parallelJobs"_s, s.parallelJobs },
        { u"detection/thresholdDb"_s, s.thresholdDb }, { u"detection/leadTargetMs"_s, s.leadTargetMs },
        { u"detection/tailTargetMs"_s, s.tailTargetMs }, { u"output/root"_s, s.outputRoot },
        { u"scan/extensions"_s, s.extensions } };
    QCOMPARE(fields.value(key), loaded);
    QCOMPARE(notes.size(), noted ? 1 : 0);
    if (noted) {
        QVERIFY2(notes.first().contains(key), qPrintable(notes.first()));
        QVERIFY2(notes.first().size() < 200, qPrintable(notes.first()));
    }
}

void tst_SettingsStore::storeThatIsNoFile_data()
{
    // What stands in place of which of the files the store reads: its own, or the organisation's it falls back to.
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("fifo"); // else a link to a device
    QTest::newRow("a FIFO as the store") << u"Orrinworks/Kestrova.conf"_s << true;
    QTest::newRow("a FIFO as the organisation's store") << u"Orrinworks.conf"_s << true;
    QTest::newRow("a device as the store") << u"Orrinworks/Kestrova.conf"_s << false;
}

void tst_SettingsStore::storeThatIsNoFile()
{
    QFETCH(QString, file);
    QFETCH(bool, fifo);
    saveSettings(test::unusualSettings());
    const QString path = QDir(m_sandbox->path()).filePath(file);
    const QByteArray name = QFile::encodeName(path);
    QVERIFY(QFile::remove(path) || !QFile::exists(path));
    QVERIFY(fifo ? ::mkfifo(name.constData(), 0600) == 0 : QFile::link(u"/dev/null"_s, path));

    // Loaded and saved on a thread of its own: reading a FIFO would block it until a writer came.
    Settings loaded;
    QStringList notes;
    QScopedPointer<QThread> thread(QThread::create([&] {
        notes = loadSettings(loaded);
        saveSettings(loaded);
    }));
    thread->start();
    const bool done = thread->wait(QDeadlineTimer(60000));
    while (fifo && !thread->wait(QDeadlineTimer(1000))) // a writer that writes nothing lets it go
        ::close(::open(name.constData(), O_WRONLY | O_NONBLOCK));
    thread->wait();
    QVERIFY2(done, "loading blocked");
    QCOMPARE(notes.size(), 1);
    QVERIFY2(
            notes.first().contains(path) && notes.first().contains(u"not a regular file"_s), qPrintable(notes.first()));
    QCOMPARE(test::fields(loaded), test::fields(Settings()));
    QVERIFY(!QFileInfo(path).isFile());              // nothing written over it
    QCOMPARE(settingsStoreRefusal(), notes.first()); // for the window's own use of the store
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
