#pragma once

#include <QString>

namespace ks {

struct BatchSummary;
struct QueueItem;
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

    // One end's change for a number column: "+0.250 s", "-1.850 s", or an
    // en dash for none, which no one takes for a minus sign.
    static QString changeText(double seconds);
    // The same in a sentence: "unchanged" for none.
    static QString changeWords(double seconds);
    // Shown in a number column for "none" or "not known".
    static QString noValue() { return QStringLiteral("\u2013"); }
    // "head -1.250 s, tail unchanged" for result texts and log lines.
    static QString describeChange(const QueueItem &item);
    // An analysed item's result: "would adjust head ..., tail ..." or
    // "already within target".
    static QString analysisVerdict(const QueueItem &item);
};

} // namespace ks
