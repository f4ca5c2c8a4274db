#include "chaptermap.h"

#include "mediaprobe.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace ks {

namespace {

// ffmetadata takes these characters only behind a backslash.
QString escaped(const QString &text)
{
    static const QRegularExpression special(QStringLiteral("([=;#\\\\\\n])"));
    return QString(text).replace(special, QStringLiteral("\\\\1"));
}

qint64 microseconds(double sec)
{
    return std::llround(sec * 1e6);
}

} // namespace

QStringList ChapterMap::arguments(const MediaInfo &source, const RewritePlan::Cut &cut)
{
    if (source.chapters.isEmpty())
        return {};
    // In the milliseconds ffmpeg is given for the cut and the added silence.
    const auto ms = [](double sec) { return std::round(sec * 1000) / 1000; };
    const double shift = ms(cut.headPadSec) - ms(cut.startSec);
    const double length = cut.expectedSec();
    QList<Chapter> kept;
    for (const Chapter &chapter : source.chapters) {
        if (chapter.endSec + shift > 0 && chapter.startSec + shift < length)
            kept.append({ std::max(chapter.startSec + shift, 0.0), std::min(chapter.endSec + shift, length),
                    chapter.tags });
    }
    // The chapter that began the kept sound begins the file, the last one ends with it.
    if (!kept.isEmpty() && kept.first().startSec <= ms(cut.headPadSec) + 1e-9)
        kept.first().startSec = 0;
    if (!kept.isEmpty())
        kept.last().endSec = length;
    QString text = QStringLiteral(";FFMETADATA1\n");
    for (const Chapter &chapter : kept) {
        text += QStringLiteral("[CHAPTER]\nTIMEBASE=1/1000000\nSTART=%1\nEND=%2\n")
                        .arg(microseconds(chapter.startSec))
                        .arg(microseconds(chapter.endSec));
        for (const auto &[key, value] : chapter.tags)
            text += escaped(key) + QLatin1Char('=') + escaped(value) + QLatin1Char('\n');
    }
    return { QStringLiteral("-f"), QStringLiteral("ffmetadata"), QStringLiteral("-i"),
        QStringLiteral("data:text/plain;base64,") + QString::fromLatin1(text.toUtf8().toBase64()),
        QStringLiteral("-map_chapters"), QStringLiteral("1") };
}

} // namespace ks
