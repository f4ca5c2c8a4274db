#include "addcommands.h"
#include "batchsummary.h"
#include "desktopreporter.h"
#include "fixtures.h"
#include "identity.h"
#include "mainwindow.h"
#include "recordtypes.h"
#include "settings.h"
#include "settingssandbox.h"
#include "settingsstore.h"

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>

using namespace ks;
using namespace Qt::StringLiterals;

namespace {

const QString MarkerPath = u"/test/marker"_s;
const QString MarkerInterface = u"test.Marker"_s;

// Stands in for the desktop on a connection of its own to the test's private
// bus: serves the notification service if asked, and records every
// notification and every taskbar update that reaches it.
class Desktop final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit Desktop(bool serving)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"desktop"_s))
        , m_serving(serving)
    {
        if (serving) {
            m_bus.registerObject(u"/org/freedesktop/Notifications"_s, this, QDBusConnection::ExportAllSlots);
            m_bus.registerService(u"org.freedesktop.Notifications"_s);
        }
        m_bus.connect({}, {}, u"com.canonical.Unity.LauncherEntry"_s, u"Update"_s, this,
                SLOT(onUpdate(QString, QVariantMap)));
        m_bus.connect({}, MarkerPath, MarkerInterface, u"Mark"_s, this, SLOT(onMark()));
    }
    ~Desktop() override
    {
        if (m_serving) {
            m_bus.unregisterService(u"org.freedesktop.Notifications"_s);
            m_bus.unregisterObject(u"/org/freedesktop/Notifications"_s);
        }
        QDBusConnection::disconnectFromBus(u"desktop"_s);
    }
    bool isConnected() const { return m_bus.isConnected(); }

    // True once everything the program's connection sent before now has
    // arrived: one sender's messages reach a listener in the order sent.
    bool settle()
    {
        const int before = m_marks;
        QDBusConnection::sessionBus().send(QDBusMessage::createSignal(MarkerPath, MarkerInterface, u"Mark"_s));
        return QTest::qWaitFor([&] { return m_marks > before; });
    }

    QStringList notes;    // summary|body, then what else the call carried
    QStringList launcher; // "0.33/2" per update (progress/count), "clear" when hidden
    QString appUri;

public Q_SLOTS:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary, const QString &body,
            const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        notes << QStringList{ summary, body, app, QString::number(replaces), icon, actions.join(u','),
            hints.value(u"desktop-entry"_s).toString(), QString::number(timeout),
            message().isReplyRequired() ? u"waits"_s : u"no reply"_s }
                         .join(u'|');
        return uint(notes.size());
    }

private Q_SLOTS:
    void onUpdate(const QString &uri, const QVariantMap &properties)
    {
        appUri = uri;
        const bool shown = properties.value(u"progress-visible"_s).toBool();
        const bool wellTyped = properties.value(u"count-visible"_s).toBool() == shown
                && properties.value(u"count"_s).metaType() == QMetaType::fromType<qint64>()
                && properties.value(u"progress"_s).metaType() == QMetaType::fromType<double>();
        if (!wellTyped)
            launcher << u"malformed"_s;
        else if (!shown)
            launcher << u"clear"_s;
        else
            launcher << u"%1/%2"_s.arg(properties.value(u"progress"_s).toDouble(), 0, 'f', 2)
                                .arg(properties.value(u"count"_s).toLongLong());
    }
    void onMark() { ++m_marks; }

private:
    QDBusConnection m_bus;
    bool m_serving;
    int m_marks = 0;
};

BatchSummary totals(int processed, int written, int skipped, int failed)
{
    BatchSummary summary;
    summary.processed = processed;
    summary.written = written;
    summary.wouldChange = written;
    summary.skipped = skipped;
    summary.failed = failed;
    summary.secondsCut = 1.25 * written;
    return summary;
}

} // namespace

// What the desktop hears of a run, over a private session bus of the test's own.
class tst_DesktopReporter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        registerRecordTypes();
        applyIdentity();
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus: run under dbus-run-session");
    }

    void reportsTheRunEnd_data()
    {
        QTest::addColumn<BatchSummary>("summary");
        QTest::addColumn<bool>("analyseOnly");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<bool>("switchOn");
        QTest::addColumn<bool>("inFront");
        QTest::addColumn<bool>("longRun");
        QTest::addColumn<bool>("serving");     // someone serves notifications
        QTest::addColumn<QString>("notified"); // summary|body; empty: no notification
        QTest::addColumn<QString>("launcher");

        const QString followed = u"0.00/3 0.33/2 0.67/1 1.00/0 clear"_s;
        QTest::newRow("all trimmed")
                << totals(412, 412, 0, 0) << false << false << true << false << true << true
                << u"Trimmed 412 file(s)|Complete - 412 written, 0 skipped, 0 failed, 515.0 s cut, "
                   "0.0 s added."_s
                << followed;
        QTest::newRow("some failed") << totals(415, 410, 2, 3) << false << false << true << false << true << true
                                     << u"Trimmed 410 file(s), 2 skipped, 3 failed|Complete - 410 written, 2 skipped, "
                                        "3 failed, 512.5 s cut, 0.0 s added."_s
                                     << followed;
        QTest::newRow("stopped") << totals(40, 40, 0, 0) << false << true << true << false << true << true
                                 << u"Trim stopped - 40 file(s) trimmed|Stopped - 40 written, 0 skipped, 0 failed, "
                                    "50.0 s cut, 0.0 s added."_s
                                 << followed;
        QTest::newRow("analysis") << totals(12, 7, 0, 1) << true << false << true << false << true << true
                                  << u"Analysed 11 file(s), 1 failed|Analysis complete - 11 measured, 1 failed."_s
                                  << followed;
        QTest::newRow("window in front") << totals(3, 3, 0, 0) << false << false << true << true << true << true
                                         << QString() << followed;
        QTest::newRow("short run") << totals(3, 3, 0, 0) << false << false << true << false << false << true
                                   << QString() << followed;
        QTest::newRow("switched off") << totals(3, 3, 0, 0) << false << false << false << false << true << true
                                      << QString() << QString();
        // Nobody serves notifications: the run still ends quietly and the taskbar is cleared.
        QTest::newRow("no notification service")
                << totals(3, 3, 0, 0) << false << false << true << false << true << false << QString() << followed;
    }
    void reportsTheRunEnd()
    {
        QFETCH(BatchSummary, summary);
        QFETCH(bool, analyseOnly);
        QFETCH(bool, cancelled);
        QFETCH(bool, switchOn);
        QFETCH(bool, inFront);
        QFETCH(bool, longRun);
        QFETCH(bool, serving);
        QFETCH(QString, notified);
        QFETCH(QString, launcher);

        test::SettingsSandbox sandbox;
        appSettings().desktopNotifications = switchOn;
        Desktop desktop(serving);
        QWidget window;
        if (inFront) {
            window.show();
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
        }
        auto *reporter = new DesktopReporter(&window);
        reporter->setLongRunMs(longRun ? 0 : 3600 * 1000);
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        for (int done = 0; done <= 3; ++done)
            reporter->onBatchProgress(done, 3);
        reporter->onBatchFinished(summary, cancelled, analyseOnly);
        QVERIFY(desktop.settle());

        QCOMPARE(desktop.notes.size(), notified.isEmpty() ? 0 : 1);
        if (!notified.isEmpty()) {
            QCOMPARE(desktop.notes.first().section(u'|', 0, 1), notified);
            // Ours by name and icon, asks for no answer, and lasts as long as the desktop keeps notes.
            QCOMPARE(desktop.notes.first().section(u'|', 2),
                    u"Kestrova|0|example.orrinworks.kestrova||example.orrinworks.kestrova|-1|no reply"_s);
        }
        QCOMPARE(desktop.launcher.join(u' '), launcher);
        if (!launcher.isEmpty()) // the taskbar finds the entry by the installed desktop file's name
            QVERIFY2(QFileInfo::exists(QLatin1String(KS_PACKAGING_DIR "/") + desktop.appUri.section(u"//"_s, 1)),
                    qPrintable(desktop.appUri));
    }

    // The window's own analysis, ended while the window is in the background.
    void windowReportsItsRun()
    {
        const QTemporaryDir dir;
        const QString audio = dir.filePath(u"take.wav"_s);
        QCOMPARE(test::makeAudio(audio), QString());
        test::SettingsSandbox sandbox;
        Desktop desktop(true);
        MainWindow window;
        window.findChild<DesktopReporter *>()->setLongRunMs(0);
        window.findChild<AddCommands *>()->addPaths({ audio });
        window.findChild<QPushButton *>(u"analyseButton"_s)->click();
        QTRY_COMPARE_WITH_TIMEOUT(desktop.notes.size(), 1, 30000);
        QCOMPARE(desktop.notes.first().section(u'|', 0, 1),
                u"Analysed 1 file(s)|Analysis complete - 1 file(s) measured."_s);
        QVERIFY(desktop.settle());
        QCOMPARE(desktop.launcher.join(u' '), u"0.00/1 1.00/0 clear"_s);
    }
};

QTEST_MAIN(tst_DesktopReporter)
#include "tst_desktopreporter.moc"
