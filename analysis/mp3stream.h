#pragma once

#include <QString>

#include <vector>

namespace ks {

// An MP3 file as its bytes lay it out: an ID3v2 tag, then MPEG-1, 2 or 2.5
// layer III frames (ISO/IEC 11172-3 and 13818-3), or MPEG-1 or 2 layer II
// ones (an MP2 file), the first perhaps a
// Xing/Info frame with the LAME tag's gapless numbers (Mp3 Info Tag rev 1),
// then APE and ID3v1 tags. Read without decoding anything.
struct Mp3Stream
{
    // What one frame header says.
    struct Frame
    {
        qint64 length = 0; // 0: not a layer II or III header with a bit rate
        int layer = 3;
        bool freeFormat = false;
        bool mpeg1 = false;
        bool mono = false;
        bool crc = false; // a CRC follows the header
        int sampleRate = 0;
        int bitRate = 0;
        int samples = 0;  // per frame
        int sideInfo = 0; // bytes after the header (a CRC not counted); none in layer II

        // Where a Xing/Info tag stands in the frame.
        int tagOffset() const { return 4 + sideInfo; }
        // Where the main data (and the bit reservoir for later frames) begins.
        int dataOffset() const { return 4 + (crc ? 2 : 0) + sideInfo; }
        // How far back into earlier frames' main data a frame may reach:
        // a layer II frame holds all of its own.
        int reservoir() const { return layer == 2 ? 0 : mpeg1 ? 511 : 255; }
        bool sameStream(const Frame &other) const
        {
            return layer == other.layer && mpeg1 == other.mpeg1 && sampleRate == other.sampleRate && mono == other.mono;
        }
    };

    // The LAME tag's delay counts the encoder's samples only (576 from LAME
    // 3.100), not the decoder's: ffmpeg 5.1 and mpg123 1.31 drop delay + 529
    // decoded samples at the head and end at frames x samples - padding + 529,
    // so they output frames x samples - delay - padding (a padding under 529
    // ends at the last frame).
    static constexpr int DecoderDelay = 529;

    QString problem;            // why the frames do not run unbroken ("MP3 frames out of sync at byte 4180")
    qint64 audioStart = 0;      // after the ID3v2 tag and any zeros that pad it
    qint64 audioEnd = 0;        // where the APE and ID3v1 tags begin
    Frame format;               // the first frame's header
    std::vector<qint64> frames; // where the audio frames start; the Xing/Info frame is not one
    qint64 tagFrame = -1;       // where the Xing/Info frame starts
    qint64 taggedFrames = -1;   // its frame count
    qint64 lameTag = -1;        // where its LAME tag starts, when a decoder honours it
    int delay = 0;              // the LAME tag's encoder delay and padding, in samples
    int padding = 0;

    static Frame frameAt(const uchar *at, qint64 left);
    static bool carriesTag(const uchar *at, qint64 left, const Frame &frame);
    // The ID3v2 tag's length at the start, footer included, or 0.
    static qint64 id3v2Length(const uchar *data, qint64 size);

    static Mp3Stream read(const uchar *data, qint64 size);
    static Mp3Stream read(const QString &path);

    // Where the first sample a gapless decoder outputs lies among the
    // decoded samples of the frames.
    qint64 firstOutput() const { return lameTag < 0 ? 0 : delay + DecoderDelay; }
    // How many samples a gapless decoder outputs, or -1 when the frames or
    // the tag's frame count do not say.
    qint64 outputSamples() const;
};

} // namespace ks
