#pragma once

#include "queueitem.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace ks {

// The queue's plan or results as a CSV report (RFC 4180, UTF-8, a header
// row): one line a file, seconds with three decimals, an end left alone
// as 0.000 change.
class QueueCsv final
{
public:
    static QByteArray header();
    static QByteArray row(const QueueItem &item);
    static QByteArray report(const QList<QueueItem> &items);
    // Writes the report to `path` whole or not at all: why it could not, or
    // an empty string.
    static QString save(const QList<QueueItem> &items, const QString &path);
};

} // namespace ks
