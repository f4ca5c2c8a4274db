// Draws the program's icon (256 x 256) and wide logo (920 x 151) into the
// folder given on the command line. Run by hand when the artwork changes;
// the PNG files it writes are committed beside the resource collection.

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cmath>

namespace {

const QColor panel(0x07, 0x0C, 0x0B);
const QColor border(0x16, 0x21, 0x1E);
const QColor litTeal(0x45, 0xE8, 0xD5);
const QColor dimTeal(0x14, 0x31, 0x2C);
const QColor amber(0xC9, 0x8A, 0x2E);
const QColor navy(0x12, 0x32, 0x5C);
const QColor orange(0xF2, 0x60, 0x1A);

// A waveform whose quiet ends are drawn as dim bars and whose sound is lit,
// with amber brackets where the silence is cut back.
void drawMark(QPainter &p, const QRectF &box)
{
    const qreal radius = box.width() * 0.18;
    p.setPen(QPen(border, box.width() / 64.0));
    p.setBrush(panel);
    p.drawRoundedRect(box.adjusted(1, 1, -1, -1), radius, radius);

    const int bars = 15;
    const qreal inner = box.width() * 0.74;
    const qreal left = box.left() + (box.width() - inner) / 2.0;
    const qreal step = inner / bars;
    const qreal barWidth = step * 0.62;
    const qreal mid = box.center().y();
    for (int i = 0; i < bars; ++i) {
        const bool quiet = i < 3 || i >= bars - 3;
        const qreal level = quiet ? 0.05 : 0.25 + 0.7 * std::fabs(std::sin(i * 1.7)) * (0.6 + 0.4 * std::cos(i * 0.9));
        const qreal half = std::max(level * box.height() * 0.30, barWidth * 0.5);
        const QRectF bar(left + i * step + (step - barWidth) / 2.0, mid - half, barWidth, 2 * half);
        p.setPen(Qt::NoPen);
        p.setBrush(quiet ? dimTeal : litTeal);
        p.drawRoundedRect(bar, barWidth / 2.0, barWidth / 2.0);
    }

    // Brackets just outside the lit run.
    const qreal bx1 = left + 3 * step - step * 0.1;
    const qreal bx2 = left + (bars - 3) * step + step * 0.1;
    const qreal top = mid - box.height() * 0.33;
    const qreal bottom = mid + box.height() * 0.33;
    const qreal arm = step * 0.7;
    QPen bracket(amber, box.width() / 40.0);
    bracket.setCapStyle(Qt::RoundCap);
    bracket.setJoinStyle(Qt::RoundJoin);
    p.setPen(bracket);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF(
            { QPointF(bx1 + arm, top), QPointF(bx1, top), QPointF(bx1, bottom), QPointF(bx1 + arm, bottom) }));
    p.drawPolyline(QPolygonF(
            { QPointF(bx2 - arm, top), QPointF(bx2, top), QPointF(bx2, bottom), QPointF(bx2 - arm, bottom) }));
}

QImage drawIcon()
{
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawMark(p, QRectF(0, 0, 256, 256));
    return image;
}

QImage drawLogo()
{
    QImage image(920, 151, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawMark(p, QRectF(8, 8, 135, 135));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(96);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(font);
    const QFontMetricsF metrics(font);
    const qreal baseline = 75.5 + (metrics.ascent() - metrics.descent()) / 2.0;
    const QString first = QStringLiteral("Kest");
    const QString second = QStringLiteral("rova");
    qreal x = 170;
    p.setPen(navy);
    p.drawText(QPointF(x, baseline), first);
    x += metrics.horizontalAdvance(first);
    p.setPen(orange);
    p.drawText(QPointF(x, baseline), second);
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    const bool ok = drawIcon().save(out.filePath(QStringLiteral("app.png")))
            && drawLogo().save(out.filePath(QStringLiteral("logo.png")));
    if (!ok)
        QTextStream(stderr) << "cannot write the images into " << out.absolutePath() << '\n';
    return ok ? 0 : 1;
}
