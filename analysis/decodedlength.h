#pragma once

#include "toolpaths.h"
#include "toolrunner.h"

#include <QString>
#include <QStringList>

namespace ks {

// How many samples a decoder gets from a file's first audio stream, counted
// frame by frame by one ffprobe decode: what a player plays (an encoder's
// delay and padding dropped), whatever a header claims.
class DecodedLength final
{
public:
    struct Result
    {
        qint64 samples = -1; // per channel; -1 when the decode failed
        bool cancelled = false;
    };

    static Result count(const ToolPaths &tools, const QString &path, const CancelCallback &cancelled);

    static QStringList arguments(const QString &path);
};

} // namespace ks
