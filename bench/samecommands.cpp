#include "samecommands.h"

#include "fixtures.h"
#include "mediaprobe.h"
#include "queueitem.h"
#include "rewriteplan.h"
#include "settings.h"
#include "silenceanalyzer.h"
#include "trimengine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <limits>

namespace ks::bench {

namespace {

QString quoted(const QString &arg)
{
    QString q = arg;
    q.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

} // namespace

QString commandLine(const QString &program, const QStringList &args)
{
    QStringList parts{ quoted(program) };
    for (const QString &a : args)
        parts << quoted(a);
    return parts.join(QLatin1Char(' ')) + QLatin1String(" >/dev/null 2>&1\n");
}

QStringList makeTakes(const QString &folder, int count, QString *error, double toneSec, const QStringList &suffixes)
{
    test::ToneShape spec;
    spec.leadSec = 1.0;
    spec.toneSec = toneSec;
    spec.tailSec = 2.0;
    spec.channels = 2;
    QStringList sources;
    for (int i = 0; i < count; ++i) {
        const QString &suffix = suffixes.at(i % suffixes.size());
        const QString path = QDir(folder).filePath(QStringLiteral("take %1.%2").arg(i).arg(suffix));
        const QString failure = test::makeAudio(path, spec);
        if (!failure.isEmpty()) {
            if (error)
                *error = failure;
            return {};
        }
        sources << path;
    }
    return sources;
}

QString sameCommandsScript(
        const QStringList &sources, const Settings &settings, const QString &outputFolder, bool readBack)
{
    const ToolPaths tools = test::systemTools();
    const QString &ffprobe = tools.ffprobe;
    const QString &ffmpeg = tools.ffmpeg;
    QString script = QStringLiteral("mkdir -p %1\n").arg(quoted(outputFolder));
    for (const QString &path : sources) {
        QueueItem item;
        item.path = path;
        MediaInfo info;
        TrimEngine::plan(item, settings, tools, {}, {}, &info);
        const QString output = QDir(outputFolder).filePath(QFileInfo(path).fileName());
        // The write the program would make, copy or re-encode.
        const RewritePlan rewrite = RewritePlan::make(item, settings, info, tools.encoders);
        // Planning probes and measures; writing runs ffmpeg and reads the new
        // file back before it takes the old one's place.
        const QString written = TrimEngine::temporaryPathFor(output);
        script += commandLine(ffprobe, probeArguments(path));
        script += commandLine(ffmpeg, SilenceAnalyzer::arguments(path, settings));
        script += commandLine(ffmpeg, TrimEngine::ffmpegArguments(path, output, rewrite, info));
        if (readBack) {
            script += commandLine(ffprobe, probeArguments(written));
            script += QStringLiteral("mv %1 %2\n").arg(quoted(written), quoted(output));
        }
    }
    return script;
}

bool compareWithShell(QTextStream &out, const QString &label, int fileCount, const std::function<bool()> &side,
        const QString &scriptPath, const QString &script)
{
    QFile file(scriptPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0)
        return false;
    file.close();

    constexpr int Rounds = 3;
    qint64 bestSide = std::numeric_limits<qint64>::max();
    qint64 bestShell = std::numeric_limits<qint64>::max();
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        if (!side())
            return false;
        bestSide = std::min(bestSide, clock.elapsed());
        clock.restart();
        QProcess::execute(QStringLiteral("sh"), { scriptPath });
        bestShell = std::min(bestShell, clock.elapsed());
    }

    out << "Trimming " << fileCount << " files of 30 s (mp3 and flac), best of " << Rounds << " rounds\n";
    out << QStringLiteral("  %1 %2 ms per file\n").arg(label + u':', -22).arg(double(bestSide) / fileCount, 0, 'f', 1);
    out << QStringLiteral("  %1 %2 ms per file\n")
                    .arg(QStringLiteral("same commands in sh:"), -22)
                    .arg(double(bestShell) / fileCount, 0, 'f', 1);
    out << QStringLiteral("  %1 %2\n")
                    .arg(QStringLiteral("ratio to the shell:"), -22)
                    .arg(double(bestSide) / bestShell, 0, 'f', 3);
    return true;
}

} // namespace ks::bench
