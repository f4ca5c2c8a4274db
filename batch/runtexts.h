#pragma once

#include <QString>

namespace ks {

struct BatchSummary;
struct Settings;

// The texts the window and the command line both show about a run, kept in
// one place so that the two always say the same.
class RunTexts final
{
public:
    // The question before files are rewritten in place, ending "Continue?".
    static QString inPlaceQuestion(int fileCount, const Settings &settings);
    // The run's totals line: "Complete - 3 written, ..." or "Analysis complete - ...".
    static QString totalsLine(const BatchSummary &summary, bool cancelled, bool analyseOnly);
};

} // namespace ks
