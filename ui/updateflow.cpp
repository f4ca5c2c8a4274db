#include "updateflow.h"

#include "logconsole.h"
#include "settings.h"
#include "settingsstore.h"
#include "severity.h"
#include "updatedialog.h"
#include "userprompts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>
#include <QWidget>

namespace ks {

UpdateFlow::UpdateFlow(LogConsole *log, QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_log(log)
    , m_checker(new UpdateChecker(this))
{
    connect(m_checker, &UpdateChecker::finished, this, &UpdateFlow::onUpdateResult);
    QTimer::singleShot(StartDelayMs, Qt::PreciseTimer, this, &UpdateFlow::runAutomaticCheck);
}

void UpdateFlow::setPrompts(UserPrompts *prompts)
{
    m_prompts = prompts;
}

void UpdateFlow::runAutomaticCheck()
{
    const Settings &settings = appSettings();
    if (!settings.autoCheck)
        return;
    // A check in the future also counts as recent.
    if (settings.lastCheck.isValid() && settings.lastCheck.secsTo(QDateTime::currentDateTime()) < CheckIntervalSec)
        return;
    m_log->append(tr("Checking for updates..."), Severity::Information);
    m_checker->check(false);
}

void UpdateFlow::onCheckForUpdates()
{
    if (m_checker->isBusy()) {
        m_log->append(tr("An update check is already running."), Severity::Information);
        return;
    }
    m_log->append(tr("Checking for updates..."), Severity::Information);
    m_checker->check(true);
}

void UpdateFlow::onUpdateResult(const UpdateChecker::Result &result, bool userInitiated)
{
    if (!result.ok) {
        reportFailure(result, userInitiated);
        return;
    }
    // Only an answer counts as a check: after a failure the next start asks again.
    Settings &settings = appSettings();
    settings.lastCheck = QDateTime::currentDateTime();
    saveSettings(settings);

    const QString title = tr("Check for Updates");
    if (result.nothingPublished) {
        m_log->append(tr("No update information published."), Severity::Information);
        if (userInitiated) {
            m_prompts->information(
                    m_window, title, tr("The update server has nothing published for this platform at the moment."));
        }
        return;
    }
    if (!result.updateAvailable) {
        m_log->append(tr("Up to date - %1 is the current release.").arg(result.latestVersion), Severity::Success);
        if (userInitiated) {
            m_prompts->information(m_window, title,
                    tr("%1 %2 is the current release. You are up to date.")
                            .arg(QCoreApplication::applicationName(), result.latestVersion));
        }
        return;
    }

    if (result.critical)
        m_log->append(tr("Version %1 is available and marked critical.").arg(result.latestVersion), Severity::Warning);
    else
        m_log->append(tr("Version %1 is available.").arg(result.latestVersion), Severity::Success);
    if (userInitiated || result.critical || settings.skippedVersion != result.latestVersion)
        offer(result);
}

void UpdateFlow::reportFailure(const UpdateChecker::Result &result, bool userInitiated)
{
    m_log->append(tr("Update check failed - %1").arg(result.error), Severity::Warning);
    if (!userInitiated)
        return;
    // "Could not reach" only where no answer came; otherwise the error says
    // what the server did.
    const QString text = result.failure == UpdateChecker::Unreachable
            ? tr("Could not reach the update server.\n\n%1").arg(result.error)
            : result.error;
    m_prompts->warning(m_window, tr("Check for Updates"), text);
}

void UpdateFlow::offer(const UpdateChecker::Result &result)
{
    UpdateDialog dialog(result, m_window);
    dialog.setUrlOpener([this](const QUrl &url) { return m_prompts->openUrl(url); });
    connect(&dialog, &UpdateDialog::linkNotOpened, this,
            [this](const QString &reason) { m_log->append(reason, Severity::Warning); });
    m_prompts->exec(dialog);
    if (dialog.choice() == UpdateDialog::SkipVersion) {
        Settings &settings = appSettings();
        settings.skippedVersion = result.latestVersion;
        saveSettings(settings);
        m_log->append(tr("Version %1 will not be offered again.").arg(result.latestVersion), Severity::Information);
    }
}

} // namespace ks
