#include "desktopreporter.h"

#include "batchsummary.h"
#include "runtexts.h"
#include "settings.h"
#include "settingsstore.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>

namespace ks {

namespace {

// The desktop entry's name (packaging/), by which the taskbar finds our entry.
const QLatin1String DesktopEntry("example.orrinworks.kestrova");
const QLatin1String LauncherPath("/com/kestrova/launcher");

} // namespace

DesktopReporter::DesktopReporter(QWidget *window)
    : QObject(window)
    , m_window(window)
{
}

// A window closed during a run must not leave the taskbar showing it.
DesktopReporter::~DesktopReporter()
{
    if (m_shown)
        sendLauncher(0.0, 0, false);
}

QString DesktopReporter::headline(const BatchSummary &summary, bool cancelled, bool analyseOnly)
{
    QStringList parts;
    if (analyseOnly) {
        const int measured = summary.processed - summary.failed - summary.skipped;
        parts << (cancelled ? tr("Analysis stopped - %n file(s) analysed", nullptr, measured)
                            : tr("Analysed %n file(s)", nullptr, measured));
    } else {
        parts << (cancelled ? tr("Trim stopped - %n file(s) trimmed", nullptr, summary.written)
                            : tr("Trimmed %n file(s)", nullptr, summary.written));
    }
    if (summary.skipped > 0)
        parts << tr("%1 skipped").arg(summary.skipped);
    if (summary.failed > 0)
        parts << tr("%1 failed").arg(summary.failed);
    return parts.join(QLatin1String(", "));
}

void DesktopReporter::onBatchProgress(int done, int total)
{
    if (done == 0) {
        m_clock.start();
        m_enabled = appSettings().desktopNotifications;
    }
    if (!m_enabled || total < 1)
        return;
    // A batch of thousands of small files moves the bar in steps the
    // taskbar can show, not once a file.
    const int permille = int(1000.0 * done / total);
    if (m_shown && permille == m_permille)
        return;
    m_permille = permille;
    sendLauncher(double(done) / total, total - done, true);
    m_shown = true;
}

void DesktopReporter::onBatchFinished(const BatchSummary &summary, bool cancelled, bool analyseOnly)
{
    if (m_shown)
        sendLauncher(0.0, 0, false);
    m_shown = false;
    const bool longRun = m_clock.isValid() && m_clock.elapsed() >= m_longRunMs;
    m_clock.invalidate();
    const bool inFront = m_window->isActiveWindow() && !m_window->isMinimized();
    if (!m_enabled || !longRun || inFront)
        return;

    QDBusMessage notify = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("Notify"));
    const QVariantMap hints{ { QStringLiteral("desktop-entry"), QString(DesktopEntry) } };
    notify << QStringLiteral("Kestrova") << 0u << QString(DesktopEntry) << headline(summary, cancelled, analyseOnly)
           << RunTexts::totalsLine(summary, cancelled, analyseOnly) << QStringList() << hints << -1;
    // Sent without asking for the reply (the notification's id, or that
    // nobody serves the name), so a slow service holds nothing up.
    QDBusConnection::sessionBus().send(notify);
}

void DesktopReporter::sendLauncher(double progress, qint64 left, bool visible)
{
    QDBusMessage update = QDBusMessage::createSignal(
            LauncherPath, QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    const QVariantMap properties{ { QStringLiteral("progress"), progress },
        { QStringLiteral("progress-visible"), visible }, { QStringLiteral("count"), left },
        { QStringLiteral("count-visible"), visible } };
    update << QStringLiteral("application://%1.desktop").arg(DesktopEntry) << properties;
    QDBusConnection::sessionBus().send(update);
}

} // namespace ks
