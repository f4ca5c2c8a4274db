#include "queuecommands.h"

#include "backups.h"
#include "logconsole.h"
#include "queuecsv.h"
#include "queuemodel.h"
#include "queueview.h"
#include "settings.h"
#include "settingsstore.h"
#include "severity.h"
#include "textformat.h"
#include "toolpaths.h"
#include "userprompts.h"
#include "vfdpanel.h"
#include "windowcommands.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QUrl>

#include <algorithm>

namespace ks {

QueueCommands::QueueCommands(QueueView *view, VfdPanel *panel, LogConsole *log, WindowCommands *commands,
        const std::unique_ptr<UserPrompts> &prompts, QWidget *window)
    : QObject(window)
    , m_view(view)
    , m_panel(panel)
    , m_log(log)
    , m_commands(commands)
    , m_prompts(prompts)
    , m_window(window)
{
    const auto on = [this](WindowCommands::Command command, void (QueueCommands::*slot)()) {
        connect(m_commands->action(command), &QAction::triggered, this, slot);
    };
    on(WindowCommands::Remove, &QueueCommands::onRemoveSelected);
    on(WindowCommands::ClearQueue, &QueueCommands::onClearQueue);
    on(WindowCommands::ExportReport, &QueueCommands::onExportReport);
    connect(m_commands->action(WindowCommands::FailedOnly), &QAction::toggled, m_view, &QueueView::setFailedOnly);
    on(WindowCommands::CopyResult, &QueueCommands::onCopyResult);
    on(WindowCommands::RestoreOriginal, &QueueCommands::onRestoreOriginal);
    on(WindowCommands::DeleteBackups, &QueueCommands::onDeleteBackups);
    connect(m_view, &QWidget::customContextMenuRequested, this, &QueueCommands::showMenu);
    QueueModel *queue = m_view->queue();
    for (const auto signal : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved })
        connect(queue, signal, this, &QueueCommands::refreshCommands);
    connect(queue, &QAbstractItemModel::modelReset, this, &QueueCommands::refreshCommands);
    connect(queue, &QAbstractItemModel::dataChanged, this, &QueueCommands::refreshCommands);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &QueueCommands::refreshCommands);
    // A run's end can leave backups that were not there when the rows changed.
    connect(m_commands, &WindowCommands::runningChanged, this, &QueueCommands::refreshCommands);
    refreshCommands();
}

void QueueCommands::refreshCommands()
{
    const QList<QueueItem> &items = m_view->queue()->items();
    const bool selected = !m_view->selectedQueueRows().isEmpty();
    const bool failed = std::any_of(
            items.begin(), items.end(), [](const QueueItem &item) { return item.status == ItemStatus::Failed; });
    // Looking for backups costs a look at the disk per row; in a run they are off anyway.
    const bool backups = selected && !m_commands->isRunning() && !rowsWithBackups().isEmpty();
    using C = WindowCommands;
    for (const C::Command command : { C::AnalyseSelected, C::TrimSelected, C::CopyResult, C::Remove })
        m_commands->setAvailable(command, selected);
    m_commands->setAvailable(C::RetryFailed, failed);
    m_commands->setAvailable(C::RestoreOriginal, backups);
    m_commands->setAvailable(C::DeleteBackups, backups);
    m_commands->setAvailable(C::ExportReport, !items.isEmpty());
    m_commands->setAvailable(C::ClearQueue, !items.isEmpty());
}

void QueueCommands::onRemoveSelected()
{
    const QList<int> rows = m_view->selectedQueueRows();
    if (rows.isEmpty())
        return;
    m_view->queue()->removeItems(rows);
    m_log->append(tr("Removed %n file(s) from the queue.", nullptr, int(rows.size())), Severity::Information);
}

void QueueCommands::onClearQueue()
{
    const int count = m_view->queue()->rowCount();
    m_view->queue()->clear();
    m_log->append(tr("Cleared the queue of %n file(s).", nullptr, count), Severity::Information);
    m_panel->setSummary(tr("QUEUE CLEARED"));
}

void QueueCommands::onCopyResult()
{
    QStringList lines;
    for (const int row : m_view->selectedQueueRows()) {
        const QueueItem &item = m_view->queue()->items().at(row);
        lines << QStringLiteral("%1\t%2").arg(native(item.path), item.message);
        // What the tool said follows its file, as the tool tip shows it.
        if (!item.detail.isEmpty())
            lines << item.detail.trimmed();
    }
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

void QueueCommands::onExportReport()
{
    const QList<QueueItem> &items = m_view->queue()->items();
    const QString first = items.isEmpty() ? QString() : QFileInfo(items.first().path).absolutePath();
    const QString path = m_prompts->saveFileName(m_window, tr("Export report"),
            QDir(first).filePath(QStringLiteral("kestrova-report.csv")), tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    if (const QString error = QueueCsv::save(items, path); !error.isEmpty())
        m_log->append(tr("Cannot save the report to %1 - %2").arg(native(path), error), Severity::Error);
    else
        m_log->append(tr("Report of %n file(s) saved to %1", nullptr, int(items.size())).arg(native(path)),
                Severity::Information);
}

QList<int> QueueCommands::rowsWithBackups() const
{
    QList<int> rows;
    for (const int row : m_view->selectedQueueRows()) {
        if (Backups::exists(m_view->queue()->items().at(row).path))
            rows << row;
    }
    return rows;
}

void QueueCommands::onRestoreOriginal()
{
    const QList<int> rows = rowsWithBackups();
    if (rows.isEmpty()) {
        m_log->append(tr("None of the selected files has a backup."), Severity::Warning);
        return;
    }
    const QString question = tr("Put the original of %n file(s) back from its backup? The trimmed version is "
                                "replaced and the backup is used up.",
            nullptr, int(rows.size()));
    if (m_prompts->question(
                m_window, tr("Restore original"), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    QueueModel *queue = m_view->queue();
    // A backup is checked to be audio before it is put back.
    const ToolPaths tools = ToolPaths::resolve(appSettings().ffmpegPath, appSettings().ffprobePath);
    for (const int row : rows) {
        QueueItem item = queue->items().at(row);
        double lengthSec = 0.0;
        const StepResult restored = Backups::restore(item.path, tools, &lengthSec);
        const QString name = item.displayName();
        if (!restored.ok()) {
            m_log->append(QStringLiteral("%1 - %2").arg(name, restored.message), Severity::Error);
            continue;
        }
        // The original's edges are not the trimmed one's: not measured until analysed again.
        QueueModel::clearResults(item);
        item.durationSec = lengthSec;
        item.outputPath.clear();
        queue->setItem(row, item);
        m_log->append(tr("%1 - original restored").arg(name), Severity::Success);
    }
}

void QueueCommands::onDeleteBackups()
{
    const QList<int> rows = rowsWithBackups();
    if (rows.isEmpty()) {
        m_log->append(tr("None of the selected files has a backup."), Severity::Warning);
        return;
    }
    const QString question = tr("Delete the backups of %n file(s)? The originals cannot be restored afterwards.",
            nullptr, int(rows.size()));
    if (m_prompts->question(
                m_window, tr("Delete backups"), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    int deleted = 0;
    for (const int row : rows) {
        const QString path = m_view->queue()->items().at(row).path;
        const StepResult removed = Backups::remove(path);
        if (removed.ok())
            ++deleted;
        else
            m_log->append(
                    QStringLiteral("%1 - %2").arg(m_view->queue()->items().at(row).displayName(), removed.message),
                    Severity::Error);
    }
    m_log->append(tr("Deleted %n backup(s).", nullptr, deleted), Severity::Information);
}

void QueueCommands::showMenu(const QPoint &position)
{
    const int row = m_view->queueRowAt(position);
    if (row >= 0 && !m_view->selectedQueueRows().contains(row))
        m_view->selectQueueRow(row);
    const QueueItem item = row >= 0 ? m_view->queue()->items().at(row) : QueueItem();
    refreshCommands();

    auto *menu = new QMenu(m_view);
    menu->setObjectName(QStringLiteral("queueMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *show = menu->addAction(
            tr("Show in folder"), this, [this, item] { openFolder(QFileInfo(item.path).absolutePath()); });
    show->setEnabled(row >= 0);
    QAction *output = menu->addAction(
            tr("Open output folder"), this, [this, item] { openFolder(QFileInfo(item.outputPath).absolutePath()); });
    output->setEnabled(!item.outputPath.isEmpty());
    menu->addAction(m_commands->action(WindowCommands::CopyResult));
    menu->addSeparator();
    for (const WindowCommands::Command command : { WindowCommands::AnalyseSelected, WindowCommands::TrimSelected,
                 WindowCommands::RetryFailed, WindowCommands::RestoreOriginal, WindowCommands::DeleteBackups })
        menu->addAction(m_commands->action(command));
    menu->addSeparator();
    menu->addAction(m_commands->action(WindowCommands::Remove));
    menu->popup(m_view->viewport()->mapToGlobal(position));
}

void QueueCommands::openFolder(const QString &folder)
{
    if (!QFileInfo(folder).isDir() || !m_prompts->openUrl(QUrl::fromLocalFile(folder)))
        m_log->append(tr("Cannot open %1").arg(native(folder)), Severity::Warning);
}

} // namespace ks
