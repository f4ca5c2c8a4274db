#pragma once

#include <QString>

namespace ks {

// Puts a source's ID3 tags around audio written by a muxer that writes none
// (raw MPEG audio), byte for byte as the source had them: its ID3v2 tag at
// the head, its ID3v1 tag at the end.
class Id3Carry final
{
public:
    // Rewrites `writtenPath` with the tags of `sourcePath`; an empty string,
    // or why it could not.
    static QString copy(const QString &sourcePath, const QString &writtenPath);
};

} // namespace ks
