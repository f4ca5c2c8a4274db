#include "mainwindow.h"

#include "aboutdialog.h"
#include "controller.h"
#include "logconsole.h"
#include "loglevel.h"
#include "panelstyle.h"
#include "preferencesdialog.h"
#include "queuemodel.h"
#include "runcheck.h"
#include "runfeedback.h"
#include "runtexts.h"
#include "settingsstore.h"
#include "statuscolourproxy.h"
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
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace ks {

namespace {

// The window's own layout lives in a group of its own in the settings store.
const QLatin1String LayoutGroup("window");
const QLatin1String GeometryKey("geometry");
const QLatin1String StateKey("state");
const QLatin1String ColumnsKey("queueColumns");

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QStringList localPaths(const QMimeData *mime)
{
    QStringList paths;
    if (!mime)
        return paths;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return paths;
}

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
    m_log->append(tr("Kestrova %1 ready.").arg(QLatin1String(KESTROVA_VERSION)), Information);
    const ToolPaths tools = ToolPaths::resolve(appSettings().ffmpegPath, appSettings().ffprobePath);
    if (tools.isComplete())
        m_log->append(tr("Using %1").arg(native(tools.ffmpeg)), Information);
    else
        m_log->append(ToolPaths::notFoundMessage(), Warning);
}

// The worker host stops and joins its thread as it goes.
MainWindow::~MainWindow() = default;

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

    m_model = new QueueModel(this);
    auto *colours = new StatusColourProxy(this);
    colours->setSourceModel(m_model);
    m_table = new QTableView(central);
    m_table->setObjectName(QStringLiteral("queueTable"));
    m_table->setModel(colours);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setAlternatingRowColors(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(24);
    QHeaderView *header = m_table->horizontalHeader();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(QueueModel::FileColumn, QHeaderView::Stretch);
    for (int column = QueueModel::LengthColumn; column <= QueueModel::StatusColumn; ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QWidget::customContextMenuRequested, this, &MainWindow::showQueueMenu);
    QAction *remove = m_commands->action(WindowCommands::Remove);
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_table->addAction(remove);

    const auto makeButton = [this, central](const QString &text, const char *name, WindowCommands::Command command) {
        auto *button = new QPushButton(text, central);
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

    m_overwriteCheck = new QCheckBox(tr("Overwrite originals"), central);
    m_overwriteCheck->setObjectName(QStringLiteral("overwriteCheck"));
    m_overwriteCheck->setChecked(appSettings().outputMode == OutputMode::InPlace);
    connect(m_overwriteCheck, &QCheckBox::toggled, this, [this](bool checked) {
        appSettings().outputMode = checked ? OutputMode::InPlace : OutputMode::Mirror;
        saveSettings(appSettings());
        refreshSettingsReadout();
    });
    buttons->addWidget(m_overwriteCheck);

    m_log = new LogConsole(central);
    m_log->setMinimumHeight(120);

    auto *page = new QVBoxLayout(central);
    page->setContentsMargins(12, 10, 12, 10);
    page->setSpacing(10);
    page->addWidget(m_panel, 0);
    page->addWidget(m_table, 1);
    page->addLayout(buttons);
    page->addWidget(m_log, 0);

    m_statusLabel = new QLabel(tr("Idle"), this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusBar()->addWidget(m_statusLabel, 1);
    auto *versionChip = new QLabel(QLatin1String("v" KESTROVA_VERSION), this);
    versionChip->setObjectName(QStringLiteral("VersionChip"));
    statusBar()->addPermanentWidget(versionChip, 0);

    setMinimumWidth(900);
    resize(1020, 780);
}

void MainWindow::buildMenus()
{
    const auto add = [this](QMenu *menu, WindowCommands::Command command, auto slot) {
        QAction *action = m_commands->action(command);
        connect(action, &QAction::triggered, this, slot);
        menu->addAction(action);
    };
    QMenu *app = menuBar()->addMenu(tr("Kestrova"));
    add(app, WindowCommands::AddFiles, &MainWindow::onAddFiles);
    add(app, WindowCommands::AddFolder, &MainWindow::onAddFolder);
    app->addSeparator();
    add(app, WindowCommands::Preferences, &MainWindow::onPreferences);
    app->addSeparator();
    add(app, WindowCommands::Quit, &QWidget::close);

    QMenu *jobs = menuBar()->addMenu(tr("Jobs"));
    add(jobs, WindowCommands::Analyse, &MainWindow::onAnalyse);
    add(jobs, WindowCommands::Trim, &MainWindow::onTrim);
    add(jobs, WindowCommands::Stop, &MainWindow::onStop);
    jobs->addSeparator();
    add(jobs, WindowCommands::Remove, &MainWindow::onRemoveSelected);
    add(jobs, WindowCommands::ClearQueue, &MainWindow::onClearQueue);

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
    m_feedback = new RunFeedback(m_model, m_panel, m_log, m_statusLabel, this);
    connect(this, &MainWindow::requestScan, m_worker, &WorkerHost::requestScan);
    connect(this, &MainWindow::requestProcess, m_worker, &WorkerHost::requestProcess);
    connect(m_worker, &WorkerHost::scanFinished, m_feedback, &RunFeedback::onScanFinished);
    connect(m_worker, &WorkerHost::itemChanged, m_feedback, &RunFeedback::onItemChanged);
    connect(m_worker, &WorkerHost::fileProgress, m_feedback, &RunFeedback::onFileProgress);
    connect(m_worker, &WorkerHost::batchProgress, m_feedback, &RunFeedback::onBatchProgress);
    connect(m_worker, &WorkerHost::batchFinished, m_feedback, &RunFeedback::onBatchFinished);
    connect(m_worker, &WorkerHost::message, m_feedback, &RunFeedback::onMessage);
    connect(m_feedback, &RunFeedback::finished, this, [this] { setRunning(false); });
}

void MainWindow::setRunning(bool on)
{
    m_running = on;
    m_commands->setRunning(on);
    m_overwriteCheck->setEnabled(!on);
}

// ---- Commands -------------------------------------------------------------

void MainWindow::onAddFiles()
{
    QStringList patterns;
    for (const QString &extension : std::as_const(appSettings().extensions))
        patterns << QStringLiteral("*.") + extension;
    const QString filter = tr("Audio files (%1);;All files (*)").arg(patterns.join(QLatin1Char(' ')));
    const QStringList files = m_prompts->openFileNames(this, tr("Add audio files"), m_lastDir, filter);
    if (!files.isEmpty())
        queueFiles(files);
}

// Files take the folder of the first one as their root.
void MainWindow::queueFiles(const QStringList &files)
{
    m_lastDir = QFileInfo(files.first()).absolutePath();
    m_model->addFiles(files, m_lastDir);
    m_log->append(tr("Added %n file(s).", nullptr, int(files.size())), Information);
}

void MainWindow::onAddFolder()
{
    const QString folder = m_prompts->existingDirectory(this, tr("Add folder"), m_lastDir);
    if (!folder.isEmpty())
        scanFolder(folder);
}

void MainWindow::scanFolder(const QString &folder)
{
    m_lastDir = folder;
    setRunning(true);
    m_feedback->scanStarted(folder);
    Q_EMIT requestScan(folder, appSettings().extensions, appSettings().recursive);
}

void MainWindow::onRemoveSelected()
{
    QList<int> rows;
    const QModelIndexList selected = m_table->selectionModel()->selectedRows(0);
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    m_model->removeItems(rows);
}

void MainWindow::onClearQueue()
{
    m_model->clear();
    m_panel->setSummary(tr("QUEUE CLEARED"));
}

void MainWindow::onAnalyse()
{
    startRun(true);
}

void MainWindow::onTrim()
{
    startRun(false);
}

void MainWindow::startRun(bool analyseOnly)
{
    if (m_running)
        return;
    Settings &settings = appSettings();
    const ToolPaths tools = ToolPaths::resolve(settings.ffmpegPath, settings.ffprobePath);
    switch (firstRunRefusal(m_model->rowCount(), settings, tools, analyseOnly)) {
    case RunRefusal::None:
        break;
    case RunRefusal::EmptyQueue:
        m_log->append(tr("Nothing in the queue - add files or a folder first."), Warning);
        return;
    case RunRefusal::ToolsMissing:
        m_prompts->warning(this, tr("ffmpeg not found"), ToolPaths::notFoundMessage());
        return;
    case RunRefusal::NothingToChange:
        m_prompts->information(this, tr("Nothing to do"),
                               tr("Both the head and the tail are set to leave alone, so there is nothing to "
                                  "change.\n\nSet a target for at least one end in Preferences."));
        return;
    case RunRefusal::NoDestination: {
        // Asked for here rather than refused.
        const QString folder = m_prompts->existingDirectory(this, tr("Choose the destination folder"), m_lastDir);
        if (folder.isEmpty())
            return;
        settings.outputRoot = folder;
        saveSettings(settings);
        refreshSettingsReadout();
        break;
    }
    }

    if (!analyseOnly && settings.outputMode == OutputMode::InPlace) {
        const QString text = RunTexts::inPlaceQuestion(m_model->rowCount(), settings);
        if (m_prompts->question(this, tr("Overwrite originals"), text, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No)
            != QMessageBox::Yes)
            return;
    }

    m_model->resetForRun();
    setRunning(true);
    m_feedback->batchStarted(analyseOnly, m_model->rowCount());
    Q_EMIT requestProcess(m_model->items(), settings, analyseOnly);
}

void MainWindow::onStop()
{
    m_worker->requestStop();
    m_statusLabel->setText(tr("Stopping..."));
    m_log->append(tr("Stop requested."), Warning);
}

// The run under way keeps the settings it started with; what is accepted
// here reaches the next one.
void MainWindow::onPreferences()
{
    PreferencesDialog dialog(appSettings(), this);
    dialog.setPrompts(m_prompts.get());
    if (m_prompts->exec(dialog) != QDialog::Accepted)
        return;
    appSettings() = dialog.settings();
    saveSettings(appSettings());
    refreshSettingsReadout();
    m_log->append(tr("Preferences saved."), Information);
}

void MainWindow::onAbout()
{
    AboutDialog dialog(this);
    m_prompts->exec(dialog);
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
    saveSettings(appSettings());
    saveLayout();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (localPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    if (m_running) {
        // Refused like the disabled buttons: the cursor says no, the log says why.
        m_log->append(tr("Nothing can be added while a run is going."), Warning);
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QStringList paths = localPaths(event->mimeData());
    if (paths.isEmpty() || m_running) {
        if (m_running)
            m_log->append(tr("Nothing can be added while a run is going."), Warning);
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    QStringList files;
    QStringList folders;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            folders << path;
        else if (info.isFile())
            files << path;
    }
    if (!files.isEmpty())
        queueFiles(files);
    for (const QString &folder : std::as_const(folders))
        scanFolder(folder);
}

void MainWindow::showQueueMenu(const QPoint &position)
{
    const QModelIndex index = m_table->indexAt(position);
    if (index.isValid() && !m_table->selectionModel()->isRowSelected(index.row(), QModelIndex()))
        m_table->selectRow(index.row());
    const QueueItem item = index.isValid() ? m_model->items().at(index.row()) : QueueItem();

    auto *menu = new QMenu(m_table);
    menu->setObjectName(QStringLiteral("queueMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *show = menu->addAction(tr("Show in folder"), this,
                                    [this, item] { openFolder(QFileInfo(item.path).absolutePath()); });
    show->setEnabled(index.isValid());
    QAction *output = menu->addAction(tr("Open output folder"), this,
                                      [this, item] { openFolder(QFileInfo(item.outputPath).absolutePath()); });
    output->setEnabled(!item.outputPath.isEmpty());
    menu->addSeparator();
    menu->addAction(m_commands->action(WindowCommands::Remove));
    menu->popup(m_table->viewport()->mapToGlobal(position));
}

void MainWindow::openFolder(const QString &folder)
{
    if (!QFileInfo(folder).isDir() || !m_prompts->openUrl(QUrl::fromLocalFile(folder)))
        m_log->append(tr("Cannot open %1").arg(native(folder)), Warning);
}

void MainWindow::restoreLayout()
{
    QSettings store;
    store.beginGroup(LayoutGroup);
    if (store.contains(GeometryKey))
        restoreGeometry(store.value(GeometryKey).toByteArray());
    restoreState(store.value(StateKey).toByteArray());
    m_table->horizontalHeader()->restoreState(store.value(ColumnsKey).toByteArray());
}

void MainWindow::saveLayout() const
{
    QSettings store;
    store.beginGroup(LayoutGroup);
    store.setValue(GeometryKey, saveGeometry());
    store.setValue(StateKey, saveState());
    store.setValue(ColumnsKey, m_table->horizontalHeader()->saveState());
}

void MainWindow::refreshSettingsReadout()
{
    const Settings &settings = appSettings();
    const QString separator = PanelStyle::separator();
    m_panel->setDetection(tr("%1 dB").arg(settings.thresholdDb, 0, 'f', 0) + separator
                      + tr("%1 S").arg(settings.minSilenceSec, 0, 'f', 2));
    m_panel->setEnds(tr("HEAD %1").arg(endModeLabel(settings.headMode, settings.headTargetMs)) + separator
                 + tr("TAIL %1").arg(endModeLabel(settings.tailMode, settings.tailTargetMs)));
    QStringList output{ tr("OUT") };
    if (settings.outputMode == OutputMode::InPlace) {
        output << tr("IN PLACE") << (settings.makeBackup ? tr("BACKUP ON") : tr("NO BACKUP"));
    } else {
        output << tr("MIRROR")
               << (settings.outputRoot.isEmpty() ? tr("NOT SET") : native(settings.outputRoot));
    }
    m_panel->setOutput(PanelStyle::join(output));
    m_overwriteCheck->setChecked(settings.outputMode == OutputMode::InPlace);
}

// ---- Update check -----------------------------------------------------------

void MainWindow::onCheckForUpdates()
{
    m_updateFlow->onCheckForUpdates();
}

} // namespace ks
