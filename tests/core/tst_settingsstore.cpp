#include "identity.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"

#include <QSettings>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// The settings store: every field kept, earlier layouts carried over, stray values.
class tst_SettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_sandbox.reset(); }
    void storeRoundTrip_data();
    void storeRoundTrip();
    void earlierLayoutCarriesOver_data();
    void earlierLayoutCarriesOver();
    void strayValues();

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

void tst_SettingsStore::earlierLayoutCarriesOver_data()
{
    QTest::addColumn<QVariantMap>("stored"); // detection group
    QTest::addColumn<int>("headMode");
    QTest::addColumn<int>("tailMode");
    QTest::addColumn<int>("target");
    QTest::newRow("tail was off") << QVariantMap{ { u"padMs"_s, 300 }, { u"trimTail"_s, false } } << 1 << 0 << 300;
    QTest::newRow("head was off") << QVariantMap{ { u"padMs"_s, 80 }, { u"trimLead"_s, false } } << 0 << 1 << 80;
    QTest::newRow("new keys win") << QVariantMap{ { u"padMs"_s, 300 }, { u"trimLead"_s, false }, { u"leadMode"_s, 3 },
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
    QTEST(int(s.headMode), "headMode");
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
        store.setValue(u"output/keepMtime"_s, u"maybe"_s);
        store.setValue(u"detection/tailMode"_s, 7);
    }
    Settings s;
    s.outputRoot = u"/kept"_s;
    loadSettings(s);
    // A value of the wrong type reads as that type's zero; an unknown mode is kept.
    QCOMPARE(s.thresholdDb, 0.0);
    QCOMPARE(s.keepMtime, false);
    QCOMPARE(int(s.tailMode), 7);
    QCOMPARE(s.outputRoot, u"/kept"_s); // not stored: left as it was
    // The update address is never read from, nor kept in, the store.
    QVERIFY(!QSettings().contains(u"updates/url"_s));
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
