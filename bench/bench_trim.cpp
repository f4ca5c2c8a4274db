// Times planning and trimming a batch of generated files through the
// program's own engine, next to the very same ffprobe/ffmpeg commands run
// straight from a shell script, so the engine's own cost per file reads off
// as a ratio.

#include "audiofixture.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "settings.h"
#include "silenceanalyzer.h"
#include "toollocator.h"
#include "trimengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

using namespace ks;

namespace {

QString quoted(const QString &arg)
{
    QString q = arg;
    q.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

QString commandLine(const QString &program, const QStringList &args)
{
    QStringList parts{ quoted(program) };
    for (const QString &a : args)
        parts << quoted(a);
    return parts.join(QLatin1Char(' ')) + QLatin1String(" >/dev/null 2>&1\n");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 12;
    const int rounds = 3;

    QTemporaryDir dir;
    QStringList sources;
    test::ToneSpec spec;
    spec.leadSec = 1.0;
    spec.toneSec = 27.0;
    spec.tailSec = 2.0;
    spec.channels = 2;
    for (int i = 0; i < count; ++i) {
        const QString path = dir.filePath(QStringLiteral("in/take %1.%2").arg(i).arg(i % 2 ? QStringLiteral("flac")
                                                                                          : QStringLiteral("mp3")));
        const QString error = test::makeAudio(path, spec);
        if (!error.isEmpty()) {
            out << error << '\n';
            return 1;
        }
        sources << path;
    }

    Settings settings;
    settings.outputRoot = dir.filePath(QStringLiteral("engine"));
    const QString ffprobe = ffprobePath();
    const QString ffmpeg = ffmpegPath();

    // The shell runs exactly the commands the engine runs for each file.
    QString script;
    for (const QString &path : std::as_const(sources)) {
        QueueItem item;
        item.path = path;
        TrimEngine::plan(item, settings, {}, {});
        const MediaInfo info = probeMedia(path, {});
        const QString output = dir.filePath(QStringLiteral("shell/") + QFileInfo(path).fileName());
        const QString encoder = encoderForCodec(info.codec);
        const bool reencode = TrimEngine::isLosslessCodec(info.codec);
        script += commandLine(ffprobe, probeArguments(path));
        script += commandLine(ffmpeg, SilenceAnalyzer::arguments(path, settings));
        script += commandLine(ffprobe, probeArguments(path));
        script += commandLine(ffmpeg, TrimEngine::ffmpegArguments(path, output, TrimEngine::cutFor(item),
                                                                  reencode ? &info : nullptr, encoder));
        script += QStringLiteral("mv %1 %2\n").arg(quoted(TrimEngine::temporaryPathFor(output)), quoted(output));
    }
    QDir().mkpath(dir.filePath(QStringLiteral("shell")));
    QFile scriptFile(dir.filePath(QStringLiteral("same-commands.sh")));
    scriptFile.open(QIODevice::WriteOnly);
    scriptFile.write(script.toUtf8());
    scriptFile.close();

    qint64 bestEngine = std::numeric_limits<qint64>::max();
    qint64 bestShell = std::numeric_limits<qint64>::max();
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        for (const QString &path : std::as_const(sources)) {
            QueueItem item;
            item.path = path;
            item.relPath = QFileInfo(path).fileName();
            item.outputPath = QDir(settings.outputRoot).filePath(item.relPath);
            TrimEngine::plan(item, settings, [] { return false; }, [](int) {});
            TrimEngine::apply(item, settings, [] { return false; }, [](int) {});
        }
        bestEngine = std::min(bestEngine, clock.elapsed());

        clock.restart();
        QProcess::execute(QStringLiteral("sh"), { scriptFile.fileName() });
        bestShell = std::min(bestShell, clock.elapsed());
    }

    out << "Trimming " << count << " files of 30 s (mp3 and flac), best of " << rounds << " rounds\n";
    out << QStringLiteral("  engine (plan + apply): %1 ms per file\n").arg(double(bestEngine) / count, 0, 'f', 1);
    out << QStringLiteral("  same commands in sh:   %1 ms per file\n").arg(double(bestShell) / count, 0, 'f', 1);
    out << QStringLiteral("  ratio engine / shell:  %1\n").arg(double(bestEngine) / bestShell, 0, 'f', 3);
    return 0;
}
