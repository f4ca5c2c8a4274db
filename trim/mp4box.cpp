#include "mp4box.h"

#include <QList>
#include <QtEndian>

#include <algorithm>

namespace ks {

namespace {

// The boxes a cut looks inside; 'ilst' and '----' for iTunes' gapless tag.
bool isContainer(const QByteArray &type)
{
    static const QByteArray Containers[]
            = { "moov", "trak", "tref", "edts", "mdia", "minf", "dinf", "stbl", "udta", "meta", "ilst", "----" };
    return std::find(std::begin(Containers), std::end(Containers), type) != std::end(Containers);
}

} // namespace

qint64 Mp4Box::lengthAt(const uchar *data, qint64 left, qint64 *headerLength)
{
    if (left < 8)
        return 0;
    qint64 length = qFromBigEndian<quint32>(data);
    qint64 header = 8;
    if (length == 1) {
        if (left < 16)
            return 0;
        length = qint64(qFromBigEndian<quint64>(data + 8));
        header = 16;
    } else if (length == 0) {
        length = left; // runs to the end of the file
    }
    if (length < header || length > left)
        return 0;
    if (headerLength)
        *headerLength = header;
    return length;
}

bool Mp4Box::readAll(const uchar *data, qint64 size, std::vector<Mp4Box> &boxes)
{
    for (qint64 at = 0; at < size;) {
        qint64 header = 0;
        const qint64 length = lengthAt(data + at, size - at, &header);
        if (length == 0)
            return false;
        Mp4Box box;
        box.type = QByteArray(reinterpret_cast<const char *>(data + at + 4), 4);
        box.container = isContainer(box.type);
        const uchar *contents = data + at + header;
        const qint64 contentLength = length - header;
        // An ISO 'meta' carries a version and flags before its boxes, a QuickTime one does not.
        const qint64 prefix = box.type == "meta"
                        && !(contentLength >= 8
                                && qstrncmp(reinterpret_cast<const char *>(contents) + 4, "hdlr", 4) == 0)
                ? 4
                : 0;
        if (box.container) {
            if (contentLength < prefix)
                return false;
            box.payload = QByteArray(reinterpret_cast<const char *>(contents), int(prefix));
            if (!readAll(contents + prefix, contentLength - prefix, box.children))
                return false;
        } else {
            box.payload = QByteArray(reinterpret_cast<const char *>(contents), int(contentLength));
        }
        boxes.push_back(std::move(box));
        at += length;
    }
    return true;
}

QByteArray Mp4Box::bytes() const
{
    QByteArray contents = payload;
    for (const Mp4Box &box : children)
        contents += box.bytes();
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(8 + contents.size()), out.data());
    return out + type + contents;
}

const Mp4Box *Mp4Box::child(const char *childType) const
{
    for (const Mp4Box &box : children) {
        if (box.type == childType)
            return &box;
    }
    return nullptr;
}

Mp4Box *Mp4Box::child(const char *childType)
{
    return const_cast<Mp4Box *>(std::as_const(*this).child(childType));
}

const Mp4Box *Mp4Box::find(const QByteArray &path) const
{
    const Mp4Box *box = this;
    for (const QByteArray &step : path.split('/')) {
        box = box ? box->child(step.constData()) : nullptr;
    }
    return box;
}

Mp4Box *Mp4Box::find(const QByteArray &path)
{
    return const_cast<Mp4Box *>(std::as_const(*this).find(path));
}

} // namespace ks
