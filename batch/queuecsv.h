#pragma once

#include "queueitem.h"

#include <QByteArray>
#include <QList>

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
};

} // namespace ks
