#include "id3carry.h"

#include "containercheck.h"

#include <QFile>
#include <QSaveFile>

namespace ks {

namespace {

// The whole ID3v2 tag at the head of `file`: its header, its frames and a footer.
QByteArray headTag(QFile &file)
{
    const QByteArray header = file.read(10);
    if (header.size() < 10 || !header.startsWith("ID3"))
        return {};
    qint64 size = 0; // seven bits a byte
    for (int i = 6; i < 10; ++i)
        size = size * 128 + (uchar(header.at(i)) & 0x7F);
    size += 10;
    if (uchar(header.at(5)) & 0x10)
        size += 10;
    return size <= file.size() ? header + file.read(size - 10) : QByteArray();
}

} // namespace

QString Id3Carry::copy(const QString &sourcePath, const QString &writtenPath)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the tags: %1").arg(source.errorString());
    const QByteArray head = headTag(source);
    QByteArray tail;
    if (ContainerCheck::endsWithId3v1(sourcePath) && source.seek(source.size() - 128))
        tail = source.read(128);
    if (head.isEmpty() && tail.isEmpty())
        return {};
    QFile written(writtenPath);
    QSaveFile tagged(writtenPath);
    if (!written.open(QIODevice::ReadOnly) || !tagged.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write the tags: %1").arg(tagged.errorString());
    bool ok = tagged.write(head) == head.size();
    constexpr qint64 Chunk = 1 << 20;
    while (ok && !written.atEnd()) {
        const QByteArray bytes = written.read(Chunk);
        ok = !bytes.isEmpty() && tagged.write(bytes) == bytes.size();
    }
    ok = ok && tagged.write(tail) == tail.size();
    if (!ok || !tagged.commit())
        return QStringLiteral("cannot write the tags: %1").arg(tagged.errorString());
    return {};
}

} // namespace ks
