#pragma once

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
};

} // namespace ks
