#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class QMimeData;
class QWidget;

namespace ks {

class LogConsole;
class QueueModel;
class UserPrompts;
class WindowCommands;

// The ways into the queue: "Add files...", "Add folder..." and drops, which
// are sorted as those two take them. Each file joins relative to its own
// folder, so a mirror run writes it straight into the destination. The
// folder last used is where the next picker opens.
class AddCommands final : public QObject
{
    Q_OBJECT

public:
    AddCommands(QueueModel *queue, LogConsole *log, WindowCommands *commands,
            const std::unique_ptr<UserPrompts> &prompts, QWidget *window);

    QString lastFolder() const { return m_lastFolder; }
    void setLastFolder(const QString &folder) { m_lastFolder = folder; }

    // Dropped paths: files of a scanned type join, others are counted in
    // the log, folders are scanned.
    void addPaths(const QStringList &paths);
    // The local files and folders of a drag.
    static QStringList localPaths(const QMimeData *mime);

Q_SIGNALS:
    void scanRequested(const QString &folder);

private:
    Q_DISABLE_COPY_MOVE(AddCommands)

    void onAddFiles();
    void onAddFolder();
    void queueFiles(const QStringList &files);
    void scan(const QString &folder);

    QueueModel *m_queue;
    LogConsole *m_log;
    const std::unique_ptr<UserPrompts> &m_prompts;
    QWidget *m_window;
    QString m_lastFolder;
};

} // namespace ks
