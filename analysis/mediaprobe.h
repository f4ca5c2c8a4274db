#pragma once

#include "fileidentity.h"
#include "toolpaths.h"
#include "toolrunner.h"

#include <QString>
#include <QStringList>

namespace ks {

// One chapter mark, in seconds of the file, with its tags as they stand.
struct Chapter
{
    double startSec = 0.0;
    double endSec = 0.0;
    QList<QPair<QString, QString>> tags;
};

// A file's container and first audio stream, as ffprobe reports them.
struct MediaInfo
{
    bool ok = false;          // probed, with a usable audio stream
    double durationSec = 0.0; // the container's; 0 when it does not say
    double startSec = 0.0;    // the audio stream's first timestamp
    QString codec;
    QString profile; // the decoder's: "HE-AAC" where SBR doubles the rate
    QString formatName;
    int sampleRate = 0;
    int channels = 0;
    int bitRate = 0;       // the stream's when known, else the container's
    int pictures = 0;      // attached pictures (cover art)
    int videos = 0;        // video streams that are not attached pictures
    QStringList tagKeys;   // the container's tags, by name
    QString timeReference; // a broadcast WAV's first sample, counted from midnight
    QList<Chapter> chapters;
    bool id3v1 = false;         // an MPEG audio file that ends with an ID3v1 tag
    bool gaplessHeader = false; // an MP3 file whose first frame carries the Xing/Info tag
    bool framesInSync = false;  // an MP3 or MP2 file whose frames run unbroken from its head tag to its tail tags
    bool fromBytes = false;     // read from the file's own bytes, without ffprobe
    // The file as the planner found it, before probing: its rewrite goes
    // ahead only while it is still that file, as it was.
    FileIdentity file;
    bool cancelled = false;
    QString error;
    QString detail; // ffprobe's whole text when it failed
};

// The ffprobe arguments that report `path`'s format, streams and chapters
// as JSON, with messages from `level` up.
QStringList probeArguments(const QString &path, const QString &level = QStringLiteral("error"));

// Reads ffprobe's JSON answer; anything that is not the expected JSON reads as
// a file without an audio stream.
MediaInfo parseProbeOutput(const QByteArray &json);

// Runs ffprobe on `path` and reads its answer, and for an MP3 file its first
// frame. Blocks; `cancelled` may stop it. Anything but a regular file is
// refused before a child is started.
MediaInfo probeMedia(const ToolPaths &tools, const QString &path, const CancelCallback &cancelled);

} // namespace ks
