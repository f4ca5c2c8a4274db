#pragma once

#include <QByteArray>

#include <vector>

namespace ks {

// One box of an MP4 file (ISO/IEC 14496-12, 4.2), with the boxes a cut
// rewrites read into children and every other one kept as its bytes.
struct Mp4Box
{
    QByteArray type;
    // A leaf's contents after its header; for a container, what comes
    // before its children (the version and flags of a 'meta').
    QByteArray payload;
    std::vector<Mp4Box> children;
    bool container = false;

    // Reads the boxes that fill `size` bytes; false when they do not fit
    // exactly. Nested boxes are read only inside the containers a cut walks.
    static bool readAll(const uchar *data, qint64 size, std::vector<Mp4Box> &boxes);
    // Where the box at `data` ends, and where its contents start; 0 when no box fits there.
    static qint64 lengthAt(const uchar *data, qint64 left, qint64 *headerLength = nullptr);

    QByteArray bytes() const;
    Mp4Box *child(const char *childType);
    const Mp4Box *child(const char *childType) const;
    // The first box down a '/'-separated path of types ("mdia/minf/stbl").
    const Mp4Box *find(const QByteArray &path) const;
    Mp4Box *find(const QByteArray &path);
};

} // namespace ks
