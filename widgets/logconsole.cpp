#include "logconsole.h"

#include "panelpalette.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QMenu>
#include <QScrollBar>

namespace ks {

LogConsole::LogConsole(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_maxLines(2000)
{
    setObjectName(QStringLiteral("LogConsole"));
    setReadOnly(true);
    // A long path or result wraps rather than hiding behind a scroll bar.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setMaximumBlockCount(m_maxLines);
    // The border comes from the stylesheet.
    setFrameShape(QFrame::NoFrame);
}

int LogConsole::clampLevel(int level)
{
    return qBound(0, level, 3);
}

QString LogConsole::levelColor(int level)
{
    return QColor(PanelPalette::LogLevels[clampLevel(level)]).name(QColor::HexRgb).toUpper();
}

QString LogConsole::formatLine(const QString &text, int level, const QDateTime &when)
{
    // One multi-argument pass, so a '%1' inside the message stays as it is.
    static const QString timeColour = QColor(PanelPalette::LogTime).name(QColor::HexRgb).toUpper();
    return QStringLiteral("<span style=\"color:%1\">[%2]</span> <span style=\"color:%3\">%4</span>")
            .arg(timeColour, when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), levelColor(level),
                    text.toHtmlEscaped());
}

void LogConsole::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu(event->pos());
    menu->setObjectName(QStringLiteral("logMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    menu->addAction(tr("Clear"), this, &QPlainTextEdit::clear);
    menu->addAction(tr("Save as..."), this, &LogConsole::saveRequested);
    menu->popup(event->globalPos());
}

void LogConsole::append(const QString &text, int level)
{
    appendHtml(formatLine(text, level, QDateTime::currentDateTime()));
    // Always follow the newest line, even when the user scrolled up to read.
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

} // namespace ks
