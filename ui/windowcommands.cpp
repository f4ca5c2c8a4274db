#include "windowcommands.h"

#include <QAbstractButton>
#include <QAction>

namespace ks {

WindowCommands::WindowCommands(QObject *parent)
    : QObject(parent)
{
    const char *const captions[CommandCount] = {
        QT_TR_NOOP("Add files..."),    QT_TR_NOOP("Add folder..."),         QT_TR_NOOP("Remove selected"),
        QT_TR_NOOP("Clear queue"),     QT_TR_NOOP("Analyse"),               QT_TR_NOOP("Trim now"),
        QT_TR_NOOP("Stop"),            QT_TR_NOOP("Preferences..."),        QT_TR_NOOP("Exit"),
        QT_TR_NOOP("Check for &Updates..."), QT_TR_NOOP("Orrinworks &Website"), QT_TR_NOOP("&About Kestrova"),
    };
    for (int i = 0; i < CommandCount; ++i)
        m_actions[i] = new QAction(tr(captions[i]), this);
    m_actions[Stop]->setEnabled(false);
}

void WindowCommands::setRunning(bool running)
{
    for (const Command command : { AddFiles, AddFolder, Remove, ClearQueue, Analyse, Trim, Preferences })
        m_actions[command]->setEnabled(!running);
    m_actions[Stop]->setEnabled(running);
}

void WindowCommands::bind(QAbstractButton *button, Command command) const
{
    QAction *target = m_actions[command];
    button->setEnabled(target->isEnabled());
    connect(button, &QAbstractButton::clicked, target, &QAction::trigger);
    connect(target, &QAction::enabledChanged, button, &QWidget::setEnabled);
}

} // namespace ks
