// Times kestrova-cli trimming a folder of generated files, next to the very
// same ffprobe/ffmpeg commands run straight from a shell script, so the cost
// of the command line (start-up, settings, scan, worker thread, output) on
// top of the tools reads off as a ratio.

#include "samecommands.h"
#include "settings.h"

#include <QCoreApplication>
#include <QProcess>
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

    const auto runCli = [&] {
        QProcess cli;
        cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        cli.start(QStringLiteral(KESTROVA_CLI), arguments);
        if (cli.waitForFinished(-1) && cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0)
            return true;
        out << "kestrova-cli failed: " << cli.readAllStandardOutput() << '\n';
        return false;
    };
    if (!bench::compareWithShell(out, QStringLiteral("kestrova-cli trim"), count, runCli,
                                 dir.filePath(QStringLiteral("same-commands.sh")), script))
        return 1;
    return 0;
}
