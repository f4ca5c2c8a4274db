#include "edgestrip.h"

#include "panelpalette.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ks {

namespace {

constexpr double FullScale = 32768.0;

// The centre row and how far a full-scale sample reaches from it.
int centreOf(int height)
{
    return height / 2;
}

int reachOf(int height)
{
    return std::max(height / 2 - 1, 0);
}

} // namespace

EdgeStrip::EdgeStrip(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void EdgeStrip::setScene(const Scene &scene)
{
    m_scene = scene;
    update();
}

void EdgeStrip::setPeaks(const QList<Peak> &peaks, double fromSec, double peakSec)
{
    m_peaks = peaks;
    m_peaksFromSec = fromSec;
    m_peakSec = peakSec;
    update();
}

void EdgeStrip::clearPeaks()
{
    m_peaks.clear();
    update();
}

QSize EdgeStrip::sizeHint() const
{
    return { 400, 64 };
}

QSize EdgeStrip::minimumSizeHint() const
{
    return { 120, 40 };
}

int EdgeStrip::columnAt(double sec, double fromSec, double toSec, int width)
{
    if (!(toSec > fromSec) || width < 1)
        return 0;
    // A hair added so a moment on a column's left edge lands in that column.
    const double column = std::floor((sec - fromSec) / (toSec - fromSec) * width + 1e-9);
    return int(std::clamp(column, 0.0, double(width)));
}

QPair<int, int> EdgeStrip::columnSpan(double startSec, double endSec, const Scene &scene, int width)
{
    if (!(endSec > startSec))
        return { 0, 0 };
    return { columnAt(startSec, scene.fromSec, scene.toSec, width),
        columnAt(endSec, scene.fromSec, scene.toSec, width) };
}

QList<EdgeStrip::Peak> EdgeStrip::columns(
        const QList<Peak> &peaks, double peaksFromSec, double peakSec, double fromSec, double toSec, int width)
{
    QList<Peak> result(std::max(width, 0), Peak(0, 0));
    QList<bool> seen(result.size(), false);
    for (qsizetype i = 0; i < peaks.size(); ++i) {
        // A peak belongs to the column its middle falls in.
        const double middle = peaksFromSec + (double(i) + 0.5) * peakSec;
        if (middle < fromSec || middle >= toSec)
            continue;
        const int column = std::min(columnAt(middle, fromSec, toSec, width), width - 1);
        Peak &out = result[column];
        const Peak &in = peaks.at(i);
        out = seen.at(column) ? Peak(std::min(out.first, in.first), std::max(out.second, in.second)) : in;
        seen[column] = true;
    }
    return result;
}

double EdgeStrip::level(int sample, double floorDb)
{
    if (sample == 0 || floorDb >= 0)
        return 0.0;
    const double db = 20.0 * std::log10(std::min(std::abs(sample) / FullScale, 1.0));
    return std::clamp((db - floorDb) / -floorDb, 0.0, 1.0);
}

int EdgeStrip::sampleY(int sample, double floorDb, int height)
{
    const int offset = int(std::lround(level(sample, floorDb) * reachOf(height)));
    return sample >= 0 ? centreOf(height) - offset : centreOf(height) + offset;
}

int EdgeStrip::thresholdY(double thresholdDb, int height)
{
    const double floorDb = thresholdDb - ScaleBelowThresholdDb;
    const double share = std::clamp((thresholdDb - floorDb) / -floorDb, 0.0, 1.0);
    return centreOf(height) - int(std::lround(share * reachOf(height)));
}

void EdgeStrip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    const Scene &s = m_scene;
    painter.fillRect(rect(), QColor(PanelPalette::Glass));

    const QPair<int, int> silence = columnSpan(s.silenceFromSec, s.silenceToSec, s, w);
    painter.fillRect(QRect(silence.first, 0, silence.second - silence.first, h), QColor(PanelPalette::Idle));
    const QPair<int, int> added = columnSpan(s.addedFromSec, s.addedToSec, s, w);
    painter.fillRect(QRect(added.first, 0, added.second - added.first, h),
            QBrush(QColor(PanelPalette::SkipChip), Qt::BDiagPattern));

    painter.setPen(QColor(PanelPalette::Dim));
    painter.drawLine(0, centreOf(h), w, centreOf(h));

    // What the new file keeps glows; what it loses stays dim.
    const double floorDb = s.thresholdDb - ScaleBelowThresholdDb;
    const int edge = columnAt(s.edgeSec, s.fromSec, s.toSec, w);
    const QList<Peak> outline = columns(m_peaks, m_peaksFromSec, m_peakSec, s.fromSec, s.toSec, w);
    const QColor kept(PanelPalette::Teal), lost(PanelPalette::Label);
    for (int x = 0; x < outline.size(); ++x) {
        const Peak &peak = outline.at(x);
        if (peak.first == 0 && peak.second == 0)
            continue;
        painter.setPen((x >= edge) == s.keepsAfterEdge ? kept : lost);
        painter.drawLine(x, sampleY(peak.second, floorDb, h), x, sampleY(peak.first, floorDb, h));
    }

    painter.setPen(QPen(QColor(PanelPalette::Amber), 1, Qt::DotLine));
    const int upper = thresholdY(s.thresholdDb, h);
    painter.drawLine(0, upper, w, upper);
    painter.drawLine(0, 2 * centreOf(h) - upper, w, 2 * centreOf(h) - upper);

    painter.setPen(QColor(PanelPalette::Current));
    const int line = std::min(edge, w - 1);
    painter.drawLine(line, 0, line, h);
}

} // namespace ks
