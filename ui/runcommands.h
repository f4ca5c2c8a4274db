#pragma once

#include "queueitem.h"
#include "settings.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class QWidget;

namespace ks {

class LogConsole;
class QueueView;
class UserPrompts;
class WindowCommands;

// The commands that start a run: Analyse and Trim now over the queue, over
// the selected rows, or over the failed ones. Each goes through the same
// refusals and questions, counting only its own rows, and says `accepted`
// with what the worker is to do once nothing stands in the way.
class RunCommands final : public QObject
{
    Q_OBJECT

public:
    // `lastFolder` is where a destination picker starts.
    RunCommands(QueueView *view, LogConsole *log, WindowCommands *commands, const std::unique_ptr<UserPrompts> &prompts,
            std::function<QString()> lastFolder, QWidget *window);

Q_SIGNALS:
    // The run's rows, already back to Pending.
    void accepted(const QList<ks::QueueItem> &items, const ks::Settings &settings, bool analyseOnly);
    // A destination was chosen when asked for and stored.
    void settingsChanged();

private:
    Q_DISABLE_COPY_MOVE(RunCommands)

    void start(bool analyseOnly, const QList<int> &rows);
    void startSelected(bool analyseOnly);
    void retryFailed();
    bool askAboutExistingOutputs(const QList<QueueItem> &items, Settings &run);
    QList<QueueItem> itemsOf(const QList<int> &rows) const;

    QueueView *m_view;
    LogConsole *m_log;
    const std::unique_ptr<UserPrompts> &m_prompts;
    std::function<QString()> m_lastFolder;
    QWidget *m_window;
};

} // namespace ks
