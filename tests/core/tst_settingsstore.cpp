#include "identity.h"
#include "settings.h"
#include "settingsstore.h"
#include "settingssandbox.h"

#include <QSettings>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyStoreLoadsDefaults();
    void unstoredKeyLeavesField();
    void everyFieldSurvivesSaveAndLoad_data();
    void everyFieldSurvivesSaveAndLoad();
    void earlierLayoutCarriesOver_data();
    void earlierLayoutCarriesOver();
    void newKeysWinOverEarlierLayout();
    void endpointKeyRemovedOnLoad();
    void wrongTypesReadAsZero();
    void enumOutsideRangeKept();
    void otherIdentityIsAnotherStore();
    void storeIsIniUnderConfigFolder();

private:
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
};

void tst_SettingsStore::initTestCase()
{
    applyIdentity();
}

void tst_SettingsStore::init()
{
    m_sandbox = std::make_unique<test::SettingsSandbox>();
}

void tst_SettingsStore::cleanup()
{
    m_sandbox.reset();
    applyIdentity();
}

static void compareSettings(const Settings &a, const Settings &b)
{
    QCOMPARE(a.thresholdDb, b.thresholdDb);
    QCOMPARE(a.minSilenceSec, b.minSilenceSec);
    QCOMPARE(a.maxTrimSec, b.maxTrimSec);
    QCOMPARE(a.leadMode, b.leadMode);
    QCOMPARE(a.tailMode, b.tailMode);
    QCOMPARE(a.leadTargetMs, b.leadTargetMs);
    QCOMPARE(a.tailTargetMs, b.tailTargetMs);
    QCOMPARE(a.outputMode, b.outputMode);
    QCOMPARE(a.trimMethod, b.trimMethod);
    QCOMPARE(a.outputRoot, b.outputRoot);
    QCOMPARE(a.keepMtime, b.keepMtime);
    QCOMPARE(a.makeBackup, b.makeBackup);
    QCOMPARE(a.skipUntrimmed, b.skipUntrimmed);
    QCOMPARE(a.padFallback, b.padFallback);
    QCOMPARE(a.extensions, b.extensions);
    QCOMPARE(a.recursive, b.recursive);
    QCOMPARE(a.ffmpegPath, b.ffmpegPath);
    QCOMPARE(a.ffprobePath, b.ffprobePath);
    QCOMPARE(a.autoCheck, b.autoCheck);
    QCOMPARE(a.skippedVersion, b.skippedVersion);
    QCOMPARE(a.lastCheck.isValid(), b.lastCheck.isValid());
    QCOMPARE(a.lastCheck, b.lastCheck);
}

void tst_SettingsStore::emptyStoreLoadsDefaults()
{
    Settings loaded;
    loadSettings(loaded);
    compareSettings(loaded, Settings());
}

void tst_SettingsStore::unstoredKeyLeavesField()
{
    {
        QSettings store;
        store.setValue(u"detection/minSilenceSec"_s, 0.8);
    }
    Settings s;
    s.thresholdDb = -33.0;
    s.outputRoot = u"/kept"_s;
    loadSettings(s);
    QCOMPARE(s.thresholdDb, -33.0);
    QCOMPARE(s.outputRoot, u"/kept"_s);
    QCOMPARE(s.minSilenceSec, 0.8);
}

void tst_SettingsStore::everyFieldSurvivesSaveAndLoad_data()
{
    QTest::addColumn<QDateTime>("lastCheck");
    QTest::newRow("never checked") << QDateTime();
    QTest::newRow("checked") << QDateTime(QDate(2026, 3, 14), QTime(9, 5, 7));
}

void tst_SettingsStore::everyFieldSurvivesSaveAndLoad()
{
    QFETCH(QDateTime, lastCheck);
    Settings s;
    s.thresholdDb = -42.5;
    s.minSilenceSec = 1.25;
    s.maxTrimSec = 30.0;
    s.leadMode = EndMode::TopUp;
    s.tailMode = EndMode::Exact;
    s.leadTargetMs = 400;
    s.tailTargetMs = 2500;
    s.outputMode = OutputMode::InPlace;
    s.trimMethod = TrimMethod::ReEncode;
    s.outputRoot = u"/home/ann/Müsik out/it's \"here\""_s;
    s.keepMtime = false;
    s.makeBackup = false;
    s.skipUntrimmed = false;
    s.padFallback = PadFallback::Skip;
    s.extensions = { u"opus"_s, u"wav"_s };
    s.recursive = false;
    s.ffmpegPath = u"/opt/ff mpeg/ffmpeg"_s;
    s.ffprobePath = u"/opt/ff mpeg/ffprobe"_s;
    s.autoCheck = false;
    s.skippedVersion = u"1.2.0"_s;
    s.lastCheck = lastCheck;
    saveSettings(s);

    Settings loaded;
    loadSettings(loaded);
    compareSettings(loaded, s);
}

void tst_SettingsStore::earlierLayoutCarriesOver_data()
{
    QTest::addColumn<QVariant>("padMs");
    QTest::addColumn<QVariant>("trimLead");
    QTest::addColumn<QVariant>("trimTail");
    QTest::addColumn<int>("leadMode");
    QTest::addColumn<int>("tailMode");
    QTest::addColumn<int>("target");
    QTest::newRow("tail was off") << QVariant(300) << QVariant() << QVariant(false) << 1 << 0 << 300;
    QTest::newRow("head was off") << QVariant(80) << QVariant(false) << QVariant(true) << 0 << 1 << 80;
    QTest::newRow("both on, no target") << QVariant() << QVariant(true) << QVariant(true) << 1 << 1 << 150;
}

void tst_SettingsStore::earlierLayoutCarriesOver()
{
    QFETCH(QVariant, padMs);
    QFETCH(QVariant, trimLead);
    QFETCH(QVariant, trimTail);
    {
        QSettings store;
        if (padMs.isValid())
            store.setValue(u"detection/padMs"_s, padMs);
        if (trimLead.isValid())
            store.setValue(u"detection/trimLead"_s, trimLead);
        if (trimTail.isValid())
            store.setValue(u"detection/trimTail"_s, trimTail);
    }
    Settings s;
    loadSettings(s);
    QTEST(int(s.leadMode), "leadMode");
    QTEST(int(s.tailMode), "tailMode");
    QTEST(s.leadTargetMs, "target");
    QTEST(s.tailTargetMs, "target");

    // The next save writes the new keys and never the old ones.
    saveSettings(s);
    QSettings store;
    QCOMPARE(store.value(u"detection/leadMode"_s).toInt(), int(s.leadMode));
    QCOMPARE(store.value(u"detection/padMs"_s), padMs.isValid() ? padMs : QVariant());
}

void tst_SettingsStore::newKeysWinOverEarlierLayout()
{
    {
        QSettings store;
        store.setValue(u"detection/padMs"_s, 300);
        store.setValue(u"detection/trimLead"_s, false);
        store.setValue(u"detection/leadMode"_s, 3);
        store.setValue(u"detection/leadTargetMs"_s, 20);
    }
    Settings s;
    loadSettings(s);
    QCOMPARE(s.leadMode, EndMode::Exact);
    QCOMPARE(s.leadTargetMs, 20);
    QCOMPARE(s.tailTargetMs, 300);
}

void tst_SettingsStore::endpointKeyRemovedOnLoad()
{
    {
        QSettings store;
        store.setValue(u"updates/url"_s, u"https://elsewhere.example/latest.json"_s);
        store.setValue(u"updates/skipped"_s, u"1.1.0"_s);
    }
    Settings s;
    loadSettings(s);
    QCOMPARE(s.skippedVersion, u"1.1.0"_s);
    QSettings store;
    QVERIFY(!store.contains(u"updates/url"_s));
    QVERIFY(store.contains(u"updates/skipped"_s));
}

void tst_SettingsStore::wrongTypesReadAsZero()
{
    {
        QSettings store;
        store.setValue(u"detection/thresholdDb"_s, u"loud"_s);
        store.setValue(u"detection/leadTargetMs"_s, u"soon"_s);
        store.setValue(u"output/keepMtime"_s, u"maybe"_s);
        store.setValue(u"scan/recursive"_s, 2.5);
        store.setValue(u"updates/lastCheck"_s, u"yesterday"_s);
    }
    Settings s;
    s.lastCheck = QDateTime::currentDateTime();
    loadSettings(s);
    QCOMPARE(s.thresholdDb, 0.0);
    QCOMPARE(s.leadTargetMs, 0);
    QCOMPARE(s.keepMtime, false);
    QCOMPARE(s.recursive, false);
    QVERIFY(!s.lastCheck.isValid());
}

void tst_SettingsStore::enumOutsideRangeKept()
{
    {
        QSettings store;
        store.setValue(u"detection/tailMode"_s, 7);
        store.setValue(u"output/mode"_s, -2);
    }
    Settings s;
    loadSettings(s);
    QCOMPARE(int(s.tailMode), 7);
    QCOMPARE(int(s.outputMode), -2);
}

void tst_SettingsStore::otherIdentityIsAnotherStore()
{
    Settings other;
    other.thresholdDb = -20.0;
    QCoreApplication::setOrganizationName(u"Someone Else"_s);
    saveSettings(other);
    Settings readBack;
    loadSettings(readBack);
    QCOMPARE(readBack.thresholdDb, -20.0);

    applyIdentity();
    Settings ours;
    loadSettings(ours);
    QCOMPARE(ours.thresholdDb, Settings().thresholdDb);

    QCoreApplication::setApplicationName(u"Kestrova Beta"_s);
    Settings beta;
    loadSettings(beta);
    QCOMPARE(beta.thresholdDb, Settings().thresholdDb);
}

void tst_SettingsStore::storeIsIniUnderConfigFolder()
{
    saveSettings(Settings());
    const QString file = m_sandbox->storeFile();
    QCOMPARE(file, QDir(m_sandbox->path()).filePath(u"Orrinworks/Kestrova.conf"_s));
    QVERIFY(QFile::exists(file));
    QSettings ini(file, QSettings::IniFormat);
    QCOMPARE(ini.value(u"detection/thresholdDb"_s).toDouble(), -50.0);
    QCOMPARE(ini.value(u"scan/extensions"_s).toStringList().size(), 8);
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
