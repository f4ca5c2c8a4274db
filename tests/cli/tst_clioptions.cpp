#include "clioptions.h"
#include "settings.h"
#include "settingssandbox.h"

#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

// The command line as parsed: the settings a run would start from, the paths, or the one error line.
class tst_CliOptions : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void parse_data();
    void parse();
};

namespace {

// The built-in settings with `change` made.
Settings with(const std::function<void(Settings &)> &change)
{
    Settings settings;
    change(settings);
    return settings;
}

} // namespace

void tst_CliOptions::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty: parsed
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<QStringList>("paths");
    const Settings defaults;
    const QStringList take{ u"take.wav"_s };
    const auto args = [](const char *line) { return QString::fromLatin1(line).split(u' '); };
    QTest::newRow("a value that starts with a dash") << args("analyse --threshold -45 take.wav") << QString()
                                                     << with([](Settings &s) { s.thresholdDb = -45; }) << take;
    QTest::newRow("values after '='") << args("analyse --threshold=-60 --jobs=3 take.wav") << QString()
                                      << with([](Settings &s) { s.thresholdDb = -60, s.parallelJobs = 3; }) << take;
    QTest::newRow("a short option's value")
            << args("analyse -j 2 take.wav") << QString() << with([](Settings &s) { s.parallelJobs = 2; }) << take;
    QTest::newRow("ends and their targets")
            << args("analyse --head exact:500 --tail leave take.wav") << QString() << with([](Settings &s) {
                   s.leadMode = EndMode::Exact, s.leadTargetMs = 500, s.tailMode = EndMode::LeaveAlone;
               })
            << take;
    QTest::newRow("the later of two wins")
            << args("trim --method reencode --method copy --in-place take.wav") << QString() << with([](Settings &s) {
                   s.trimMethod = TrimMethod::StreamCopy;
                   s.outputMode = OutputMode::InPlace;
               })
            << take;
    QTest::newRow("a destination, made absolute")
            << args("trim --out copies take.wav") << QString() << with([](Settings &s) {
                   s.outputMode = OutputMode::Mirror, s.outputRoot = QDir::current().absoluteFilePath(u"copies"_s);
               })
            << take;
    QTest::newRow("after '--', paths that start with a dash")
            << args("analyse -- -take.wav --jobs") << QString() << defaults << args("-take.wav --jobs");
    QTest::newRow("the loudest threshold") << args("analyse --threshold -10 take.wav") << QString()
                                           << with([](Settings &s) { s.thresholdDb = -10; }) << take;
    // Refused, in one line that names the option.
    const auto refused = [&](const char *tag, const char *line, const QString &error) {
        QTest::newRow(tag) << args(line) << error << defaults << QStringList();
    };
    refused("a threshold above -10 dB", "analyse --threshold -5 take.wav",
            u"option '--threshold': -5 is out of range (-90 to -10)"_s);
    refused("a threshold that is no number", "analyse --threshold loud take.wav",
            u"option '--threshold': 'loud' is not a number"_s);
    refused("jobs not whole", "analyse --jobs 1.5 take.wav",
            u"option '--jobs': '1.5' is not a whole number from 0 to 64"_s);
    refused("a target past the limit", "analyse --head cut:30001 take.wav",
            u"option '--head': bad target '30001' (whole milliseconds, 0 to 30000)"_s);
    refused("an unknown end mode", "analyse --tail trim:10 take.wav",
            u"option '--tail': unknown mode 'trim' (use leave, cut, topup or exact)"_s);
    refused("--out with --in-place", "trim --out copies --in-place take.wav",
            u"options '--out' and '--in-place' cannot be used together"_s);
    refused("an unknown option", "analyse --thresold -45 take.wav", u"unknown option '--thresold'"_s);
    refused("an unknown short option", "analyse -x take.wav", u"unknown option '-x'"_s);
    refused("a flag given a value", "analyse --quiet=yes take.wav", u"option '--quiet' takes no value"_s);
    refused("a value missing at the end", "analyse take.wav --threshold", u"option '--threshold' needs a value (DB)"_s);
    refused("empty extensions", "analyse --extensions= take.wav", u"option '--extensions' needs a value (LIST)"_s);
    refused("extensions with no name", "analyse --extensions=.,* take.wav",
            u"option '--extensions': no extension in '.,*' (a comma-separated list such as mp3,flac)"_s);
    const QString plain = m_dir.filePath(u"ffmpeg"_s); // a file, not executable
    QTest::newRow("an --ffmpeg that cannot run")
            << QStringList{ u"analyse"_s, u"--ffmpeg"_s, plain, u"take.wav"_s }
            << u"option '--ffmpeg': '%1' is not an executable file"_s.arg(plain) << defaults << QStringList();
    refused("no command", "--jobs 2", u"no command given (analyse or trim)"_s);
    refused("an unknown command", "trimm take.wav", u"unknown command 'trimm' (use analyse or trim)"_s);
    refused("no paths", "analyse --jobs 2", u"no files or folders given"_s);
    refused("--null without --files-from", "analyse --null take.wav", u"option '--null' needs --files-from"_s);
}

void tst_CliOptions::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(Settings, settings);
    QFile plain(m_dir.filePath(u"ffmpeg"_s));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    const CliOptions options = CliOptions::parse(arguments);
    QCOMPARE(options.error, error);
    if (!error.isEmpty())
        return;
    QTEST(options.paths, "paths");
    Settings parsed;
    options.applyTo(parsed);
    QCOMPARE(test::fields(parsed), test::fields(settings));
}

QTEST_GUILESS_MAIN(tst_CliOptions)
#include "tst_clioptions.moc"
