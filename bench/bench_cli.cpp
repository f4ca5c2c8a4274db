// Times kestrova-cli trimming a folder of generated files, next to the very
// same ffprobe/ffmpeg commands run straight from a shell script, so the cost
// of the command line (start-up, settings, scan, worker thread, output) on
// top of the tools reads off as a ratio.

#include "samecommands.h"
#include "settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
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
    const QString in = dir.filePath(QStringLiteral("in"));
    const QStringList sources = bench::makeTakes(in, count, &error);
    if (sources.isEmpty()) {
        out << error << '\n';
        return 1;
    }

    // The command line runs with the built-in defaults, as the script does.
    const QString script = bench::sameCommandsScript(sources, Settings(), dir.filePath(QStringLiteral("shell")));
    const QStringList arguments{ QStringLiteral("trim"), QStringLiteral("--no-settings"), QStringLiteral("--quiet"),
                                 QStringLiteral("--out"), dir.filePath(QStringLiteral("cli")), in };

    qint64 bestCli = std::numeric_limits<qint64>::max();
    qint64 bestShell = std::numeric_limits<qint64>::max();
    for (int round = 0; round < rounds; ++round) {
        QProcess cli;
        cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        cli.start(QStringLiteral(KESTROVA_CLI), arguments);
        if (!cli.waitForFinished(-1) || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            out << "kestrova-cli failed: " << cli.readAllStandardOutput() << '\n';
            return 1;
        }
        bestCli = std::min(bestCli, clock.elapsed());
        bestShell = std::min(bestShell, bench::runScript(dir.filePath(QStringLiteral("same-commands.sh")), script));
    }

    out << "Trimming " << count << " files of 30 s (mp3 and flac), best of " << rounds << " rounds\n";
    out << QStringLiteral("  kestrova-cli trim:     %1 ms per file\n").arg(double(bestCli) / count, 0, 'f', 1);
    out << QStringLiteral("  same commands in sh:   %1 ms per file\n").arg(double(bestShell) / count, 0, 'f', 1);
    out << QStringLiteral("  ratio cli / shell:     %1\n").arg(double(bestCli) / bestShell, 0, 'f', 3);
    return 0;
}
