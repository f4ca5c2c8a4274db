#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QTextStream;

namespace ks {
struct Settings;
}

namespace ks::bench {

// The benchmarks' batch: `count` stereo files of `lead` s of silence, `tone`
// s of tone and `tail` s of silence, in the suffixes given in turn, as
// "take N" in `folder`. Returns the paths, or an empty list with the reason
// in `error`.
QStringList makeTakes(const QString &folder, int count, QString *error, double toneSec = 27.0,
        const QStringList &suffixes = { QStringLiteral("mp3"), QStringLiteral("flac") });

// One line of a shell script that runs `program` with `args`, quoted, its
// output thrown away.
QString commandLine(const QString &program, const QStringList &args);

// A shell script of the ffprobe/ffmpeg commands that plan and trim each of
// `sources` into `outputFolder` with `settings`, one after another: the
// probe, a silencedetect decode of the whole file and the write, then (with
// `readBack`) the probe of the new file and the rename that puts it in
// place. Without it, the floor any trimmer of this design stands on.
QString sameCommandsScript(
        const QStringList &sources, const Settings &settings, const QString &outputFolder, bool readBack = true);

// Writes `script` to `scriptPath`, then times `side` (the program's own way of
// trimming the batch; false when it failed) and the script run by sh, in
// turn for a few rounds, and prints the best time per file of each and their
// ratio, `side` named by `label`. Returns false when `side` failed.
bool compareWithShell(QTextStream &out, const QString &label, int fileCount, const std::function<bool()> &side,
        const QString &scriptPath, const QString &script);

} // namespace ks::bench
