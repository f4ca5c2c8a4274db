#include "addcommands.h"

#include "addedpaths.h"
#include "logconsole.h"
#include "queuemodel.h"
#include "settings.h"
#include "settingsstore.h"
#include "severity.h"
#include "userprompts.h"
#include "windowcommands.h"

#include <QAction>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace ks {

AddCommands::AddCommands(QueueModel *queue, LogConsole *log, WindowCommands *commands,
        const std::unique_ptr<UserPrompts> &prompts, QWidget *window)
    : QObject(window)
    , m_queue(queue)
    , m_log(log)
    , m_prompts(prompts)
    , m_window(window)
{
    connect(commands->action(WindowCommands::AddFiles), &QAction::triggered, this, &AddCommands::onAddFiles);
    connect(commands->action(WindowCommands::AddFolder), &QAction::triggered, this, &AddCommands::onAddFolder);
}

QStringList AddCommands::localPaths(const QMimeData *mime)
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

void AddCommands::onAddFiles()
{
    QStringList patterns;
    for (const QString &extension : std::as_const(appSettings().extensions))
        patterns << QStringLiteral("*.") + extension;
    const QString filter = tr("Audio files (%1);;All files (*)").arg(patterns.join(QLatin1Char(' ')));
    const QStringList files = m_prompts->openFileNames(m_window, tr("Add audio files"), m_lastFolder, filter);
    if (!files.isEmpty())
        queueFiles(files);
}

void AddCommands::queueFiles(const QStringList &files)
{
    // Neighbours from one folder join together, in the order given.
    int added = 0;
    for (qsizetype first = 0, next = 0; first < files.size(); first = next) {
        const QString folder = QFileInfo(files.at(first)).absolutePath();
        while (next < files.size() && QFileInfo(files.at(next)).absolutePath() == folder)
            ++next;
        added += m_queue->addFiles(files.mid(first, next - first), folder);
    }
    m_lastFolder = QFileInfo(files.first()).absolutePath();
    if (added > 0)
        m_log->append(tr("Added %n file(s).", nullptr, added), Severity::Information);
    if (const int queued = int(files.size()) - added; queued > 0)
        m_log->append(tr("%n file(s) already queued.", nullptr, queued), Severity::Information);
}

void AddCommands::onAddFolder()
{
    const QString folder = m_prompts->existingDirectory(m_window, tr("Add folder"), m_lastFolder);
    if (!folder.isEmpty())
        scan(folder);
}

void AddCommands::scan(const QString &folder)
{
    m_lastFolder = folder;
    Q_EMIT scanRequested(folder);
}

void AddCommands::addPaths(const QStringList &paths)
{
    const AddedPaths added = AddedPaths::sort(paths, appSettings().extensions);
    if (!added.files.isEmpty())
        queueFiles(added.files);
    if (added.ignored > 0)
        m_log->append(tr("Ignored %n dropped file(s) that are not of a scanned type.", nullptr, added.ignored),
                Severity::Warning);
    for (const QString &folder : added.folders)
        scan(folder);
}

} // namespace ks
