#include "envelopereader.h"

#include "textformat.h"

#include "toolmessage.h"
#include "toolrunner.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace ks {

void EnvelopeReader::Reduction::add(const QByteArray &chunk)
{
    QByteArray bytes = rest + chunk;
    const qsizetype whole = bytes.size() / 2 * 2;
    rest = bytes.mid(whole);
    const uchar *data = reinterpret_cast<const uchar *>(bytes.constData());
    for (qsizetype at = 0; at < whole; at += 2) {
        const qint16 sample = qFromLittleEndian<qint16>(data + at);
        if (filled == 0) {
            peaks.append({ sample, sample });
        } else {
            Peak &peak = peaks.last();
            peak.first = std::min(peak.first, sample);
            peak.second = std::max(peak.second, sample);
        }
        filled = (filled + 1) % SamplesPerPeak;
    }
}

EnvelopeReader::EnvelopeReader(QObject *parent)
    : QObject(parent)
{
}

EnvelopeReader::~EnvelopeReader()
{
    cancel();
}

QStringList EnvelopeReader::arguments(const QString &path, double startSec, double lengthSec)
{
    return { QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-nostats"),
        QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-ss"), fixed(std::max(startSec, 0.0), 3),
        QStringLiteral("-t"), fixed(std::max(lengthSec, 0.0), 3), QStringLiteral("-i"), path, QStringLiteral("-map"),
        QStringLiteral("0:a:0"), QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-ar"),
        QString::number(SampleRate), QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("pipe:1") };
}

void EnvelopeReader::start(const QString &ffmpeg, const QString &path, double startSec, double lengthSec)
{
    cancel();
    m_reduction = {};
    if (ffmpeg.isEmpty()) {
        Q_EMIT finished({}, QStringLiteral("tool not found"));
        return;
    }
    if (const QString refused = inputRefusal(path); !refused.isEmpty()) {
        Q_EMIT finished({}, refused);
        return;
    }
    auto *process = new QProcess(this);
    m_process = process;
    process->setProcessChannelMode(QProcess::SeparateChannels);
    bindToParent(*process);
    // Restarted by every read; a child quiet for the whole limit is stuck.
    auto *quiet = new QTimer(process);
    quiet->setSingleShot(true);
    quiet->setInterval(stallLimit());
    connect(quiet, &QTimer::timeout, this, [this, ffmpeg, limit = quiet->interval()] {
        discardChild(std::exchange(m_process, nullptr), this);
        Q_EMIT finished({}, ToolMessage::stalled(QFileInfo(ffmpeg).fileName(), limit));
    });
    connect(process, &QProcess::started, quiet, qOverload<>(&QTimer::start));
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process, quiet] {
        quiet->start();
        m_reduction.add(process->readAllStandardOutput());
    });
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        m_reduction.add(process->readAllStandardOutput());
        finish(status == QProcess::NormalExit && exitCode == 0 ? QString() : QStringLiteral("decode failed"));
    });
    connect(process, &QProcess::errorOccurred, this, [this, ffmpeg](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(QStringLiteral("failed to start %1").arg(QFileInfo(ffmpeg).fileName()));
    });
    process->start(ffmpeg, arguments(path, startSec, lengthSec), QIODevice::ReadOnly);
}

void EnvelopeReader::finish(const QString &error)
{
    if (!m_process)
        return;
    m_process->deleteLater();
    m_process = nullptr;
    Q_EMIT finished(error.isEmpty() ? m_reduction.peaks : QList<Peak>(), error);
}

void EnvelopeReader::cancel()
{
    discardChild(std::exchange(m_process, nullptr), this);
}

} // namespace ks
