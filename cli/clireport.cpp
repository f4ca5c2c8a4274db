#include "clireport.h"

#include "resumelist.h"
#include "runtexts.h"
#include "textformat.h"

#include <QDir>
#include <QJsonDocument>

#include <cmath>

namespace ks {

namespace {

// Milliseconds are as far as the measurement goes; more digits are noise.
QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// "4.2 s", "12 min 05 s", "3 h 07 min".
QString elapsedText(qint64 ms)
{
    const qint64 secs = ms / 1000;
    if (secs < 60)
        return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
    if (secs < 3600)
        return QStringLiteral("%1 min %2 s").arg(secs / 60).arg(secs % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min").arg(secs / 3600).arg(secs / 60 % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

CliReport::CliReport(const Format &format, Print out, Print err)
    : m_format(format)
    , m_out(std::move(out))
    , m_err(std::move(err))
{
}

void CliReport::runStarted()
{
    m_started = QDateTime::currentDateTime();
    m_clock.start();
}

QJsonObject CliReport::itemJson(const QueueItem &item)
{
    QJsonObject json{
        { QStringLiteral("path"), native(item.path) },
        { QStringLiteral("outputPath"),
                item.outputPath.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(native(item.outputPath)) },
        { QStringLiteral("status"), statusText(item.status) },
        { QStringLiteral("message"), item.message },
        { QStringLiteral("durationSec"), seconds(item.durationSec) },
        { QStringLiteral("headSec"), seconds(item.headSec) },
        { QStringLiteral("tailSec"), seconds(item.tailSec) },
        { QStringLiteral("headChangeSec"), seconds(item.headChangeSec) },
        { QStringLiteral("tailChangeSec"), seconds(item.tailChangeSec) },
        { QStringLiteral("newDurationSec"), seconds(item.newDurationSec) },
        { QStringLiteral("reencoded"), item.reencoded },
    };
    // What a later --resume checks the file against.
    if (item.status == ItemStatus::Trimmed || item.status == ItemStatus::Skipped)
        ResumeList::addStamps(json, item.path, item.outputPath, item.status == ItemStatus::Trimmed);
    // The tool's whole text, only where a file failed with one.
    if (!item.detail.isEmpty())
        json.insert(QStringLiteral("detail"), item.detail);
    return json;
}

void CliReport::fileFinished(int index, const QueueItem &item)
{
    m_waiting[index] = { item, {} };
    m_lastFinished = index;
}

void CliReport::addLine(const QString &text, Severity level)
{
    const auto file = m_waiting.find(m_lastFinished);
    if (file != m_waiting.end())
        file->lines.append({ text, level });
    else
        printLine(text, level);
}

void CliReport::printLine(const QString &text, Severity level)
{
    if (level == Severity::Error)
        m_err(text);
    else if (!m_format.json && !m_format.quiet)
        m_out(text);
}

// Files finish in any order when several run at once; each is printed once
// all before it are out.
void CliReport::printReady(bool all)
{
    while (!m_waiting.isEmpty()) {
        const auto first = m_waiting.begin();
        if (!all && first.key() != m_nextToPrint)
            return;
        const Finished file = first.value();
        m_nextToPrint = first.key() + 1;
        m_waiting.erase(first);
        printFile(file);
    }
}

void CliReport::printFile(const Finished &file)
{
    const QueueItem &item = file.item;
    const bool failed = item.status == ItemStatus::Failed;
    for (const Line &line : file.lines)
        printLine(line.text, line.level);
    if (m_format.json) {
        if (!m_format.quiet || failed)
            m_out(compact(itemJson(item)));
        return;
    }
    // A few outcomes are not logged by the controller; every file still gets its line.
    if (!file.lines.isEmpty())
        return;
    const QString line = QStringLiteral("%1 - %2").arg(item.displayName(), item.message);
    if (failed)
        m_err(line);
    else if (!m_format.quiet)
        m_out(line);
}

void CliReport::printResumed(QJsonObject record)
{
    if (m_format.quiet)
        return;
    if (m_format.json) {
        record.insert(QStringLiteral("resumed"), true);
        m_out(compact(record));
        return;
    }
    m_out(QStringLiteral("%1 - done in the earlier run (%2)")
                    .arg(QDir::toNativeSeparators(record.value(QLatin1String("path")).toString()),
                            record.value(QLatin1String("message")).toString()));
}

void CliReport::printTotals(const BatchSummary &ran, bool cancelled, int missingPaths, int resumed)
{
    BatchSummary summary = ran;
    summary.processed += resumed;
    summary.skipped += resumed;
    if (!m_format.json) {
        // The totals line of the window's log. A quiet run is mostly one
        // appended to a log file, where its date tells runs apart.
        QString totals = RunTexts::totalsLine(summary, cancelled, m_format.analyseOnly);
        if (m_format.resuming)
            totals += QStringLiteral(" %1 of the skipped were done in the earlier run (--resume).").arg(resumed);
        if (m_format.quiet && m_started.isValid()) {
            m_out(QStringLiteral("[%1, took %2] ").arg(m_started.toString(Qt::ISODate), elapsedText(m_clock.elapsed()))
                    + totals);
        } else {
            m_out(totals);
        }
        return;
    }
    QJsonObject totals{
        { QStringLiteral("command"), m_format.analyseOnly ? QStringLiteral("analyse") : QStringLiteral("trim") },
        { QStringLiteral("processed"), summary.processed },
        { QStringLiteral("written"), summary.written },
        { QStringLiteral("skipped"), summary.skipped },
        { QStringLiteral("failed"), summary.failed },
        { QStringLiteral("secondsCut"), seconds(summary.secondsCut) },
        { QStringLiteral("secondsAdded"), seconds(summary.secondsAdded) },
        { QStringLiteral("missingPaths"), missingPaths },
        { QStringLiteral("cancelled"), cancelled },
    };
    if (m_format.resuming)
        totals.insert(QStringLiteral("resumed"), resumed);
    m_out(compact(QJsonObject{ { QStringLiteral("summary"), totals } }));
}

} // namespace ks
