#pragma once

#include <QByteArray>
#include <QString>

namespace ks::test {

// Writes an executable shell script `name` into `dir`, standing in for ffmpeg
// or ffprobe where the real tool cannot be made to fail the way a test needs
// (hang, print garbage, exit 1, write nothing). `body` follows the #! line.
// Returns the script's path, or an empty string when it cannot be written.
QString writeFakeTool(const QString &dir, const QString &name, const QByteArray &body);

} // namespace ks::test
