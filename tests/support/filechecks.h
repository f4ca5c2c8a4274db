#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ks::test {

// A file's SHA-256, or an empty array when it cannot be read: enough to show
// that a file is byte for byte what it was.
QByteArray sha256(const QString &path);

// The rewrite's temporary files (".name.kstmp.suffix") anywhere below `folder`;
// a finished or stopped run must leave none.
QStringList temporaryFiles(const QString &folder);

} // namespace ks::test
