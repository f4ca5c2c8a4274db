#include "queueitem.h"

#include "textformat.h"

#include <QDir>
#include <QFileInfo>

namespace ks {

QString statusText(ItemStatus status)
{
    switch (status) {
    case ItemStatus::Pending:
        return QStringLiteral("Pending");
    case ItemStatus::Analysing:
        return QStringLiteral("Analysing");
    case ItemStatus::Analysed:
        return QStringLiteral("Analysed");
    case ItemStatus::Trimming:
        return QStringLiteral("Trimming");
    case ItemStatus::Trimmed:
        return QStringLiteral("Trimmed");
    case ItemStatus::Skipped:
        return QStringLiteral("Skipped");
    case ItemStatus::Failed:
        return QStringLiteral("Failed");
    }
    return QString();
}

QString QueueItem::displayName() const
{
    return relPath.isEmpty() ? QFileInfo(path).fileName() : native(relPath);
}

} // namespace ks
