#include "runcommands.h"

#include "addedpaths.h"
#include "logconsole.h"
#include "queuemodel.h"
#include "queueview.h"
#include "runcheck.h"
#include "runtexts.h"
#include "settingsstore.h"
#include "severity.h"
#include "textformat.h"
#include "toolpaths.h"
#include "userprompts.h"
#include "windowcommands.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

#include <iterator>

namespace ks {

namespace {

QStringList pathsOf(const QList<QueueItem> &items)
{
    QStringList paths;
    for (const QueueItem &item : items)
        paths << item.path;
    return paths;
}

// A refusal as the window's sentences start: with a capital.
QString sentence(RunRefusal refusal)
{
    QString text = refusalText(refusal);
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

} // namespace

RunCommands::RunCommands(QueueView *view, LogConsole *log, WindowCommands *commands,
        const std::unique_ptr<UserPrompts> &prompts, std::function<QString()> lastFolder, QWidget *window)
    : QObject(window)
    , m_view(view)
    , m_log(log)
    , m_prompts(prompts)
    , m_lastFolder(std::move(lastFolder))
    , m_window(window)
{
    const auto on = [this, commands](WindowCommands::Command command, auto slot) {
        connect(commands->action(command), &QAction::triggered, this, slot);
    };
    on(WindowCommands::Analyse, [this] { start(true, {}); });
    on(WindowCommands::Trim, [this] { start(false, {}); });
    on(WindowCommands::AnalyseSelected, [this] { startSelected(true); });
    on(WindowCommands::TrimSelected, [this] { startSelected(false); });
    on(WindowCommands::RetryFailed, [this] { retryFailed(); });
}

QList<QueueItem> RunCommands::itemsOf(const QList<int> &rows) const
{
    const QList<QueueItem> &all = m_view->queue()->items();
    if (rows.isEmpty())
        return all;
    QList<QueueItem> picked;
    for (const int row : rows)
        picked << all.at(row);
    return picked;
}

// An empty row list means the whole queue, which a selection run must never become.
void RunCommands::startSelected(bool analyseOnly)
{
    const QList<int> rows = m_view->selectedQueueRows();
    if (rows.isEmpty())
        m_log->append(tr("No files are selected."), Severity::Information);
    else
        start(analyseOnly, rows);
}

// A retry repeats what failed: a failed trim is trimmed again, a failed
// analysis measured again. Both at once cannot be one run; trims go first.
void RunCommands::retryFailed()
{
    QList<int> trims;
    QList<int> analyses;
    const QList<QueueItem> &items = m_view->queue()->items();
    for (int row = 0; row < items.size(); ++row) {
        const QueueItem &item = items.at(row);
        if (item.status == ItemStatus::Failed)
            (item.failedAnalysing ? analyses : trims) << row;
    }
    if (trims.isEmpty() && analyses.isEmpty()) {
        m_log->append(tr("No failed files to retry."), Severity::Information);
        return;
    }
    if (trims.isEmpty()) {
        start(true, analyses);
        return;
    }
    if (!analyses.isEmpty()) {
        m_log->append(
                tr("%n file(s) that failed in an analysis wait for the next retry.", nullptr, int(analyses.size())),
                Severity::Information);
    }
    start(false, trims);
}

// Copies already in the destination are replaced, passed over or kept
// beside the new ones as the person says, once for the run; where none was
// there to ask about, one that turns up meanwhile is kept.
bool RunCommands::askAboutExistingOutputs(const QList<QueueItem> &items, Settings &run)
{
    run.existingOutputs = ExistingOutputs::KeepBoth;
    int existing = 0;
    for (const QueueItem &item : items) {
        const QString output = mirrorPath(item, run.outputRoot);
        existing += !output.isEmpty() && QFileInfo::exists(output) ? 1 : 0;
    }
    if (existing == 0)
        return true;
    const ExistingOutputs answers[]{ ExistingOutputs::Replace, ExistingOutputs::Skip, ExistingOutputs::KeepBoth };
    const int answer = m_prompts->choose(m_window, tr("Existing files"),
            tr("The destination folder %1 already holds a file of the same name for %n of the queued file(s).\n\n"
               "Replace them with the trimmed copies, skip those files, or keep both (the new copy is "
               "named like \"name (2).mp3\")?",
                    nullptr, existing)
                    .arg(native(run.outputRoot)),
            { tr("Replace"), tr("Skip"), tr("Keep both") });
    if (answer < 0 || answer >= int(std::size(answers)))
        return false;
    run.existingOutputs = answers[answer];
    return true;
}

void RunCommands::start(bool analyseOnly, const QList<int> &rows)
{
    const QList<QueueItem> items = itemsOf(rows);
    Settings &settings = appSettings();
    const ToolPaths tools = ToolPaths::resolve(settings.ffmpegPath, settings.ffprobePath);
    RunRefusal refusal = firstRunRefusal(int(items.size()), settings, tools, analyseOnly);
    if (refusal == RunRefusal::NoDestination) {
        // Asked for here rather than refused.
        const QString folder
                = m_prompts->existingDirectory(m_window, tr("Choose the destination folder"), m_lastFolder());
        if (folder.isEmpty())
            return;
        settings.outputRoot = folder;
        saveSettings(settings);
        Q_EMIT settingsChanged();
        refusal = RunRefusal::None;
    }
    if (refusal == RunRefusal::None)
        refusal = queueRefusal(items, settings, analyseOnly);
    switch (refusal) {
    case RunRefusal::None:
    case RunRefusal::NoDestination:
        break;
    case RunRefusal::EmptyQueue:
        m_log->append(sentence(refusal) + u' ' + tr("Add files or a folder first."), Severity::Warning);
        return;
    case RunRefusal::ToolsMissing:
        m_prompts->warning(m_window, tr("ffmpeg not found"), refusalText(refusal)); // starts with a program name
        return;
    case RunRefusal::NothingToChange:
        m_prompts->information(m_window, tr("Nothing to do"),
                sentence(refusal) + QStringLiteral("\n\n") + tr("Set a target for at least one end in Preferences."));
        return;
    case RunRefusal::OntoSources:
        m_prompts->warning(m_window, tr("Destination folder"),
                sentence(refusal) + QStringLiteral("\n\n")
                        + tr("Destination: %1\nChoose another destination in Preferences, or overwrite "
                             "the originals.")
                                  .arg(native(settings.outputRoot)));
        return;
    }

    if (!analyseOnly && settings.outputMode == OutputMode::Mirror) {
        // Queued from below the destination, their copies land among other sources there.
        const qsizetype inside = items.size() - AddedPaths::outside(pathsOf(items), settings.outputRoot).size();
        if (inside > 0
                && m_prompts->question(m_window, tr("Destination folder"),
                           tr("%n queued file(s) lie inside the destination folder %1, so their trimmed copies "
                              "are written among the files there.\n\nTrim anyway?",
                                   nullptr, int(inside))
                                   .arg(native(settings.outputRoot)),
                           QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                        != QMessageBox::Yes)
            return;
    }
    if (!analyseOnly && settings.outputMode == OutputMode::InPlace) {
        const QString text = RunTexts::inPlaceQuestion(int(items.size()), settings);
        if (m_prompts->question(
                    m_window, tr("Overwrite originals"), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                != QMessageBox::Yes)
            return;
    }
    Settings run = settings;
    if (!analyseOnly && settings.outputMode == OutputMode::Mirror && !askAboutExistingOutputs(items, run))
        return;
    // Only the rows of this run start again from nothing.
    m_view->queue()->resetForRun(rows);
    Q_EMIT accepted(itemsOf(rows), run, analyseOnly);
}

} // namespace ks
