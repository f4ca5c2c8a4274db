#include "fixtures.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace ks::test {

namespace {

QByteArray run(const QString &program, const QStringList &args, bool *ok = nullptr, QString *err = nullptr)
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

QStringList codecArguments(const QString &path)
{
    static const QHash<QString, QStringList> codecs{
        { u"mp3"_s, { u"-c:a"_s, u"libmp3lame"_s, u"-b:a"_s, u"128k"_s } },
        { u"wav"_s, { u"-c:a"_s, u"pcm_s16le"_s } },
        { u"flac"_s, { u"-c:a"_s, u"flac"_s } },
        { u"ogg"_s, { u"-c:a"_s, u"libvorbis"_s } },
        { u"m4a"_s, { u"-c:a"_s, u"aac"_s, u"-b:a"_s, u"128k"_s } },
        { u"aiff"_s, { u"-c:a"_s, u"pcm_s16be"_s } },
    };
    return codecs.value(QFileInfo(path).suffix().toLower());
}

// Runs ffmpeg to write `path` and dates it as a recording long finished.
QString writeDated(const QString &path, const QStringList &args)
{
    bool ok = false;
    QString err;
    run(ffmpegExecutable(), args, &ok, &err);
    if (!ok)
        return u"ffmpeg could not make %1: %2"_s.arg(path, err.trimmed());
    return dateBack(path) ? QString() : u"cannot date %1"_s.arg(path);
}

} // namespace

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(bytes) == bytes.size();
}

bool dateBack(const QString &path, const QDateTime &when)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(when, QFileDevice::FileModificationTime);
}

QString ffmpegExecutable()
{
    return QStandardPaths::findExecutable(u"ffmpeg"_s);
}

ToolPaths systemTools()
{
    return { ffmpegExecutable(), QStandardPaths::findExecutable(u"ffprobe"_s), {} };
}

QByteArray runFfprobe(const QStringList &args)
{
    return run(systemTools().ffprobe, args);
}

QString makeFromSource(const QString &path, const QString &source, const QStringList &extraArgs)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeDated(path,
            QStringList{ u"-hide_banner"_s, u"-nostdin"_s, u"-y"_s, u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s,
                    u"-i"_s, source }
                    + codecArguments(path) + extraArgs + QStringList{ path });
}

QString makeAudio(
        const QString &path, const ToneShape &spec, const QStringList &extraArgs, const QStringList &extraInputs)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QStringList args{ u"-hide_banner"_s, u"-nostdin"_s, u"-y"_s, u"-loglevel"_s, u"error"_s, u"-f"_s, u"lavfi"_s };
    if (spec.toneSec > 0) {
        args << u"-i"_s
             << u"sine=frequency=%1:sample_rate=%2:duration=%3"_s.arg(spec.frequency)
                        .arg(spec.sampleRate)
                        .arg(spec.toneSec, 0, 'f', 6)
             << extraInputs;
        QStringList filters;
        if (spec.leadSec > 0)
            filters << u"adelay=%1S:all=1"_s.arg(qRound64(spec.leadSec * spec.sampleRate));
        if (spec.tailSec > 0)
            filters << u"apad=pad_dur=%1"_s.arg(spec.tailSec, 0, 'f', 6);
        if (!filters.isEmpty())
            args << u"-af"_s << filters.join(u',');
    } else {
        args << u"-i"_s << u"anullsrc=r=%1:cl=mono"_s.arg(spec.sampleRate) << u"-t"_s
             << QString::number(spec.leadSec + spec.tailSec, 'f', 6) << extraInputs;
    }
    args << u"-ac"_s << QString::number(spec.channels) << codecArguments(path) << extraArgs << path;
    return writeDated(path, args);
}

QJsonObject probeJson(const QString &path)
{
    return QJsonDocument::fromJson(
            runFfprobe({ u"-v"_s, u"error"_s, u"-show_format"_s, u"-show_streams"_s, u"-of"_s, u"json"_s, path }))
            .object();
}

double decodedSeconds(const QString &path)
{
    // The "astats" filter counts the decoded samples of the whole stream.
    QString err;
    run(ffmpegExecutable(),
            { u"-hide_banner"_s, u"-nostdin"_s, u"-i"_s, path, u"-map"_s, u"0:a:0"_s, u"-af"_s,
                    u"astats=measure_perchannel=none:measure_overall=Number_of_samples"_s, u"-f"_s, u"null"_s, u"-"_s },
            nullptr, &err);
    // The first audio stream ffmpeg lists is the input's first, the one decoded.
    static const QRegularExpression counted(
            u"Audio: .*?, (\\d+) Hz.*Number of samples:\\s*(\\d+)"_s, QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = counted.match(err);
    return match.hasMatch() && match.captured(1).toInt() > 0 ? match.captured(2).toDouble() / match.captured(1).toInt()
                                                             : -1.0;
}

QString writeFakeTool(const QString &dir, const QString &name, const QByteArray &body)
{
    QFile file(QDir(dir).filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write("#!/bin/sh\n" + body + (body.endsWith('\n') ? "" : "\n"));
    file.close();
    file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return file.fileName();
}

QByteArray programOutput(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QByteArray();
    return process.readAllStandardOutput();
}

ProgramRun runProgram(const QString &program, const QStringList &args, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, args);
    const bool ended = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit;
    return { ended ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
        QString::fromUtf8(process.readAllStandardError()) + (ended ? QString() : process.errorString()) };
}

QByteArray sha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

QStringList temporaryFiles(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, { u"*.kstmp.*"_s }, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

} // namespace ks::test
