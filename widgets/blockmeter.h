#pragma once

#include <QColor>
#include <QRect>
#include <QStringList>
#include <QWidget>

namespace ks {

// A horizontal bar of separate blocks that fills from the left in proportion
// to a percentage. Lit blocks glow in full colour, unlit ones stay visible as
// dark ghosts of the same hue. Optional scale labels run under the blocks.
class BlockMeter final : public QWidget
{
    Q_OBJECT

public:
    // How the blocks are coloured: all teal, or teal, amber and red zones.
    enum Scheme { UniformScheme = 0, GradedScheme = 1 };

    // The row of blocks across a given width, in whole pixels.
    struct Layout
    {
        int count = 0;
        int cell = 0;
        int gap = 0;
        int margin = 0;

        QRect block(int index, int height) const;
        // From the left edge of the first block to the right edge of the last.
        int span() const;
    };

    explicit BlockMeter(QWidget *parent = nullptr);

    int blockCount() const { return m_blockCount; }
    int value() const { return m_value; }
    int barHeight() const { return m_barHeight; }
    Scheme scheme() const { return m_scheme; }
    QStringList scaleLabels() const { return m_scaleLabels; }

    void setBlockCount(int count);
    void setScheme(Scheme scheme);
    void setBarHeight(int height);
    // 0..100, or -1 (any negative value) for no value: every block unlit.
    void setValue(int value);
    void setScaleLabels(const QStringList &labels);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static Layout layout(int width, int blockCount);
    // Blocks lit for a percentage, halves rounded up; none for -1.
    static int litCount(int value, int blockCount);
    static QColor baseColor(Scheme scheme, int index, int blockCount);
    // The ghost of a base colour, channel by channel.
    static QColor unlitColor(const QColor &base);
    // Left edge of label `index` of `labelCount`, `advance` pixels wide,
    // spread from the row's left edge to its right edge.
    static int labelX(const Layout &row, int width, int advance, int index, int labelCount);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Q_DISABLE_COPY_MOVE(BlockMeter)

    int m_blockCount = 34;
    int m_value = 0;
    int m_barHeight = 13;
    Scheme m_scheme = UniformScheme;
    QStringList m_scaleLabels;
};

} // namespace ks
