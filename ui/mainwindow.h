#pragma once

#include "batchsummary.h"
#include "queueitem.h"
#include "settings.h"
#include "updatechecker.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>

#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class QThread;
class QTimer;

namespace ks {

class Controller;
class LogConsole;
class QueueModel;
class UserPrompts;
class VfdPanel;

// The program's one window: the status panel, the queue, the command
// buttons, the log and the status bar. It owns the worker thread on which
// the controller scans folders and runs batches, and follows what it reports.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Every file picker, message box and dialog of the window is asked
    // through this object; tests put one in that answers by itself.
    void setPrompts(std::unique_ptr<UserPrompts> prompts);

Q_SIGNALS:
    void requestScan(const QString &root, const QStringList &extensions, bool recursive);
    void requestProcess(const QList<ks::QueueItem> &items, const ks::Settings &settings, bool analyseOnly);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private Q_SLOTS:
    void onAddFiles();
    void onAddFolder();
    void onRemoveSelected();
    void onClearQueue();
    void onAnalyse();
    void onTrim();
    void onStop();
    void onPreferences();
    void onAbout();
    void onCheckForUpdates();
    void onUpdateResult(const ks::UpdateChecker::Result &result, bool userInitiated);
    void onScanFinished(const QStringList &files, const QString &root, bool cancelled);
    void onItemChanged(int index, const ks::QueueItem &item);
    void onFileProgress(int index, int percent);
    void onBatchProgress(int done, int total);
    void onBatchFinished(const ks::BatchSummary &summary, bool cancelled, bool analyseOnly);
    void onMessage(const QString &text, int level);

private:
    Q_DISABLE_COPY_MOVE(MainWindow)

    void buildCentralArea();
    void buildMenus();
    void startWorker();
    void setRunning(bool on);
    void refreshSettingsReadout();
    void startRun(bool analyseOnly);
    void queueFiles(const QStringList &files);
    void scanFolder(const QString &folder);
    void showQueueMenu(const QPoint &position);
    void openFolder(const QString &folder);
    void restoreLayout();
    void saveLayout() const;
    void runAutomaticUpdateCheck();

    QueueModel *model = nullptr;
    QTableView *table = nullptr;
    VfdPanel *vfd = nullptr;
    LogConsole *log = nullptr;
    QLabel *statusLabel = nullptr;
    QPushButton *addFilesButton = nullptr;
    QPushButton *addFolderButton = nullptr;
    QPushButton *removeButton = nullptr;
    QPushButton *analyseButton = nullptr;
    QPushButton *trimButton = nullptr;
    QPushButton *stopButton = nullptr;
    QCheckBox *overwriteCheck = nullptr;
    QAction *analyseAction = nullptr;
    QAction *trimAction = nullptr;
    QAction *stopAction = nullptr;
    QAction *removeAction = nullptr; // the queue's context menu and Delete key
    QThread *workerThread = nullptr;
    Controller *controller = nullptr;
    UpdateChecker *updateChecker = nullptr;
    QTimer *elapsedTimer = nullptr;
    QElapsedTimer runClock;
    QString lastDir;
    bool running = false;
    int pendingScans = 0; // folders asked for and not yet delivered
    std::unique_ptr<UserPrompts> prompts;
};

} // namespace ks
