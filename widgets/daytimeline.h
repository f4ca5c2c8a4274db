#pragma once

#include <QColor>
#include <QRect>
#include <QSet>
#include <QWidget>

class QTime;

namespace ks {

// A strip of 96 cells, one per quarter hour of the day, with hour labels
// under it. Cells in which a file was processed glow; the cell of the current
// quarter hour is brighter still.
class DayTimeline final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int SlotCount = 96;

    // The row of cells across a given width, in whole pixels.
    struct Layout
    {
        int cell = 0;
        int gap = 0;
        int margin = 0;

        QRect cellRect(int slot, int height) const;
        // The right edge of the last cell.
        int rowEnd() const;
    };

    // An hour label and the slot it stands under.
    struct Label
    {
        int slot;
        const char *text;
    };

    explicit DayTimeline(QWidget *parent = nullptr);

    int currentSlot() const { return m_currentSlot; }
    QSet<int> markedSlots() const { return m_marked; }

    // 0..95; anything else clears the current slot.
    void setCurrentSlot(int slot);
    void markNow();
    // 0..95; anything else is ignored.
    void markSlot(int slot);
    void clear();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Quarter hour of the day: 00:00-00:14 is slot 0, 23:45-23:59 slot 95.
    static int slotOf(const QTime &time);
    static Layout layout(int width);
    static int cellHeight(int widgetHeight, int fontHeight);
    static QColor cellColor(int slot, int currentSlot, bool marked);
    // "00", "06", "12", "18" under their slots, and "00" again at the end.
    static QList<Label> labels();
    // Left edge of a label `advance` pixels wide in a strip `width` wide.
    static int labelX(const Layout &row, int width, int advance, const Label &label);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Q_DISABLE_COPY_MOVE(DayTimeline)

    QSet<int> m_marked;
    int m_currentSlot = -1;
};

} // namespace ks
