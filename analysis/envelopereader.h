#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

class QProcess;

namespace ks {

// Reads the outline of one stretch of a file: ffmpeg decodes it to low-rate
// mono 16-bit samples on its standard output, and every millisecond of them
// is kept as its lowest and highest sample. The child runs asynchronously,
// so the caller's thread only folds the samples in as they arrive.
class EnvelopeReader final : public QObject
{
    Q_OBJECT

public:
    using Peak = QPair<qint16, qint16>; // the lowest and highest sample of a stretch

    static constexpr int SampleRate = 8000;
    static constexpr int SamplesPerPeak = 8;
    static constexpr double PeakSec = double(SamplesPerPeak) / SampleRate;

    // Folds raw little-endian samples into peaks, whatever the chunks' sizes.
    struct Reduction
    {
        QList<Peak> peaks;
        int filled = 0;  // samples already in the last peak
        QByteArray rest; // an odd byte waiting for its partner

        void add(const QByteArray &chunk);
    };

    explicit EnvelopeReader(QObject *parent = nullptr);
    ~EnvelopeReader() override;

    // Decodes `lengthSec` from `startSec` of the first audio stream, after
    // cancelling any read still running; `finished` follows.
    void start(const QString &ffmpeg, const QString &path, double startSec, double lengthSec);
    // Kills a running child; no `finished` follows for it.
    void cancel();
    bool isRunning() const { return m_process != nullptr; }

    static QStringList arguments(const QString &path, double startSec, double lengthSec);

Q_SIGNALS:
    // An empty error on success.
    void finished(const QList<ks::EnvelopeReader::Peak> &peaks, const QString &error);

private:
    Q_DISABLE_COPY_MOVE(EnvelopeReader)

    void finish(const QString &error);

    QProcess *m_process = nullptr;
    Reduction m_reduction;
};

} // namespace ks
