#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class QTimer;

namespace ks {

class BlockMeter;
class DayTimeline;
class SegmentDisplay;
class StatusChip;

// The dark status panel in the manner of a vacuum fluorescent display: the
// elapsed-time clock, the FILE and BATCH meters, the indicator and value
// chips, today's timeline and the summary line. It holds no run state of its
// own beyond what it shows; the main window calls one setter per quantity.
class VfdPanel final : public QFrame
{
    Q_OBJECT

public:
    enum Phase { Idle = 0, Scanning = 1, Analysing = 2, Trimming = 3, Error = 4 };

    explicit VfdPanel(QWidget *parent = nullptr);

    // Every phase but Error darkens ERR; Idle also blanks the meters and the
    // file name.
    void setPhase(Phase phase);
    // Negative: no run time.
    void setElapsedSeconds(int seconds);
    // 0..100, or -1 for a blank meter.
    void setFileProgress(int percent);
    void setBatchProgress(int percent);
    void setCurrentFile(const QString &fileName);
    void setDetection(const QString &text);
    void setEnds(const QString &text);
    void setOutput(const QString &text);
    void setSummary(const QString &text);
    void setSkipLit(bool lit);
    void setErrorLit(bool lit);
    void markToday();
    void clearToday();

    // "-:--:--" for a negative count, otherwise H:MM:SS with open-ended hours.
    static QString clockText(int seconds);
    // The widths the file name and the output line are elided to.
    static int fileElideWidth(int panelWidth);
    static int outputElideWidth(int panelWidth, int detectionWidth, int endsWidth);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    Q_DISABLE_COPY_MOVE(VfdPanel)

    QLabel *makeLabel(const QString &text, const char *role, Qt::Alignment alignment);
    void refreshFileLine();
    void refreshOutputLine();
    void refreshCurrentSlot();

    SegmentDisplay *m_clock;
    BlockMeter *m_fileMeter;
    BlockMeter *m_batchMeter;
    DayTimeline *m_timeline;
    StatusChip *m_scanChip;
    StatusChip *m_trimChip;
    StatusChip *m_skipChip;
    StatusChip *m_errorChip;
    StatusChip *m_detectionChip;
    StatusChip *m_endsChip;
    QLabel *m_fileLabel;
    QLabel *m_outputLabel;
    QLabel *m_summaryLabel;
    QTimer *m_clockTimer;
    QString m_fileName;
    QString m_outputText;
};

} // namespace ks
