#include "resumelist.h"

#include "textformat.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringList>

#include <sys/stat.h>

namespace ks {

namespace {

const QString SizeKey = QStringLiteral("size");
const QString MtimeKey = QStringLiteral("mtimeNs");
const QString SourceSizeKey = QStringLiteral("sourceSize");
const QString SourceMtimeKey = QStringLiteral("sourceMtimeNs");

void putStamp(QJsonObject &record, const ResumeList::Stamp &stamp, const QString &sizeKey, const QString &mtimeKey)
{
    if (!stamp.exists)
        return;
    record.insert(sizeKey, stamp.size);
    record.insert(mtimeKey, stamp.mtimeNs);
}

bool matches(const QJsonObject &record, const QString &path, const QString &sizeKey, const QString &mtimeKey)
{
    const ResumeList::Stamp now = ResumeList::Stamp::of(path);
    return now.exists && record.value(sizeKey).toInteger(-1) == now.size
            && record.value(mtimeKey).toInteger(-1) == now.mtimeNs;
}

// Left alone only for now: another run or a writer still had the file.
bool passing(const QString &message)
{
    return message.contains(QLatin1String("still being written")) || message.contains(QLatin1String("by another run"))
            || message.contains(QLatin1String("changed while being trimmed"));
}

bool isRecord(const QJsonObject &record)
{
    static const QStringList statuses{ QStringLiteral("Analysed"), QStringLiteral("Trimmed"), QStringLiteral("Skipped"),
        QStringLiteral("Failed") };
    return record.value(QLatin1String("path")).isString()
            && statuses.contains(record.value(QLatin1String("status")).toString());
}

} // namespace

ResumeList::Stamp ResumeList::Stamp::of(const QString &path)
{
    Stamp stamp;
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return stamp;
    stamp.exists = true;
    stamp.size = info.st_size;
    stamp.mtimeNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}

bool ResumeList::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(native(path), file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QByteArray &line = lines.at(n);
        // Only the newline after the last record may end the file.
        if (line.isEmpty() && n == lines.size() - 1 && n > 0)
            break;
        QJsonParseError parsed;
        const QJsonObject record = QJsonDocument::fromJson(line, &parsed).object();
        const bool summary = record.value(QLatin1String("summary")).isObject();
        if (parsed.error != QJsonParseError::NoError || (!summary && !isRecord(record))) {
            *error = QStringLiteral("%1:%2: not a line of kestrova-cli --json output (cut short, or another file)")
                             .arg(native(path))
                             .arg(n + 1);
            return false;
        }
        if (!summary)
            m_records.insert(record.value(QLatin1String("path")).toString(), record);
    }
    return true;
}

QJsonObject ResumeList::doneRecord(const QString &path, const QStringList &outputs) const
{
    const auto found = m_records.constFind(native(path));
    if (found == m_records.constEnd())
        return {};
    const QJsonObject &record = *found;
    const QString status = record.value(QLatin1String("status")).toString();
    bool done = false;
    if (status == QLatin1String("Trimmed")) {
        const QString output = record.value(QLatin1String("outputPath")).toString();
        done = outputs.contains(output) && matches(record, output, SizeKey, MtimeKey)
                && (output == path || matches(record, path, SourceSizeKey, SourceMtimeKey));
    } else if (status == QLatin1String("Skipped")) {
        done = !passing(record.value(QLatin1String("message")).toString()) && matches(record, path, SizeKey, MtimeKey);
    }
    return done ? record : QJsonObject();
}

void ResumeList::addStamps(QJsonObject &record, const QString &path, const QString &outputPath, bool written)
{
    if (!written) {
        putStamp(record, Stamp::of(path), SizeKey, MtimeKey);
        return;
    }
    putStamp(record, Stamp::of(outputPath), SizeKey, MtimeKey);
    if (outputPath != path)
        putStamp(record, Stamp::of(path), SourceSizeKey, SourceMtimeKey);
}

} // namespace ks
