#include "silencepackets.h"

#include <QDir>
#include <QTemporaryDir>

namespace ks {

namespace {

// ffmpeg's names for the layouts its encoders take for 1 to 8 channels, in
// the order Vorbis and Opus map them.
QString layoutOf(int channels)
{
    static const char *const names[] = { "mono", "stereo", "3.0", "quad", "5.0", "5.1", "6.1", "7.1" };
    return channels >= 1 && channels <= 8 ? QLatin1String(names[channels - 1]) : QString();
}

} // namespace

SilencePackets::SilencePackets(
        qint64 headSamples, qint64 tailSamples, const QString &ffmpeg, const CancelCallback &cancelled)
    : m_head(headSamples)
    , m_tail(tailSamples)
    , m_ffmpeg(ffmpeg)
    , m_cancelled(cancelled)
{
}

QString SilencePackets::encode(
        int rate, int channels, qint64 samples, const QStringList &codec, const QString &suffix, QString &why) const
{
    const QString layout = layoutOf(channels);
    if (layout.isEmpty() || rate <= 0 || m_ffmpeg.isEmpty()) {
        why = QStringLiteral("no silence to join for %1 channels").arg(channels);
        return QString();
    }
    if (!m_dir) {
        m_dir = std::make_shared<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("kestrova-silence-XXXXXX")));
    }
    if (!m_dir->isValid()) {
        why = QStringLiteral("cannot make a folder for the silence to join");
        return QString();
    }
    const QString path = m_dir->filePath(QStringLiteral("silence.") + suffix);
    QFile::remove(path);
    const QStringList arguments = QStringList{ QStringLiteral("-nostdin"), QStringLiteral("-v"),
        QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
        QStringLiteral("anullsrc=r=%1:cl=%2").arg(rate).arg(layout), QStringLiteral("-af"),
        QStringLiteral("atrim=end_sample=%1").arg(samples) }
            + codec + QStringList{ QStringLiteral("-y"), path };
    const ToolRun run = runTool(m_ffmpeg, arguments, m_cancelled, {}, {});
    if (run.cancelled) {
        why = QStringLiteral("cancelled");
        return QString();
    }
    if (!run.started || run.exitCode != 0 || !QFile::exists(path)) {
        why = QStringLiteral("ffmpeg could not encode the silence to join");
        return QString();
    }
    return path;
}

} // namespace ks
