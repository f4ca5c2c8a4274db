#pragma once

#include "rewriteplan.h"

#include <QString>
#include <QStringList>

namespace ks {

struct MediaInfo;

// What the program knows about each container it writes, keyed by the
// output's suffix and, for a suffix it does not know, by the format ffprobe
// read from the source: whether it carries attached pictures, the muxer and
// its flags where the suffix alone does not choose them, and how it keeps
// its tags.
class FormatTable final
{
public:
    // False where mapping a picture would make ffmpeg refuse the whole file.
    static bool carriesPictures(const QString &suffix, const MediaInfo &source);
    // The muxer's arguments ("-f mp4") where the suffix does not pick the
    // right one, and its flags where its defaults do not suit ("-rf64 auto").
    static QStringList muxerArguments(const QString &suffix, const MediaInfo &source);
    // The muxer's options that keep the source's tags, and a broadcast WAV's
    // time reference on the first sample the cut keeps or adds.
    static QStringList tagArguments(const QString &suffix, const MediaInfo &source, const RewritePlan::Cut &cut = {});
    // Whether the muxer writes no tags and the source's ID3 tags are put
    // around the written audio as they are.
    static bool carriesId3ByHand(const QString &suffix, const MediaInfo &source);
    // Whether the container records `encoder`'s delay for decoders to
    // skip: an MP4 edit list, Ogg's pre-skip, the LAME header of an MP3,
    // Matroska's codec delay of Opus.
    static bool recordsEncoderDelay(const QString &suffix, const MediaInfo &source, const QString &encoder);
    // A tag MP4 keeps as an iTunes atom of its own.
    static bool isItunesKey(const QString &key);
};

} // namespace ks
