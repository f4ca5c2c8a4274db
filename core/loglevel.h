#pragma once

namespace ks {

// The level of a log line. The controller's message signal carries it as a
// plain integer; the console clamps anything outside these four.
enum LogLevel : int { Information = 0, Success = 1, Warning = 2, Error = 3 };

} // namespace ks
