#include "mainwindow.h"

#include "aboutdialog.h"
#include "controller.h"
#include "logconsole.h"
#include "preferencesdialog.h"
#include "queuemodel.h"
#include "runtexts.h"
#include "settingsstore.h"
#include "toollocator.h"
#include "updatedialog.h"
#include "userprompts.h"
#include "vfdpanel.h"

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
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace ks {

namespace {

enum Level { Information = 0, Success = 1, Warning = 2 };

const QLatin1String Version("1.0.0");
const QLatin1String WebSite("https://www.orrinworks.example");

// The window's own layout lives in a group of its own in the settings store.
const QLatin1String LayoutGroup("window");
const QLatin1String GeometryKey("geometry");
const QLatin1String StateKey("state");
const QLatin1String ColumnsKey("queueColumns");

// Update checks more frequent than this are not repeated at start-up.
constexpr qint64 UpdateCheckIntervalSec = 72000;

// The parts of a panel line are joined by a middle dot between spaces.
QString panelSeparator()
{
    return QLatin1String(" ") + QChar(0x00B7) + QLatin1String(" ");
}

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
    , prompts(std::make_unique<UserPrompts>())
{
    setWindowTitle(QStringLiteral("Kestrova"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));

    buildCentralArea();
    buildMenus();
    startWorker();
    setAcceptDrops(true);
    restoreLayout();

    elapsedTimer = new QTimer(this);
    elapsedTimer->setInterval(1000);
    connect(elapsedTimer, &QTimer::timeout, this,
            [this] { vfd->setElapsedSeconds(int(runClock.elapsed() / 1000)); });

    updateChecker = new UpdateChecker(this);
    connect(updateChecker, &UpdateChecker::finished, this, &MainWindow::onUpdateResult);

    refreshSettingsReadout();
    log->append(tr("Kestrova %1 ready.").arg(Version), Information);
    QString toolError;
    if (toolsAvailable(&toolError))
        log->append(tr("Using %1").arg(native(ffmpegPath())), Information);
    else
        log->append(toolError, Warning);

    QTimer::singleShot(1500, Qt::PreciseTimer, this, &MainWindow::runAutomaticUpdateCheck);
}

MainWindow::~MainWindow()
{
    if (workerThread) {
        // The stop flag ends a running child within seconds; the thread must
        // have finished before its object is destroyed, however long that is.
        controller->requestStop();
        workerThread->quit();
        workerThread->wait();
    }
}

void MainWindow::setPrompts(std::unique_ptr<UserPrompts> newPrompts)
{
    prompts = std::move(newPrompts);
}

void MainWindow::buildCentralArea()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("Central"));
    setCentralWidget(central);

    vfd = new VfdPanel(central);
    vfd->setMinimumHeight(200);

    model = new QueueModel(this);
    table = new QTableView(central);
    table->setObjectName(QStringLiteral("queueTable"));
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setAlternatingRowColors(true);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(24);
    QHeaderView *header = table->horizontalHeader();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(QueueModel::FileColumn, QHeaderView::Stretch);
    for (int column = QueueModel::LengthColumn; column <= QueueModel::StatusColumn; ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QWidget::customContextMenuRequested, this, &MainWindow::showQueueMenu);
    removeAction = new QAction(tr("Remove"), table);
    removeAction->setShortcut(QKeySequence::Delete);
    removeAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(removeAction, &QAction::triggered, this, &MainWindow::onRemoveSelected);
    table->addAction(removeAction);

    const auto makeButton = [central](const QString &text, const char *name) {
        auto *button = new QPushButton(text, central);
        button->setObjectName(QLatin1String(name));
        return button;
    };
    addFilesButton = makeButton(tr("Add files"), "addFilesButton");
    addFolderButton = makeButton(tr("Add folder"), "addFolderButton");
    removeButton = makeButton(tr("Remove"), "removeButton");
    analyseButton = makeButton(tr("Analyse"), "analyseButton");
    trimButton = makeButton(tr("Trim Now"), "trimButton");
    stopButton = makeButton(tr("Stop"), "stopButton");
    trimButton->setProperty("accent", true);
    stopButton->setEnabled(false);

    overwriteCheck = new QCheckBox(tr("Overwrite originals"), central);
    overwriteCheck->setObjectName(QStringLiteral("overwriteCheck"));
    overwriteCheck->setChecked(appSettings().outputMode == OutputMode::InPlace);

    connect(addFilesButton, &QPushButton::clicked, this, &MainWindow::onAddFiles);
    connect(addFolderButton, &QPushButton::clicked, this, &MainWindow::onAddFolder);
    connect(removeButton, &QPushButton::clicked, this, &MainWindow::onRemoveSelected);
    connect(analyseButton, &QPushButton::clicked, this, &MainWindow::onAnalyse);
    connect(trimButton, &QPushButton::clicked, this, &MainWindow::onTrim);
    connect(stopButton, &QPushButton::clicked, this, &MainWindow::onStop);
    connect(overwriteCheck, &QCheckBox::toggled, this, [this](bool checked) {
        appSettings().outputMode = checked ? OutputMode::InPlace : OutputMode::Mirror;
        saveSettings(appSettings());
        refreshSettingsReadout();
    });

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(addFilesButton);
    buttons->addWidget(addFolderButton);
    buttons->addWidget(removeButton);
    buttons->addStretch(1);
    buttons->addWidget(analyseButton);
    buttons->addWidget(trimButton);
    buttons->addWidget(stopButton);
    buttons->addSpacing(10);
    buttons->addWidget(overwriteCheck);

    log = new LogConsole(central);
    log->setMinimumHeight(120);

    auto *page = new QVBoxLayout(central);
    page->setContentsMargins(12, 10, 12, 10);
    page->setSpacing(10);
    page->addWidget(vfd, 0);
    page->addWidget(table, 1);
    page->addLayout(buttons);
    page->addWidget(log, 0);

    statusLabel = new QLabel(tr("Idle"), this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusBar()->addWidget(statusLabel, 1);
    auto *versionChip = new QLabel(QLatin1String("v") + Version, this);
    versionChip->setObjectName(QStringLiteral("VersionChip"));
    statusBar()->addPermanentWidget(versionChip, 0);

    setMinimumWidth(900);
    resize(1020, 780);
}

void MainWindow::buildMenus()
{
    QMenu *app = menuBar()->addMenu(tr("Kestrova"));
    app->addAction(tr("Add files..."), this, &MainWindow::onAddFiles);
    app->addAction(tr("Add folder..."), this, &MainWindow::onAddFolder);
    app->addSeparator();
    app->addAction(tr("Preferences..."), this, &MainWindow::onPreferences);
    app->addSeparator();
    app->addAction(tr("Exit"), this, &QWidget::close);

    QMenu *jobs = menuBar()->addMenu(tr("Jobs"));
    analyseAction = jobs->addAction(tr("Analyse"), this, &MainWindow::onAnalyse);
    trimAction = jobs->addAction(tr("Trim now"), this, &MainWindow::onTrim);
    stopAction = jobs->addAction(tr("Stop"), this, &MainWindow::onStop);
    stopAction->setEnabled(false);
    jobs->addSeparator();
    jobs->addAction(tr("Remove selected"), this, &MainWindow::onRemoveSelected);
    jobs->addAction(tr("Clear queue"), this, &MainWindow::onClearQueue);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("Check for &Updates..."), this, &MainWindow::onCheckForUpdates);
    help->addAction(tr("Orrinworks &Website"), this,
                    [this] { prompts->openUrl(QUrl(WebSite, QUrl::TolerantMode)); });
    help->addSeparator();
    help->addAction(tr("&About Kestrova"), this, &MainWindow::onAbout);
}

void MainWindow::startWorker()
{
    workerThread = new QThread(this);
    controller = new Controller;
    controller->moveToThread(workerThread);

    connect(workerThread, &QThread::finished, controller, &QObject::deleteLater);
    connect(this, &MainWindow::requestScan, controller, &Controller::scan);
    connect(this, &MainWindow::requestProcess, controller, &Controller::process);
    connect(controller, &Controller::scanFinished, this, &MainWindow::onScanFinished);
    connect(controller, &Controller::itemChanged, this, &MainWindow::onItemChanged);
    connect(controller, &Controller::fileProgress, this, &MainWindow::onFileProgress);
    connect(controller, &Controller::batchProgress, this, &MainWindow::onBatchProgress);
    connect(controller, &Controller::batchFinished, this, &MainWindow::onBatchFinished);
    connect(controller, &Controller::message, this, &MainWindow::onMessage);

    workerThread->start();
}

void MainWindow::setRunning(bool on)
{
    running = on;
    for (QWidget *control : { static_cast<QWidget *>(addFilesButton), static_cast<QWidget *>(addFolderButton),
                              static_cast<QWidget *>(removeButton), static_cast<QWidget *>(analyseButton),
                              static_cast<QWidget *>(trimButton), static_cast<QWidget *>(overwriteCheck) })
        control->setEnabled(!on);
    analyseAction->setEnabled(!on);
    trimAction->setEnabled(!on);
    removeAction->setEnabled(!on);
    stopButton->setEnabled(on);
    stopAction->setEnabled(on);
}

// ---- Commands -------------------------------------------------------------

void MainWindow::onAddFiles()
{
    QStringList patterns;
    for (const QString &extension : std::as_const(appSettings().extensions))
        patterns << QStringLiteral("*.") + extension;
    const QString filter = tr("Audio files (%1);;All files (*)").arg(patterns.join(QLatin1Char(' ')));
    const QStringList files = prompts->openFileNames(this, tr("Add audio files"), lastDir, filter);
    if (!files.isEmpty())
        queueFiles(files);
}

// Files take the folder of the first one as their root.
void MainWindow::queueFiles(const QStringList &files)
{
    lastDir = QFileInfo(files.first()).absolutePath();
    model->addFiles(files, lastDir);
    log->append(tr("Added %n file(s).", nullptr, int(files.size())), Information);
}

void MainWindow::onAddFolder()
{
    const QString folder = prompts->existingDirectory(this, tr("Add folder"), lastDir);
    if (!folder.isEmpty())
        scanFolder(folder);
}

void MainWindow::scanFolder(const QString &folder)
{
    lastDir = folder;
    ++pendingScans;
    setRunning(true);
    vfd->setPhase(VfdPanel::Scanning);
    statusLabel->setText(tr("Scanning %1...").arg(native(folder)));
    log->append(tr("Scanning %1").arg(native(folder)), Information);
    Q_EMIT requestScan(folder, appSettings().extensions, appSettings().recursive);
}

void MainWindow::onRemoveSelected()
{
    QList<int> rows;
    const QModelIndexList selected = table->selectionModel()->selectedRows(0);
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    model->removeItems(rows);
}

void MainWindow::onClearQueue()
{
    model->clear();
    vfd->setSummary(tr("QUEUE CLEARED"));
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
    if (running)
        return;
    if (model->rowCount() == 0) {
        log->append(tr("Nothing in the queue - add files or a folder first."), Warning);
        return;
    }
    QString toolError;
    if (!toolsAvailable(&toolError)) {
        prompts->warning(this, tr("ffmpeg not found"), toolError);
        return;
    }
    Settings &settings = appSettings();
    if (settings.leadMode == EndMode::LeaveAlone && settings.tailMode == EndMode::LeaveAlone) {
        prompts->information(this, tr("Nothing to do"),
                             tr("Both the head and the tail are set to leave alone, so there is nothing to "
                                "change.\n\nSet a target for at least one end in Preferences."));
        return;
    }

    if (!analyseOnly) {
        if (settings.outputMode == OutputMode::Mirror && settings.outputRoot.isEmpty()) {
            const QString folder = prompts->existingDirectory(this, tr("Choose the destination folder"), lastDir);
            if (folder.isEmpty())
                return;
            settings.outputRoot = folder;
            saveSettings(settings);
            refreshSettingsReadout();
        }
        if (settings.outputMode == OutputMode::InPlace) {
            const QString text = RunTexts::inPlaceQuestion(model->rowCount(), settings);
            if (prompts->question(this, tr("Overwrite originals"), text, QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No)
                != QMessageBox::Yes)
                return;
        }
    }

    model->resetForRun();
    setRunning(true);
    vfd->setPhase(analyseOnly ? VfdPanel::Analysing : VfdPanel::Trimming);
    vfd->setErrorLit(false);
    vfd->setSkipLit(false);
    vfd->setBatchProgress(0);
    vfd->setFileProgress(0);

    runClock.restart();
    vfd->setElapsedSeconds(0);
    elapsedTimer->start();

    const int count = model->rowCount();
    if (analyseOnly) {
        statusLabel->setText(tr("Analysing..."));
        log->append(tr("Analysing %1 file(s).").arg(count), Information);
    } else {
        statusLabel->setText(tr("Trimming..."));
        log->append(tr("Trimming %1 file(s).").arg(count), Information);
    }
    Q_EMIT requestProcess(model->items(), settings, analyseOnly);
}

void MainWindow::onStop()
{
    if (!controller)
        return;
    controller->requestStop();
    statusLabel->setText(tr("Stopping..."));
    log->append(tr("Stop requested."), Warning);
}

void MainWindow::onPreferences()
{
    PreferencesDialog dialog(appSettings(), this);
    dialog.setPrompts(prompts.get());
    if (prompts->exec(dialog) != QDialog::Accepted)
        return;
    appSettings() = dialog.settings();
    saveSettings(appSettings());
    resetToolCache();
    refreshSettingsReadout();
    log->append(tr("Preferences saved."), Information);
}

void MainWindow::onAbout()
{
    AboutDialog dialog(this);
    prompts->exec(dialog);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (running) {
        if (prompts->question(this, tr("Quit"), tr("A run is still going. Stop it and quit?"),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        controller->requestStop();
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
    if (running) {
        // Refused like the disabled buttons: the cursor says no, the log says why.
        log->append(tr("Nothing can be added while a run is going."), Warning);
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QStringList paths = localPaths(event->mimeData());
    if (paths.isEmpty() || running) {
        if (running)
            log->append(tr("Nothing can be added while a run is going."), Warning);
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
    const QModelIndex index = table->indexAt(position);
    if (index.isValid() && !table->selectionModel()->isRowSelected(index.row(), QModelIndex()))
        table->selectRow(index.row());
    const QueueItem item = index.isValid() ? model->items().at(index.row()) : QueueItem();

    auto *menu = new QMenu(table);
    menu->setObjectName(QStringLiteral("queueMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *show = menu->addAction(tr("Show in folder"), this,
                                    [this, item] { openFolder(QFileInfo(item.path).absolutePath()); });
    show->setEnabled(index.isValid());
    QAction *output = menu->addAction(tr("Open output folder"), this,
                                      [this, item] { openFolder(QFileInfo(item.outputPath).absolutePath()); });
    output->setEnabled(!item.outputPath.isEmpty());
    menu->addSeparator();
    menu->addAction(removeAction);
    menu->popup(table->viewport()->mapToGlobal(position));
}

void MainWindow::openFolder(const QString &folder)
{
    if (!QFileInfo(folder).isDir() || !prompts->openUrl(QUrl::fromLocalFile(folder)))
        log->append(tr("Cannot open %1").arg(native(folder)), Warning);
}

void MainWindow::restoreLayout()
{
    QSettings store;
    store.beginGroup(LayoutGroup);
    if (store.contains(GeometryKey))
        restoreGeometry(store.value(GeometryKey).toByteArray());
    restoreState(store.value(StateKey).toByteArray());
    table->horizontalHeader()->restoreState(store.value(ColumnsKey).toByteArray());
}

void MainWindow::saveLayout() const
{
    QSettings store;
    store.beginGroup(LayoutGroup);
    store.setValue(GeometryKey, saveGeometry());
    store.setValue(StateKey, saveState());
    store.setValue(ColumnsKey, table->horizontalHeader()->saveState());
}

// ---- Run feedback -----------------------------------------------------------

void MainWindow::onScanFinished(const QStringList &files, const QString &root, bool cancelled)
{
    // Several dropped folders are scanned one after another; the window is
    // idle again when the last one is in.
    pendingScans = std::max(pendingScans - 1, 0);
    if (pendingScans == 0) {
        setRunning(false);
        vfd->setPhase(VfdPanel::Idle);
    }
    model->addFiles(files, root);
    if (pendingScans == 0)
        statusLabel->setText(tr("Idle"));
    if (cancelled)
        log->append(tr("Scan stopped - %1 file(s) found.").arg(files.size()), Warning);
    else
        log->append(tr("Scan complete - %1 file(s) found.").arg(files.size()), Success);
}

void MainWindow::onItemChanged(int index, const QueueItem &item)
{
    // Rows may have been removed or cleared while the batch ran: a result
    // goes to the queued item with its path, or nowhere.
    const QList<QueueItem> &items = model->items();
    const int row = index >= 0 && index < items.size() && items.at(index).path == item.path
            ? index
            : model->rowOfPath(item.path);
    if (row >= 0)
        model->setItem(row, item);

    vfd->setCurrentFile(QFileInfo(item.path).fileName());
    switch (item.status) {
    case ItemStatus::Trimmed:
        vfd->markToday();
        break;
    case ItemStatus::Skipped:
        vfd->setSkipLit(true);
        break;
    case ItemStatus::Failed:
        vfd->setErrorLit(true);
        break;
    default:
        break;
    }
}

void MainWindow::onFileProgress(int, int percent)
{
    vfd->setFileProgress(percent);
}

void MainWindow::onBatchProgress(int done, int total)
{
    vfd->setBatchProgress(total < 1 ? 0 : int(double(done) / total * 100.0));
    statusLabel->setText(tr("%1 of %2").arg(done).arg(total));
}

void MainWindow::onBatchFinished(const BatchSummary &summary, bool cancelled, bool analyseOnly)
{
    elapsedTimer->stop();
    setRunning(false);
    vfd->setPhase(VfdPanel::Idle);
    vfd->setElapsedSeconds(-1);

    const QString separator = panelSeparator();
    const QStringList parts{ tr("LAST %1").arg(QTime::currentTime().toString(QStringLiteral("HH:mm"))),
                             tr("%1 SCANNED").arg(summary.processed),
                             tr("%1 WRITTEN").arg(summary.written),
                             tr("%1 SKIPPED").arg(summary.skipped),
                             tr("%1 FAIL").arg(summary.failed),
                             tr("%1 S CUT").arg(summary.secondsCut, 0, 'f', 1),
                             tr("%1 S ADDED").arg(summary.secondsAdded, 0, 'f', 1) };
    vfd->setSummary(parts.join(separator));

    log->append(RunTexts::totalsLine(summary, cancelled, analyseOnly), summary.failed > 0 ? Warning : Success);
    statusLabel->setText(tr("Idle"));
}

void MainWindow::onMessage(const QString &text, int level)
{
    log->append(text, level);
}

void MainWindow::refreshSettingsReadout()
{
    const Settings &settings = appSettings();
    const QString separator = panelSeparator();
    vfd->setDetection(tr("%1 dB").arg(settings.thresholdDb, 0, 'f', 0) + separator
                      + tr("%1 S").arg(settings.minSilenceSec, 0, 'f', 2));
    vfd->setEnds(tr("HEAD %1").arg(endModeLabel(settings.leadMode, settings.leadTargetMs)) + separator
                 + tr("TAIL %1").arg(endModeLabel(settings.tailMode, settings.tailTargetMs)));
    QStringList output{ tr("OUT") };
    if (settings.outputMode == OutputMode::InPlace) {
        output << tr("IN PLACE") << (settings.makeBackup ? tr("BACKUP ON") : tr("NO BACKUP"));
    } else {
        output << tr("MIRROR")
               << (settings.outputRoot.isEmpty() ? tr("NOT SET") : native(settings.outputRoot));
    }
    vfd->setOutput(output.join(separator));
    overwriteCheck->setChecked(settings.outputMode == OutputMode::InPlace);
}

// ---- Update check -----------------------------------------------------------

void MainWindow::runAutomaticUpdateCheck()
{
    const Settings &settings = appSettings();
    if (!settings.autoCheck)
        return;
    // A check in the future also counts as recent.
    if (settings.lastCheck.isValid()
        && settings.lastCheck.secsTo(QDateTime::currentDateTime()) < UpdateCheckIntervalSec)
        return;
    log->append(tr("Checking for updates..."), Information);
    updateChecker->check(false);
}

void MainWindow::onCheckForUpdates()
{
    if (updateChecker->isBusy())
        return;
    log->append(tr("Checking for updates..."), Information);
    updateChecker->check(true);
}

void MainWindow::onUpdateResult(const UpdateChecker::Result &result, bool userInitiated)
{
    Settings &settings = appSettings();
    settings.lastCheck = QDateTime::currentDateTime();
    saveSettings(settings);

    const QString title = tr("Check for Updates");
    if (!result.ok) {
        log->append(tr("Update check failed - %1").arg(result.error), Warning);
        if (userInitiated)
            prompts->warning(this, title, tr("Could not reach the update server.\n\n%1").arg(result.error));
        return;
    }
    if (result.nothingPublished) {
        log->append(tr("No update information published."), Information);
        if (userInitiated) {
            prompts->information(this, title,
                                 tr("The update server has nothing published for this platform at the moment."));
        }
        return;
    }
    if (!result.updateAvailable) {
        log->append(tr("Up to date - %1 is the current release.").arg(result.latestVersion), Success);
        if (userInitiated) {
            prompts->information(this, title,
                                 tr("%1 %2 is the current release. You are up to date.")
                                         .arg(QCoreApplication::applicationName(), result.latestVersion));
        }
        return;
    }

    if (result.critical)
        log->append(tr("Version %1 is available and marked critical.").arg(result.latestVersion), Warning);
    else
        log->append(tr("Version %1 is available.").arg(result.latestVersion), Success);
    if (!userInitiated && !result.critical && settings.skippedVersion == result.latestVersion)
        return;

    UpdateDialog dialog(result, this);
    dialog.setUrlOpener([this](const QUrl &url) { return prompts->openUrl(url); });
    connect(&dialog, &UpdateDialog::linkNotOpened, this, [this](const QString &reason) { log->append(reason, Warning); });
    prompts->exec(dialog);
    if (dialog.choice() == UpdateDialog::SkipVersion) {
        settings.skippedVersion = result.latestVersion;
        saveSettings(settings);
        log->append(tr("Version %1 will not be offered again.").arg(result.latestVersion), Information);
    }
}

} // namespace ks
