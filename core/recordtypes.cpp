#include "recordtypes.h"

#include "batchsummary.h"
#include "queueitem.h"
#include "settings.h"
#include "severity.h"

#include <QList>

namespace ks {

void registerRecordTypes()
{
    qRegisterMetaType<QueueItem>("ks::QueueItem");
    qRegisterMetaType<BatchSummary>("ks::BatchSummary");
    qRegisterMetaType<Settings>("ks::Settings");
    qRegisterMetaType<Severity>("ks::Severity");
    // Registering the list type by its own name also makes it iterable as a sequence.
    qRegisterMetaType<QList<QueueItem>>("QList<ks::QueueItem>");
}

} // namespace ks
