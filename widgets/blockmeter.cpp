#include "blockmeter.h"

#include "panelpalette.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ks {

namespace {

const QColor teal(PanelPalette::Teal);
const QColor amber(PanelPalette::Amber);
const QColor red(PanelPalette::Red);
const QColor labelColour(PanelPalette::Caption);
constexpr int blockGap = 2;

// Whole-number form of channel × 0.17 truncated, which floating point
// could land just below.
int ghostChannel(int channel, int offset)
{
    return channel * 17 / 100 + offset;
}

} // namespace

QRect BlockMeter::Layout::block(int index, int height) const
{
    return QRect(margin + index * (cell + gap), 0, cell, height);
}

int BlockMeter::Layout::span() const
{
    return count * cell + std::max(count - 1, 0) * gap;
}

BlockMeter::BlockMeter(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void BlockMeter::setBlockCount(int count)
{
    m_blockCount = std::max(count, 1);
    update();
}

void BlockMeter::setScheme(Scheme scheme)
{
    m_scheme = scheme;
    update();
}

void BlockMeter::setBarHeight(int height)
{
    m_barHeight = std::max(height, 4);
    updateGeometry();
    update();
}

void BlockMeter::setValue(int value)
{
    const int stored = value < 0 ? -1 : std::min(value, 100);
    // Progress arrives many times a second: repaint only on a change.
    if (stored == m_value)
        return;
    m_value = stored;
    update();
}

void BlockMeter::setScaleLabels(const QStringList &labels)
{
    m_scaleLabels = labels;
    updateGeometry();
    update();
}

QSize BlockMeter::sizeHint() const
{
    int height = m_barHeight;
    if (!m_scaleLabels.isEmpty())
        height += fontMetrics().height() + 2;
    return { m_blockCount * 12, height };
}

QSize BlockMeter::minimumSizeHint() const
{
    return { m_blockCount * 5, sizeHint().height() };
}

BlockMeter::Layout BlockMeter::layout(int width, int blockCount)
{
    Layout row;
    if (blockCount < 1 || width < 1)
        return row;
    row.count = blockCount;
    row.gap = blockGap;
    row.cell = (width - blockGap * (blockCount - 1)) / blockCount;
    if (row.cell < 1) {
        // Too narrow for gaps: blocks touch, and below one pixel each they
        // run past the right edge rather than vanish.
        row.gap = 0;
        row.cell = width / blockCount;
    }
    row.cell = std::max(row.cell, 1);
    const int leftover = width - row.span();
    row.margin = leftover > 1 ? leftover / 2 : 0;
    return row;
}

int BlockMeter::litCount(int value, int blockCount)
{
    if (value < 0 || blockCount < 1)
        return 0;
    // value / 100 × n rounded half up, exactly in integers.
    return (2 * std::min(value, 100) * blockCount + 100) / 200;
}

QColor BlockMeter::baseColor(Scheme scheme, int index, int blockCount)
{
    if (scheme != GradedScheme || blockCount < 2)
        return teal;
    // The zone edges at 0.6 and 0.85 of the row, compared without division.
    const int last = blockCount - 1;
    if (index * 100 < 60 * last)
        return teal;
    if (index * 100 < 85 * last)
        return amber;
    return red;
}

QColor BlockMeter::unlitColor(const QColor &base)
{
    return QColor(ghostChannel(base.red(), 8), ghostChannel(base.green(), 12), ghostChannel(base.blue(), 11));
}

int BlockMeter::labelX(const Layout &row, int width, int advance, int index, int labelCount)
{
    const double fraction = labelCount > 1 ? double(index) / (labelCount - 1) : 0.0;
    const int x = int(std::lround((row.span() - advance) * fraction)) + row.margin;
    return std::max(std::min(x, width - advance), 0);
}

void BlockMeter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);

    const QFontMetrics metrics = fontMetrics();
    const int labelStrip = m_scaleLabels.isEmpty() ? 0 : metrics.height() + 2;
    const int barHeight = std::min(height() - labelStrip, m_barHeight);
    const Layout row = layout(width(), m_blockCount);
    const int lit = litCount(m_value, m_blockCount);
    for (int i = 0; i < row.count; ++i) {
        const QColor base = baseColor(m_scheme, i, m_blockCount);
        painter.fillRect(row.block(i, barHeight), i < lit ? base : unlitColor(base));
    }

    if (m_scaleLabels.isEmpty())
        return;
    painter.setPen(labelColour);
    const int baseline = barHeight + metrics.ascent() + 1;
    for (int j = 0; j < m_scaleLabels.size(); ++j) {
        const QString &label = m_scaleLabels.at(j);
        const int advance = metrics.horizontalAdvance(label);
        painter.drawText(labelX(row, width(), advance, j, int(m_scaleLabels.size())), baseline, label);
    }
}

} // namespace ks
