#pragma once

#include "severity.h"

#include <QMainWindow>
#include <QStringList>

#include <memory>

class QCheckBox;
class QLabel;
class QSplitter;

namespace ks {

class EdgePreview;
class AddCommands;
class DesktopReporter;
class LogConsole;
class QueueCommands;
class QueueModel;
class QueueView;
class RunFeedback;
class UpdateFlow;
class UserPrompts;
class VfdPanel;
class WindowCommands;
class WorkerHost;

// The program's one window: the status panel, the queue, the command
// buttons, the log and the status bar, and the wiring between them. The
// worker host runs the scans and batches; run feedback follows them.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Every file picker, message box and dialog of the window is asked
    // through this object; tests put one in that answers by itself.
    void setPrompts(std::unique_ptr<UserPrompts> prompts);
    // A line in the window's log, for what start-up has to say.
    void log(const QString &text, ks::Severity severity);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private Q_SLOTS:
    void onStop();
    void onPreferences();
    void onAbout();
    void onCheckForUpdates();

private:
    Q_DISABLE_COPY_MOVE(MainWindow)

    void buildCentralArea();
    void buildMenus();
    void connectWorker();
    void setRunning(bool on);
    void refreshSettingsReadout();
    void scanFolder(const QString &folder);
    void refreshQueueSize();
    void saveLog();
    void restoreLayout();
    void saveLayout() const;
    // The queue and the last run's totals come back in the next window.
    void restoreQueue();
    void saveQueue() const;

    WindowCommands *m_commands = nullptr;
    QueueModel *m_model = nullptr;
    QueueView *m_table = nullptr;
    QueueCommands *m_queueCommands = nullptr;
    AddCommands *m_adds = nullptr;
    QSplitter *m_splitter = nullptr;
    EdgePreview *m_preview = nullptr;
    QLabel *m_queueSizeLabel = nullptr;
    VfdPanel *m_panel = nullptr;
    LogConsole *m_log = nullptr;
    QLabel *m_statusLabel = nullptr;
    QCheckBox *m_overwriteCheck = nullptr;
    WorkerHost *m_worker = nullptr;
    RunFeedback *m_feedback = nullptr;
    DesktopReporter *m_desktop = nullptr;
    UpdateFlow *m_updateFlow = nullptr;
    bool m_running = false;
    std::unique_ptr<UserPrompts> m_prompts;
};

} // namespace ks
