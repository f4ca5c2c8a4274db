#include "identity.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"

#include <QSettings>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void emptyStoreLoadsDefaults();
    void everyFieldSurvives_data();
    void everyFieldSurvives();
    void earlierLayoutCarriesOver_data();
    void earlierLayoutCarriesOver();
    void strayValues();
    void otherIdentityIsAnotherStore();

private:
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
};

void tst_SettingsStore::init()
{
    applyIdentity();
    m_sandbox = std::make_unique<test::SettingsSandbox>();
}

void tst_SettingsStore::cleanup()
{
    m_sandbox.reset();
}

using test::fields;

void tst_SettingsStore::emptyStoreLoadsDefaults()
{
    Settings loaded;
    loadSettings(loaded);
    QCOMPARE(fields(loaded), fields(Settings()));
    // The store is the native one: an INI file under the user's config folder.
    saveSettings(loaded);
    QCOMPARE(QSettings().fileName(), QDir(m_sandbox->path()).filePath(u"Orrinworks/Kestrova.conf"_s));
}

void tst_SettingsStore::everyFieldSurvives_data()
{
    QTest::addColumn<QDateTime>("lastCheck");
    QTest::newRow("never checked") << QDateTime();
    QTest::newRow("checked") << QDateTime(QDate(2026, 3, 14), QTime(9, 5, 7));
}

void tst_SettingsStore::everyFieldSurvives()
{
    QFETCH(QDateTime, lastCheck);
    Settings s = test::unusualSettings();
    s.lastCheck = lastCheck;
    saveSettings(s);
    Settings loaded;
    loadSettings(loaded);
    QCOMPARE(fields(loaded), fields(s));
}

void tst_SettingsStore::earlierLayoutCarriesOver_data()
{
    QTest::addColumn<QVariantMap>("stored"); // detection group
    QTest::addColumn<int>("leadMode");
    QTest::addColumn<int>("tailMode");
    QTest::addColumn<int>("target");
    QTest::newRow("tail was off") << QVariantMap{ { u"padMs"_s, 300 }, { u"trimTail"_s, false } } << 1 << 0 << 300;
    QTest::newRow("head was off") << QVariantMap{ { u"padMs"_s, 80 }, { u"trimLead"_s, false } } << 0 << 1 << 80;
    QTest::newRow("new keys win")
            << QVariantMap{ { u"padMs"_s, 300 }, { u"trimLead"_s, false }, { u"leadMode"_s, 3 },
                            { u"leadTargetMs"_s, 300 } }
            << 3 << 1 << 300;
}

void tst_SettingsStore::earlierLayoutCarriesOver()
{
    QFETCH(QVariantMap, stored);
    {
        QSettings store;
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            store.setValue(u"detection/"_s + it.key(), it.value());
    }
    Settings s;
    loadSettings(s);
    QTEST(int(s.headMode), "leadMode");
    QTEST(int(s.tailMode), "tailMode");
    QTEST(s.headTargetMs, "target");
    QTEST(s.tailTargetMs, "target");
}

void tst_SettingsStore::strayValues()
{
    {
        QSettings store;
        store.setValue(u"updates/url"_s, u"https://elsewhere.example/latest.json"_s);
        store.setValue(u"detection/thresholdDb"_s, u"loud"_s);
        store.setValue(u"detection/leadTargetMs"_s, u"soon"_s);
        store.setValue(u"output/keepMtime"_s, u"maybe"_s);
        store.setValue(u"detection/tailMode"_s, 7);
    }
    Settings s;
    s.outputRoot = u"/kept"_s;
    loadSettings(s);
    // A value of the wrong type reads as that type's zero; an unknown mode is kept.
    QCOMPARE(s.thresholdDb, 0.0);
    QCOMPARE(s.headTargetMs, 0);
    QCOMPARE(s.keepMtime, false);
    QCOMPARE(int(s.tailMode), 7);
    QCOMPARE(s.outputRoot, u"/kept"_s); // not stored: left as it was
    QVERIFY(!QSettings().contains(u"updates/url"_s));
}

void tst_SettingsStore::otherIdentityIsAnotherStore()
{
    Settings other;
    other.thresholdDb = -20.0;
    QCoreApplication::setOrganizationName(u"Someone Else"_s);
    saveSettings(other);
    applyIdentity();
    Settings ours;
    loadSettings(ours);
    QCOMPARE(ours.thresholdDb, Settings().thresholdDb);
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
