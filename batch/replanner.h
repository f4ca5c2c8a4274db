#pragma once

namespace ks {

class QueueModel;
struct Settings;

// Brings analysed rows up to date after the settings change. A plan is
// arithmetic on the measured silences, so a change of the end modes, the
// targets, the safety limit or the minimum silence plans them again at once;
// a change of the threshold changes what was measured, so they go back to
// Pending without their measurements.
void replanAnalysed(QueueModel &queue, const Settings &before, const Settings &after);

} // namespace ks
