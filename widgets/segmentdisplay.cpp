#include "segmentdisplay.h"

#include "panelpalette.h"

#include <QPainter>

#include <algorithm>

namespace ks {

namespace {

constexpr quint8 digitMasks[10] = { 0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B };
constexpr int smallestDigit = 12;

// Proportions of the glyph, in hundredths of its height.
constexpr int colonCell = 26;
constexpr int digitCell = 60;
constexpr int cellGap = 9;

bool isColon(QChar ch)
{
    return ch == QLatin1Char(':');
}

qreal gapWidth(qreal height)
{
    return 0.09 * height;
}

qreal totalWidth(const QString &text, qreal height)
{
    qreal width = 0.0;
    for (const QChar ch : text)
        width += SegmentDisplay::cellWidth(ch, height) + gapWidth(height);
    return width;
}

QPolygonF horizontalSegment(qreal x1, qreal x2, qreal y0, qreal k)
{
    return QPolygonF(
            { { x1 + k, y0 - k }, { x2 - k, y0 - k }, { x2, y0 }, { x2 - k, y0 + k }, { x1 + k, y0 + k }, { x1, y0 } });
}

QPolygonF verticalSegment(qreal x0, qreal y1, qreal y2, qreal k)
{
    return QPolygonF(
            { { x0, y1 }, { x0 + k, y1 + k }, { x0 + k, y2 - k }, { x0, y2 }, { x0 - k, y2 - k }, { x0 - k, y1 + k } });
}

} // namespace

SegmentDisplay::SegmentDisplay(QWidget *parent)
    : QWidget(parent)
    , m_text(QStringLiteral("0:00:00"))
    , m_digitHeight(62)
    , m_litColor(PanelPalette::Lit)
    , m_dimColor(PanelPalette::Dim)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SegmentDisplay::setText(const QString &text)
{
    if (text == m_text)
        return;
    // The clock ticks every second; only a change of length moves the layout.
    const bool resized = text.size() != m_text.size();
    m_text = text;
    if (resized)
        updateGeometry();
    update();
}

void SegmentDisplay::setDigitHeight(int height)
{
    m_digitHeight = std::max(height, smallestDigit);
    updateGeometry();
    update();
}

void SegmentDisplay::setLitColor(const QColor &colour)
{
    m_litColor = colour;
    update();
}

void SegmentDisplay::setDimColor(const QColor &colour)
{
    m_dimColor = colour;
    update();
}

QSize SegmentDisplay::sizeHint() const
{
    return { runWidth(m_text, m_digitHeight), m_digitHeight };
}

QSize SegmentDisplay::minimumSizeHint() const
{
    return sizeHint();
}

quint8 SegmentDisplay::segmentMask(QChar ch)
{
    if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'))
        return digitMasks[ch.unicode() - '0'];
    if (ch.unicode() >= 0x80 && ch.category() == QChar::Number_DecimalDigit) {
        const int digit = ch.digitValue();
        if (digit >= 0 && digit <= 9)
            return digitMasks[digit];
    }
    if (ch == QLatin1Char('-'))
        return 0x01;
    return 0;
}

qreal SegmentDisplay::cellWidth(QChar ch, qreal height)
{
    return (isColon(ch) ? 0.26 : 0.6) * height;
}

int SegmentDisplay::runWidth(const QString &text, int height)
{
    // Whole hundredths, so that the truncation never loses a pixel to a
    // rounding error in the sum.
    qint64 hundredths = 0;
    for (const QChar ch : text)
        hundredths += (isColon(ch) ? colonCell : digitCell) + cellGap;
    return int(hundredths * height / 100);
}

QList<QRectF> SegmentDisplay::cellRects(const QString &text, int digitHeight, const QSizeF &size)
{
    const qreal h = std::min(qreal(digitHeight), size.height());
    const qreal gap = gapWidth(h);
    // Centre the run without its trailing gap.
    qreal x = (size.width() - totalWidth(text, h) + gap) * 0.5;
    const qreal y = (size.height() - h) * 0.5;
    QList<QRectF> cells;
    cells.reserve(text.size());
    for (const QChar ch : text) {
        const qreal w = cellWidth(ch, h);
        cells.append(QRectF(x, y, w, h));
        x += w + gap;
    }
    return cells;
}

SegmentDisplay::Segments SegmentDisplay::segmentPolygons(const QRectF &cell)
{
    const qreal h = cell.height();
    const qreal t = 0.135 * h;
    const qreal m = 0.55 * t;
    const qreal g = 0.85 * t;
    const qreal k = t / 2;
    const qreal left = cell.x() + m;
    const qreal right = cell.x() + cell.width() - m;
    const qreal top = cell.y() + m;
    const qreal bottom = cell.y() + h - m;
    const qreal middle = cell.y() + 0.5 * h;
    // The bars' tips sit on the lines that the upright bars are centred on;
    // the g and g/2 margins keep the uprights clear of those tips.
    return { horizontalSegment(left, right, top, k), verticalSegment(right, top + g, middle - g / 2, k),
        verticalSegment(right, middle + g / 2, bottom - g, k), horizontalSegment(left, right, bottom, k),
        verticalSegment(left, middle + g / 2, bottom - g, k), verticalSegment(left, top + g, middle - g / 2, k),
        horizontalSegment(left, right, middle, k) };
}

SegmentDisplay::ColonDots SegmentDisplay::colonDots(const QRectF &cell)
{
    const qreal h = cell.height();
    const qreal m = 0.55 * 0.135 * h;
    const qreal cx = cell.x() + 0.5 * cell.width();
    const qreal middle = cell.y() + 0.5 * h;
    const auto dot = [m, cx](qreal cy) { return QRectF(cx - m, cy - m, 2 * m, 2 * m); };
    return { dot(middle - 0.2 * h), dot(middle + 0.2 * h) };
}

void SegmentDisplay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QList<QRectF> cells = cellRects(m_text, m_digitHeight, QSizeF(size()));
    for (int i = 0; i < cells.size(); ++i) {
        const QChar ch = m_text.at(i);
        if (isColon(ch)) {
            painter.setBrush(m_litColor);
            for (const QRectF &dot : colonDots(cells.at(i)))
                painter.drawEllipse(dot);
            continue;
        }
        const quint8 mask = segmentMask(ch);
        const Segments segments = segmentPolygons(cells.at(i));
        for (int s = 0; s < 7; ++s) {
            painter.setBrush((mask >> (6 - s)) & 1 ? m_litColor : m_dimColor);
            painter.drawPolygon(segments[s], Qt::OddEvenFill);
        }
    }
}

} // namespace ks
