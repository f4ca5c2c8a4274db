#include "daytimeline.h"

#include "panelpalette.h"

#include <QPainter>
#include <QTime>

#include <algorithm>

namespace ks {

namespace {

const QColor currentColour(PanelPalette::Current);
const QColor markedColour(PanelPalette::Teal);
const QColor idleColour(PanelPalette::Idle);
const QColor labelColour(PanelPalette::Caption);
constexpr int lastSlot = DayTimeline::SlotCount - 1;

bool validSlot(int slot)
{
    return slot >= 0 && slot <= lastSlot;
}

} // namespace

QRect DayTimeline::Layout::cellRect(int slot, int height) const
{
    return QRect(margin + slot * (cell + gap), 0, cell, height);
}

int DayTimeline::Layout::rowEnd() const
{
    return margin + SlotCount * cell + lastSlot * gap;
}

DayTimeline::DayTimeline(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    update();
}

void DayTimeline::setCurrentSlot(int slot)
{
    m_currentSlot = validSlot(slot) ? slot : -1;
    update();
}

void DayTimeline::markNow()
{
    m_marked.insert(slotOf(QTime::currentTime()));
    update();
}

void DayTimeline::markSlot(int slot)
{
    if (!validSlot(slot))
        return;
    m_marked.insert(slot);
    update();
}

void DayTimeline::clear()
{
    m_marked.clear();
    update();
}

QSize DayTimeline::sizeHint() const
{
    return { 400, 30 };
}

QSize DayTimeline::minimumSizeHint() const
{
    return { 200, 30 };
}

int DayTimeline::slotOf(const QTime &time)
{
    return time.hour() * 4 + time.minute() / 15;
}

DayTimeline::Layout DayTimeline::layout(int width)
{
    Layout row;
    if (width < 1)
        return row;
    if (width - lastSlot >= SlotCount) {
        row.gap = 1;
        row.cell = std::max((width - lastSlot) / SlotCount, 1);
    } else {
        row.cell = std::max(width / SlotCount, 1);
    }
    const int leftover = width - (SlotCount * row.cell + lastSlot * row.gap);
    row.margin = leftover > 1 ? leftover / 2 : 0;
    return row;
}

int DayTimeline::cellHeight(int widgetHeight, int fontHeight)
{
    return std::max(widgetHeight - fontHeight - 1, 10);
}

QColor DayTimeline::cellColor(int slot, int currentSlot, bool marked)
{
    if (slot == currentSlot)
        return currentColour;
    return marked ? markedColour : idleColour;
}

QList<DayTimeline::Label> DayTimeline::labels()
{
    return { { 0, "00" }, { 24, "06" }, { 48, "12" }, { 72, "18" }, { lastSlot, "00" } };
}

int DayTimeline::labelX(const Layout &row, int width, int advance, const Label &label)
{
    // Midnight at the end of the day ends flush with the last cell.
    const int x = label.slot == lastSlot ? row.rowEnd() - advance : row.cellRect(label.slot, 0).left();
    return std::max(std::min(x, width - advance), 0);
}

void DayTimeline::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);

    const QFontMetrics metrics = fontMetrics();
    const int cells = cellHeight(height(), metrics.height());
    const Layout row = layout(width());
    if (row.cell > 0) {
        for (int slot = 0; slot < SlotCount; ++slot)
            painter.fillRect(row.cellRect(slot, cells), cellColor(slot, m_currentSlot, m_marked.contains(slot)));
    }

    painter.setPen(labelColour);
    const int baseline = cells + metrics.ascent();
    for (const Label &label : labels()) {
        const QString text = QLatin1String(label.text);
        painter.drawText(labelX(row, width(), metrics.horizontalAdvance(text), label), baseline, text);
    }
}

} // namespace ks
