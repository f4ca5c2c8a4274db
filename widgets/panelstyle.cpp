#include "panelstyle.h"

#include <QApplication>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace ks {

QString PanelStyle::separator()
{
    return QStringLiteral(" \u00B7 ");
}

bool PanelStyle::applyStyleSheet()
{
    QFile style(QStringLiteral(":/style/vfd.qss"));
    if (!style.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    return true;
}

namespace {

double luminance(const QColor &colour)
{
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

} // namespace

double PanelStyle::contrast(const QColor &a, const QColor &b)
{
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor PanelStyle::readable(const QColor &quiet, const QColor &text, const QColor &background)
{
    QColor colour = quiet;
    for (int step = 1; step <= 20 && contrast(colour, background) < 4.5; ++step) {
        const float t = float(step) / 20.0f;
        colour.setRgbF(quiet.redF() + (text.redF() - quiet.redF()) * t,
                quiet.greenF() + (text.greenF() - quiet.greenF()) * t,
                quiet.blueF() + (text.blueF() - quiet.blueF()) * t);
    }
    return colour;
}

} // namespace ks
