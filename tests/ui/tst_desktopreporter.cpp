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

// The desktop, on a connection of its own: serves notifications if asked, and records them and each taskbar update.
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
        m_bus.connect({}, u"/test/marker"_s, u"test.Marker"_s, u"Mark"_s, this, SLOT(onMark()));
    }
    ~Desktop() override
    {
        if (m_serving) {
            m_bus.unregisterService(u"org.freedesktop.Notifications"_s);
            m_bus.unregisterObject(u"/org/freedesktop/Notifications"_s);
        }
        QDBusConnection::disconnectFromBus(u"desktop"_s);
    }

    // True once all the program sent before has arrived, as one sender's messages arrive in order.
    bool settle()
    {
        const int before = m_marks;
        QDBusConnection::sessionBus().send(QDBusMessage::createSignal(u"/test/marker"_s, u"test.Marker"_s, u"Mark"_s));
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
        const QVariant progress = properties.value(u"progress"_s), count = properties.value(u"count"_s);
        const bool shown = properties.value(u"progress-visible"_s).toBool();
        if (properties.value(u"count-visible"_s).toBool() != shown || count.metaType() != QMetaType::fromType<qint64>()
                || progress.metaType() != QMetaType::fromType<double>())
            launcher << u"malformed"_s;
        else
            launcher << (shown ? u"%1/%2"_s.arg(progress.toDouble(), 0, 'f', 2).arg(count.toLongLong()) : u"clear"_s);
    }
    void onMark() { ++m_marks; }

private:
    QDBusConnection m_bus;
    bool m_serving;
    int m_marks = 0;
};

BatchSummary totals(int processed, int written, int skipped, int failed)
{
    return { processed, written, written, skipped, failed, 1.25 * written }; // would change: as written
}

enum class End { Complete, Stopped, Analysis };
enum class Quiet { No, InFront, ShortRun, SwitchedOff, NoService }; // why a run ends without a notification

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
        QTest::addColumn<End>("end");
        QTest::addColumn<Quiet>("quiet");
        QTest::addColumn<QString>("notified"); // summary|body; empty: no notification
        QTest::newRow("all trimmed")
                << totals(412, 412, 0, 0) << End::Complete << Quiet::No
                << u"Trimmed 412 file(s)|Complete - 412 written, 0 skipped, 0 failed, 515.0 s cut, 0.0 s added."_s;
        QTest::newRow("some failed") << totals(415, 410, 2, 3) << End::Complete << Quiet::No
                                     << u"Trimmed 410 file(s), 2 skipped, 3 failed|Complete - 410 written, 2 skipped, "
                                        "3 failed, 512.5 s cut, 0.0 s added."_s;
        QTest::newRow("stopped") << totals(40, 40, 0, 0) << End::Stopped << Quiet::No
                                 << u"Trim stopped - 40 file(s) trimmed|Stopped - 40 written, 0 skipped, 0 failed, "
                                    "50.0 s cut, 0.0 s added."_s;
        QTest::newRow("analysis") << totals(12, 7, 0, 1) << End::Analysis << Quiet::No
                                  << u"Analysed 11 file(s), 1 failed|Analysis complete - 11 measured, 1 failed."_s;
        QTest::newRow("window in front") << totals(3, 3, 0, 0) << End::Complete << Quiet::InFront << QString();
        QTest::newRow("short run") << totals(3, 3, 0, 0) << End::Complete << Quiet::ShortRun << QString();
        QTest::newRow("switched off") << totals(3, 3, 0, 0) << End::Complete << Quiet::SwitchedOff << QString();
        QTest::newRow("nobody serves") << totals(3, 3, 0, 0) << End::Complete << Quiet::NoService << QString();
    }
    void reportsTheRunEnd()
    {
        QFETCH(BatchSummary, summary);
        QFETCH(End, end);
        QFETCH(Quiet, quiet);
        QFETCH(QString, notified);
        test::SettingsSandbox sandbox;
        appSettings().desktopNotifications = quiet != Quiet::SwitchedOff;
        Desktop desktop(quiet != Quiet::NoService);
        QWidget window;
        window.setVisible(quiet == Quiet::InFront);
        window.activateWindow();
        QVERIFY(quiet != Quiet::InFront || QTest::qWaitForWindowActive(&window));
        auto *reporter = new DesktopReporter(&window);
        reporter->setLongRunMs(quiet == Quiet::ShortRun ? 3600 * 1000 : 0);
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        for (int done = 0; done <= 3; ++done)
            reporter->onBatchProgress(done, 3);
        reporter->onBatchFinished(summary, end == End::Stopped, end == End::Analysis);
        QVERIFY(desktop.settle());
        QCOMPARE(desktop.notes.size(), notified.isEmpty() ? 0 : 1);
        QCOMPARE(desktop.notes.value(0).section(u'|', 0, 1), notified);
        QCOMPARE(desktop.launcher.join(u' '),
                quiet == Quiet::SwitchedOff ? QString() : u"0.00/3 0.33/2 0.67/1 1.00/0 clear"_s); // whoever serves
    }

    // The window's own analysis, ended in the background: the note is ours by name and icon, asks for no answer and
    // lasts as long as the desktop keeps it; the taskbar finds us by the installed desktop file's name.
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
        QCOMPARE(desktop.notes.first(),
                u"Analysed 1 file(s)|Analysis complete - 1 file(s) measured.|Kestrova|0|example.orrinworks.kestrova||"
                "example.orrinworks.kestrova|-1|no reply"_s);
        QVERIFY(desktop.settle());
        QCOMPARE(desktop.launcher.join(u' '), u"0.00/1 1.00/0 clear"_s);
        QVERIFY2(QFileInfo::exists(QLatin1String(KS_PACKAGING_DIR "/") + desktop.appUri.section(u"//"_s, 1)),
                qPrintable(desktop.appUri));
    }
};

QTEST_MAIN(tst_DesktopReporter)
#include "tst_desktopreporter.moc"
