#pragma once

#include "rewriteplan.h"

#include <QStringList>

namespace ks {

struct MediaInfo;

// An audiobook's chapter marks as they fall in the written file: moved by
// what the cut takes or adds at the head, clipped to the new length, the
// last one ending with it.
class ChapterMap final
{
public:
    // ffmpeg's second input, the moved marks as ffmetadata, followed by
    // the option that maps them; empty for a source without chapters.
    static QStringList arguments(const MediaInfo &source, const RewritePlan::Cut &cut);
};

} // namespace ks
