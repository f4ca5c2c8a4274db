// Times the lossless cutters against what a trim would otherwise run: a
// re-encode for Opus and Vorbis, ffmpeg's stream copy for MP3 (and AAC in
// MP4, where a cutter takes it); and silence joined at both ends against
// the re-encode that would add it. Each side writes the same cut of the
// same file; the medians of three are compared as a ratio.
//
//   bench_cutters [MINUTES]   (default: 10-minute stereo files)

#include "exactcut.h"
#include "fixtures.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "rewriteplan.h"
#include "settings.h"
#include "toolrunner.h"
#include "trimengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>

using namespace ks;

namespace {

struct Format
{
    QString suffix;
    QStringList encoding; // how the source is made
    TrimMethod otherMethod;
};

qint64 medianOfThree(const std::function<bool()> &run)
{
    QList<qint64> times;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer clock;
        clock.start();
        if (!run())
            return -1;
        times << clock.elapsed();
    }
    std::sort(times.begin(), times.end());
    return times.at(1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const double minutes = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 10.0;
    const ToolPaths tools = test::systemTools();
    const EncoderList encoders = tools.availableEncoders({});
    QTemporaryDir dir;

    const QList<Format> formats{
        { QStringLiteral("opus"), { QStringLiteral("-b:a"), QStringLiteral("96k") }, TrimMethod::ReEncode },
        { QStringLiteral("ogg"), { QStringLiteral("-c:a"), QStringLiteral("libvorbis") }, TrimMethod::ReEncode },
        { QStringLiteral("mp3"), { QStringLiteral("-b:a"), QStringLiteral("192k") }, TrimMethod::StreamCopy },
        { QStringLiteral("m4a"), { QStringLiteral("-b:a"), QStringLiteral("128k") }, TrimMethod::StreamCopy },
    };
    out << QStringLiteral("Cutting %1-minute stereo files, 0.85 s off each end, and adding as much, median of 3\n")
                    .arg(minutes);
    for (const Format &format : formats) {
        const QString source = dir.filePath(QStringLiteral("take.") + format.suffix);
        test::ToneShape shape{ 1.0, minutes * 60.0 - 2.0, 1.0 };
        shape.channels = 2;
        shape.sampleRate = format.suffix == QLatin1String("opus") ? 48000 : 44100;
        if (const QString failure = test::makeAudio(source, shape, format.encoding); !failure.isEmpty()) {
            out << failure << '\n';
            return 1;
        }
        const MediaInfo probed = probeMedia(tools, source, {});
        if (!ExactCut::handles(probed)) {
            out << QStringLiteral("  %1: no lossless cutter takes it\n").arg(format.suffix, -5);
            continue;
        }
        // Cut back, then topped up by as much, where silence can be joined.
        for (const double change : { -0.85, 0.85 }) {
            QueueItem item;
            item.path = source;
            item.durationSec = probed.durationSec;
            item.headChangeSec = item.tailChangeSec = change;
            item.newDurationSec = item.durationSec + 2 * change;
            const QString written = dir.filePath(QStringLiteral("cut.") + format.suffix);
            const RewritePlan::Cut cut = RewritePlan::cutFor(item);
            const qint64 exact = medianOfThree(
                    [&] { return ExactCut::write(source, written, cut, probed, tools.ffmpeg, {}).proceeds(); });
            if (exact < 0)
                continue;

            Settings settings;
            settings.trimMethod = change > 0 ? TrimMethod::StreamCopy : format.otherMethod;
            const RewritePlan other = RewritePlan::make(item, settings, probed, encoders, false);
            const QStringList args = TrimEngine::ffmpegArguments(source, written, other, probed);
            const qint64 ffmpeg = medianOfThree([&] {
                const ToolRun run = runTool(tools.ffmpeg, args, {}, {}, {});
                return run.started && run.exitCode == 0;
            });
            QFile::remove(TrimEngine::temporaryPathFor(written));
            const QString what
                    = other.reencodes() ? QStringLiteral("re-encode") : QStringLiteral("ffmpeg's stream copy");
            out << QStringLiteral("  %1: %2 %3 ms, %4 %5 ms: %6 x as fast\n")
                            .arg(format.suffix, -5)
                            .arg(change > 0 ? QStringLiteral("silence joined") : QStringLiteral("lossless cut"))
                            .arg(exact)
                            .arg(what)
                            .arg(ffmpeg)
                            .arg(exact > 0 ? double(ffmpeg) / double(exact) : 0.0, 0, 'f', 1);
            out.flush();
        }
    }
    return 0;
}
