#pragma once

#include <QString>

namespace ks {

// A path as the user's platform writes it.
QString native(const QString &path);

// A number with exactly `decimals` digits after the point: "1.250".
QString fixed(double value, int decimals);

// Seconds rounded to the millisecond, as far as a measurement goes; more
// digits are noise.
double seconds(double value);

} // namespace ks
