#include "statuschip.h"

#include "panelpalette.h"

#include <QPainter>

namespace ks {

namespace {

const QColor defaultColour(PanelPalette::Lit);
const QColor darkFill(PanelPalette::ChipFill);
const QColor darkBorder(PanelPalette::ChipBorder);
const QColor darkText(PanelPalette::ChipText);
constexpr qreal cornerRadius = 3.0;

} // namespace

StatusChip::StatusChip(const QString &text, int style, QWidget *parent)
    : QWidget(parent)
    , m_text(text)
    , m_style(style)
    , m_colour(defaultColour)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    const bool value = m_style == ValueStyle;
    QFont chipFont = PanelPalette::panelFont(font());
    chipFont.setLetterSpacing(QFont::AbsoluteSpacing, value ? 1.4 : 1.0);
    chipFont.setWeight(value ? QFont::Bold : QFont::Normal);
    setFont(chipFont);
}

void StatusChip::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

void StatusChip::setLit(bool lit)
{
    // Called for every progress event: only a change repaints.
    if (lit == m_lit)
        return;
    m_lit = lit;
    update();
}

void StatusChip::setColor(const QColor &colour)
{
    m_colour = colour;
    update();
}

QSize StatusChip::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int padding = m_style == ValueStyle ? 28 : 20;
    return { metrics.horizontalAdvance(m_text) + padding, metrics.height() + 10 };
}

QSize StatusChip::minimumSizeHint() const
{
    return sizeHint();
}

QColor StatusChip::glowFill(const QColor &colour)
{
    return QColor(colour.red() / 9, colour.green() / 7, colour.blue() / 7);
}

StatusChip::Look StatusChip::look(const QColor &colour, bool glowing)
{
    if (glowing)
        return { glowFill(colour), QColor(colour.darker(140).rgb()), colour };
    return { darkFill, darkBorder, darkText };
}

QRectF StatusChip::bodyRect(const QSize &size)
{
    return QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
}

void StatusChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Look colours = look(m_colour, glowing());
    painter.setBrush(colours.fill);
    painter.setPen(QPen(colours.border, 1.0));
    painter.drawRoundedRect(bodyRect(size()), cornerRadius, cornerRadius);
    painter.setPen(colours.text);
    painter.drawText(rect(), Qt::AlignCenter, m_text);
}

} // namespace ks
