#pragma once

#include <QList>
#include <QPair>
#include <QWidget>

namespace ks {

// One edge of a file as a waveform on the status panel's glass: its outline
// on a decibel scale, the detected silence shaded, the silence threshold as
// a level above and below the centre, the line where the new file begins or
// ends, and a hatched block for silence that is added there.
class EdgeStrip final : public QWidget
{
    Q_OBJECT

public:
    using Peak = QPair<qint16, qint16>; // the lowest and highest sample of a stretch

    // What the strip shows, in seconds of the file it draws.
    struct Scene
    {
        double fromSec = 0.0; // the strip's left end
        double toSec = 0.0;   // and its right end
        double silenceFromSec = 0.0;
        double silenceToSec = 0.0;
        double edgeSec = 0.0;      // where the new file begins or ends
        double addedFromSec = 0.0; // silence added at the edge; none when empty
        double addedToSec = 0.0;
        bool keepsAfterEdge = true; // a head keeps what follows its edge, a tail what comes before
        double thresholdDb = -50.0;
    };

    // The scale runs from this far below the threshold up to full scale.
    static constexpr double ScaleBelowThresholdDb = 30.0;

    explicit EdgeStrip(QWidget *parent = nullptr);

    const Scene &scene() const { return m_scene; }
    bool hasPeaks() const { return !m_peaks.isEmpty(); }
    const QList<Peak> &peaks() const { return m_peaks; }
    double peaksFromSec() const { return m_peaksFromSec; }
    double peakSec() const { return m_peakSec; }

    void setScene(const Scene &scene);
    // Peaks of `peakSec` each, the first one starting at `fromSec`.
    void setPeaks(const QList<Peak> &peaks, double fromSec, double peakSec);
    void clearPeaks();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The column a moment falls in, 0..width (width only at the right end).
    static int columnAt(double sec, double fromSec, double toSec, int width);
    // The columns from one moment up to another, as [first, end).
    static QPair<int, int> columnSpan(double startSec, double endSec, const Scene &scene, int width);
    // The lowest and highest sample in each column; {0, 0} where nothing falls.
    static QList<Peak> columns(
            const QList<Peak> &peaks, double peaksFromSec, double peakSec, double fromSec, double toSec, int width);
    // The height a sample reaches from the centre, as a share of the half
    // height: 0 at `floorDb` and below, 1 at full scale.
    static double level(int sample, double floorDb);
    // The row a sample is drawn at; positive ones above the centre.
    static int sampleY(int sample, double floorDb, int height);
    // The row of the threshold's upper level; the lower one mirrors it.
    static int thresholdY(double thresholdDb, int height);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Q_DISABLE_COPY_MOVE(EdgeStrip)

    Scene m_scene;
    QList<Peak> m_peaks;
    double m_peaksFromSec = 0.0;
    double m_peakSec = 0.001;
};

} // namespace ks
