#pragma once

#include <QString>

namespace ks {

// What a file's own bytes say where ffprobe only estimates: a WAV's size
// fields, an MP3's Xing/Info frame. ffprobe reads a length from a header
// that lies and plays on, so a written file is checked here as well.
class ContainerCheck final
{
public:
    // Where an MP3's frames that carry the gapless numbers (a Xing or Info
    // tag after the side information) stand.
    struct Mp3Layout
    {
        bool framed = false;      // MPEG audio layer III frames found
        bool taggedFirst = false; // the first frame carries the tag
        int taggedLater = 0;      // frames after the first that carry one
    };

    // Reads the first frame only unless `wholeFile`, which walks them all.
    static Mp3Layout mp3Layout(const QString &path, bool wholeFile);

    // Raw AAC's ADTS frames, counted. ffprobe takes their length and bit
    // rate from the first frames, which at a silent head are a fraction of
    // the rest.
    struct AdtsRun
    {
        qint64 samples = 0; // per channel, at the rate the headers give
        int sampleRate = 0;
        qint64 bytes = 0; // of the frames, headers included

        double seconds() const { return sampleRate > 0 ? double(samples) / sampleRate : 0.0; }
        int bitRate() const { return samples > 0 ? int(bytes * 8 * sampleRate / samples) : 0; }
    };
    static AdtsRun adtsRun(const QString &path);
    // Whether the file's last 128 bytes are an ID3v1 tag.
    static bool endsWithId3v1(const QString &path);

    // Why a WAV's RIFF, RF64 or data sizes do not describe the file on disk
    // (unset as 0xFFFFFFFF, short of the data, past the end), or an empty
    // string.
    static QString wavProblem(const QString &path);

    // The problem, in words, of a file ffprobe read as `formatName`
    // ("written WAV's ..."), or an empty string for formats not checked.
    static QString writtenProblem(const QString &path, const QString &formatName);
};

} // namespace ks
