#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

namespace ks {

// The panel's shared look beyond its colours: how the parts of a value line
// are joined, and the program's stylesheet.
class PanelStyle final
{
public:
    // A space, U+00B7 MIDDLE DOT and a space.
    static QString separator();
    static QString join(const QStringList &parts) { return parts.join(separator()); }

    // Applies the program's stylesheet to the running application; without
    // it the program keeps the platform's look. False when it cannot be read.
    static bool applyStyleSheet();

    // WCAG's contrast ratio of two colours, from 1 to 21; text wants 4.5.
    static double contrast(const QColor &a, const QColor &b);
    // `quiet` moved toward `text` until it reads at 4.5:1 on `background`.
    static QColor readable(const QColor &quiet, const QColor &text, const QColor &background);
};

} // namespace ks
