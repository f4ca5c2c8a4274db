#pragma once

#include <QObject>

#include <memory>

class QWidget;

namespace ks {

class LogConsole;
class QueueView;
class UserPrompts;
class VfdPanel;
class WindowCommands;

// The commands that act on rows already queued: remove and clear, copy a
// result, export the queue as a report, put originals back from their backups or delete the backups, show
// a row's folders, and the row menu that offers them.
class QueueCommands final : public QObject
{
    Q_OBJECT

public:
    QueueCommands(QueueView *view, VfdPanel *panel, LogConsole *log, WindowCommands *commands,
            const std::unique_ptr<UserPrompts> &prompts, QWidget *window);

    // Turns off the commands that would find nothing to work on; a menu
    // calls it as it opens, for backups made or removed meanwhile.
    void refreshCommands();

private:
    Q_DISABLE_COPY_MOVE(QueueCommands)

    void onRemoveSelected();
    void onClearQueue();
    void onCopyResult();
    void onExportReport();
    void onRestoreOriginal();
    void onDeleteBackups();
    void showMenu(const QPoint &position);
    void openFolder(const QString &folder);
    // The selected rows whose file has a backup beside it.
    QList<int> rowsWithBackups() const;

    QueueView *m_view;
    VfdPanel *m_panel;
    LogConsole *m_log;
    WindowCommands *m_commands;
    const std::unique_ptr<UserPrompts> &m_prompts;
    QWidget *m_window;
};

} // namespace ks
