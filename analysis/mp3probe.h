#pragma once

#include "mediaprobe.h"

#include <QString>

namespace ks {

struct Mp3Stream;

// What ffprobe reports for a plain MP3 file, read from its own bytes: the
// frames and their Xing/LAME header, an ID3v2.3 or 2.4 tag of text, comment
// and cover frames, an ID3v1 tag. Saves a child process per file, most of
// whose time is its start.
class Mp3Probe final
{
public:
    // `ok` only where the bytes leave nothing for ffprobe to add: any other
    // layout (a frame out of sync, an APE tag, chapters, a tag frame or
    // picture type this does not know) reads as not ok, for ffprobe to probe.
    // `stream` gets the frames as they were read.
    static MediaInfo read(const QString &path, Mp3Stream *stream = nullptr);
};

} // namespace ks
