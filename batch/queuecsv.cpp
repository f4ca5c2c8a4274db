#include "queuecsv.h"

#include "textformat.h"

#include <QSaveFile>
#include <QStringList>

namespace ks {

namespace {

// Quoted when it holds a separator, a quote or a line break; a leading
// sign that a spreadsheet would take for a formula is quoted behind a '.
QString field(QString text)
{
    if (!text.isEmpty() && QStringLiteral("=+-@").contains(text.front()))
        text.prepend(QLatin1Char('\''));
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n'))
            || text.contains(QLatin1Char('\r')))
        return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return text;
}

QString inSeconds(double value)
{
    return fixed(value, 3);
}

} // namespace

QByteArray QueueCsv::header()
{
    return "path,length_s,head_s,tail_s,head_change_s,tail_change_s,new_length_s,status,result,method\r\n";
}

QByteArray QueueCsv::row(const QueueItem &item)
{
    const bool written = item.status == ItemStatus::Trimmed;
    const QString method = !written ? QString()
            : item.reencoded        ? QStringLiteral("re-encoded")
                                    : QStringLiteral("lossless");
    const QStringList fields{ field(item.path), inSeconds(item.durationSec), inSeconds(item.headSec),
        inSeconds(item.tailSec), inSeconds(item.headChangeSec), inSeconds(item.tailChangeSec),
        inSeconds(item.newDurationSec), field(statusText(item.status)), field(item.message), method };
    return fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QByteArray QueueCsv::report(const QList<QueueItem> &items)
{
    QByteArray csv = header();
    for (const QueueItem &item : items)
        csv += row(item);
    return csv;
}

QString QueueCsv::save(const QList<QueueItem> &items, const QString &path)
{
    QSaveFile file(path);
    const QByteArray csv = report(items);
    if (file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size() && file.commit())
        return QString();
    return file.errorString();
}

} // namespace ks
