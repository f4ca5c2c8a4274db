#pragma once

#include <QString>

namespace ks {

// A path as the user's platform writes it.
QString native(const QString &path);

// A number with exactly `decimals` digits after the point: "1.250".
QString fixed(double value, int decimals);

// Plain text as a tool tip that wraps at the tool tip's own width and keeps
// its line breaks: Qt wraps only a tool tip given as rich text.
QString wrappingToolTip(const QString &text);

// Seconds rounded to the millisecond, as far as a measurement goes; more
// digits are noise.
double seconds(double value);

} // namespace ks
