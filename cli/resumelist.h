#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>

namespace ks {

// The files an earlier run's --json output says are done, for --resume: a
// file written, or left alone, that is still as that run left it is not
// run again.
class ResumeList final
{
public:
    // A file as the records give it: size in bytes, modification time in
    // whole nanoseconds since the epoch.
    struct Stamp
    {
        bool exists = false;
        qint64 size = 0;
        qint64 mtimeNs = 0;

        static Stamp of(const QString &path);
    };

    // Reads the records in `path`; false with `error` set ("FILE:LINE: why")
    // when the file cannot be read, is cut short or is not such output.
    bool load(const QString &path, QString *error);

    // The earlier record of `path` (absolute, clean) when it is done and
    // unchanged since, written (if it was) to one of `outputs`; an empty
    // object when it must run.
    QJsonObject doneRecord(const QString &path, const QStringList &outputs) const;

    // The record's fields that let a later run resume: the file left behind
    // (the written file, or the source when left alone) and, for a copy
    // written elsewhere, its source.
    static void addStamps(QJsonObject &record, const QString &path, const QString &outputPath, bool written);

private:
    QHash<QString, QJsonObject> m_records; // by source path
};

} // namespace ks
