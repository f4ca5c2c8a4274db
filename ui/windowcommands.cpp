#include "windowcommands.h"

#include <QAbstractButton>
#include <QAction>
#include <QKeySequence>

#include <algorithm>
#include <iterator>

namespace ks {

namespace {

struct CommandInfo
{
    const char *caption;
    QKeySequence::StandardKey standardKey; // UnknownKey: `fallback` only
    const char *fallback;                  // where the platform has no key of its own
};

constexpr CommandInfo Commands[WindowCommands::CommandCount] = {
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "&Add files..."), QKeySequence::Open, "Ctrl+O" },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "Add &folder..."), QKeySequence::UnknownKey, "Ctrl+Shift+O" },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "&Remove selected"), QKeySequence::UnknownKey, "Del" },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "&Clear queue"), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "&Analyse"), QKeySequence::UnknownKey, "Ctrl+R" },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "&Trim now"), QKeySequence::UnknownKey, "Ctrl+T" },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "Analyse s&elected"), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "Trim se&lected"), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "Retry &failed"), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "Restore &original"), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "&Delete backups"), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "Cop&y result"), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "Export re&port (CSV)..."), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "Show fa&iled only"), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "&Stop"), QKeySequence::UnknownKey, "Esc" },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "&Preferences..."), QKeySequence::Preferences, "Ctrl+," },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "E&xit"), QKeySequence::Quit, "Ctrl+Q" },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "Check for &Updates..."), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "Orrinworks &Website"), QKeySequence::UnknownKey, nullptr },
    { QT_TRANSLATE_NOOP("ks::WindowCommands", "&About Kestrova"), QKeySequence::UnknownKey, nullptr },
};

} // namespace

WindowCommands::WindowCommands(QObject *parent)
    : QObject(parent)
{
    for (int i = 0; i < CommandCount; ++i) {
        const CommandInfo &info = Commands[i];
        auto *action = new QAction(tr(info.caption), this);
        QList<QKeySequence> keys;
        if (info.standardKey != QKeySequence::UnknownKey)
            keys = QKeySequence::keyBindings(info.standardKey);
        if (keys.isEmpty() && info.fallback)
            keys << QKeySequence(QLatin1String(info.fallback));
        action->setShortcuts(keys);
        m_actions[i] = action;
        m_available[i] = true;
    }
    m_actions[FailedOnly]->setCheckable(true);
    m_actions[Stop]->setEnabled(false);
}

namespace {

constexpr WindowCommands::Command OffWhileRunning[] = { WindowCommands::AddFiles, WindowCommands::AddFolder,
    WindowCommands::Remove, WindowCommands::ClearQueue, WindowCommands::Analyse, WindowCommands::Trim,
    WindowCommands::AnalyseSelected, WindowCommands::TrimSelected, WindowCommands::RetryFailed,
    WindowCommands::RestoreOriginal, WindowCommands::DeleteBackups, WindowCommands::Preferences };

} // namespace

void WindowCommands::setRunning(bool running)
{
    m_running = running;
    for (const Command command : OffWhileRunning)
        refresh(command);
    m_actions[Stop]->setEnabled(running);
    Q_EMIT runningChanged(running);
}

void WindowCommands::setAvailable(Command command, bool available)
{
    m_available[command] = available;
    refresh(command);
}

void WindowCommands::refresh(Command command)
{
    const bool blocked = m_running
            && std::find(std::begin(OffWhileRunning), std::end(OffWhileRunning), command) != std::end(OffWhileRunning);
    m_actions[command]->setEnabled(m_available[command] && !blocked);
}

void WindowCommands::bind(QAbstractButton *button, Command command) const
{
    QAction *target = m_actions[command];
    button->setEnabled(target->isEnabled());
    connect(button, &QAbstractButton::clicked, target, &QAction::trigger);
    connect(target, &QAction::enabledChanged, button, &QWidget::setEnabled);
}

} // namespace ks
