#pragma once

#include <QMetaType>

namespace ks {

// How much a log line matters, from the worker's message signal through the
// window's log to the command line's standard error.
enum class Severity : int { Information = 0, Success = 1, Warning = 2, Error = 3 };

} // namespace ks

Q_DECLARE_METATYPE(ks::Severity)
