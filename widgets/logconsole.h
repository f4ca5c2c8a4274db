#pragma once

#include "severity.h"

#include <QPlainTextEdit>

class QDateTime;

namespace ks {

// The read-only running log: one timestamped, coloured line per message,
// with a bounded history so that a long batch cannot grow it without limit.
class LogConsole final : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LogConsole(QWidget *parent = nullptr);

    // Levels: 0 information, 1 success, 2 warning, 3 error; anything outside
    // is clamped into that range.
    static int clampLevel(int level);
    static QString levelColor(int level);

    // The HTML paragraph that append() adds for `text` logged at `when`.
    static QString formatLine(const QString &text, int level, const QDateTime &when);

public Q_SLOTS:
    // The default level lets one-argument signals connect too.
    void append(const QString &text, int level = 0);
    void append(const QString &text, ks::Severity severity) { append(text, int(severity)); }

Q_SIGNALS:
    // "Save as..." in the console's menu; the owner asks where.
    void saveRequested();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    Q_DISABLE_COPY_MOVE(LogConsole)

    int m_maxLines;
};

} // namespace ks
