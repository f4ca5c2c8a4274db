#include "ilstcarry.h"

#include "mappedfile.h"
#include "mp4box.h"

#include <QSaveFile>
#include <QtEndian>

#include <algorithm>

namespace ks {

namespace {

struct Movie
{
    qint64 at = -1; // where the top-level 'moov' starts, and its length
    qint64 length = 0;
    bool dataAfter = false; // an 'mdat' follows it, whose chunk offsets move with its size
    Mp4Box moov;
};

Movie movieOf(const uchar *data, qint64 size)
{
    Movie movie;
    for (qint64 at = 0; data && at < size;) {
        const qint64 length = Mp4Box::lengthAt(data + at, size - at);
        if (length == 0)
            return {};
        const QByteArray type(reinterpret_cast<const char *>(data + at + 4), 4);
        // Fragments may count their data from the file's start, past a movie that would grow.
        if (type == "moof")
            return {};
        if (type == "moov") {
            std::vector<Mp4Box> boxes;
            if (movie.at >= 0 || !Mp4Box::readAll(data + at, length, boxes) || boxes.size() != 1)
                return {};
            movie.at = at;
            movie.length = length;
            movie.moov = std::move(boxes.front());
        }
        movie.dataAfter = movie.dataAfter || (movie.at >= 0 && type == "mdat");
        at += length;
    }
    return movie;
}

// An item by what it names: its type, and a free-form one by its mean and name too.
QByteArray keyOf(const Mp4Box &item)
{
    QByteArray key = item.type;
    for (const char *part : { "mean", "name" }) {
        if (const Mp4Box *box = item.child(part))
            key += '\0' + box->payload;
    }
    return key;
}

bool isGapless(const Mp4Box &item)
{
    const Mp4Box *name = item.child("name");
    return item.type == "----" && name && name->payload.mid(4) == "iTunSMPB";
}

// Moves every chunk offset at or past `from` by `shift`; false when one no longer fits its field.
bool shiftOffsets(Mp4Box &moov, qint64 from, qint64 shift)
{
    for (Mp4Box &trak : moov.children) {
        Mp4Box *stbl = trak.type == "trak" ? trak.find("mdia/minf/stbl") : nullptr;
        for (Mp4Box *table : { stbl ? stbl->child("stco") : nullptr, stbl ? stbl->child("co64") : nullptr }) {
            if (!table || table->payload.size() < 8)
                continue;
            const int width = table->type == "co64" ? 8 : 4;
            auto *bytes = reinterpret_cast<uchar *>(table->payload.data());
            const qint64 count = qFromBigEndian<quint32>(bytes + 4);
            if (table->payload.size() < 8 + count * width)
                return false;
            for (qint64 i = 0; i < count; ++i) {
                uchar *entry = bytes + 8 + i * width;
                const qint64 offset
                        = width == 8 ? qint64(qFromBigEndian<quint64>(entry)) : qFromBigEndian<quint32>(entry);
                if (offset < from)
                    continue;
                if (width == 8)
                    qToBigEndian<quint64>(quint64(offset + shift), entry);
                else if (offset + shift <= 0xFFFFFFFFll)
                    qToBigEndian<quint32>(quint32(offset + shift), entry);
                else
                    return false;
            }
        }
    }
    return true;
}

} // namespace

QString IlstCarry::copy(const QString &sourcePath, const QString &writtenPath)
{
    const MappedFile sourceFile(sourcePath);
    const Movie source = movieOf(sourceFile.data(), sourceFile.size());
    const Mp4Box *sourceMeta = source.moov.find("udta/meta");
    const Mp4Box *sourceItems = sourceMeta ? sourceMeta->child("ilst") : nullptr;
    if (!sourceItems)
        return {};
    const MappedFile writtenFile(writtenPath);
    Movie written = movieOf(writtenFile.data(), writtenFile.size());
    if (written.at < 0)
        return {}; // written into another container, or in fragments

    Mp4Box *udta = written.moov.child("udta");
    if (!udta) {
        written.moov.children.push_back({ "udta", {}, {}, true });
        udta = &written.moov.children.back();
    }
    Mp4Box *meta = udta->child("meta");
    if (!meta) {
        Mp4Box copied = *sourceMeta;
        copied.children.erase(std::remove_if(copied.children.begin(), copied.children.end(),
                                      [](const Mp4Box &box) { return box.type == "ilst"; }),
                copied.children.end());
        udta->children.push_back(std::move(copied));
        meta = &udta->children.back();
    }
    Mp4Box *items = meta->child("ilst");
    if (!items) {
        meta->children.push_back({ "ilst", {}, {}, true });
        items = &meta->children.back();
    }
    // The source's items in its order, then those only ffmpeg wrote.
    std::vector<Mp4Box> merged;
    std::vector<QByteArray> keys;
    for (const Mp4Box &item : sourceItems->children) {
        if (!isGapless(item)) {
            merged.push_back(item);
            keys.push_back(keyOf(item));
        }
    }
    for (const Mp4Box &item : items->children) {
        if (std::find(keys.cbegin(), keys.cend(), keyOf(item)) == keys.cend())
            merged.push_back(item);
    }
    items->children = std::move(merged);

    const QByteArray moov = written.moov.bytes();
    const qint64 shift = moov.size() - written.length;
    if (written.dataAfter && !shiftOffsets(written.moov, written.at + written.length, shift))
        return QStringLiteral("cannot keep the MP4's tags: its chunk offsets would not fit");
    const QByteArray shifted = written.dataAfter ? written.moov.bytes() : moov;
    const auto *bytes = reinterpret_cast<const char *>(writtenFile.data());
    const qint64 after = written.at + written.length;
    QSaveFile out(writtenPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes, written.at) != written.at
            || out.write(shifted) != shifted.size()
            || out.write(bytes + after, writtenFile.size() - after) != writtenFile.size() - after || !out.commit())
        return QStringLiteral("cannot write the tags: %1").arg(out.errorString());
    return {};
}

} // namespace ks
