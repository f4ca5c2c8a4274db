#include "clioptions.h"

#include "extensionlist.h"
#include "settings.h"
#include "settingstable.h"
#include "toollocator.h"
#include "version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace ks {

namespace {

constexpr int HelpColumn = 34;
constexpr int HelpWidth = 79;

using Apply = std::function<QString(CliOptions &, const QString &value)>;
// The setting's value in `settings` as this option would spell it; the help
// shows it for the built-in defaults.
using Show = std::function<QString(const Settings &settings)>;

struct Handler
{
    Apply apply;
    Show show; // empty for an option that sets nothing
};

struct Option
{
    const char *heading; // starts a new group in the help text
    const char *name;
    char shortName;        // 0: none
    const char *valueName; // null: a flag that takes no value
    const char *help;
    Handler handler;
    const SettingsTable::Row *range = nullptr; // the limits of its number, for the help
};

void set(CliOptions &options, std::function<void(Settings &)> change)
{
    options.overrides.push_back(std::move(change));
}

QString readNumber(const QString &text, double min, double max, double *out)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return QStringLiteral("'%1' is not a number").arg(text);
    if (value < min || value > max) {
        return QStringLiteral("%1 is out of range (%2 to %3)").arg(text, QString::number(min), QString::number(max));
    }
    *out = value;
    return QString();
}

struct EndModeName
{
    QLatin1String name;
    EndMode mode;
};

const EndModeName endModes[] = {
    { QLatin1String("leave"), EndMode::LeaveAlone },
    { QLatin1String("cut"), EndMode::CutBack },
    { QLatin1String("topup"), EndMode::TopUp },
    { QLatin1String("exact"), EndMode::Exact },
};

QString readEnd(const QString &text, EndMode *mode, int *targetMs)
{
    const QString name = text.section(QLatin1Char(':'), 0, 0);
    bool known = false;
    for (const auto &m : endModes) {
        if (name == m.name) {
            *mode = m.mode;
            known = true;
        }
    }
    if (!known)
        return QStringLiteral("unknown mode '%1' (use leave, cut, topup or exact)").arg(name);
    *targetMs = -1;
    if (!text.contains(QLatin1Char(':')))
        return QString();
    const QString target = text.section(QLatin1Char(':'), 1);
    bool ok = false;
    const int ms = target.toInt(&ok);
    // The same limits as the Preferences dialog, so the command line cannot
    // set what the window would refuse.
    const SettingsTable::Row &limits = SettingsTable::row(&Settings::leadTargetMs);
    if (!ok || ms < limits.minimum || ms > limits.maximum)
        return QStringLiteral("bad target '%1' (whole milliseconds, %2 to %3)")
                .arg(target, QString::number(limits.minimum), QString::number(limits.maximum));
    *targetMs = ms;
    return QString();
}

// "cut:150", or "leave", which has no target.
QString endText(const SettingsTable::Row &modeRow, const SettingsTable::Row &targetRow, const Settings &settings)
{
    const int mode = modeRow.get(settings).toInt();
    for (const auto &m : endModes) {
        if (int(m.mode) == mode) {
            return m.mode == EndMode::LeaveAlone ? QString(m.name)
                                                 : m.name + QLatin1Char(':') + targetRow.get(settings).toString();
        }
    }
    return QString::number(mode);
}

Handler endOption(EndMode Settings::*modeField, int Settings::*targetField)
{
    const SettingsTable::Row &modeRow = SettingsTable::row(modeField);
    const SettingsTable::Row &targetRow = SettingsTable::row(targetField);
    const Show show = [&modeRow, &targetRow](const Settings &s) { return endText(modeRow, targetRow, s); };
    return { [modeField, targetField](CliOptions &o, const QString &value) {
                EndMode mode = EndMode::CutBack;
                int target = -1;
                const QString error = readEnd(value, &mode, &target);
                if (error.isEmpty()) {
                    set(o, [=](Settings &s) {
                        s.*modeField = mode;
                        if (target >= 0)
                            s.*targetField = target;
                    });
                }
                return error;
            },
        show };
}

// The stored value as text, the same for numbers and single paths.
Show plainText(const SettingsTable::Row &row, const QString &unset = QString())
{
    return [&row, unset](const Settings &s) {
        const QString text = row.get(s).toString();
        return text.isEmpty() ? unset : text;
    };
}

Handler numberOption(double Settings::*field)
{
    const SettingsTable::Row &limits = SettingsTable::row(field);
    return { [field, &limits](CliOptions &o, const QString &value) {
                double number = 0.0;
                const QString error = readNumber(value, limits.minimum, limits.maximum, &number);
                if (error.isEmpty())
                    set(o, [=](Settings &s) { s.*field = number; });
                return error;
            },
        plainText(limits) };
}

Handler countOption(int Settings::*field)
{
    const SettingsTable::Row &limits = SettingsTable::row(field);
    return { [field, &limits](CliOptions &o, const QString &value) {
                bool ok = false;
                const int number = value.trimmed().toInt(&ok);
                if (!ok || number < limits.minimum || number > limits.maximum) {
                    return QStringLiteral("'%1' is not a whole number from %2 to %3")
                            .arg(value, QString::number(limits.minimum), QString::number(limits.maximum));
                }
                set(o, [=](Settings &s) { s.*field = number; });
                return QString();
            },
        plainText(limits) };
}

QString onOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

Handler flagOption(bool Settings::*field, bool on)
{
    const SettingsTable::Row &row = SettingsTable::row(field);
    return { [field, on](CliOptions &o, const QString &) {
                set(o, [=](Settings &s) { s.*field = on; });
                return QString();
            },
        [&row](const Settings &s) { return onOff(row.get(s).toBool()); } };
}

template<typename Enum>
struct Choice
{
    QLatin1String name;
    Enum value;
};

// One of a few named values; "reencode|skip" in the help.
template<typename Enum>
Handler choiceOption(Enum Settings::*field, const std::vector<Choice<Enum>> &choices)
{
    const SettingsTable::Row &row = SettingsTable::row(field);
    return { [=](CliOptions &o, const QString &value) {
                for (const Choice<Enum> &choice : choices) {
                    if (value == choice.name) {
                        set(o, [=](Settings &s) { s.*field = choice.value; });
                        return QString();
                    }
                }
                QStringList names;
                for (const Choice<Enum> &choice : choices)
                    names << choice.name;
                const QString last = names.takeLast();
                return QStringLiteral("unknown value '%1' (use %2 or %3)")
                        .arg(value, names.join(QStringLiteral(", ")), last);
            },
        [=, &row](const Settings &s) {
            for (const Choice<Enum> &choice : choices) {
                if (row.get(s).toInt() == int(choice.value))
                    return QString(choice.name);
            }
            return row.get(s).toString();
        } };
}

Handler qualityOption()
{
    using Q = ReencodeQuality;
    return choiceOption<Q>(&Settings::reencodeQuality,
            { { QLatin1String("source"), Q::Source }, { QLatin1String("high"), Q::High },
                    { QLatin1String("medium"), Q::Medium }, { QLatin1String("small"), Q::Small } });
}

Handler toolOption(QString Settings::*field)
{
    return { [field](CliOptions &o, const QString &value) {
                const QFileInfo info(value);
                // The window passes over a configured tool it cannot run; a path typed
                // for this one run is meant, so it must be right.
                if (!ToolLocator::isRunnable(value))
                    return QStringLiteral("'%1' is not an executable file").arg(value);
                const QString path = info.absoluteFilePath();
                set(o, [=](Settings &s) { s.*field = path; });
                return QString();
            },
        plainText(SettingsTable::row(field), QStringLiteral("looked for beside the program, then on the PATH")) };
}

Handler extensionsOption()
{
    const SettingsTable::Row &row = SettingsTable::row(&Settings::extensions);
    return { [](CliOptions &o, const QString &value) {
                const QStringList extensions = ExtensionList::parse(value);
                if (extensions.isEmpty())
                    return QStringLiteral("no extension in '%1' (a comma-separated list such as mp3,flac)").arg(value);
                set(o, [=](Settings &s) { s.extensions = extensions; });
                return QString();
            },
        [&row](const Settings &s) { return row.get(s).toStringList().join(QLatin1Char(',')); } };
}

Handler outputOption(OutputMode mode)
{
    const SettingsTable::Row &modeRow = SettingsTable::row(&Settings::outputMode);
    Show show = mode == OutputMode::Mirror
            ? plainText(SettingsTable::row(&Settings::outputRoot), QStringLiteral("none"))
            : Show([&modeRow](const Settings &s) { return onOff(modeRow.get(s).toInt() == int(OutputMode::InPlace)); });
    return { [mode](CliOptions &o, const QString &value) {
                const QString root = mode == OutputMode::Mirror
                        ? QDir::cleanPath(QDir::current().absoluteFilePath(value))
                        : QString();
                set(o, [=](Settings &s) {
                    s.outputMode = mode;
                    if (mode == OutputMode::Mirror)
                        s.outputRoot = root;
                });
                return QString();
            },
        show };
}

Handler runPath(QString CliOptions::*field)
{
    return { [field](CliOptions &o, const QString &value) {
                o.*field = value;
                return QString();
            },
        {} };
}

Handler runFlag(bool CliOptions::*field)
{
    return { [field](CliOptions &o, const QString &) {
                o.*field = true;
                return QString();
            },
        {} };
}

const std::vector<Option> &optionTable()
{
    static const std::vector<Option> table{
        { "Detection", "threshold", 0, "DB", "silence threshold in dB", numberOption(&Settings::thresholdDb),
                &SettingsTable::row(&Settings::thresholdDb) },
        { nullptr, "min-silence", 0, "S", "shortest stretch that counts as silence, in seconds",
                numberOption(&Settings::minSilenceSec), &SettingsTable::row(&Settings::minSilenceSec) },
        { nullptr, "max-trim", 0, "S", "refuse to remove more than S seconds from a file",
                numberOption(&Settings::maxTrimSec), &SettingsTable::row(&Settings::maxTrimSec) },
        { "Ends (MODE: leave, cut, topup or exact; MS: the target in milliseconds)", "head", 0, "MODE[:MS]",
                "what to do with the silence at the head", endOption(&Settings::leadMode, &Settings::leadTargetMs),
                &SettingsTable::row(&Settings::leadTargetMs) },
        { nullptr, "tail", 0, "MODE[:MS]", "what to do with the silence at the tail",
                endOption(&Settings::tailMode, &Settings::tailTargetMs), &SettingsTable::row(&Settings::tailTargetMs) },
        { "Output", "out", 'o', "DIR", "write copies into DIR, mirroring each folder given",
                outputOption(OutputMode::Mirror) },
        { nullptr, "in-place", 0, nullptr, "overwrite the original files", outputOption(OutputMode::InPlace) },
        { nullptr, "method", 0, "copy|reencode", "stream copy (lossless, frame accurate) or re-encode",
                choiceOption<TrimMethod>(&Settings::trimMethod,
                        { { QLatin1String("copy"), TrimMethod::StreamCopy },
                                { QLatin1String("reencode"), TrimMethod::ReEncode } }) },
        { nullptr, "quality", 0, "source|high|medium|small",
                "what a re-encode spends: the source's rate, or a named level", qualityOption() },
        { nullptr, "pad-fallback", 0, "reencode|skip", "when silence must be added to a stream copy",
                choiceOption<PadFallback>(&Settings::padFallback,
                        { { QLatin1String("reencode"), PadFallback::ReEncode },
                                { QLatin1String("skip"), PadFallback::Skip } }) },
        { nullptr, "existing", 0, "replace|skip|keep-both",
                "with --out, what to do where DIR already holds a file's copy: write over it, leave it and the "
                "file alone, or write beside it as NAME (2).EXT",
                choiceOption<ExistingOutputs>(&Settings::existingOutputs,
                        { { QLatin1String("replace"), ExistingOutputs::Replace },
                                { QLatin1String("skip"), ExistingOutputs::Skip },
                                { QLatin1String("keep-both"), ExistingOutputs::KeepBoth } }) },
        { nullptr, "backup", 0, nullptr, "keep a .bak copy of every file overwritten in place",
                flagOption(&Settings::makeBackup, true) },
        { nullptr, "no-backup", 0, nullptr, nullptr, flagOption(&Settings::makeBackup, false) },
        { nullptr, "keep-mtime", 0, nullptr, "give each written file its source's modification time",
                flagOption(&Settings::keepMtime, true) },
        { nullptr, "no-keep-mtime", 0, nullptr, nullptr, flagOption(&Settings::keepMtime, false) },
        { nullptr, "skip-untrimmed", 0, nullptr, "do not rewrite a file that needs no change",
                flagOption(&Settings::skipUntrimmed, true) },
        { nullptr, "no-skip-untrimmed", 0, nullptr, nullptr, flagOption(&Settings::skipUntrimmed, false) },
        { nullptr, "base", 0, "DIR",
                "with --out, files named directly or listed keep their path below DIR; a file outside it is "
                "refused",
                runPath(&CliOptions::baseDir) },
        { "Folders", "extensions", 0, "LIST", "file suffixes a folder scan picks up, comma-separated",
                extensionsOption() },
        { nullptr, "recursive", 0, nullptr, "scan sub-folders too", flagOption(&Settings::recursive, true) },
        { nullptr, "no-recursive", 0, nullptr, nullptr, flagOption(&Settings::recursive, false) },
        { "Tools", "ffmpeg", 0, "PATH", "the ffmpeg to run", toolOption(&Settings::ffmpegPath) },
        { nullptr, "ffprobe", 0, "PATH", "the ffprobe to run", toolOption(&Settings::ffprobePath) },
        { "Run", "jobs", 'j', "N", "files worked on at once; 0 is one per processor core",
                countOption(&Settings::parallelJobs), &SettingsTable::row(&Settings::parallelJobs) },
        { nullptr, "files-from", 0, "FILE", "read more PATHs from FILE, one per line (- for standard input)",
                runPath(&CliOptions::filesFrom) },
        { nullptr, "resume", 0, "FILE",
                "FILE is the --json output of an earlier run: a file it wrote or left alone, still of the size "
                "and modification time it gives, is not run again",
                runPath(&CliOptions::resumeFrom) },
        { nullptr, "null", '0', nullptr, "the PATHs of --files-from end with NUL, as find -print0 writes them",
                runFlag(&CliOptions::nullSeparated) },
        { nullptr, "no-settings", 0, nullptr, "start from the built-in defaults, not the saved settings",
                runFlag(&CliOptions::noSettings) },
        { nullptr, "json", 0, nullptr, "one JSON object per finished file and a summary, one per line",
                runFlag(&CliOptions::json) },
        { nullptr, "csv", 0, "FILE",
                "when the run ends, write its report to FILE as CSV (path, lengths, head and tail measured and "
                "changed, status, result, method), as the window's Export report does",
                runPath(&CliOptions::csvPath) },
        { nullptr, "quiet", 'q', nullptr, "print only errors and the totals", runFlag(&CliOptions::quiet) },
        { nullptr, "yes", 'y', nullptr, "rewrite in place without asking", runFlag(&CliOptions::yes) },
        { nullptr, "help", 'h', nullptr, "show this help and exit", runFlag(&CliOptions::help) },
        { nullptr, "version", 'V', nullptr, "show the version and exit", runFlag(&CliOptions::version) },
    };
    return table;
}

const Option *findLong(const QString &name)
{
    for (const Option &option : optionTable())
        if (name == QLatin1String(option.name))
            return &option;
    return nullptr;
}

const Option *findShort(QChar letter)
{
    for (const Option &option : optionTable())
        if (option.shortName != 0 && letter == QLatin1Char(option.shortName))
            return &option;
    return nullptr;
}

// " (DB -90 to -10; default: -50)": the limits the option's value is checked
// against, named by the last word of its value, and the built-in default.
QString limitsText(const Option &option)
{
    QStringList parts;
    if (option.range) {
        const QString value
                = QString::fromLatin1(option.valueName).section(QLatin1Char(':'), -1).remove(QLatin1Char(']'));
        parts << QStringLiteral("%1 %2 to %3")
                         .arg(value, QString::number(option.range->minimum), QString::number(option.range->maximum));
    }
    if (option.handler.show)
        parts << QStringLiteral("default: ") + option.handler.show(Settings());
    return parts.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(parts.join(QStringLiteral("; ")));
}

// Breaks a description that runs past the width onto lines of its own,
// indented to its column, where help2man also finds them.
QString wrapped(const QString &text)
{
    QString out;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (!line.isEmpty() && HelpColumn + line.size() + 1 + word.size() > HelpWidth) {
            out += line + QLatin1Char('\n') + QString(HelpColumn, QLatin1Char(' '));
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + line;
}

// Applies the option at arguments[i], taking its value from the next
// argument where it needs one; the error, or an empty string.
QString applyOption(const QStringList &arguments, int &i, CliOptions &options, const Option **applied)
{
    const QString &arg = arguments.at(i);
    QString spelled = arg;
    QString value;
    bool inlineValue = false;
    const Option *option = nullptr;
    if (arg.startsWith(QLatin1String("--"))) {
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        if (equals > 0) {
            spelled = arg.left(equals);
            value = arg.mid(equals + 1);
            inlineValue = true;
        }
        option = findLong(spelled.mid(2));
    } else if (arg.size() == 2) {
        option = findShort(arg.at(1));
    }
    if (!option)
        return QStringLiteral("unknown option '%1'").arg(spelled);
    if (!option->valueName && inlineValue)
        return QStringLiteral("option '%1' takes no value").arg(spelled);
    // The next argument is the value whatever it looks like: a threshold
    // such as -45 starts with a dash.
    if (option->valueName && !inlineValue && i + 1 < arguments.size())
        value = arguments.at(++i);
    if (option->valueName && value.isEmpty())
        return QStringLiteral("option '%1' needs a value (%2)").arg(spelled, QLatin1String(option->valueName));
    *applied = option;
    const QString error = option->handler.apply(options, value);
    return error.isEmpty() ? QString() : QStringLiteral("option '%1': %2").arg(spelled, error);
}

// The first word is the command, the rest are paths.
QString takeCommand(QStringList words, CliOptions &options)
{
    if (words.isEmpty())
        return QString();
    const QString command = words.takeFirst();
    options.paths = words;
    if (command == QLatin1String("analyse") || command == QLatin1String("analyze"))
        options.command = CliOptions::Command::Analyse;
    else if (command == QLatin1String("trim"))
        options.command = CliOptions::Command::Trim;
    else if (command == QLatin1String("help"))
        options.help = true;
    else
        return QStringLiteral("unknown command '%1' (use analyse or trim)").arg(command);
    return QString();
}

} // namespace

void CliOptions::applyTo(Settings &settings) const
{
    for (const auto &change : overrides)
        change(settings);
}

CliOptions CliOptions::parse(const QStringList &arguments)
{
    CliOptions options;
    QStringList words;
    bool outGiven = false;
    bool inPlaceGiven = false;
    const auto fail = [&options](const QString &error) {
        if (options.error.isEmpty())
            options.error = error;
    };

    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--")) {
            words << arguments.mid(i + 1);
            break;
        }
        if (!arg.startsWith(QLatin1Char('-')) || arg.size() < 2) {
            words << arg;
            continue;
        }
        const Option *applied = nullptr;
        fail(applyOption(arguments, i, options, &applied));
        outGiven = outGiven || (applied && qstrcmp(applied->name, "out") == 0);
        inPlaceGiven = inPlaceGiven || (applied && qstrcmp(applied->name, "in-place") == 0);
    }

    fail(takeCommand(words, options));
    if (outGiven && inPlaceGiven)
        fail(QStringLiteral("options '--out' and '--in-place' cannot be used together"));
    if (options.command == Command::None && !options.help && !options.version)
        fail(QStringLiteral("no command given (analyse or trim)"));
    else if (options.command != Command::None && options.paths.isEmpty() && options.filesFrom.isEmpty())
        fail(QStringLiteral("no files or folders given"));
    if (options.nullSeparated && options.filesFrom.isEmpty())
        fail(QStringLiteral("option '--null' needs --files-from"));
    return options;
}

QString CliOptions::helpText()
{
    QString text = QStringLiteral("Usage: kestrova-cli analyse [options] PATH...\n"
                                  "  or:  kestrova-cli trim [options] PATH...\n"
                                  "\n"
                                  "Measures the silence at the head and the tail of audio files and, with\n"
                                  "trim, cuts it back, tops it up or sets it to a target, with the engine and\n"
                                  "the saved settings of the Kestrova window. Each option changes one setting\n"
                                  "for this run only; nothing is saved. The defaults shown are the built-in\n"
                                  "ones, which --no-settings starts from.\n"
                                  "\n"
                                  "PATH is a file or a folder. A folder is scanned for the extensions in force;\n"
                                  "with --out, each file found keeps its place below that folder, while a file\n"
                                  "named directly goes straight into DIR, or with --base below DIR by its\n"
                                  "path from the base. With --json, each record of a file written or left\n"
                                  "alone gives that file's size and modification time (size, mtimeNs: bytes\n"
                                  "and whole nanoseconds since 1970), which --resume checks.\n");
    const std::vector<Option> &table = optionTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const Option &option = table.at(i);
        if (!option.help)
            continue; // a "no-" partner, shown on the line of the option before it
        if (option.heading)
            text += QStringLiteral("\n%1:\n").arg(QLatin1String(option.heading));
        QString left = option.shortName ? QStringLiteral("  -%1, ").arg(QLatin1Char(option.shortName))
                                        : QStringLiteral("      ");
        left += QStringLiteral("--") + QLatin1String(option.name);
        if (option.valueName)
            left += QLatin1Char(' ') + QLatin1String(option.valueName);
        if (i + 1 < table.size() && !table.at(i + 1).help)
            left += QStringLiteral(", --") + QLatin1String(table.at(i + 1).name);
        if (left.size() >= HelpColumn - 1)
            left += QLatin1Char('\n') + QString(HelpColumn, QLatin1Char(' '));
        else
            left = left.leftJustified(HelpColumn);
        text += left + wrapped(QLatin1String(option.help) + limitsText(option)) + QLatin1Char('\n');
    }
    text += QStringLiteral(
            "\n"
            "Exit status:\n"
            "  0    no file failed\n"
            "  1    a file or a PATH failed\n"
            "  2    a usage error, a refusal, missing tools or no to the in-place question\n"
            "  130  stopped by Ctrl-C or SIGTERM\n"
            "  141  standard output was closed by its reader\n"
            "\n"
            "Examples:\n"
            "  kestrova-cli analyse ~/Podcasts\n"
            "  kestrova-cli trim --tail cut:500 --out ~/Trimmed ~/Podcasts\n"
            "  kestrova-cli trim --in-place --yes --json take1.wav take2.wav\n"
            "  find ~/Music -name '*.flac' -print0 | kestrova-cli trim --out ~/Trimmed --files-from - --null\n");
    return text;
}

QStringList CliOptions::readPathList(const QByteArray &bytes, bool nullSeparated)
{
    QStringList paths;
    for (const QByteArray &entry : bytes.split(nullSeparated ? '\0' : '\n')) {
        // A list written on Windows ends its lines with CR LF.
        const QByteArray path = nullSeparated || !entry.endsWith('\r') ? entry : entry.chopped(1);
        if (!path.isEmpty())
            paths << QFile::decodeName(path);
    }
    return paths;
}

QString CliOptions::versionText()
{
    return QStringLiteral("kestrova-cli %1\n").arg(QLatin1String(KESTROVA_VERSION));
}

} // namespace ks
