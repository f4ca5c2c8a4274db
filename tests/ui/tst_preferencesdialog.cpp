#include "preferencesdialog.h"
#include "scriptedprompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

namespace {

template<typename T>
T *part(const PreferencesDialog &dialog, const char *name)
{
    T *widget = dialog.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no control named %s", name);
    return widget;
}

// Every field away from its default, the two ends different from each other.
Settings unusualSettings()
{
    Settings s;
    s.thresholdDb = -62.5;
    s.minSilenceSec = 1.25;
    s.maxTrimSec = 45;
    s.leadMode = EndMode::Exact;
    s.tailMode = EndMode::TopUp;
    s.leadTargetMs = 250;
    s.tailTargetMs = 1800;
    s.outputMode = OutputMode::InPlace;
    s.trimMethod = TrimMethod::ReEncode;
    s.outputRoot = u"/srv/audio/trimmed"_s;
    s.keepMtime = false;
    s.makeBackup = false;
    s.skipUntrimmed = false;
    s.padFallback = PadFallback::Skip;
    s.extensions = QStringList{ u"opus"_s, u"mka"_s };
    s.recursive = false;
    s.ffmpegPath = u"/opt/ff/bin/ffmpeg"_s;
    s.ffprobePath = u"/opt/ff/bin/ffprobe"_s;
    s.autoCheck = false;
    s.skippedVersion = u"1.3.0"_s;
    s.lastCheck = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53, 589), Qt::UTC);
    return s;
}

void compareSettings(const Settings &actual, const Settings &expected)
{
    QCOMPARE(actual.thresholdDb, expected.thresholdDb);
    QCOMPARE(actual.minSilenceSec, expected.minSilenceSec);
    QCOMPARE(actual.maxTrimSec, expected.maxTrimSec);
    QCOMPARE(actual.leadMode, expected.leadMode);
    QCOMPARE(actual.tailMode, expected.tailMode);
    QCOMPARE(actual.leadTargetMs, expected.leadTargetMs);
    QCOMPARE(actual.tailTargetMs, expected.tailTargetMs);
    QCOMPARE(actual.outputMode, expected.outputMode);
    QCOMPARE(actual.trimMethod, expected.trimMethod);
    QCOMPARE(actual.outputRoot, expected.outputRoot);
    QCOMPARE(actual.keepMtime, expected.keepMtime);
    QCOMPARE(actual.makeBackup, expected.makeBackup);
    QCOMPARE(actual.skipUntrimmed, expected.skipUntrimmed);
    QCOMPARE(actual.padFallback, expected.padFallback);
    QCOMPARE(actual.extensions, expected.extensions);
    QCOMPARE(actual.recursive, expected.recursive);
    QCOMPARE(actual.ffmpegPath, expected.ffmpegPath);
    QCOMPARE(actual.ffprobePath, expected.ffprobePath);
    QCOMPARE(actual.autoCheck, expected.autoCheck);
    QCOMPARE(actual.skippedVersion, expected.skippedVersion);
    QCOMPARE(actual.lastCheck, expected.lastCheck);
}

} // namespace

class tst_PreferencesDialog : public QObject
{
    Q_OBJECT

private slots:
    void everyFieldRoundTrips_data();
    void everyFieldRoundTrips();
    void controlsShowTheSettings();
    void extensionsAreParsed_data();
    void extensionsAreParsed();
    void controlsHoldTheLimits_data();
    void controlsHoldTheLimits();
    void modesEnableTheirControls_data();
    void modesEnableTheirControls();
    void inPlaceDisablesDestinationButKeepsIt();
    void anyNonZeroMethodIsReEncode_data();
    void anyNonZeroMethodIsReEncode();
    void browseToolAsksThroughPrompts();
    void browseOutputAsksThroughPrompts();
};

void tst_PreferencesDialog::everyFieldRoundTrips_data()
{
    QTest::addColumn<Settings>("settings");
    QTest::newRow("defaults") << Settings();
    // Also brings the update check's bookkeeping back untouched.
    QTest::newRow("unusual") << unusualSettings();
}

void tst_PreferencesDialog::everyFieldRoundTrips()
{
    QFETCH(Settings, settings);
    const PreferencesDialog dialog(settings);
    compareSettings(dialog.settings(), settings);
}

// A round trip alone would not notice the head and tail swapped both ways.
void tst_PreferencesDialog::controlsShowTheSettings()
{
    const Settings s = unusualSettings();
    const PreferencesDialog dialog(s);
    QCOMPARE(part<QDoubleSpinBox>(dialog, "thresholdSpin")->value(), -62.5);
    QCOMPARE(part<QDoubleSpinBox>(dialog, "minSilenceSpin")->value(), 1.25);
    QCOMPARE(part<QComboBox>(dialog, "leadModeCombo")->currentText(), u"Make it exactly the target"_s);
    QCOMPARE(part<QComboBox>(dialog, "tailModeCombo")->currentText(), u"Top up to the target"_s);
    QCOMPARE(part<QSpinBox>(dialog, "leadTargetSpin")->value(), 250);
    QCOMPARE(part<QSpinBox>(dialog, "tailTargetSpin")->value(), 1800);
    QCOMPARE(part<QComboBox>(dialog, "padFallbackCombo")->currentText(), u"Skip the file"_s);
    QVERIFY(part<QRadioButton>(dialog, "inPlaceRadio")->isChecked());
    QVERIFY(!part<QRadioButton>(dialog, "mirrorRadio")->isChecked());
    QCOMPARE(part<QLineEdit>(dialog, "extensionsEdit")->text(), u"opus mka"_s);
    QCOMPARE(part<QLineEdit>(dialog, "ffmpegEdit")->text(), s.ffmpegPath);
    QCOMPARE(part<QLineEdit>(dialog, "ffprobeEdit")->text(), s.ffprobePath);
}

void tst_PreferencesDialog::extensionsAreParsed_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("patterns and separators") << u"*.MP3, .wav;;  Flac"_s
                                             << QStringList{ u"mp3"_s, u"wav"_s, u"flac"_s };
    QTest::newRow("tabs and padding") << u"\t ogg\tAIFF  "_s << QStringList{ u"ogg"_s, u"aiff"_s };
    QTest::newRow("stars and dots only stay empty") << u"mp3 *.* m4a"_s
                                                    << QStringList{ u"mp3"_s, QString(), u"m4a"_s };
    QTest::newRow("blank keeps the list") << QString() << QStringList{ u"opus"_s, u"mka"_s };
    QTest::newRow("separators only keep the list") << u" ,; ;"_s << QStringList{ u"opus"_s, u"mka"_s };
}

void tst_PreferencesDialog::extensionsAreParsed()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, expected);
    PreferencesDialog dialog(unusualSettings());
    part<QLineEdit>(dialog, "extensionsEdit")->setText(typed);
    QCOMPARE(dialog.settings().extensions, expected);
}

void tst_PreferencesDialog::controlsHoldTheLimits_data()
{
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<double>("entered");
    QTest::addColumn<double>("held");
    QTest::newRow("threshold low") << "thresholdSpin"_ba << -95.0 << -90.0;
    QTest::newRow("threshold decimals") << "thresholdSpin"_ba << -41.24 << -41.2;
    QTest::newRow("minimum silence low") << "minSilenceSpin"_ba << 0.01 << 0.05;
    QTest::newRow("safety limit high") << "maxTrimSpin"_ba << 9000.0 << 7200.0;
    QTest::newRow("safety limit whole") << "maxTrimSpin"_ba << 12.6 << 13.0;
    QTest::newRow("head target high") << "leadTargetSpin"_ba << 30001.0 << 30000.0;
    QTest::newRow("tail target low") << "tailTargetSpin"_ba << -1.0 << 0.0;
}

void tst_PreferencesDialog::controlsHoldTheLimits()
{
    QFETCH(QByteArray, control);
    QFETCH(double, entered);
    QFETCH(double, held);
    PreferencesDialog dialog(Settings{});
    if (auto *spin = dialog.findChild<QSpinBox *>(QLatin1String(control)))
        spin->setValue(int(entered));
    else
        part<QDoubleSpinBox>(dialog, control.constData())->setValue(entered);

    const Settings s = dialog.settings();
    const QHash<QByteArray, double> read{ { "thresholdSpin", s.thresholdDb },
                                          { "minSilenceSpin", s.minSilenceSec },
                                          { "maxTrimSpin", s.maxTrimSec },
                                          { "leadTargetSpin", s.leadTargetMs },
                                          { "tailTargetSpin", s.tailTargetMs } };
    QCOMPARE(read.value(control), held);
}

void tst_PreferencesDialog::modesEnableTheirControls_data()
{
    QTest::addColumn<int>("lead");
    QTest::addColumn<int>("tail");
    QTest::addColumn<int>("fromLead");
    QTest::addColumn<int>("fromTail");
    QTest::addColumn<bool>("leadTarget");
    QTest::addColumn<bool>("tailTarget");
    QTest::addColumn<bool>("padFallback");
    // The "from" modes give the opposite states wherever the combination allows.
    QTest::newRow("both left alone") << 0 << 0 << 3 << 3 << false << false << false;
    QTest::newRow("tail topped up") << 0 << 2 << 1 << 0 << false << true << true;
    QTest::newRow("head exact") << 3 << 0 << 0 << 1 << true << false << true;
    QTest::newRow("both cut back") << 1 << 1 << 0 << 3 << true << true << false;
}

// Checked both as built from the settings and after the user picks the modes.
void tst_PreferencesDialog::modesEnableTheirControls()
{
    QFETCH(int, lead);
    QFETCH(int, tail);
    QFETCH(int, fromLead);
    QFETCH(int, fromTail);
    QFETCH(bool, leadTarget);
    QFETCH(bool, tailTarget);
    QFETCH(bool, padFallback);

    Settings s;
    s.leadMode = EndMode(lead);
    s.tailMode = EndMode(tail);
    const PreferencesDialog built(s);

    s.leadMode = EndMode(fromLead);
    s.tailMode = EndMode(fromTail);
    PreferencesDialog edited(s);
    part<QComboBox>(edited, "leadModeCombo")->setCurrentIndex(lead);
    part<QComboBox>(edited, "tailModeCombo")->setCurrentIndex(tail);

    for (const PreferencesDialog *dialog : std::initializer_list<const PreferencesDialog *>{ &built, &edited }) {
        QCOMPARE(part<QSpinBox>(*dialog, "leadTargetSpin")->isEnabled(), leadTarget);
        QCOMPARE(part<QSpinBox>(*dialog, "tailTargetSpin")->isEnabled(), tailTarget);
        QCOMPARE(part<QComboBox>(*dialog, "padFallbackCombo")->isEnabled(), padFallback);
        QCOMPARE(dialog->settings().leadMode, EndMode(lead));
        QCOMPARE(dialog->settings().tailMode, EndMode(tail));
    }
}

void tst_PreferencesDialog::inPlaceDisablesDestinationButKeepsIt()
{
    Settings s;
    s.outputRoot = u"  /music/out "_s;
    PreferencesDialog dialog(s);
    auto *destination = part<QLineEdit>(dialog, "outputRootEdit");
    auto *browse = part<QPushButton>(dialog, "outputBrowseButton");
    QVERIFY(destination->isEnabled());
    QVERIFY(browse->isEnabled());

    part<QRadioButton>(dialog, "inPlaceRadio")->click();
    QVERIFY(!part<QRadioButton>(dialog, "mirrorRadio")->isChecked());
    QVERIFY(!destination->isEnabled());
    QVERIFY(!browse->isEnabled());
    QCOMPARE(dialog.settings().outputMode, OutputMode::InPlace);
    QCOMPARE(dialog.settings().outputRoot, u"/music/out"_s);

    part<QRadioButton>(dialog, "mirrorRadio")->click();
    QVERIFY(destination->isEnabled());
    QVERIFY(browse->isEnabled());
    QCOMPARE(dialog.settings().outputMode, OutputMode::Mirror);
}

void tst_PreferencesDialog::anyNonZeroMethodIsReEncode_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("returned");
    QTest::newRow("stream copy") << 0 << 0;
    QTest::newRow("re-encode") << 1 << 1;
    QTest::newRow("unknown") << 7 << 1;
    QTest::newRow("negative") << -2 << 1;
}

void tst_PreferencesDialog::anyNonZeroMethodIsReEncode()
{
    QFETCH(int, stored);
    QFETCH(int, returned);
    Settings s;
    s.trimMethod = TrimMethod(stored);
    const PreferencesDialog dialog(s);
    QVERIFY(part<QComboBox>(dialog, "trimMethodCombo")->currentText().startsWith(
        returned ? u"Re-encode"_s : u"Stream copy"_s));
    QCOMPARE(int(dialog.settings().trimMethod), returned);
}

void tst_PreferencesDialog::browseToolAsksThroughPrompts()
{
    Settings s;
    s.ffmpegPath = u"/usr/local/bin/ffmpeg"_s;
    PreferencesDialog dialog(s);
    ScriptedPrompts prompts;
    dialog.setPrompts(&prompts);

    prompts.paths = { QString(), u"/opt/ff/ffprobe"_s };
    part<QPushButton>(dialog, "ffmpegBrowseButton")->click();
    part<QPushButton>(dialog, "ffprobeBrowseButton")->click();

    QCOMPARE(prompts.methods(), (QStringList{ u"openFileName"_s, u"openFileName"_s }));
    QCOMPARE(prompts.asked[0].caption, u"Locate ffmpeg"_s);
    QCOMPARE(prompts.asked[0].text, u"/usr/local/bin/ffmpeg"_s);
    QCOMPARE(prompts.asked[0].filter, QString());
    QCOMPARE(prompts.asked[1].caption, u"Locate ffprobe"_s);
    QCOMPARE(prompts.asked[1].text, QString());
    // The cancelled pick changed nothing; the answered one filled its own field.
    QCOMPARE(dialog.settings().ffmpegPath, u"/usr/local/bin/ffmpeg"_s);
    QCOMPARE(dialog.settings().ffprobePath, u"/opt/ff/ffprobe"_s);
}

void tst_PreferencesDialog::browseOutputAsksThroughPrompts()
{
    Settings s;
    s.outputRoot = u"/music/old"_s;
    PreferencesDialog dialog(s);
    ScriptedPrompts prompts;
    dialog.setPrompts(&prompts);

    prompts.paths = { QString(), u"/music/new"_s };
    auto *browse = part<QPushButton>(dialog, "outputBrowseButton");
    browse->click();
    QCOMPARE(dialog.settings().outputRoot, u"/music/old"_s);
    browse->click();
    QCOMPARE(dialog.settings().outputRoot, u"/music/new"_s);

    QCOMPARE(prompts.methods(), (QStringList{ u"existingDirectory"_s, u"existingDirectory"_s }));
    QCOMPARE(prompts.asked[0].caption, u"Destination folder"_s);
    QCOMPARE(prompts.asked[0].text, u"/music/old"_s);
}

QTEST_MAIN(tst_PreferencesDialog)
#include "tst_preferencesdialog.moc"
