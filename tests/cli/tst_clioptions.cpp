#include "clioptions.h"
#include "settings.h"

#include <QDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_CliOptions : public QObject
{
    Q_OBJECT

private slots:
    void setsOneField_data();
    void setsOneField();
    void rejectsBadUsage_data();
    void rejectsBadUsage();
    void overridesLeaveOtherFieldsAsStored();
    void commandsAndPaths_data();
    void commandsAndPaths();
    void helpAndVersion_data();
    void helpAndVersion();

private:
    static QString field(const Settings &s, const QString &name);
};

// The one field a row looks at, as text, so one table covers every type.
QString tst_CliOptions::field(const Settings &s, const QString &name)
{
    if (name == u"threshold")
        return QString::number(s.thresholdDb);
    if (name == u"minSilence")
        return QString::number(s.minSilenceSec);
    if (name == u"maxTrim")
        return QString::number(s.maxTrimSec);
    if (name == u"head")
        return u"%1:%2"_s.arg(int(s.leadMode)).arg(s.leadTargetMs);
    if (name == u"tail")
        return u"%1:%2"_s.arg(int(s.tailMode)).arg(s.tailTargetMs);
    if (name == u"output")
        return u"%1:%2"_s.arg(int(s.outputMode)).arg(s.outputRoot);
    if (name == u"method")
        return QString::number(int(s.trimMethod));
    if (name == u"padFallback")
        return QString::number(int(s.padFallback));
    if (name == u"backup")
        return QVariant(s.makeBackup).toString();
    if (name == u"skipUntrimmed")
        return QVariant(s.skipUntrimmed).toString();
    if (name == u"recursive")
        return QVariant(s.recursive).toString();
    if (name == u"extensions")
        return s.extensions.join(u',');
    if (name == u"ffmpeg")
        return s.ffmpegPath;
    return u"?"_s;
}

void tst_CliOptions::setsOneField_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    const QString here = QDir::currentPath();
    const QString self = QCoreApplication::applicationFilePath();
    QTest::newRow("threshold") << QStringList{ u"trim"_s, u"--threshold"_s, u"-45"_s, u"a"_s } << u"threshold"_s << u"-45"_s;
    QTest::newRow("threshold=") << QStringList{ u"trim"_s, u"--threshold=-42.5"_s, u"a"_s } << u"threshold"_s << u"-42.5"_s;
    QTest::newRow("last wins") << QStringList{ u"trim"_s, u"--threshold"_s, u"-40"_s, u"--threshold"_s, u"-60"_s, u"a"_s } << u"threshold"_s << u"-60"_s;
    QTest::newRow("min silence") << QStringList{ u"trim"_s, u"--min-silence"_s, u"0.3"_s, u"a"_s } << u"minSilence"_s << u"0.3"_s;
    QTest::newRow("max trim") << QStringList{ u"trim"_s, u"--max-trim"_s, u"60"_s, u"a"_s } << u"maxTrim"_s << u"60"_s;
    QTest::newRow("head with target") << QStringList{ u"trim"_s, u"--head"_s, u"cut:300"_s, u"a"_s } << u"head"_s << u"1:300"_s;
    QTest::newRow("head keeps target") << QStringList{ u"trim"_s, u"--head"_s, u"topup"_s, u"a"_s } << u"head"_s << u"2:150"_s;
    QTest::newRow("tail exact 0") << QStringList{ u"trim"_s, u"--tail"_s, u"exact:0"_s, u"a"_s } << u"tail"_s << u"3:0"_s;
    QTest::newRow("tail leave") << QStringList{ u"trim"_s, u"--tail=leave"_s, u"a"_s } << u"tail"_s << u"0:150"_s;
    QTest::newRow("out relative") << QStringList{ u"trim"_s, u"--out"_s, u"dest/../copies"_s, u"a"_s } << u"output"_s << u"0:"_s + here + u"/copies"_s;
    QTest::newRow("in place") << QStringList{ u"trim"_s, u"--in-place"_s, u"a"_s } << u"output"_s << u"1:"_s;
    QTest::newRow("method") << QStringList{ u"trim"_s, u"--method"_s, u"reencode"_s, u"a"_s } << u"method"_s << u"1"_s;
    QTest::newRow("pad fallback") << QStringList{ u"trim"_s, u"--pad-fallback"_s, u"skip"_s, u"a"_s } << u"padFallback"_s << u"1"_s;
    QTest::newRow("no backup") << QStringList{ u"trim"_s, u"--no-backup"_s, u"a"_s } << u"backup"_s << u"false"_s;
    QTest::newRow("backup again") << QStringList{ u"trim"_s, u"--no-backup"_s, u"--backup"_s, u"a"_s } << u"backup"_s << u"true"_s;
    QTest::newRow("no skip untrimmed") << QStringList{ u"trim"_s, u"--no-skip-untrimmed"_s, u"a"_s } << u"skipUntrimmed"_s << u"false"_s;
    QTest::newRow("no recursive") << QStringList{ u"trim"_s, u"--no-recursive"_s, u"a"_s } << u"recursive"_s << u"false"_s;
    QTest::newRow("extensions") << QStringList{ u"trim"_s, u"--extensions"_s, u" MP3, .flac,,wav"_s, u"a"_s } << u"extensions"_s << u"mp3,flac,wav"_s;
    QTest::newRow("ffmpeg") << QStringList{ u"trim"_s, u"--ffmpeg"_s, self, u"a"_s } << u"ffmpeg"_s << self;
}

void tst_CliOptions::setsOneField()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, field);
    QFETCH(QString, expected);

    const CliOptions options = CliOptions::parse(arguments);
    QCOMPARE(options.error, QString());
    Settings settings;
    options.applyTo(settings);
    QCOMPARE(tst_CliOptions::field(settings, field), expected);
}

void tst_CliOptions::rejectsBadUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");

    QTest::newRow("unknown long") << QStringList{ u"trim"_s, u"--frob"_s, u"a"_s } << u"unknown option '--frob'"_s;
    QTest::newRow("unknown short") << QStringList{ u"trim"_s, u"-z"_s, u"a"_s } << u"unknown option '-z'"_s;
    QTest::newRow("bad mode") << QStringList{ u"trim"_s, u"--head"_s, u"sideways"_s, u"a"_s } << u"option '--head': unknown mode 'sideways' (use leave, cut, topup or exact)"_s;
    QTest::newRow("bad target") << QStringList{ u"trim"_s, u"--tail"_s, u"cut:abc"_s, u"a"_s } << u"option '--tail': bad target 'abc' (whole milliseconds, 0 to 30000)"_s;
    QTest::newRow("missing value") << QStringList{ u"trim"_s, u"a"_s, u"--threshold"_s } << u"option '--threshold' needs a value (DB)"_s;
    QTest::newRow("empty value") << QStringList{ u"trim"_s, u"--out="_s, u"a"_s } << u"option '--out' needs a value (DIR)"_s;
    QTest::newRow("not a number") << QStringList{ u"trim"_s, u"--threshold"_s, u"loud"_s, u"a"_s } << u"option '--threshold': 'loud' is not a number"_s;
    QTest::newRow("nan") << QStringList{ u"trim"_s, u"--min-silence"_s, u"nan"_s, u"a"_s } << u"option '--min-silence': 'nan' is not a number"_s;
    QTest::newRow("out of range") << QStringList{ u"trim"_s, u"--threshold"_s, u"0"_s, u"a"_s } << u"option '--threshold': 0 is out of range (-90 to -10)"_s;
    QTest::newRow("bad method") << QStringList{ u"trim"_s, u"--method"_s, u"fast"_s, u"a"_s } << u"option '--method': unknown value 'fast' (use copy or reencode)"_s;
    QTest::newRow("flag with value") << QStringList{ u"trim"_s, u"--json=yes"_s, u"a"_s } << u"option '--json' takes no value"_s;
    QTest::newRow("no extensions") << QStringList{ u"trim"_s, u"--extensions"_s, u" , ."_s, u"a"_s } << u"option '--extensions': no extension in"_s;
    QTest::newRow("tool missing") << QStringList{ u"trim"_s, u"--ffprobe"_s, u"/no/such/ffprobe"_s, u"a"_s } << u"option '--ffprobe': '/no/such/ffprobe' is not an executable file"_s;
    QTest::newRow("out and in place") << QStringList{ u"trim"_s, u"--out"_s, u"x"_s, u"--in-place"_s, u"a"_s } << u"options '--out' and '--in-place' cannot be used together"_s;
    QTest::newRow("no command") << QStringList{} << u"no command given (analyse or trim)"_s;
    QTest::newRow("unknown command") << QStringList{ u"shorten"_s, u"a"_s } << u"unknown command 'shorten' (use analyse or trim)"_s;
    QTest::newRow("no paths") << QStringList{ u"analyse"_s, u"--json"_s } << u"no files or folders given"_s;
    QTest::newRow("first error named") << QStringList{ u"trim"_s, u"--head"_s, u"x"_s, u"--frob"_s, u"a"_s } << u"option '--head': unknown mode 'x'"_s;
}

void tst_CliOptions::rejectsBadUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);

    const CliOptions options = CliOptions::parse(arguments);
    QVERIFY2(options.error.startsWith(error), qPrintable(options.error));
    QVERIFY(!options.help && !options.version);
}

void tst_CliOptions::overridesLeaveOtherFieldsAsStored()
{
    Settings stored;
    stored.thresholdDb = -30;
    stored.leadMode = EndMode::Exact;
    stored.leadTargetMs = 80;
    stored.tailTargetMs = 900;
    stored.outputMode = OutputMode::InPlace;
    stored.outputRoot = u"/stored/root"_s;

    const CliOptions options = CliOptions::parse(
            { u"trim"_s, u"--tail"_s, u"topup"_s, u"--head"_s, u"cut:300"_s, u"a"_s });
    QCOMPARE(options.error, QString());
    Settings run = stored;
    options.applyTo(run);
    QCOMPARE(run.thresholdDb, -30.0);
    QCOMPARE(run.leadMode, EndMode::CutBack);
    QCOMPARE(run.leadTargetMs, 300);
    QCOMPARE(run.tailMode, EndMode::TopUp);
    QCOMPARE(run.tailTargetMs, 900);
    QCOMPARE(run.outputMode, OutputMode::InPlace);
    QCOMPARE(run.outputRoot, u"/stored/root"_s);
}

void tst_CliOptions::commandsAndPaths_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("analyse");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("flags");

    QTest::newRow("analyse") << QStringList{ u"analyse"_s, u"b"_s, u"a"_s } << true << QStringList{ u"b"_s, u"a"_s } << u""_s;
    QTest::newRow("analyze") << QStringList{ u"analyze"_s, u"a"_s } << true << QStringList{ u"a"_s } << u""_s;
    QTest::newRow("options anywhere") << QStringList{ u"--json"_s, u"trim"_s, u"a"_s, u"-q"_s, u"b"_s, u"--yes"_s } << false << QStringList{ u"a"_s, u"b"_s } << u"json quiet yes"_s;
    QTest::newRow("value not a path") << QStringList{ u"trim"_s, u"--threshold"_s, u"-45"_s, u"a"_s } << false << QStringList{ u"a"_s } << u""_s;
    QTest::newRow("double dash") << QStringList{ u"trim"_s, u"--no-settings"_s, u"--"_s, u"-odd"_s, u"--json"_s } << false << QStringList{ u"-odd"_s, u"--json"_s } << u"no-settings"_s;
}

void tst_CliOptions::commandsAndPaths()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, analyse);
    QFETCH(QStringList, paths);
    QFETCH(QString, flags);

    const CliOptions options = CliOptions::parse(arguments);
    QCOMPARE(options.error, QString());
    QCOMPARE(options.analyseOnly(), analyse);
    QCOMPARE(options.command, analyse ? CliOptions::Command::Analyse : CliOptions::Command::Trim);
    QCOMPARE(options.paths, paths);
    QStringList set;
    if (options.json)
        set << u"json"_s;
    if (options.quiet)
        set << u"quiet"_s;
    if (options.yes)
        set << u"yes"_s;
    if (options.noSettings)
        set << u"no-settings"_s;
    QCOMPARE(set.join(u' '), flags);
}

void tst_CliOptions::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("version");

    QTest::newRow("--help") << QStringList{ u"--help"_s } << true << false;
    QTest::newRow("-h after a command") << QStringList{ u"trim"_s, u"-h"_s } << true << false;
    QTest::newRow("help command") << QStringList{ u"help"_s } << true << false;
    QTest::newRow("help despite a bad option") << QStringList{ u"trim"_s, u"--frob"_s, u"--help"_s } << true << false;
    QTest::newRow("--version") << QStringList{ u"--version"_s } << false << true;
}

void tst_CliOptions::helpAndVersion()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, help);
    QFETCH(bool, version);

    const CliOptions options = CliOptions::parse(arguments);
    QCOMPARE(options.help, help);
    QCOMPARE(options.version, version);
    // Every option the parser knows is in the help, so none is hidden.
    const QString text = CliOptions::helpText();
    for (const char *name : { "--threshold DB", "--min-silence S", "--max-trim S", "--head MODE[:MS]",
                              "--tail MODE[:MS]", "--out DIR", "--in-place", "--method copy|reencode",
                              "--pad-fallback reencode|skip", "--backup, --no-backup",
                              "--keep-mtime, --no-keep-mtime", "--skip-untrimmed, --no-skip-untrimmed",
                              "--extensions LIST", "--recursive, --no-recursive", "--ffmpeg PATH",
                              "--ffprobe PATH", "--no-settings", "--json", "--quiet", "--yes" })
        QVERIFY2(text.contains(QLatin1String(name)), name);
    QCOMPARE(CliOptions::versionText(), u"kestrova-cli 1.0.0\n"_s);
}

QTEST_GUILESS_MAIN(tst_CliOptions)
#include "tst_clioptions.moc"
