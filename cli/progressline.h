#pragma once

#include <QString>

namespace ks {

// The live line on a terminal's standard error: drawn over itself, fitted
// to the terminal's width, and taken away before any other line is
// printed. Off when standard error is no terminal or --quiet is given.
class ProgressLine final
{
public:
    explicit ProgressLine(bool enabled);

    bool isEnabled() const { return m_enabled; }
    // Draws `text`, unless it is what the line shows already.
    void show(const QString &text);
    void clear();

    // "name.mp3  40%  |  batch 3/12  21%": the file started last, its
    // percent, and the batch's, counting that file's share.
    static QString runText(const QString &fileName, int filePercent, int current, int done, int total, int width);
    // `text` cut in the middle with an ellipsis to at most `width` characters.
    static QString elided(const QString &text, int width);
    static int terminalWidth();

private:
    bool m_enabled;
    QString m_shown; // empty when cleared
};

} // namespace ks
