#include "mainwindow.h"

#include "aboutdialog.h"
#include "addcommands.h"
#include "desktopreporter.h"
#include "edgepreview.h"
#include "logconsole.h"
#include "preferencesdialog.h"
#include "queuecommands.h"
#include "queuemodel.h"
#include "queuestore.h"
#include "queueview.h"
#include "replanner.h"
#include "runcommands.h"
#include "runfeedback.h"
#include "settingsstore.h"
#include "severity.h"
#include "textformat.h"
#include "toollocator.h"
#include "toolpaths.h"
#include "updateflow.h"
#include "userprompts.h"
#include "version.h"
#include "vfdpanel.h"
#include "windowcommands.h"
#include "workerhost.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>

namespace ks {

namespace {

// The window's own layout lives in a group of its own in the settings store.
const QLatin1String LayoutGroup("window");
const QLatin1String GeometryKey("geometry");
const QLatin1String StateKey("state");
const QLatin1String ColumnsKey("queueColumns");
const QLatin1String SplitterKey("splitter");
const QLatin1String LastFolderKey("lastFolder");

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_commands(new WindowCommands(this))
    , m_prompts(std::make_unique<UserPrompts>())
{
    setWindowTitle(QStringLiteral("Kestrova"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));

    buildCentralArea();
    buildMenus();
    connectWorker();
    setAcceptDrops(true);
    restoreLayout();

    m_updateFlow = new UpdateFlow(m_log, this);
    m_updateFlow->setPrompts(m_prompts.get());

    refreshSettingsReadout();
    refreshQueueSize();
    m_log->append(tr("Kestrova %1 ready.").arg(QLatin1String(KESTROVA_VERSION)), Severity::Information);
    const ToolPaths tools = ToolPaths::resolve(appSettings().ffmpegPath, appSettings().ffprobePath);
    if (tools.isComplete())
        m_log->append(tr("Using %1").arg(native(tools.ffmpeg)), Severity::Information);
    else
        m_log->append(ToolPaths::notFoundMessage(), Severity::Warning);
    restoreQueue();
}

// The worker host stops and joins its thread as it goes.
MainWindow::~MainWindow() = default;

void MainWindow::log(const QString &text, Severity severity)
{
    m_log->append(text, severity);
}

void MainWindow::setPrompts(std::unique_ptr<UserPrompts> prompts)
{
    m_prompts = std::move(prompts);
    m_updateFlow->setPrompts(m_prompts.get());
}

void MainWindow::buildCentralArea()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("Central"));
    setCentralWidget(central);

    m_panel = new VfdPanel(central);
    m_panel->setMinimumHeight(200);

    // The queue and its buttons above the splitter, the log below it.
    auto *queuePane = new QWidget(central);
    m_model = new QueueModel(this);
    m_table = new QueueView(m_model, queuePane);
    m_table->setMinimumHeight(130); // the header and four rows

    const auto makeButton = [this, queuePane](const QString &text, const char *name, WindowCommands::Command command) {
        auto *button = new QPushButton(text, queuePane);
        button->setObjectName(QLatin1String(name));
        m_commands->bind(button, command);
        return button;
    };
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(makeButton(tr("Add files"), "addFilesButton", WindowCommands::AddFiles));
    buttons->addWidget(makeButton(tr("Add folder"), "addFolderButton", WindowCommands::AddFolder));
    buttons->addWidget(makeButton(tr("Remove"), "removeButton", WindowCommands::Remove));
    buttons->addStretch(1);
    buttons->addWidget(makeButton(tr("Analyse"), "analyseButton", WindowCommands::Analyse));
    QPushButton *trim = makeButton(tr("Trim Now"), "trimButton", WindowCommands::Trim);
    trim->setProperty("accent", true);
    buttons->addWidget(trim);
    buttons->addWidget(makeButton(tr("Stop"), "stopButton", WindowCommands::Stop));
    buttons->addSpacing(10);

    m_overwriteCheck = new QCheckBox(tr("&Overwrite originals"), queuePane);
    m_overwriteCheck->setObjectName(QStringLiteral("overwriteCheck"));
    m_overwriteCheck->setChecked(appSettings().outputMode == OutputMode::InPlace);
    connect(m_overwriteCheck, &QCheckBox::toggled, this, [this](bool checked) {
        appSettings().outputMode = checked ? OutputMode::InPlace : OutputMode::Mirror;
        saveSettings(appSettings());
        refreshSettingsReadout();
    });
    buttons->addWidget(m_overwriteCheck);

    auto *queueLayout = new QVBoxLayout(queuePane);
    queueLayout->setContentsMargins(0, 0, 0, 0);
    queueLayout->setSpacing(10);
    queueLayout->addWidget(m_table, 1);
    queueLayout->addLayout(buttons);

    m_log = new LogConsole(central);
    m_log->setMinimumHeight(80);
    connect(m_log, &LogConsole::saveRequested, this, &MainWindow::saveLog);
    m_queueCommands = new QueueCommands(m_table, m_panel, m_log, m_commands, m_prompts, this);
    m_adds = new AddCommands(m_model, m_log, m_commands, m_prompts, this);
    connect(m_adds, &AddCommands::scanRequested, this, &MainWindow::scanFolder);
    auto *runs = new RunCommands(
            m_table, m_log, m_commands, m_prompts, [this] { return m_adds->lastFolder(); }, this);
    connect(runs, &RunCommands::settingsChanged, this, &MainWindow::refreshSettingsReadout);
    connect(runs, &RunCommands::accepted, this,
            [this](const QList<QueueItem> &items, const Settings &settings, bool analyseOnly) {
                setRunning(true);
                m_feedback->batchStarted(analyseOnly, int(items.size()));
                m_worker->process(items, settings, analyseOnly);
            });

    m_splitter = new QSplitter(Qt::Vertical, central);
    m_splitter->setObjectName(QStringLiteral("queueLogSplitter"));
    m_splitter->addWidget(queuePane);
    m_splitter->addWidget(m_log);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 1);
    m_preview = new EdgePreview(m_table, central);
    m_splitter->insertWidget(1, m_preview);
    // On a laptop's screen the edges and the log fold away; the queue stays.
    m_splitter->setCollapsible(0, false);

    auto *page = new QVBoxLayout(central);
    page->setContentsMargins(12, 10, 12, 10);
    page->setSpacing(10);
    page->addWidget(m_panel, 0);
    page->addWidget(m_splitter, 1);

    m_statusLabel = new QLabel(tr("Idle"), this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusBar()->addWidget(m_statusLabel, 1);
    m_queueSizeLabel = new QLabel(this);
    m_queueSizeLabel->setObjectName(QStringLiteral("queueSizeLabel"));
    statusBar()->addPermanentWidget(m_queueSizeLabel, 0);
    auto *versionChip = new QLabel(QLatin1String("v" KESTROVA_VERSION), this);
    versionChip->setObjectName(QStringLiteral("VersionChip"));
    statusBar()->addPermanentWidget(versionChip, 0);
    for (const auto signal : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved })
        connect(m_model, signal, this, &MainWindow::refreshQueueSize);
    connect(m_model, &QAbstractItemModel::modelReset, this, &MainWindow::refreshQueueSize);

    // The minimum fits a 1366 x 768 screen with a taskbar; the edges and the
    // log get room when the screen has it.
    setMinimumSize(900, 600);
    const QSize roomy(1020, 780);
    resize(screen() ? roomy.boundedTo(screen()->availableGeometry().size()) : roomy);
}

void MainWindow::buildMenus()
{
    const auto add = [this](QMenu *menu, WindowCommands::Command command, auto slot) {
        QAction *action = m_commands->action(command);
        connect(action, &QAction::triggered, this, slot);
        menu->addAction(action);
    };
    QMenu *app = menuBar()->addMenu(tr("&Kestrova"));
    app->addAction(m_commands->action(WindowCommands::AddFiles));
    app->addAction(m_commands->action(WindowCommands::AddFolder));
    app->addSeparator();
    add(app, WindowCommands::Preferences, &MainWindow::onPreferences);
    app->addSeparator();
    add(app, WindowCommands::Quit, &QWidget::close);

    QMenu *jobs = menuBar()->addMenu(tr("&Jobs"));
    connect(jobs, &QMenu::aboutToShow, m_queueCommands, &QueueCommands::refreshCommands);
    // Runs and queue commands are connected by RunCommands and QueueCommands;
    // the menu only shows them.
    for (const WindowCommands::Command command : { WindowCommands::Analyse, WindowCommands::Trim,
                 WindowCommands::AnalyseSelected, WindowCommands::TrimSelected, WindowCommands::RetryFailed })
        jobs->addAction(m_commands->action(command));
    add(jobs, WindowCommands::Stop, &MainWindow::onStop);
    jobs->addSeparator();
    for (const WindowCommands::Command command :
            { WindowCommands::RestoreOriginal, WindowCommands::DeleteBackups, WindowCommands::CopyResult })
        jobs->addAction(m_commands->action(command));
    jobs->addSeparator();
    jobs->addAction(m_commands->action(WindowCommands::ExportReport));
    jobs->addAction(m_commands->action(WindowCommands::FailedOnly));
    jobs->addSeparator();
    jobs->addAction(m_commands->action(WindowCommands::Remove));
    jobs->addAction(m_commands->action(WindowCommands::ClearQueue));

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    add(help, WindowCommands::CheckForUpdates, &MainWindow::onCheckForUpdates);
    QAction *website = m_commands->action(WindowCommands::Website);
    connect(website, &QAction::triggered, this,
            [this] { m_prompts->openUrl(QUrl(QLatin1String(KESTROVA_WEBSITE), QUrl::TolerantMode)); });
    help->addAction(website);
    help->addSeparator();
    add(help, WindowCommands::About, &MainWindow::onAbout);
}

void MainWindow::connectWorker()
{
    m_worker = new WorkerHost(this);
    m_feedback = new RunFeedback(m_table, m_panel, m_log, m_statusLabel, this);
    connect(m_worker, &WorkerHost::scanProgress, m_feedback, &RunFeedback::onScanProgress);
    connect(m_worker, &WorkerHost::scanFinished, m_feedback, &RunFeedback::onScanFinished);
    connect(m_worker, &WorkerHost::itemChanged, m_feedback, &RunFeedback::onItemChanged);
    connect(m_worker, &WorkerHost::fileProgress, m_feedback, &RunFeedback::onFileProgress);
    connect(m_worker, &WorkerHost::batchProgress, m_feedback, &RunFeedback::onBatchProgress);
    connect(m_worker, &WorkerHost::batchFinished, m_feedback, &RunFeedback::onBatchFinished);
    connect(m_worker, &WorkerHost::message, m_feedback, &RunFeedback::onMessage);
    connect(m_feedback, &RunFeedback::finished, this, [this] { setRunning(false); });
    m_desktop = new DesktopReporter(this);
    connect(m_worker, &WorkerHost::batchProgress, m_desktop, &DesktopReporter::onBatchProgress);
    connect(m_worker, &WorkerHost::batchFinished, m_desktop, &DesktopReporter::onBatchFinished);
}

void MainWindow::setRunning(bool on)
{
    m_running = on;
    m_commands->setRunning(on);
    m_overwriteCheck->setEnabled(!on);
    m_preview->setRunning(on);
}

void MainWindow::refreshQueueSize()
{
    m_queueSizeLabel->setText(tr("%n file(s) queued", nullptr, m_model->rowCount()));
}

// ---- Commands -------------------------------------------------------------

void MainWindow::scanFolder(const QString &folder)
{
    setRunning(true);
    m_feedback->scanStarted(folder);
    m_worker->scan(folder, appSettings().extensions, appSettings().recursive);
}

void MainWindow::onStop()
{
    m_worker->requestStop();
    m_statusLabel->setText(tr("Stopping..."));
    m_log->append(tr("Stop requested."), Severity::Warning);
}

// The run under way keeps the settings it started with; what is accepted
// here reaches the next one. Analysed rows follow the new settings at once.
void MainWindow::onPreferences()
{
    PreferencesDialog dialog(appSettings(), this);
    dialog.setPrompts(m_prompts.get());
    if (m_prompts->exec(dialog) != QDialog::Accepted)
        return;
    const Settings before = appSettings();
    appSettings() = dialog.settings();
    saveSettings(appSettings());
    if (!m_running)
        replanAnalysed(*m_model, before, appSettings());
    // The player comes from beside the ffmpeg in use.
    if (before.ffmpegPath != appSettings().ffmpegPath) {
        m_preview->setPlayer(ToolLocator::locatePlayer(
                ToolPaths::resolve(appSettings().ffmpegPath, appSettings().ffprobePath).ffmpeg));
    }
    refreshSettingsReadout();
    m_log->append(tr("Preferences saved."), Severity::Information);
}

void MainWindow::onAbout()
{
    AboutDialog dialog(this);
    m_prompts->exec(dialog);
}

void MainWindow::saveLog()
{
    const QString path = m_prompts->saveFileName(this, tr("Save log"),
            QDir(m_adds->lastFolder()).filePath(QStringLiteral("kestrova-log.txt")),
            tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const QByteArray text = m_log->toPlainText().toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text) != text.size() || !file.commit())
        m_log->append(tr("Cannot save the log to %1 - %2").arg(native(path), file.errorString()), Severity::Error);
    else
        m_log->append(tr("Log saved to %1").arg(native(path)), Severity::Information);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        if (m_prompts->question(this, tr("Quit"), tr("A run is still going. Stop it and quit?"),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        m_worker->requestStop();
    }
    // The results that reached the window are kept, those still on their way to their rows too.
    m_feedback->flushRows();
    saveSettings(appSettings());
    saveLayout();
    saveQueue();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (AddCommands::localPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    if (m_running) {
        // Refused like the disabled buttons: the cursor says no, the log says why.
        m_log->append(tr("Nothing can be added while a run is going."), Severity::Warning);
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QStringList paths = AddCommands::localPaths(event->mimeData());
    if (paths.isEmpty() || m_running) {
        if (m_running)
            m_log->append(tr("Nothing can be added while a run is going."), Severity::Warning);
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_adds->addPaths(paths);
}

void MainWindow::restoreLayout()
{
    // A FIFO or a device in place of the store would block the window.
    if (!settingsStoreRefusal().isEmpty())
        return;
    QSettings store;
    store.beginGroup(LayoutGroup);
    if (store.contains(GeometryKey))
        restoreGeometry(store.value(GeometryKey).toByteArray());
    restoreState(store.value(StateKey).toByteArray());
    m_table->horizontalHeader()->restoreState(store.value(ColumnsKey).toByteArray());
    m_splitter->restoreState(store.value(SplitterKey).toByteArray());
    m_adds->setLastFolder(store.value(LastFolderKey).toString());
}

void MainWindow::saveLayout() const
{
    if (!settingsStoreRefusal().isEmpty())
        return;
    QSettings store;
    store.beginGroup(LayoutGroup);
    store.setValue(GeometryKey, saveGeometry());
    store.setValue(StateKey, saveState());
    store.setValue(ColumnsKey, m_table->horizontalHeader()->saveState());
    store.setValue(SplitterKey, m_splitter->saveState());
    store.setValue(LastFolderKey, m_adds->lastFolder());
}

void MainWindow::restoreQueue()
{
    if (!settingsStoreRefusal().isEmpty())
        return;
    const QueueStore::Saved saved = QueueStore::load(QueueStore::defaultPath());
    const int restored = m_model->restoreItems(saved.items);
    if (restored > 0)
        m_log->append(tr("Restored %n file(s) queued in the last session.", nullptr, restored), Severity::Information);
    if (saved.vanished > 0) {
        m_log->append(
                tr("Dropped %n file(s) of the last session's queue that no longer exist.", nullptr, saved.vanished),
                Severity::Warning);
    }
    if (!saved.lastRun.isEmpty()) {
        m_feedback->setLastRun(saved.lastRun);
        m_log->append(tr("Last run: %1").arg(saved.lastRun), Severity::Information);
    }
}

void MainWindow::saveQueue() const
{
    if (!settingsStoreRefusal().isEmpty())
        return;
    if (!QueueStore::save(QueueStore::defaultPath(), m_model->items(), m_feedback->lastRun()))
        qWarning("Cannot keep the queue for the next session in %s", qPrintable(QueueStore::defaultPath()));
}

void MainWindow::refreshSettingsReadout()
{
    m_feedback->showSettings(appSettings());
    m_overwriteCheck->setChecked(appSettings().outputMode == OutputMode::InPlace);
}

// ---- Update check -----------------------------------------------------------

void MainWindow::onCheckForUpdates()
{
    m_updateFlow->onCheckForUpdates();
}

} // namespace ks
