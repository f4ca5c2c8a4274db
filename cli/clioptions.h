#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace ks {

struct Settings;

// What one command line asks for. Parsing never touches the settings store:
// the options are kept as changes to lay over whichever settings the run
// starts from, so that --no-settings can decide that afterwards.
struct CliOptions
{
    enum class Command { None, Analyse, Trim };

    Command command = Command::None;
    bool help = false;
    bool version = false;
    // A usage error, naming the option or argument at fault; empty when the
    // command line is sound.
    QString error;

    QStringList paths;
    QString filesFrom; // more paths are read from this file, "-" for standard input
    bool nullSeparated = false;
    QString resumeFrom; // an earlier run's --json output: what it finished is not run again
    QString baseDir;    // files named directly keep their path below it in the destination
    QString csvPath;    // the run's report is written here as CSV, as the window exports it
    bool noSettings = false;
    bool json = false;
    bool quiet = false;
    bool yes = false;

    // One entry per option that changes a setting, in the order given, so a
    // later option wins over an earlier one.
    std::vector<std::function<void(Settings &)>> overrides;

    bool analyseOnly() const { return command == Command::Analyse; }
    void applyTo(Settings &settings) const;

    // `arguments` without the program name.
    static CliOptions parse(const QStringList &arguments);
    static QString helpText();
    // The paths of a --files-from list: one per line, or ended by NUL bytes.
    static QStringList readPathList(const QByteArray &bytes, bool nullSeparated);
    static QString versionText();
};

} // namespace ks
