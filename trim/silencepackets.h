#pragma once

#include "toolrunner.h"

#include <QString>
#include <QStringList>

#include <memory>

class QTemporaryDir;

namespace ks {

// The silence a lossless cut joins to a file's ends, in samples of its
// decoded stream, and the coded silence to join: made once by ffmpeg's
// encoder of the file's codec so that the file's own decoder reads it, where
// a cutter cannot write silent frames itself.
class SilencePackets final
{
public:
    SilencePackets() = default;
    SilencePackets(qint64 headSamples, qint64 tailSamples, const QString &ffmpeg, const CancelCallback &cancelled);

    qint64 head() const { return m_head; }
    qint64 tail() const { return m_tail; }
    bool none() const { return m_head <= 0 && m_tail <= 0; }

    // Encodes `samples` of digital silence at `rate` in `channels` with
    // `codec`'s arguments into a temporary `suffix` file that lives as long as
    // this; its path, or empty with `why` ("cancelled" when stopped).
    QString encode(int rate, int channels, qint64 samples, const QStringList &codec, const QString &suffix,
            QString &why) const;

private:
    qint64 m_head = 0;
    qint64 m_tail = 0;
    QString m_ffmpeg;
    CancelCallback m_cancelled;
    mutable std::shared_ptr<QTemporaryDir> m_dir; // made when first encoded into
};

} // namespace ks
