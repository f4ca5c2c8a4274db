#pragma once

#include <QString>

namespace ks {

// Turns what ffmpeg or ffprobe printed on failing into one short line a
// person can read: no "[demuxer @ 0x...]" prefixes, no input path, the
// output's name rather than its hidden temporary file, the most specific
// line rather than the last, and the common causes in plain words. The
// full text is kept elsewhere as the detail.
class ToolMessage final
{
public:
    static QString oneLine(const QString &toolOutput, const QString &inputPath, const QString &temporaryPath = {},
            const QString &outputPath = {});

    // A write error in plain words, or an empty string: ffmpeg does not
    // always exit with an error when the disk fills while it closes a file.
    static QString writeError(const QString &toolOutput);

    // Why the runner stopped a child that printed nothing for `ms`:
    // "ffmpeg made no progress for 5 minutes - stopped". Given a text that
    // holds it, oneLine picks it over anything the child said.
    static QString stalled(const QString &tool, int ms);

    // Whether ffmpeg said it has no muxer for the output (it only reads
    // such files).
    static bool isUnwritable(const QString &toolOutput);

    // A line of the tool's text without the "[muxer @ 0x…]" prefix ffmpeg gives it.
    static QString withoutPrefix(const QString &line);
};

} // namespace ks
