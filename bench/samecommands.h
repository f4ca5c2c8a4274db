#pragma once

#include <QString>
#include <QStringList>

namespace ks {
struct Settings;
}

namespace ks::bench {

// The benchmarks' batch: `count` files of 30 s (1 s of silence, 27 s of tone,
// 2 s of silence), alternately mp3 and flac, as "take N" in `folder`.
// Returns the paths, or an empty list with the reason in `error`.
QStringList makeTakes(const QString &folder, int count, QString *error);

// A shell script of exactly the ffprobe/ffmpeg commands the engine runs to
// plan and trim each of `sources` into `outputFolder` with `settings`, each
// followed by the rename that puts the new file in place. The yardstick that
// the program's own cost per file is measured against.
QString sameCommandsScript(const QStringList &sources, const Settings &settings, const QString &outputFolder);

// Writes `script` to `path` and runs it with sh; returns the milliseconds taken.
qint64 runScript(const QString &path, const QString &script);

} // namespace ks::bench
