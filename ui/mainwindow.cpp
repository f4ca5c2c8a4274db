#include "mainwindow.h"

#include "aboutdialog.h"
#include "addedpaths.h"
#include "controller.h"
#include "edgepreview.h"
#include "logconsole.h"
#include "loglevel.h"
#include "panelstyle.h"
#include "preferencesdialog.h"
#include "queuecommands.h"
#include "queuemodel.h"
#include "queueview.h"
#include "replanner.h"
#include "runcheck.h"
#include "runfeedback.h"
#include "runtexts.h"
#include "settingsstore.h"
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
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QSaveFile>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
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
    refreshQueueSize();
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

    m_overwriteCheck = new QCheckBox(tr("Overwrite originals"), queuePane);
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

    m_splitter = new QSplitter(Qt::Vertical, central);
    m_splitter->setObjectName(QStringLiteral("queueLogSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(queuePane);
    m_splitter->addWidget(m_log);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 1);
    m_preview = new EdgePreview(m_table, central);
    m_splitter->insertWidget(1, m_preview);

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

    setMinimumSize(900, 620);
    resize(1020, 780);
}

void MainWindow::buildMenus()
{
    const auto add = [this](QMenu *menu, WindowCommands::Command command, auto slot) {
        QAction *action = m_commands->action(command);
        connect(action, &QAction::triggered, this, slot);
        menu->addAction(action);
    };
    QMenu *app = menuBar()->addMenu(tr("&Kestrova"));
    add(app, WindowCommands::AddFiles, &MainWindow::onAddFiles);
    add(app, WindowCommands::AddFolder, &MainWindow::onAddFolder);
    app->addSeparator();
    add(app, WindowCommands::Preferences, &MainWindow::onPreferences);
    app->addSeparator();
    add(app, WindowCommands::Quit, &QWidget::close);

    QMenu *jobs = menuBar()->addMenu(tr("&Jobs"));
    add(jobs, WindowCommands::Analyse, &MainWindow::onAnalyse);
    add(jobs, WindowCommands::Trim, &MainWindow::onTrim);
    add(jobs, WindowCommands::AnalyseSelected, &MainWindow::onAnalyseSelected);
    add(jobs, WindowCommands::TrimSelected, &MainWindow::onTrimSelected);
    add(jobs, WindowCommands::RetryFailed, &MainWindow::onRetryFailed);
    add(jobs, WindowCommands::Stop, &MainWindow::onStop);
    jobs->addSeparator();
    // Queue commands are connected by QueueCommands; the menu only shows them.
    for (const WindowCommands::Command command : { WindowCommands::RestoreOriginal, WindowCommands::DeleteBackups,
                                                   WindowCommands::CopyResult })
        jobs->addAction(m_commands->action(command));
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
    m_preview->setRunning(on);
}

void MainWindow::refreshQueueSize()
{
    m_queueSizeLabel->setText(tr("%n file(s) queued", nullptr, m_model->rowCount()));
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

// Each file joins relative to its own folder, so a mirror run writes it
// straight into the destination, wherever it came from.
void MainWindow::queueFiles(const QStringList &files)
{
    // Neighbours from one folder join together, in the order given.
    for (qsizetype first = 0, next = 0; first < files.size(); first = next) {
        const QString folder = QFileInfo(files.at(first)).absolutePath();
        while (next < files.size() && QFileInfo(files.at(next)).absolutePath() == folder)
            ++next;
        m_model->addFiles(files.mid(first, next - first), folder);
    }
    m_lastDir = QFileInfo(files.first()).absolutePath();
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

// Dropped files join as "Add files..." adds them; dropped folders are
// scanned as "Add folder..." scans them.
void MainWindow::addPaths(const QStringList &paths)
{
    const AddedPaths added = AddedPaths::sort(paths, appSettings().extensions);
    if (!added.files.isEmpty())
        queueFiles(added.files);
    if (added.ignored > 0)
        m_log->append(tr("Ignored %n dropped file(s) that are not of a scanned type.", nullptr, added.ignored),
                      Warning);
    for (const QString &folder : added.folders)
        scanFolder(folder);
}

void MainWindow::onAnalyse()
{
    startRun(true);
}

void MainWindow::onTrim()
{
    startRun(false);
}

void MainWindow::onAnalyseSelected()
{
    startRun(true, m_table->selectedQueueRows());
}

void MainWindow::onTrimSelected()
{
    startRun(false, m_table->selectedQueueRows());
}

void MainWindow::onRetryFailed()
{
    QList<int> failed;
    const QList<QueueItem> &items = m_model->items();
    for (int row = 0; row < items.size(); ++row) {
        if (items.at(row).status == ItemStatus::Failed)
            failed << row;
    }
    if (failed.isEmpty()) {
        m_log->append(tr("No failed files to retry."), Information);
        return;
    }
    startRun(false, failed);
}

void MainWindow::startRun(bool analyseOnly, const QList<int> &rows)
{
    if (m_running)
        return;
    const auto runItems = [this, &rows] {
        if (rows.isEmpty())
            return m_model->items();
        QList<QueueItem> picked;
        for (const int row : rows)
            picked << m_model->items().at(row);
        return picked;
    };
    const QList<QueueItem> items = runItems();
    Settings &settings = appSettings();
    const ToolPaths tools = ToolPaths::resolve(settings.ffmpegPath, settings.ffprobePath);
    RunRefusal refusal = firstRunRefusal(int(items.size()), settings, tools, analyseOnly);
    if (refusal == RunRefusal::NoDestination) {
        // Asked for here rather than refused.
        const QString folder = m_prompts->existingDirectory(this, tr("Choose the destination folder"), m_lastDir);
        if (folder.isEmpty())
            return;
        settings.outputRoot = folder;
        saveSettings(settings);
        refreshSettingsReadout();
        refusal = RunRefusal::None;
    }
    if (refusal == RunRefusal::None)
        refusal = queueRefusal(items, settings, analyseOnly);
    switch (refusal) {
    case RunRefusal::None:
    case RunRefusal::NoDestination:
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
    case RunRefusal::OntoSources:
        m_prompts->warning(this, tr("Destination folder"),
                           tr("The destination folder %1 would put the trimmed copies over their originals.\n\n"
                              "Choose another destination in Preferences, or overwrite the originals.")
                                   .arg(native(settings.outputRoot)));
        return;
    }

    if (!analyseOnly && settings.outputMode == OutputMode::InPlace) {
        const QString text = RunTexts::inPlaceQuestion(int(items.size()), settings);
        if (m_prompts->question(this, tr("Overwrite originals"), text, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No)
            != QMessageBox::Yes)
            return;
    }

    m_model->resetForRun(rows);
    setRunning(true);
    m_feedback->batchStarted(analyseOnly, int(items.size()));
    Q_EMIT requestProcess(runItems(), settings, analyseOnly);
}

void MainWindow::onStop()
{
    m_worker->requestStop();
    m_statusLabel->setText(tr("Stopping..."));
    m_log->append(tr("Stop requested."), Warning);
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
    refreshSettingsReadout();
    m_log->append(tr("Preferences saved."), Information);
}

void MainWindow::onAbout()
{
    AboutDialog dialog(this);
    m_prompts->exec(dialog);
}

void MainWindow::saveLog()
{
    const QString path = m_prompts->saveFileName(this, tr("Save log"), QDir(m_lastDir).filePath(QStringLiteral("kestrova-log.txt")),
                                                 tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const QByteArray text = m_log->toPlainText().toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text) != text.size() || !file.commit())
        m_log->append(tr("Cannot save the log to %1 - %2").arg(native(path), file.errorString()), Error);
    else
        m_log->append(tr("Log saved to %1").arg(native(path)), Information);
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
    addPaths(paths);
}

void MainWindow::restoreLayout()
{
    QSettings store;
    store.beginGroup(LayoutGroup);
    if (store.contains(GeometryKey))
        restoreGeometry(store.value(GeometryKey).toByteArray());
    restoreState(store.value(StateKey).toByteArray());
    m_table->horizontalHeader()->restoreState(store.value(ColumnsKey).toByteArray());
    m_splitter->restoreState(store.value(SplitterKey).toByteArray());
    m_lastDir = store.value(LastFolderKey).toString();
}

void MainWindow::saveLayout() const
{
    QSettings store;
    store.beginGroup(LayoutGroup);
    store.setValue(GeometryKey, saveGeometry());
    store.setValue(StateKey, saveState());
    store.setValue(ColumnsKey, m_table->horizontalHeader()->saveState());
    store.setValue(SplitterKey, m_splitter->saveState());
    store.setValue(LastFolderKey, m_lastDir);
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
