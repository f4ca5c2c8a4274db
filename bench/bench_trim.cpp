// Times planning and trimming a batch of generated files through the
// program's own engine, next to the very same ffprobe/ffmpeg commands run
// straight from a shell script, so the engine's own cost per file reads off
// as a ratio.

#include "fixtures.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "samecommands.h"
#include "settings.h"
#include "trimengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

using namespace ks;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 12;

    QTemporaryDir dir;
    QString error;
    const QStringList sources = bench::makeTakes(dir.filePath(QStringLiteral("in")), count, &error);
    if (sources.isEmpty()) {
        out << error << '\n';
        return 1;
    }

    Settings settings;
    settings.outputRoot = dir.filePath(QStringLiteral("engine"));
    const ToolPaths tools = test::systemTools();
    const QString script = bench::sameCommandsScript(sources, settings, dir.filePath(QStringLiteral("shell")));

    const auto runEngine = [&] {
        for (const QString &path : sources) {
            QueueItem item;
            item.path = path;
            item.relPath = QFileInfo(path).fileName();
            item.outputPath = QDir(settings.outputRoot).filePath(item.relPath);
            MediaInfo probed;
            TrimEngine::plan(
                    item, settings, tools, [] { return false; }, [](int) {}, &probed);
            if (!TrimEngine::apply(
                        item, settings, tools, [] { return false; }, [](int) {}, &probed)
                            .ok())
                return false;
        }
        return true;
    };
    if (!bench::compareWithShell(out, QStringLiteral("engine (plan + apply)"), count, runEngine,
                dir.filePath(QStringLiteral("same-commands.sh")), script))
        return 1;
    return 0;
}
