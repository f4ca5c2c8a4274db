#include "extensionlist.h"

#include <QRegularExpression>

namespace ks {

QStringList ExtensionList::parse(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    QStringList extensions;
    for (const QString &part : text.split(separators, Qt::SkipEmptyParts)) {
        qsizetype start = 0;
        while (start < part.size() && (part.at(start) == QLatin1Char('*') || part.at(start) == QLatin1Char('.')))
            ++start;
        const QString extension = part.mid(start).toLower();
        if (!extension.isEmpty() && !extensions.contains(extension))
            extensions << extension;
    }
    return extensions;
}

} // namespace ks
