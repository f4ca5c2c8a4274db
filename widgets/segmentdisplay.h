#pragma once

#include <QColor>
#include <QPolygonF>
#include <QWidget>

#include <array>

namespace ks {

// A short text drawn as seven-segment glyphs: every digit position shows all
// seven segments, lit ones bright and the others as faint ghosts; colons are
// two lit dots. The glyphs are computed, so they scale with the digit height.
class SegmentDisplay final : public QWidget
{
    Q_OBJECT

public:
    // Segments a (top), b, c, d (bottom), e, f, g (middle), clockwise from the top.
    using Segments = std::array<QPolygonF, 7>;
    using ColonDots = std::array<QRectF, 2>;

    explicit SegmentDisplay(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    int digitHeight() const { return m_digitHeight; }

    void setText(const QString &text);
    void setDigitHeight(int height);
    void setLitColor(const QColor &colour);
    void setDimColor(const QColor &colour);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Lit segments of a character: bit 6 is segment a down to bit 0 for g.
    // Decimal digits of any script count; '-' lights the middle bar; anything
    // else shows all segments dim.
    static quint8 segmentMask(QChar ch);
    // Width of a character's cell for glyphs `height` pixels high.
    static qreal cellWidth(QChar ch, qreal height);
    // The whole run's width as the size hint asks for it, in whole pixels.
    static int runWidth(const QString &text, int height);
    // The cell of every character in a widget of `size`: glyphs as high as
    // the digit height allows, the run centred both ways.
    static QList<QRectF> cellRects(const QString &text, int digitHeight, const QSizeF &size);
    static Segments segmentPolygons(const QRectF &cell);
    static ColonDots colonDots(const QRectF &cell);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Q_DISABLE_COPY_MOVE(SegmentDisplay)

    QString m_text;
    int m_digitHeight;
    QColor m_litColor;
    QColor m_dimColor;
};

} // namespace ks
