#pragma once

#include "updatechecker.h"

#include <QObject>

class QWidget;

namespace ks {

class LogConsole;
class UserPrompts;

// The window's side of the update check: when to ask the release feed, what
// to tell the user about each answer (a log line always, a box or the update
// dialog when the user asked or the release is critical), and the record of
// the last check and of the version the user chose to skip.
class UpdateFlow final : public QObject
{
    Q_OBJECT

public:
    // Checks fewer than this many seconds apart are not repeated at start-up.
    static constexpr qint64 CheckIntervalSec = 72000;
    // The automatic check waits this long after the window is built.
    static constexpr int StartDelayMs = 1500;

    // Made by the window, whose child it is and over which its boxes and the
    // dialog open; schedules the automatic check.
    UpdateFlow(LogConsole *log, QWidget *window);

    // The window's prompts; every box and dialog goes through them.
    void setPrompts(UserPrompts *prompts);

public Q_SLOTS:
    // The menu command: a check by hand, unless one is running.
    void onCheckForUpdates();

private Q_SLOTS:
    void onUpdateResult(const ks::UpdateChecker::Result &result, bool userInitiated);

private:
    Q_DISABLE_COPY_MOVE(UpdateFlow)

    void runAutomaticCheck();
    void reportFailure(const UpdateChecker::Result &result, bool userInitiated);
    void offer(const UpdateChecker::Result &result);

    QWidget *m_window;
    LogConsole *m_log;
    UserPrompts *m_prompts = nullptr;
    UpdateChecker *m_checker;
};

} // namespace ks
