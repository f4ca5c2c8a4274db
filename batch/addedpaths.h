#pragma once

#include <QStringList>

namespace ks {

// Paths handed to the window in one go (a drop), sorted the way "Add
// files..." and "Add folder..." take them: files of a scanned type, folders
// to scan, and a count of the files that are not audio.
struct AddedPaths
{
    QStringList files;
    QStringList folders;
    int ignored = 0;

    static AddedPaths sort(const QStringList &paths, const QStringList &extensions);

    // `files` without those inside `folder`: a scan does not take a run's
    // own copies for sources.
    static QStringList outside(const QStringList &files, const QString &folder);
};

} // namespace ks
