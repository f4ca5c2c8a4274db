// Times kestrova-cli against the floor of its design, measured in the same
// run: for a trim, the three child processes every file needs (ffprobe, a
// silencedetect decode of the whole file, the ffmpeg write) run one after
// another by sh; for an analysis, ffprobe and the whole-file decode. Each
// side runs three times, in alternating order, and the medians are compared.
// The floor scripts are written out beside the results so anyone can rerun
// them.
//
//   bench_cli [FILES [MINUTES [ANALYSIS_MINUTES [SCRIPT_FOLDER]]]]
//   (defaults: 12 files of 3 minutes, one file of 60 minutes)

#include "fixtures.h"
#include "mediaprobe.h"
#include "samecommands.h"
#include "settings.h"
#include "silenceanalyzer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

using namespace ks;

namespace {

bool writeScript(const QString &path, const QString &script)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(script.toUtf8()) >= 0;
}

bool runCli(QTextStream &out, const QStringList &arguments)
{
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cli.start(QStringLiteral(KESTROVA_CLI), arguments);
    if (cli.waitForFinished(-1) && cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0)
        return true;
    out << "kestrova-cli " << arguments.join(QLatin1Char(' ')) << " failed\n";
    return false;
}

struct Side
{
    QString label;
    std::function<bool()> run;
    std::vector<qint64> times;
    double goal = 0.0; // the most this side may take, as a share of the floor; 0 for the floor itself
};

// The machine's load over the last minute, five and fifteen, as the kernel gives it.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readLine()).section(QLatin1Char(' '), 0, 2)
                                          : QStringLiteral("unknown");
}

// Runs every side three times, the order turned round each round, and
// prints each median as a ratio to the last side, the floor.
bool compare(QTextStream &out, const QString &title, std::vector<Side> &sides)
{
    constexpr int Rounds = 3;
    for (int round = 0; round < Rounds; ++round) {
        for (size_t n = 0; n < sides.size(); ++n) {
            Side &side = sides.at(round % 2 ? sides.size() - 1 - n : n);
            QElapsedTimer clock;
            clock.start();
            if (!side.run())
                return false;
            side.times.push_back(clock.elapsed());
        }
    }
    const auto median = [](std::vector<qint64> times) {
        std::sort(times.begin(), times.end());
        return double(times.at(times.size() / 2));
    };
    const double floor = median(sides.back().times);
    out << title << ", median of " << Rounds << " rounds in alternating order (load average " << loadAverage() << ")\n";
    for (const Side &side : sides) {
        const double ratio = median(side.times) / floor;
        out << QStringLiteral("  %1 %2 ms   %3 x the floor%4\n")
                        .arg(side.label + u':', -30)
                        .arg(median(side.times), 8, 'f', 0)
                        .arg(ratio, 0, 'f', 3)
                        .arg(side.goal > 0 ? QStringLiteral("   goal <= %1: %2")
                                                     .arg(side.goal, 0, 'f', 2)
                                                     .arg(ratio <= side.goal ? QStringLiteral("met")
                                                                             : QStringLiteral("NOT met"))
                                           : QString());
    }
    out.flush();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments().mid(1);
    const int count = args.size() > 0 ? args.at(0).toInt() : 12;
    const double minutes = args.size() > 1 ? args.at(1).toDouble() : 3.0;
    const double analysisMinutes = args.size() > 2 ? args.at(2).toDouble() : 60.0;

    QTemporaryDir dir;
    const QString scripts = args.size() > 3 ? args.at(3) : dir.path();
    QDir().mkpath(scripts);
    QString error;
    const QString in = dir.filePath(QStringLiteral("in"));
    const QStringList sources = bench::makeTakes(in, count, &error, minutes * 60.0 - 3.0, { QStringLiteral("mp3") });
    if (sources.isEmpty()) {
        out << error << '\n';
        return 1;
    }

    // Stream copies cut to the built-in 150 ms at each end.
    const QString trimFloor = QDir(scripts).filePath(QStringLiteral("trim-floor.sh"));
    if (!writeScript(trimFloor,
                bench::sameCommandsScript(sources, Settings(), dir.filePath(QStringLiteral("floor")), false)))
        return 1;
    const auto trim = [&](const char *jobs) {
        return [&out, &dir, &in, jobs] {
            return runCli(out,
                    { QStringLiteral("trim"), QStringLiteral("--no-settings"), QStringLiteral("--quiet"),
                            QStringLiteral("--jobs"), QLatin1String(jobs), QStringLiteral("--out"),
                            dir.filePath(QStringLiteral("cli")), in });
        };
    };
    std::vector<Side> trims{
        { QStringLiteral("kestrova-cli trim --jobs 1"), trim("1"), {}, 0.65 },
        { QStringLiteral("kestrova-cli trim --jobs 2"), trim("2"), {}, 0.40 },
        { QStringLiteral("floor (sh %1)").arg(QFileInfo(trimFloor).fileName()),
                [&] { return QProcess::execute(QStringLiteral("sh"), { trimFloor }) == 0; }, {} },
    };
    if (!compare(out, QStringLiteral("Trimming %1 mp3 files of %2 min").arg(count).arg(minutes), trims))
        return 1;

    // One long spoken-word file: the measurement needs only its ends.
    test::ToneShape speech;
    speech.leadSec = 2.0;
    speech.toneSec = analysisMinutes * 60.0 - 5.0;
    speech.tailSec = 3.0;
    const QString longFile = dir.filePath(QStringLiteral("long/episode.mp3"));
    if (const QString failure = test::makeAudio(longFile, speech); !failure.isEmpty()) {
        out << failure << '\n';
        return 1;
    }
    const ToolPaths tools = test::systemTools();
    const QString analysisFloor = QDir(scripts).filePath(QStringLiteral("analysis-floor.sh"));
    const QString script = bench::commandLine(tools.ffprobe, probeArguments(longFile))
            + bench::commandLine(tools.ffmpeg, SilenceAnalyzer::arguments(longFile, Settings()));
    if (!writeScript(analysisFloor, script))
        return 1;
    std::vector<Side> analyses{
        { QStringLiteral("kestrova-cli analyse"),
                [&] {
                    return runCli(out,
                            { QStringLiteral("analyse"), QStringLiteral("--no-settings"), QStringLiteral("--quiet"),
                                    longFile });
                },
                {}, 0.10 },
        { QStringLiteral("floor (sh %1)").arg(QFileInfo(analysisFloor).fileName()),
                [&] { return QProcess::execute(QStringLiteral("sh"), { analysisFloor }) == 0; }, {} },
    };
    if (!compare(out, QStringLiteral("Analysing one mp3 file of %1 min").arg(analysisMinutes), analyses))
        return 1;
    return 0;
}
