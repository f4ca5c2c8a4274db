#pragma once

#include <QColor>
#include <QWidget>

namespace ks {

// A small rounded lozenge with a caption, drawn like an indicator segment of
// a vacuum fluorescent display. Indicator chips glow only while lit; value
// chips always glow. The chip ignores the mouse.
class StatusChip final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int IndicatorStyle = 0;
    static constexpr int ValueStyle = 1;

    // The three colours of one look of the chip.
    struct Look
    {
        QColor fill;
        QColor border;
        QColor text;
    };

    StatusChip(const QString &text, int style, QWidget *parent = nullptr);

    QString text() const { return m_text; }
    int style() const { return m_style; }
    bool isLit() const { return m_lit; }
    QColor color() const { return m_colour; }

    void setText(const QString &text);
    void setLit(bool lit);
    void setColor(const QColor &colour);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The faint body of a glowing chip: red divided by 9, green and blue by 7.
    static QColor glowFill(const QColor &colour);
    // The look of a chip in `colour`, glowing or dark.
    static Look look(const QColor &colour, bool glowing);
    // Where the body is drawn: half a pixel in, so the 1 px border lands on
    // whole pixels at any device pixel ratio.
    static QRectF bodyRect(const QSize &size);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Q_DISABLE_COPY_MOVE(StatusChip)

    bool glowing() const { return m_lit || m_style == ValueStyle; }

    QString m_text;
    int m_style;
    bool m_lit = false;
    QColor m_colour;
};

} // namespace ks
