#include "clioptions.h"
#include "settings.h"
#include "settingsstore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_CliOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void changesSettingsOrFails_data();
    void changesSettingsOrFails();
};

void tst_CliOptions::changesSettingsOrFails_data()
{
    QTest::addColumn<QString>("arguments"); // between "trim" and the path "a"
    QTest::addColumn<QString>("outcome"); // the keys changed in the store as key=value, or the error

    const QString self = QCoreApplication::applicationFilePath();
    QTest::newRow("value with a dash") << u"--threshold -45"_s << u"detection/thresholdDb=-45"_s;
    QTest::newRow("value after =") << u"--threshold=-42.5"_s << u"detection/thresholdDb=-42.5"_s;
    QTest::newRow("last wins") << u"--threshold -40 --threshold -60"_s << u"detection/thresholdDb=-60"_s;
    QTest::newRow("each number its own")
        << u"--min-silence 0.3 --max-trim 60"_s << u"detection/maxTrimSec=60 detection/minSilenceSec=0.3"_s;
    QTest::newRow("a mode alone keeps its target")
        << u"--head exact:300 --tail topup"_s << u"detection/leadMode=3 detection/leadTargetMs=300 detection/tailMode=2"_s;
    QTest::newRow("target 0") << u"--tail=leave:0"_s << u"detection/tailMode=0 detection/tailTargetMs=0"_s;
    QTest::newRow("destination made absolute")
        << u"-o dest/../copies"_s << u"output/root=%1/copies"_s.arg(QDir::currentPath());
    QTest::newRow("in place, choices") << u"--in-place --method reencode --pad-fallback skip"_s
                                       << u"output/mode=1 output/padFallback=1 output/trim=1"_s;
    QTest::newRow("flags off")
        << u"--no-backup --no-keep-mtime --no-skip-untrimmed --no-recursive"_s
        << u"output/keepMtime=false output/makeBackup=false output/skipUntrimmed=false scan/recursive=false"_s;
    QTest::newRow("and on again") << u"--no-backup --backup"_s << QString();
    QTest::newRow("extensions") << u"--extensions ,MP3,.flac,,"_s << u"scan/extensions=mp3,flac"_s;
    QTest::newRow("tool") << u"--ffprobe "_s + self << u"tools/ffprobe="_s + self;

    QTest::newRow("files at once") << u"-j 3"_s << u"tools/parallelJobs=3"_s;
    QTest::newRow("jobs out of range") << u"--jobs 65"_s << u"option '--jobs': '65' is not a whole number from 0 to 64"_s;
    QTest::newRow("jobs not whole") << u"--jobs 1.5"_s << u"option '--jobs': '1.5' is not a whole number from 0 to 64"_s;
    QTest::newRow("null without a list") << u"--null"_s << u"option '--null' needs --files-from"_s;
    QTest::newRow("unknown short") << u"-z"_s << u"unknown option '-z'"_s;
    QTest::newRow("bad target") << u"--tail cut:abc"_s
                                << u"option '--tail': bad target 'abc' (whole milliseconds, 0 to 30000)"_s;
    QTest::newRow("empty value") << u"--out="_s << u"option '--out' needs a value (DIR)"_s;
    QTest::newRow("not a number") << u"--threshold loud"_s << u"option '--threshold': 'loud' is not a number"_s;
    QTest::newRow("nan") << u"--min-silence nan"_s << u"option '--min-silence': 'nan' is not a number"_s;
    QTest::newRow("out of range") << u"--threshold 0"_s << u"option '--threshold': 0 is out of range (-90 to -10)"_s;
    QTest::newRow("flag with a value") << u"--json=yes"_s << u"option '--json' takes no value"_s;
    QTest::newRow("no extension")
        << u"--extensions ,."_s << u"option '--extensions': no extension in ',.' (a comma-separated list such as mp3,flac)"_s;
    QTest::newRow("tool missing") << u"--ffmpeg /nix"_s << u"option '--ffmpeg': '/nix' is not an executable file"_s;
    QTest::newRow("out and in place") << u"--out x --in-place"_s
                                      << u"options '--out' and '--in-place' cannot be used together"_s;
    QTest::newRow("bad mode, the first error named")
        << u"--head x --frob"_s << u"option '--head': unknown mode 'x' (use leave, cut, topup or exact)"_s;
}

void tst_CliOptions::changesSettingsOrFails()
{
    QFETCH(QString, arguments);
    QFETCH(QString, outcome);
    const CliOptions options = CliOptions::parse((u"trim "_s + arguments + u" a"_s).split(u' '));
    QCOMPARE(options.paths, QStringList{ u"a"_s });

    QTemporaryDir dir;
    QSettings before(dir.filePath(u"before.ini"_s), QSettings::IniFormat);
    QSettings after(dir.filePath(u"after.ini"_s), QSettings::IniFormat);
    Settings settings;
    saveSettings(settings, before);
    options.applyTo(settings);
    saveSettings(settings, after);
    QStringList changed;
    for (const QString &key : after.allKeys()) {
        const QVariant value = after.value(key);
        if (value != before.value(key))
            changed << key + u'=' + (value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',')
                                                                              : value.toString());
    }
    QCOMPARE(options.error.isEmpty() ? changed.join(u' ') : options.error, outcome);
}

QTEST_GUILESS_MAIN(tst_CliOptions)
#include "tst_clioptions.moc"
