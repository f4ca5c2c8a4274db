#include "controller.h"

#include "loglevel.h"
#include "queuemodel.h"
#include "runcheck.h"
#include "toolpaths.h"
#include "trimengine.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace ks {

namespace {

constexpr int ScanReportEvery = 250;

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    return first.exists() && second.exists() && first.canonicalFilePath() == second.canonicalFilePath();
}

} // namespace

Controller::Controller(QObject *parent)
    : QObject(parent)
{
}

QString Controller::describeChange(const QueueItem &item)
{
    return QStringLiteral("head %1, tail %2")
            .arg(QueueModel::changeText(item.headChangeSec), QueueModel::changeText(item.tailChangeSec));
}

void Controller::scan(const QString &root, const QStringList &extensions, bool recursive)
{
    m_stop.store(false);
    m_busy.store(true);

    QStringList filters;
    for (const QString &extension : extensions)
        filters << QStringLiteral("*.") + extension.trimmed().toLower();

    // Regular readable files only; links are not followed into other trees,
    // and a link is not taken for the file it points to.
    QDirIterator it(root, filters, QDir::Files | QDir::Readable | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                    recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    QStringList files;
    while (it.hasNext()) {
        files.append(it.next());
        if (files.size() % ScanReportEvery == 0)
            Q_EMIT message(QStringLiteral("Scanning... %1 file(s)").arg(files.size()), Information);
        if (m_stop.load())
            break;
    }
    std::sort(files.begin(), files.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });

    m_busy.store(false);
    Q_EMIT scanFinished(files, root, m_stop.load());
}

void Controller::process(const QList<QueueItem> &items, const Settings &settings, bool analyseOnly)
{
    m_stop.store(false);
    m_busy.store(true);
    BatchSummary summary;

    // The tools are found once, from this run's own copy of the settings.
    const ToolPaths tools = ToolPaths::resolve(settings.ffmpegPath, settings.ffprobePath);
    const RunRefusal refusal = firstRunRefusal(-1, settings, tools, analyseOnly);
    if (refusal != RunRefusal::None) {
        Q_EMIT message(refusalText(refusal), Error);
        m_busy.store(false);
        Q_EMIT batchFinished(BatchSummary(), false, analyseOnly);
        return;
    }

    const int total = int(items.size());
    Q_EMIT batchProgress(0, total);
    const CancelCallback cancelled = [this] { return m_stop.load(); };
    QHash<QString, QString> writtenFrom; // output path -> the source written there in this run

    for (int i = 0; i < total; ++i) {
        if (m_stop.load())
            break;
        QueueItem item = items.at(i);
        item.status = analyseOnly ? ItemStatus::Analysing : ItemStatus::Trimming;
        item.message.clear();
        Q_EMIT itemChanged(i, item);
        Q_EMIT fileProgress(i, 0);
        // Named as the queue shows it, so files of one name in several folders differ.
        const QString name = item.relPath.isEmpty() ? QFileInfo(item.path).fileName()
                                                    : QDir::toNativeSeparators(item.relPath);
        ++summary.processed;

        // A row the stop cut short goes back to waiting, as it was queued.
        const auto stopRow = [&] {
            QueueItem stopped = items.at(i);
            stopped.status = ItemStatus::Pending;
            stopped.message = QStringLiteral("cancelled");
            Q_EMIT itemChanged(i, stopped);
        };
        const StepResult planned = TrimEngine::plan(item, settings, tools, cancelled, [&](int percent) {
            Q_EMIT fileProgress(i, analyseOnly ? percent : percent / 2);
        });
        if (m_stop.load()) {
            stopRow();
            break;
        }

        const auto fail = [&](const QString &why, bool log) {
            item.status = ItemStatus::Failed;
            item.message = why;
            ++summary.failed;
            Q_EMIT itemChanged(i, item);
            if (log)
                Q_EMIT message(QStringLiteral("%1 - %2").arg(name, why), Error);
        };
        const auto skip = [&](const QString &why, int level) {
            item.status = ItemStatus::Skipped;
            item.message = why;
            ++summary.skipped;
            Q_EMIT itemChanged(i, item);
            Q_EMIT message(QStringLiteral("%1 - %2").arg(name, why), level);
        };
        const bool changes = item.headChangeSec != 0.0 || item.tailChangeSec != 0.0;

        if (!planned.ok()) {
            fail(planned.message, true);
        } else if (planned.skipped()) {
            skip(planned.message, Warning);
        } else if (analyseOnly) {
            item.status = ItemStatus::Analysed;
            Q_EMIT fileProgress(i, 100);
            item.message = QueueModel::analysisVerdict(item);
            if (changes) {
                ++summary.wouldChange;
                summary.secondsCut -= std::min(item.headChangeSec, 0.0) + std::min(item.tailChangeSec, 0.0);
                summary.secondsAdded += std::max(item.headChangeSec, 0.0) + std::max(item.tailChangeSec, 0.0);
            }
            Q_EMIT itemChanged(i, item);
            Q_EMIT message(QStringLiteral("%1 - measured head %2 s, tail %3 s; %4")
                                   .arg(name, QString::number(item.headSec, 'f', 2),
                                        QString::number(item.tailSec, 'f', 2),
                                        changes ? describeChange(item) : QStringLiteral("no change needed")),
                           Information);
        } else if (!changes && settings.skipUntrimmed) {
            skip(QStringLiteral("already within target"), Information);
        } else {
            const bool mirror = settings.outputMode != OutputMode::InPlace;
            item.outputPath = mirror ? mirrorPath(item, settings.outputRoot) : item.path;
            const QString clash = writtenFrom.value(item.outputPath);
            if (mirror && item.outputPath.isEmpty()) {
                fail(QStringLiteral("output would fall outside the destination folder"), true);
            } else if (mirror && sameFile(item.outputPath, item.path)) {
                fail(QStringLiteral("output would overwrite the source"), false);
            } else if (mirror && !clash.isEmpty()) {
                fail(QStringLiteral("output %1 was already written from %2 in this run")
                             .arg(QDir::toNativeSeparators(item.outputPath), QDir::toNativeSeparators(clash)),
                     true);
            } else {
                const StepResult applied = TrimEngine::apply(item, settings, tools, cancelled, [&](int percent) {
                    Q_EMIT fileProgress(i, percent / 2 + 50);
                });
                // A file that was written is reported even when the stop came
                // just after; only a rewrite the stop cut short goes unreported.
                if (applied.cancelled() || (!applied.ok() && m_stop.load())) {
                    stopRow();
                    break;
                }
                if (applied.skipped()) {
                    skip(applied.message, Warning);
                } else {
                    if (applied.ok()) {
                        item.status = ItemStatus::Trimmed;
                        ++summary.written;
                        summary.secondsCut -= std::min(item.headChangeSec, 0.0) + std::min(item.tailChangeSec, 0.0);
                        summary.secondsAdded += std::max(item.headChangeSec, 0.0) + std::max(item.tailChangeSec, 0.0);
                        const bool padded = item.headChangeSec > 0 || item.tailChangeSec > 0;
                        const QString suffix = item.reencoded && padded
                                        && settings.trimMethod == TrimMethod::StreamCopy
                                ? QStringLiteral(" (re-encoded to add silence)")
                                : QString();
                        item.message = describeChange(item) + suffix;
                        writtenFrom.insert(item.outputPath, item.path);
                        const QString note = applied.message.isEmpty() ? QString() : QStringLiteral("; ") + applied.message;
                        Q_EMIT message(QStringLiteral("%1 - %2%3%4").arg(name, describeChange(item), suffix, note),
                                       Success);
                    } else {
                        item.status = ItemStatus::Failed;
                        item.message = applied.message;
                        ++summary.failed;
                        Q_EMIT message(QStringLiteral("%1 - %2").arg(name, applied.message), Error);
                    }
                    Q_EMIT itemChanged(i, item);
                    Q_EMIT fileProgress(i, 100);
                }
            }
        }
        Q_EMIT batchProgress(i + 1, total);
    }

    m_busy.store(false);
    Q_EMIT batchFinished(summary, m_stop.load(), analyseOnly);
}

} // namespace ks
