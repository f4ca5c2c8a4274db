#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QTextStream;

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

// Writes `script` to `scriptPath`, then times `side` (the program's own way of
// trimming the batch; false when it failed) and the script run by sh, in
// turn for a few rounds, and prints the best time per file of each and their
// ratio, `side` named by `label`. Returns false when `side` failed.
bool compareWithShell(QTextStream &out, const QString &label, int fileCount, const std::function<bool()> &side,
                      const QString &scriptPath, const QString &script);

} // namespace ks::bench
