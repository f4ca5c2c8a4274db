#include "terminaltext.h"

namespace ks {

namespace {

bool steersTerminal(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) // C0, DEL and C1 controls
            || c == 0x200e || c == 0x200f       // marks of direction
            || (c >= 0x2028 && c <= 0x202e)     // line and paragraph separators, embeddings, overrides
            || (c >= 0x2066 && c <= 0x2069);    // isolates
}

} // namespace

QString terminalSafe(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        if (!steersTerminal(c.unicode()))
            safe += c;
        else if (c.unicode() < 0x100)
            safe += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper().replace(u'X', u'x');
        else
            safe += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper().replace(u'U', u'u');
    }
    return safe;
}

} // namespace ks
