#include "mp2cutter.h"

#include "mappedfile.h"
#include "mediaprobe.h"
#include "mp3cutter.h"
#include "mp3stream.h"

namespace ks {

bool Mp2Cutter::handles(const MediaInfo &source)
{
    return source.ok && source.formatName == QLatin1String("mp3") && source.codec == QLatin1String("mp2")
            && source.framesInSync;
}

StepResult Mp2Cutter::cut(const QString &sourcePath, const QString &outputPath, qint64 firstSample, qint64 sampleCount,
        const SilencePackets &silence)
{
    if (!silence.none())
        return StepResult::leftAlone(QStringLiteral("silence is not joined to MP2 frames"));
    if (const StepResult apart = Mp3Cutter::apart(sourcePath, outputPath); !apart.ok())
        return apart;
    const MappedFile file(sourcePath);
    const uchar *data = file.data();
    if (!data)
        return StepResult::failure(QStringLiteral("cannot read the MP2"));
    const Mp3Stream source = Mp3Stream::read(data, file.size());
    if (!source.problem.isEmpty())
        return StepResult::failure(source.problem);
    if (source.format.layer != 2)
        return StepResult::failure(QStringLiteral("not an MP2 file"));
    const auto frames = qint64(source.frames.size());
    const qint64 first = firstKept(sourcePath, firstSample) / FrameSamples;
    const qint64 end = endKept(sourcePath, firstSample + sampleCount) / FrameSamples;
    if (firstSample < 0 || sampleCount < 1 || end > frames) {
        return StepResult::failure(QStringLiteral("samples %1 to %2 are not within the MP2's %3")
                                           .arg(firstSample)
                                           .arg(firstSample + sampleCount)
                                           .arg(frames * FrameSamples));
    }
    const qint64 from = source.frames.at(first);
    const qint64 to = end < frames ? source.frames.at(end) : source.audioEnd;
    const auto bytes = [data](qint64 begin, qint64 stop) { return QByteArrayView(data + begin, stop - begin); };
    return Mp3Cutter::writeOut(
            outputPath, { bytes(0, source.audioStart), bytes(from, to), bytes(source.audioEnd, file.size()) });
}

qint64 Mp2Cutter::firstKept(const QString &, qint64 sample)
{
    return sample / FrameSamples * FrameSamples;
}

qint64 Mp2Cutter::endKept(const QString &, qint64 end)
{
    return (end + FrameSamples - 1) / FrameSamples * FrameSamples;
}

} // namespace ks
