#include "fixtures.h"
#include "identity.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"

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
    void initTestCase() { applyIdentity(); }
    void init() { m_sandbox = std::make_unique<test::SettingsSandbox>(); }
    void cleanup() { m_sandbox.reset(); }

    void storeRoundTrip()
    {
        Settings loaded;
        loadSettings(loaded);
        QCOMPARE(test::fields(loaded), test::fields(Settings())); // nothing saved: the defaults
        Settings saved = test::unusualSettings();
        for (const QDateTime &lastCheck : { QDateTime(QDate(2026, 3, 14), QTime(9, 5, 7)), QDateTime() }) {
            saved.lastCheck = lastCheck; // invalid: never checked
            saveSettings(saved);
            loadSettings(loaded);
            QCOMPARE(test::fields(loaded), test::fields(saved));
        }
        // The native store: an INI file named after the organisation and the program.
        QCOMPARE(QSettings().fileName(), QDir(m_sandbox->path()).filePath(u"Orrinworks/Kestrova.conf"_s));
    }

    void storedValuesRead_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QStringList>("read"); // fields as loaded over a destination of /kept, which is not stored
        QTest::addColumn<QString>("noted");    // the key the one note names, if any
        const auto modes = [](int lead, int tail, int leadMs, int tailMs) {
            return QStringList{ u"leadMode=%1"_s.arg(lead), u"tailMode=%1"_s.arg(tail),
                u"leadTargetMs=%1"_s.arg(leadMs), u"tailTargetMs=%1"_s.arg(tailMs), u"root=/kept"_s };
        };
        const QString pad = u"detection/padMs"_s, trimLead = u"detection/trimLead"_s;
        QTest::newRow("tail was off") << QVariantMap{ { pad, 300 }, { u"detection/trimTail"_s, false } }
                                      << modes(1, 0, 300, 300) << QString();
        QTest::newRow("head was off") << QVariantMap{ { pad, 80 }, { trimLead, false } } << modes(0, 1, 80, 80)
                                      << QString();
        QTest::newRow("new keys win") << QVariantMap{ { pad, 300 }, { trimLead, false }, { u"detection/leadMode"_s, 3 },
            { u"detection/leadTargetMs"_s, 200 } }
                                      << modes(3, 1, 200, 300) << QString();
        // A wrong type reads as that type's zero; an unknown mode is kept; the update address is never read from, nor
        // kept in, the store.
        QTest::newRow("stray values") << QVariantMap{ { u"updates/url"_s, u"https://elsewhere.example/latest.json"_s },
            { u"output/keepMtime"_s, u"maybe"_s }, { u"detection/tailMode"_s, 7 } }
                                      << modes(1, 7, 150, 150) + QStringList{ u"keepMtime=false"_s } << QString();
        // Out of range: the default, and a note; the limits themselves are in range (one compare serves every field).
        const auto range = [](const char *tag, const QString &key, const QVariant &stored, const QString &read,
                                   bool noted) {
            QTest::newRow(tag) << QVariantMap{ { key, stored } } << QStringList{ key.section(u'/', 1) + u'=' + read }
                               << (noted ? key : QString());
        };
        const QString defaultExtensions = Settings().extensions.join(u'|');
        range("safety limit switched off", u"detection/maxTrimSec"_s, 1e9, u"900"_s, true);
        range("thousands of jobs", u"tools/parallelJobs"_s, 100000, u"0"_s, true);
        range("threshold a wrong type", u"detection/thresholdDb"_s, u"loud"_s, u"-50"_s, true);
        range("threshold not a number", u"detection/thresholdDb"_s, u"nan"_s, u"-50"_s, true);
        range("threshold louder than -10 dB", u"detection/thresholdDb"_s, -5, u"-50"_s, true);
        range("negative target", u"detection/tailTargetMs"_s, -1, u"150"_s, true);
        range("largest int target", u"detection/leadTargetMs"_s, 2147483647, u"150"_s, true);
        range("10 MB destination", u"output/root"_s, QString(10'000'000, u'x'), QString(), true);
        range("no extensions", u"scan/extensions"_s, QStringList(), defaultExtensions, true);
        range("blank extensions", u"scan/extensions"_s, QStringList{ u" "_s }, defaultExtensions, true);
        range("quietest threshold", u"detection/thresholdDb"_s, -90, u"-90"_s, false);
        range("loudest threshold", u"detection/thresholdDb"_s, -10, u"-10"_s, false);
    }

    void storedValuesRead()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QStringList, read);
        QFETCH(QString, noted);
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            QSettings().setValue(it.key(), it.value());
        Settings s;
        s.outputRoot = u"/kept"_s;
        const QStringList notes = loadSettings(s);
        for (const QString &field : std::as_const(read))
            QVERIFY2(test::fields(s).contains(field),
                    qPrintable(field + u" not in "_s + test::fields(s).join(u' ').left(2000)));
        QCOMPARE(notes.size(), noted.isEmpty() ? 0 : 1);
        QVERIFY2(noted.isEmpty() || (notes.first().contains(noted) && notes.first().size() < 200),
                qPrintable(notes.join(u'\n')));
        QVERIFY(!QSettings().contains(u"updates/url"_s));
    }

    // A store edited by hand, with a comment, its own order and a key nothing reads any more: only a tidying load drops
    // the stale address and lays the file out anew.
    void readingLeavesTheFile()
    {
        const QString file = QSettings().fileName();
        const QByteArray edited = "; thresholds tuned for the archive\n[updates]\nurl=https://old.example/feed\n\n"
                                  "[detection]\nthresholdDb=-60\n";
        for (const StoreUse use : { StoreUse::ReadOnly, StoreUse::Tidy }) {
            QVERIFY(test::writeFile(file, edited));
            Settings s;
            QVERIFY(loadSettings(s, use).isEmpty());
            QCOMPARE(s.thresholdDb, -60.0);
            const QByteArray after = test::contents(file);
            QCOMPARE(after == edited, use != StoreUse::Tidy);
            QCOMPARE(after.contains("url="), use != StoreUse::Tidy);
        }
    }

    void storeThatIsNoFile_data()
    {
        // What stands in place of which of the files the store reads: its own, or the organisation's it falls back to.
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("fifo"); // else a link to a device
        QTest::newRow("a FIFO as the store") << u"Orrinworks/Kestrova.conf"_s << true;
        QTest::newRow("a FIFO as the organisation's store") << u"Orrinworks.conf"_s << true;
        QTest::newRow("a device as the store") << u"Orrinworks/Kestrova.conf"_s << false;
    }

    void storeThatIsNoFile()
    {
        QFETCH(QString, file);
        QFETCH(bool, fifo);
        saveSettings(test::unusualSettings());
        const QString path = QDir(m_sandbox->path()).filePath(file);
        QVERIFY(QFile::remove(path) || !QFile::exists(path));
        const QByteArray name = QFile::encodeName(path);
        QVERIFY(fifo ? ::mkfifo(name.constData(), 0600) == 0 : QFile::link(u"/dev/null"_s, path));
        // Loaded and saved on a thread of its own: reading a FIFO would block it until a writer came.
        Settings loaded;
        QStringList notes;
        QScopedPointer<QThread> thread(QThread::create([&] {
            notes = loadSettings(loaded);
            saveSettings(loaded);
        }));
        thread->start();
        const bool done = thread->wait(60000);
        // Should it block: a reader opened without blocking frees a writer, a writer's close a reader.
        const int reader = done ? -1 : ::open(name.constData(), O_RDONLY | O_NONBLOCK);
        for (; fifo && !thread->isFinished(); thread->wait(60000))
            ::close(::open(name.constData(), O_WRONLY | O_NONBLOCK));
        thread->wait();
        ::close(reader);
        QVERIFY2(done, "loading blocked");
        QVERIFY2(notes.size() == 1 && notes.first().contains(path) && notes.first().contains(u"not a regular file"_s),
                qPrintable(notes.join(u'\n')));
        QCOMPARE(test::fields(loaded), test::fields(Settings()));
        QVERIFY(!QFileInfo(path).isFile());              // nothing written over it
        QCOMPARE(settingsStoreRefusal(), notes.first()); // for the window's own use of the store
    }

private:
    std::unique_ptr<test::SettingsSandbox> m_sandbox;
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
