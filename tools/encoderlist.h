#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace ks {

// The audio encoders one ffmpeg has, each with the codec it writes, as
// `ffmpeg -hide_banner -encoders` lists them. Empty when ffmpeg was never
// asked.
class EncoderList final
{
public:
    EncoderList() = default;
    // Encoders that each write the codec of their own name, as most do.
    EncoderList(const QStringList &names);

    // The audio encoders of the listing that work without
    // `-strict experimental`, which a re-encode is never given.
    static EncoderList parse(const QString &listing);

    bool isEmpty() const { return m_entries.isEmpty(); }
    bool contains(const QString &encoder) const;
    // The encoders that write `codec`, in the listing's order.
    QStringList writing(const QString &codec) const;

private:
    QList<QPair<QString, QString>> m_entries; // encoder, codec
};

} // namespace ks
