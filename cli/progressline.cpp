#include "progressline.h"

#include <algorithm>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace ks {

ProgressLine::ProgressLine(bool enabled)
    : m_enabled(enabled)
{
}

int ProgressLine::terminalWidth()
{
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

QString ProgressLine::elided(const QString &text, int width)
{
    if (text.size() <= width)
        return text;
    if (width < 4)
        return text.left(std::max(width, 0));
    const int head = (width - 1) / 2;
    return text.left(head) + QChar(0x2026) + text.right(width - 1 - head);
}

QString ProgressLine::runText(const QString &fileName, int filePercent, int current, int done, int total, int width)
{
    // The file started last counts towards the batch until it is done.
    const int fileShare = current >= done ? filePercent : 0;
    const int batchPercent = (done * 100 + fileShare) / total;
    const QString tail = QStringLiteral(" %1%  |  batch %2/%3 %4%")
                                 .arg(filePercent, 3)
                                 .arg(std::min(current + 1, total))
                                 .arg(total)
                                 .arg(batchPercent, 3);
    return elided(fileName, width - int(tail.size())) + tail;
}

void ProgressLine::show(const QString &line)
{
    if (!m_enabled)
        return;
    const QString text = elided(line, terminalWidth() - 1);
    if (text == m_shown)
        return;
    const QByteArray bytes = (QStringLiteral("\r") + text + QStringLiteral("\x1b[K")).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    m_shown = text;
}

void ProgressLine::clear()
{
    if (!m_enabled || m_shown.isEmpty())
        return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    m_shown.clear();
}

} // namespace ks
