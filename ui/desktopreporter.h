#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QWidget;

namespace ks {

struct BatchSummary;

// Tells the desktop about the window's batches over the session bus: the
// taskbar entry shows the progress and the files left, and a long run that
// ends while the window is not in front leaves a notification. Fire and
// forget: nothing waits for the bus, and no bus or no listener is no error.
// The Preferences switch is read when a batch starts, as the run's other
// settings are.
class DesktopReporter final : public QObject
{
    Q_OBJECT

public:
    // A run shorter than this ends without a notification.
    static constexpr int LongRunMs = 10000;

    explicit DesktopReporter(QWidget *window);
    ~DesktopReporter() override;

    void setLongRunMs(int ms) { m_longRunMs = ms; }

    // The notification's first line: "Trimmed 412 file(s), 3 failed".
    static QString headline(const BatchSummary &summary, bool cancelled, bool analyseOnly);

public Q_SLOTS:
    void onBatchProgress(int done, int total);
    void onBatchFinished(const ks::BatchSummary &summary, bool cancelled, bool analyseOnly);

private:
    Q_DISABLE_COPY_MOVE(DesktopReporter)

    void sendLauncher(double progress, qint64 left, bool visible);

    QWidget *m_window;
    QElapsedTimer m_clock;
    int m_longRunMs = LongRunMs;
    bool m_enabled = false;
    bool m_shown = false; // the taskbar entry shows this run's progress
    int m_permille = -1;  // of the progress shown last
};

} // namespace ks
