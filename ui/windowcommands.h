#pragma once

#include <QObject>

#include <array>

class QAction;
class QAbstractButton;

namespace ks {

// The window's commands, one QAction each, shared by the menu entry, the
// button and the shortcut that reach it, and enabled in one place.
class WindowCommands final : public QObject
{
    Q_OBJECT

public:
    enum Command {
        AddFiles,
        AddFolder,
        Remove,
        ClearQueue,
        Analyse,
        Trim,
        AnalyseSelected,
        TrimSelected,
        RetryFailed,
        RestoreOriginal,
        DeleteBackups,
        CopyResult,
        ExportReport,
        FailedOnly,
        Stop,
        Preferences,
        Quit,
        CheckForUpdates,
        Website,
        About,
        CommandCount
    };

    explicit WindowCommands(QObject *parent = nullptr);

    QAction *action(Command command) const { return m_actions.at(command); }

    // While a scan or batch runs, what changes the queue, the files or the
    // settings is off and Stop is on; the log, the help entries, Copy result
    // and Exit stay as they are.
    void setRunning(bool running);
    bool isRunning() const { return m_running; }
    // Whether the command has anything to work on (a selection, a failed
    // row, a backup); one that has not is off, running or not.
    void setAvailable(Command command, bool available);

    // The button triggers the action and follows its enabled state; it keeps
    // its own caption.
    void bind(QAbstractButton *button, Command command) const;

Q_SIGNALS:
    void runningChanged(bool running);

private:
    Q_DISABLE_COPY_MOVE(WindowCommands)

    void refresh(Command command);

    std::array<QAction *, CommandCount> m_actions{};
    std::array<bool, CommandCount> m_available{};
    bool m_running = false;
};

} // namespace ks
