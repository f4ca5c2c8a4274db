// Times planning and trimming a batch of generated files through the
// program's own engine, next to the very same ffprobe/ffmpeg commands run
// straight from a shell script, so the engine's own cost per file reads off
// as a ratio.

#include "queueitem.h"
#include "samecommands.h"
#include "settings.h"
#include "trimengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <limits>

using namespace ks;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 12;
    const int rounds = 3;

    QTemporaryDir dir;
    QString error;
    const QStringList sources = bench::makeTakes(dir.filePath(QStringLiteral("in")), count, &error);
    if (sources.isEmpty()) {
        out << error << '\n';
        return 1;
    }

    Settings settings;
    settings.outputRoot = dir.filePath(QStringLiteral("engine"));
    const QString script = bench::sameCommandsScript(sources, settings, dir.filePath(QStringLiteral("shell")));

    qint64 bestEngine = std::numeric_limits<qint64>::max();
    qint64 bestShell = std::numeric_limits<qint64>::max();
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        for (const QString &path : sources) {
            QueueItem item;
            item.path = path;
            item.relPath = QFileInfo(path).fileName();
            item.outputPath = QDir(settings.outputRoot).filePath(item.relPath);
            TrimEngine::plan(item, settings, [] { return false; }, [](int) {});
            TrimEngine::apply(item, settings, [] { return false; }, [](int) {});
        }
        bestEngine = std::min(bestEngine, clock.elapsed());
        bestShell = std::min(bestShell, bench::runScript(dir.filePath(QStringLiteral("same-commands.sh")), script));
    }

    out << "Trimming " << count << " files of 30 s (mp3 and flac), best of " << rounds << " rounds\n";
    out << QStringLiteral("  engine (plan + apply): %1 ms per file\n").arg(double(bestEngine) / count, 0, 'f', 1);
    out << QStringLiteral("  same commands in sh:   %1 ms per file\n").arg(double(bestShell) / count, 0, 'f', 1);
    out << QStringLiteral("  ratio engine / shell:  %1\n").arg(double(bestEngine) / bestShell, 0, 'f', 3);
    return 0;
}
