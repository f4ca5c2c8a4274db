#include "encoderlist.h"

#include <QRegularExpression>

namespace ks {

EncoderList::EncoderList(const QStringList &names)
{
    for (const QString &name : names)
        m_entries.append({ name, name });
}

EncoderList EncoderList::parse(const QString &listing)
{
    // " A....D libmp3lame           libmp3lame MP3 (MPEG audio layer 3) (codec mp3)"; the codec is named only
    // where it is not the encoder's own name.
    static const QRegularExpression line(QStringLiteral("^ A[F.][S.]([X.])[B.][D.] (\\S+) .*?(?:\\(codec (\\S+)\\))?$"),
            QRegularExpression::MultilineOption);
    EncoderList encoders;
    for (auto it = line.globalMatch(listing); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString name = match.captured(2);
        if (match.captured(1) == QLatin1String(".") && name != QLatin1String("="))
            encoders.m_entries.append({ name, match.hasCaptured(3) ? match.captured(3) : name });
    }
    return encoders;
}

bool EncoderList::contains(const QString &encoder) const
{
    for (const auto &[name, codec] : m_entries) {
        if (name == encoder)
            return true;
    }
    return false;
}

QStringList EncoderList::writing(const QString &codec) const
{
    QStringList names;
    for (const auto &[name, written] : m_entries) {
        if (written == codec)
            names << name;
    }
    return names;
}

} // namespace ks
