#pragma once

#include "batchsummary.h"
#include "queueitem.h"
#include "severity.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>

namespace ks {

// What kestrova-cli prints about a run: each file's log lines and its line
// or JSON record, in queue order however the files finish, then the totals.
// Errors go to standard error whatever else is asked; --quiet keeps only
// them and the totals (and the JSON records of failed files).
class CliReport final
{
public:
    using Print = std::function<void(const QString &line)>;

    struct Format
    {
        bool json = false;
        bool quiet = false;
        bool analyseOnly = false;
        bool resuming = false; // --resume given: the totals say how many files it passed over
    };

    CliReport(const Format &format, Print out, Print err);

    // When the run began, which the --quiet totals carry.
    void runStarted();
    // A file of the run finished, or went back to waiting after a stop; the
    // log lines that come next are its own.
    void fileFinished(int index, const QueueItem &item);
    // A line of the controller's log: kept for the file finished last, else
    // printed at once.
    void addLine(const QString &text, Severity level);
    // Prints the finished files next in queue order; with `all`, every one
    // still waiting.
    void printReady(bool all = false);
    // An earlier run's record of a file --resume passes over, marked as such.
    void printResumed(QJsonObject record);
    // `resumed` files are counted among the skipped, and said apart.
    void printTotals(const BatchSummary &summary, bool cancelled, int missingPaths, int resumed = 0);
    void printLine(const QString &text, Severity level);

    static QJsonObject itemJson(const QueueItem &item);

private:
    struct Line
    {
        QString text;
        Severity level = Severity::Information;
    };
    struct Finished
    {
        QueueItem item;
        QList<Line> lines;
    };
    void printFile(const Finished &file);

    Format m_format;
    Print m_out;
    Print m_err;
    QMap<int, Finished> m_waiting; // finished files not printed yet, by their place in the queue
    int m_lastFinished = -1;
    int m_nextToPrint = 0;
    QDateTime m_started;
    QElapsedTimer m_clock;
};

} // namespace ks
