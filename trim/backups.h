#pragma once

#include "stepresult.h"
#include "toolpaths.h"

#include <QByteArray>
#include <QString>

namespace ks {

// The ".bak" copies an in-place trim keeps beside each file it rewrote,
// whichever run made them. An existing backup is only taken for the
// original when its record, "NAME.bak.kestrova", shows by SHA-256 that
// the file is what a trim wrote from that very backup; a text file beside
// it survives copies, archives and file systems that would drop an
// extended attribute, and says what it is to whoever finds it.
class Backups final
{
public:
    static QString pathFor(const QString &sourcePath) { return sourcePath + QLatin1String(".bak"); }
    static QString recordPathFor(const QString &sourcePath) { return pathFor(sourcePath) + QLatin1String(".kestrova"); }
    // Whether a file's name is one of these: "NAME.bak", "NAME.bak.2" or a
    // backup's record. A folder scan never takes them for audio to trim.
    static bool isBackupName(const QString &fileName);
    static bool exists(const QString &sourcePath);

    // A file's SHA-256, or an empty array when it cannot be read.
    static QByteArray fingerprint(const QString &path);

    // The backup's fingerprint when the file is byte for byte what a trim
    // wrote from that backup, as it is now; else empty.
    static QByteArray vouchedBackup(const QString &sourcePath);
    // Records that the file, of fingerprint `written`, was made from its
    // backup, of fingerprint `backup`.
    static bool record(const QString &sourcePath, const QByteArray &backup, const QByteArray &written);
    // Moves the backup to the first free "NAME.bak.1", ".2", ... (never over
    // a file) and returns that path, or an empty string when it cannot.
    static QString setAside(const QString &sourcePath);

    // Puts the backup back over the file in one step; the backup's own
    // modification time goes with it, and the backup is gone afterwards.
    // A backup that is empty or no audio ffprobe can read is refused. The
    // check's probe gives the restored file's length, when asked for it.
    static StepResult restore(const QString &sourcePath, const ToolPaths &tools, double *durationSec = nullptr);
    static StepResult remove(const QString &sourcePath);
};

} // namespace ks
