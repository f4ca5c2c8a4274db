#include "runtexts.h"

#include "batchsummary.h"
#include "queueitem.h"
#include "settings.h"

#include <QCoreApplication>

namespace ks {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ks::RunTexts", text);
}

} // namespace

QString RunTexts::inPlaceQuestion(int fileCount, const Settings &settings)
{
    const QString backups = settings.makeBackup ? tr("A .bak copy of every trimmed file will be kept alongside it.")
                                                : tr("No backups will be kept. This cannot be undone.");
    // Substituted one after the other, as the question has always been built.
    return tr("%1 file(s) will be rewritten in place.\n\nHead: %2\nTail: %3\n\n%4\n\nContinue?")
            .arg(fileCount)
            .arg(endModeLabel(settings.leadMode, settings.leadTargetMs))
            .arg(endModeLabel(settings.tailMode, settings.tailTargetMs))
            .arg(backups);
}

QString RunTexts::totalsLine(const BatchSummary &summary, bool cancelled, bool analyseOnly)
{
    if (analyseOnly) {
        const QString state = cancelled ? tr("stopped") : tr("complete");
        if (summary.failed == 0)
            return tr("Analysis %1 - %2 file(s) measured.").arg(state).arg(summary.processed);
        // What failed was not measured; what was left alone is said apart.
        const int measured = summary.processed - summary.failed - summary.skipped;
        if (summary.skipped == 0)
            return tr("Analysis %1 - %2 measured, %3 failed.").arg(state).arg(measured).arg(summary.failed);
        return tr("Analysis %1 - %2 measured, %3 skipped, %4 failed.")
                .arg(state)
                .arg(measured)
                .arg(summary.skipped)
                .arg(summary.failed);
    }
    return tr("%1 - %2 written, %3 skipped, %4 failed, %5 s cut, %6 s added.")
            .arg(cancelled ? tr("Stopped") : tr("Complete"))
            .arg(summary.written)
            .arg(summary.skipped)
            .arg(summary.failed)
            .arg(summary.secondsCut, 0, 'f', 1)
            .arg(summary.secondsAdded, 0, 'f', 1);
}

namespace {

// Empty for a change that rounds to none.
QString signedSeconds(double seconds)
{
    if (seconds >= 0.0005)
        return QStringLiteral("+%1 s").arg(seconds, 0, 'f', 3);
    if (seconds <= -0.0005)
        return QStringLiteral("-%1 s").arg(-seconds, 0, 'f', 3);
    return QString();
}

} // namespace

QString RunTexts::changeText(double seconds)
{
    const QString change = signedSeconds(seconds);
    return change.isEmpty() ? noValue() : change;
}

QString RunTexts::changeWords(double seconds)
{
    const QString change = signedSeconds(seconds);
    return change.isEmpty() ? QStringLiteral("unchanged") : change;
}

QString RunTexts::describeChange(const QueueItem &item)
{
    return QStringLiteral("head %1, tail %2").arg(changeWords(item.headChangeSec), changeWords(item.tailChangeSec));
}

QString RunTexts::analysisVerdict(const QueueItem &item)
{
    const bool changes = item.headChangeSec != 0.0 || item.tailChangeSec != 0.0;
    return changes ? QStringLiteral("would adjust ") + describeChange(item) : QStringLiteral("already within target");
}

} // namespace ks
