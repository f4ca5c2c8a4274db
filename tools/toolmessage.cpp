#include "toolmessage.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace ks {

namespace {

struct Cause
{
    QLatin1String text;
    QLatin1String words;
};

constexpr Cause WriteCauses[] = {
    { QLatin1String("No space left on device"), QLatin1String("no space left on device") },
    { QLatin1String("Disk quota exceeded"), QLatin1String("disk quota exceeded") },
    { QLatin1String("Input/output error"), QLatin1String("input/output error") },
    { QLatin1String("I/O error"), QLatin1String("input/output error") },
    { QLatin1String("Error writing trailer"), QLatin1String("error writing the end of the file") },
    { QLatin1String("Error closing file"), QLatin1String("error closing the file") },
};

// Causes that say more than any one line, most specific first.
constexpr Cause Causes[] = {
    { QLatin1String("Permission denied"), QLatin1String("permission denied") },
    { QLatin1String("File name too long"), QLatin1String("file name too long") },
    { QLatin1String("No such file or directory"), QLatin1String("file not found") },
    { QLatin1String("CRC mismatch"), QLatin1String("damaged data (CRC mismatch)") },
    { QLatin1String("moov atom not found"), QLatin1String("damaged MP4 file (no index)") },
    { QLatin1String("codec not currently supported in container"),
            QLatin1String("this container cannot hold the codec") },
    { QLatin1String("does not contain any stream"), QLatin1String("no audio frames") },
    { QLatin1String("Failed to read frame size"), QLatin1String("damaged or not an audio file (no readable frames)") },
    { QLatin1String("No frames in the file"), QLatin1String("no audio frames") },
    { QLatin1String("Error parsing Ogg extradata"),
            QLatin1String("damaged Ogg file (its codec headers cannot be read)") },
    { QLatin1String("Invalid frame size"), QLatin1String("damaged audio (a frame cannot be read)") },
    { QLatin1String("Could not seek to"), QLatin1String("damaged audio (a frame cannot be read)") },
    { QLatin1String("is not a suitable output format"), QLatin1String("ffmpeg cannot write this kind of file") },
    { QLatin1String("Unable to find a suitable output format"),
            QLatin1String("ffmpeg cannot write this kind of file") },
    { QLatin1String("Invalid data found when processing input"), QLatin1String("not an audio file") },
    { QLatin1String("dimensions not set"), QLatin1String("the cover art cannot be read") },
    // Last: what a reader says of a file cut short, once nothing above says more.
    { QLatin1String(": End of file"), QLatin1String("the file ends too early (cut short)") },
};

// Lines that only say that something failed, not what.
bool isGeneric(const QString &line)
{
    static const QRegularExpression generic(
            QStringLiteral("^(Conversion failed!|Error initializing output stream|Could not write header|"
                           "Error while opening|Error opening output|Exiting normally|"
                           "Nothing was written into output file|Invalid argument$)"),
            QRegularExpression::CaseInsensitiveOption);
    return generic.match(line).hasMatch();
}

const QRegularExpression &stalledPattern()
{
    static const QRegularExpression pattern(
            QStringLiteral("^[^\\n]+ made no progress for [^\\n]+ - stopped$"), QRegularExpression::MultilineOption);
    return pattern;
}

} // namespace

QString ToolMessage::stalled(const QString &tool, int ms)
{
    constexpr int Minute = 60 * 1000;
    const QString quiet = ms % Minute == 0
            ? (ms == Minute ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(ms / Minute))
            : QStringLiteral("%1 s").arg(ms / 1000.0);
    return QStringLiteral("%1 made no progress for %2 - stopped").arg(tool, quiet);
}

QString ToolMessage::writeError(const QString &toolOutput)
{
    for (const Cause &cause : WriteCauses) {
        if (toolOutput.contains(cause.text, Qt::CaseInsensitive))
            return cause.words;
    }
    return QString();
}

QString ToolMessage::oneLine(
        const QString &toolOutput, const QString &inputPath, const QString &temporaryPath, const QString &outputPath)
{
    if (const QRegularExpressionMatch stall = stalledPattern().match(toolOutput); stall.hasMatch())
        return stall.captured(0);
    if (const QString written = writeError(toolOutput); !written.isEmpty())
        return written;
    if (QFileInfo(inputPath).isFile() && QFileInfo(inputPath).size() == 0)
        return QStringLiteral("empty file");
    // What went missing is where the output goes, not the source.
    if (!temporaryPath.isEmpty()) {
        for (const QString &line : toolOutput.split(QLatin1Char('\n'))) {
            if (line.contains(temporaryPath)
                    && line.contains(QLatin1String("No such file or directory"), Qt::CaseInsensitive))
                return QStringLiteral("output folder %1 not found")
                        .arg(QDir::toNativeSeparators(QFileInfo(outputPath).absolutePath()));
        }
    }
    for (const Cause &cause : Causes) {
        if (toolOutput.contains(cause.text, Qt::CaseInsensitive))
            return cause.words;
    }
    // The AAC decoder names the profile it lacks by its MPEG-4 object type.
    static const QRegularExpression aacProfile(
            QStringLiteral("Audio object type (?:SBR\\+)?(\\d+) is not implemented"));
    if (const QRegularExpressionMatch lacking = aacProfile.match(toolOutput); lacking.hasMatch()) {
        const QString type = lacking.captured(1);
        return QStringLiteral("unsupported AAC profile (%1)")
                .arg(type == QLatin1String("42") ? QStringLiteral("xHE-AAC") : QStringLiteral("object type ") + type);
    }

    QString picked;
    for (QString line : toolOutput.split(QLatin1Char('\n'))) {
        line = withoutPrefix(line);
        if (!inputPath.isEmpty())
            line.remove(inputPath + QStringLiteral(": "));
        if (!temporaryPath.isEmpty())
            line.replace(temporaryPath, QDir::toNativeSeparators(outputPath));
        line = line.trimmed();
        if (line.endsWith(QLatin1String(" --")))
            line.chop(3);
        if (!line.isEmpty() && !isGeneric(line))
            picked = line;
    }
    // A long line is cut in its middle, where a path runs: the reason is
    // at its end.
    constexpr int Longest = 200;
    constexpr int Head = 60;
    if (picked.size() > Longest)
        picked = picked.left(Head) + QChar(0x2026) + picked.right(Longest - Head - 1);
    return picked;
}

bool ToolMessage::isUnwritable(const QString &toolOutput)
{
    return toolOutput.contains(QLatin1String("is not a suitable output format"))
            || toolOutput.contains(QLatin1String("Unable to find a suitable output format"));
}

QString ToolMessage::withoutPrefix(const QString &line)
{
    static const QRegularExpression prefix(QStringLiteral("^\\[[^\\]]* @ 0x[0-9a-fA-F]+\\]\\s*"));
    return line.trimmed().remove(prefix);
}

} // namespace ks
