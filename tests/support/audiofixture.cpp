#include "audiofixture.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace ks::test {

namespace {

QStringList codecArgs(const QString &suffix)
{
    const QString s = suffix.toLower();
    if (s == u"mp3")
        return { QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"), QStringLiteral("128k") };
    if (s == u"wav")
        return { QStringLiteral("-c:a"), QStringLiteral("pcm_s16le") };
    if (s == u"flac")
        return { QStringLiteral("-c:a"), QStringLiteral("flac") };
    if (s == u"ogg")
        return { QStringLiteral("-c:a"), QStringLiteral("libvorbis") };
    if (s == u"m4a")
        return { QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("128k") };
    if (s == u"aiff")
        return { QStringLiteral("-c:a"), QStringLiteral("pcm_s16be") };
    return {};
}

QByteArray run(const QString &program, const QStringList &args, bool *ok, QString *err)
{
    QProcess process;
    process.start(program, args);
    const bool finished = process.waitForFinished(60000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.readAllStandardOutput();
}

} // namespace

QString ffmpegExecutable()
{
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
}

QString ffprobeExecutable()
{
    return QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
}

QByteArray runFfmpeg(const QStringList &args, bool *ok, QString *err)
{
    return run(ffmpegExecutable(), args, ok, err);
}

QByteArray runFfprobe(const QStringList &args, bool *ok, QString *err)
{
    return run(ffprobeExecutable(), args, ok, err);
}

QString makeAudio(const QString &path, const ToneSpec &spec, const QStringList &extraArgs,
                  const QStringList &extraInputs)
{
    const QString suffix = path.section(QLatin1Char('.'), -1);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QStringList args{ QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-y"),
                      QStringLiteral("-loglevel"), QStringLiteral("error") };
    if (spec.toneSec > 0) {
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3")
                        .arg(spec.frequency)
                        .arg(spec.sampleRate)
                        .arg(spec.toneSec, 0, 'f', 6)
             << extraInputs;
        QStringList filters;
        if (spec.leadSec > 0)
            filters << QStringLiteral("adelay=%1S:all=1").arg(qRound64(spec.leadSec * spec.sampleRate));
        if (spec.tailSec > 0)
            filters << QStringLiteral("apad=pad_dur=%1").arg(spec.tailSec, 0, 'f', 6);
        if (!filters.isEmpty())
            args << QStringLiteral("-af") << filters.join(QLatin1Char(','));
    } else {
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("anullsrc=r=%1:cl=mono").arg(spec.sampleRate) << QStringLiteral("-t")
             << QString::number(spec.leadSec + spec.tailSec, 'f', 6) << extraInputs;
    }
    args << QStringLiteral("-ac") << QString::number(spec.channels) << codecArgs(suffix) << extraArgs << path;
    bool ok = false;
    QString err;
    runFfmpeg(args, &ok, &err);
    return ok ? QString() : QStringLiteral("ffmpeg could not make %1: %2").arg(path, err.trimmed());
}

QJsonObject probeJson(const QString &path)
{
    const QByteArray out = runFfprobe({ QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_format"),
                                        QStringLiteral("-show_streams"), QStringLiteral("-of"), QStringLiteral("json"),
                                        path });
    return QJsonDocument::fromJson(out).object();
}

double decodedSeconds(const QString &path)
{
    // The "astats" filter counts the decoded samples of the whole stream.
    QString err;
    runFfmpeg({ QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-i"), path,
                QStringLiteral("-map"), QStringLiteral("0:a:0"), QStringLiteral("-af"),
                QStringLiteral("astats=measure_perchannel=none:measure_overall=Number_of_samples"),
                QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-") },
              nullptr, &err);
    static const QRegularExpression samples(QStringLiteral("Number of samples:\\s*(\\d+)"));
    const QRegularExpressionMatch match = samples.match(err);
    const QJsonObject stream = probeJson(path).value(u"streams").toArray().first().toObject();
    const int rate = stream.value(u"sample_rate").toString().toInt();
    if (!match.hasMatch() || rate <= 0)
        return -1.0;
    return match.captured(1).toDouble() / rate;
}

} // namespace ks::test
