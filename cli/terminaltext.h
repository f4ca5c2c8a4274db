#pragma once

#include <QString>

namespace ks {

// `text` with every character that would steer a terminal rather than show
// (escape sequences, carriage returns, bidirectional overrides) written as
// a visible escape, "\x1B" or "\u202E", so that no file name can recolour,
// retitle or forge a line of the output.
QString terminalSafe(const QString &text);

} // namespace ks
