#pragma once

#include <QString>

namespace ks {

// Puts a source MP4's iTunes items back into the MP4 ffmpeg wrote from it:
// its muxer writes only the items it knows, and drops a rating, a purchase
// date, sort fields and free-form ('----') items. Every item of the source
// goes in byte for byte, but for iTunes' gapless numbers, which describe
// the source's encoding; what ffmpeg wrote and the source lacks stays.
class IlstCarry final
{
public:
    // Rewrites `writtenPath` with the items of `sourcePath`; an empty string, or why it could not.
    static QString copy(const QString &sourcePath, const QString &writtenPath);
};

} // namespace ks
