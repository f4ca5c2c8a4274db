#include "replanner.h"

#include "queuemodel.h"
#include "runtexts.h"
#include "settings.h"
#include "trimengine.h"

namespace ks {

void replanAnalysed(QueueModel &queue, const Settings &before, const Settings &after)
{
    const bool remeasure = before.thresholdDb != after.thresholdDb;
    const bool replan = before.leadMode != after.leadMode || before.tailMode != after.tailMode
            || before.leadTargetMs != after.leadTargetMs || before.tailTargetMs != after.tailTargetMs
            || before.maxTrimSec != after.maxTrimSec || before.minSilenceSec != after.minSilenceSec;
    if (!remeasure && !replan)
        return;
    for (int row = 0; row < queue.rowCount(); ++row) {
        QueueItem item = queue.items().at(row);
        if (item.status != ItemStatus::Analysed)
            continue;
        if (remeasure) {
            QueueModel::clearResults(item);
        } else {
            SilenceAnalyzer::Result silence;
            silence.ok = true;
            silence.headSec = item.headSec;
            silence.tailSec = item.tailSec;
            const StepResult verdict = TrimEngine::judge(item, silence, after);
            item.status = verdict.ok() ? ItemStatus::Analysed : ItemStatus::Failed;
            item.failedAnalysing = !verdict.ok();
            item.message = verdict.ok() ? RunTexts::analysisVerdict(item) : verdict.message;
        }
        queue.setItem(row, item);
    }
}

} // namespace ks
