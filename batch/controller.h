#pragma once

#include "batchsummary.h"
#include "queueitem.h"
#include "settings.h"
#include "severity.h"
#include "stoptoken.h"

#include <QList>
#include <QObject>
#include <QStringList>

class QThreadPool;

namespace ks {

struct FileOutcome;

// The worker of the program. It lives on its own thread and does the slow
// jobs: folder scans, and batches of several files at once on a small pool
// of threads of its own, each file with its own child processes. Each job
// comes with its own stop token, read between and inside the steps of a
// file; the window hears back only through the signals, results by value.
class Controller final : public QObject
{
    Q_OBJECT

public:
    explicit Controller(QObject *parent = nullptr);

    // Files worked on at once for the setting: 0 is one per processor core.
    static int jobCount(int parallelJobs);

    void scan(const QString &root, const QStringList &extensions, bool recursive, const StopToken &stop = {});
    void process(const QList<ks::QueueItem> &items, const ks::Settings &settings, bool analyseOnly,
            const StopToken &stop = {});

Q_SIGNALS:
    // Every FolderScan::ReportEvery files found.
    void scanProgress(int filesFound);
    // `namesNotUtf8`: files skipped, each named in a message.
    void scanFinished(const QStringList &files, const QString &root, bool cancelled, int namesNotUtf8);
    // `index` is the item's place in the run; the item carries its queue id.
    void itemChanged(int index, const ks::QueueItem &item);
    void fileProgress(int index, int percent);
    void batchProgress(int done, int total);
    void batchFinished(const ks::BatchSummary &summary, bool cancelled, bool analyseOnly);
    void message(const QString &text, ks::Severity severity);

private:
    Q_DISABLE_COPY_MOVE(Controller)

    struct Run;
    void runFiles(Run &run);
    void processFile(Run &run, int index);
    QString waitForEarlierWriter(Run &run, int index, const QString &outputPath);
    static QString claimSecondName(Run &run, const QString &outputPath);
    void report(Run &run, int index, const FileOutcome &outcome);

    QThreadPool *m_pool;
};

} // namespace ks
