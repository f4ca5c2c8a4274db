#pragma once

#include <QMetaType>

namespace ks {

// Totals of one batch run. An analysis counts in `wouldChange` and the two
// second totals what a trim would do.
struct BatchSummary
{
    int processed = 0;
    int written = 0;
    int wouldChange = 0;
    int skipped = 0;
    int failed = 0;
    double secondsCut = 0.0;
    double secondsAdded = 0.0;
};

} // namespace ks

Q_DECLARE_METATYPE(ks::BatchSummary)
