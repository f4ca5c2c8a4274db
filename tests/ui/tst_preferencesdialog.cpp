#include "preferencesdialog.h"
#include "scriptedprompts.h"
#include "settingssandbox.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

using namespace ks;
using namespace Qt::StringLiterals;

class tst_PreferencesDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyFieldRoundTrips();
    void extensionsAreParsed_data();
    void extensionsAreParsed();
    void controlsHoldTheLimits_data();
    void controlsHoldTheLimits();
    void modesEnableTheirControls_data();
    void modesEnableTheirControls();
    void inPlaceDisablesDestinationButKeepsIt();
    void browsingAsksThroughPrompts();
    void unrunnableToolRefused_data();
    void unrunnableToolRefused();
};

template<typename T>
static T *part(const QDialog &dialog, const char *name)
{
    T *widget = dialog.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no control named %s", name);
    return widget;
}

using test::unusualSettings;

void tst_PreferencesDialog::everyFieldRoundTrips()
{
    QCOMPARE(test::fields(PreferencesDialog(Settings()).settings()), test::fields(Settings()));
    const PreferencesDialog dialog(unusualSettings());
    QCOMPARE(test::fields(dialog.settings()), test::fields(unusualSettings()));
    // A round trip alone would not notice the head and tail swapped both ways.
    QCOMPARE(part<QComboBox>(dialog, "leadModeCombo")->currentText(), u"Make it exactly the target"_s);
    QCOMPARE(part<QSpinBox>(dialog, "tailTargetSpin")->value(), 1800);
    QCOMPARE(part<QComboBox>(dialog, "padFallbackCombo")->currentText(), u"Skip the file"_s);
    QCOMPARE(part<QLineEdit>(dialog, "extensionsEdit")->text(), u"opus mka"_s); // the update check's fields pass through

    // Any method other than stream copy shows, and returns, re-encoding.
    Settings odd;
    odd.trimMethod = TrimMethod(7);
    const PreferencesDialog oddDialog(odd);
    QVERIFY(part<QComboBox>(oddDialog, "trimMethodCombo")->currentText().startsWith(u"Re-encode"_s));
    QCOMPARE(oddDialog.settings().trimMethod, TrimMethod::ReEncode);
}

void tst_PreferencesDialog::extensionsAreParsed_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("patterns and separators") << u"*.MP3, .wav;;  Flac"_s << QStringList{ u"mp3"_s, u"wav"_s, u"flac"_s };
    QTest::newRow("stars and dots only stay empty") << u"mp3 *.* m4a"_s << QStringList{ u"mp3"_s, QString(), u"m4a"_s };
    QTest::newRow("blank keeps the list") << QString() << QStringList{ u"opus"_s, u"mka"_s };
    QTest::newRow("separators only keep the list") << u" ,; ;"_s << QStringList{ u"opus"_s, u"mka"_s };
}

void tst_PreferencesDialog::extensionsAreParsed()
{
    QFETCH(QString, typed);
    PreferencesDialog dialog(unusualSettings());
    part<QLineEdit>(dialog, "extensionsEdit")->setText(typed);
    QTEST(dialog.settings().extensions, "expected");
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
    QTest::newRow("head target high") << "leadTargetSpin"_ba << 30001.0 << 30000.0;
}

void tst_PreferencesDialog::controlsHoldTheLimits()
{
    QFETCH(QByteArray, control);
    QFETCH(double, entered);
    PreferencesDialog dialog(Settings{});
    if (auto *spin = dialog.findChild<QSpinBox *>(QLatin1String(control)))
        spin->setValue(int(entered));
    else
        part<QDoubleSpinBox>(dialog, control.constData())->setValue(entered);
    const Settings s = dialog.settings();
    const QHash<QByteArray, double> read{ { "thresholdSpin", s.thresholdDb }, { "minSilenceSpin", s.minSilenceSec },
                                          { "maxTrimSpin", s.maxTrimSec }, { "leadTargetSpin", s.headTargetMs } };
    QTEST(read.value(control), "held");
}

void tst_PreferencesDialog::modesEnableTheirControls_data()
{
    QTest::addColumn<int>("lead");
    QTest::addColumn<int>("tail");
    QTest::addColumn<QList<bool>>("enabled"); // head target, tail target, pad fallback
    QTest::newRow("both left alone") << 0 << 0 << QList<bool>{ false, false, false };
    QTest::newRow("tail topped up") << 0 << 2 << QList<bool>{ false, true, true };
    QTest::newRow("head exact") << 3 << 0 << QList<bool>{ true, false, true };
    QTest::newRow("both cut back") << 1 << 1 << QList<bool>{ true, true, false };
}

// Checked as built from the settings and again after the user picks the modes.
void tst_PreferencesDialog::modesEnableTheirControls()
{
    QFETCH(int, lead);
    QFETCH(int, tail);
    Settings s;
    s.headMode = EndMode(lead);
    s.tailMode = EndMode(tail);
    const PreferencesDialog built(s);
    s.headMode = EndMode(3 - lead);
    s.tailMode = EndMode(3 - tail);
    PreferencesDialog edited(s);
    part<QComboBox>(edited, "leadModeCombo")->setCurrentIndex(lead);
    part<QComboBox>(edited, "tailModeCombo")->setCurrentIndex(tail);
    for (const PreferencesDialog *dialog : { &built, const_cast<const PreferencesDialog *>(&edited) }) {
        const QList<bool> enabled{ part<QSpinBox>(*dialog, "leadTargetSpin")->isEnabled(),
                                   part<QSpinBox>(*dialog, "tailTargetSpin")->isEnabled(),
                                   part<QComboBox>(*dialog, "padFallbackCombo")->isEnabled() };
        QTEST(enabled, "enabled");
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
    QVERIFY(destination->isEnabled() && browse->isEnabled());
    part<QRadioButton>(dialog, "inPlaceRadio")->click();
    QVERIFY(!destination->isEnabled() && !browse->isEnabled());
    QCOMPARE(dialog.settings().outputMode, OutputMode::InPlace);
    QCOMPARE(dialog.settings().outputRoot, u"/music/out"_s);
    part<QRadioButton>(dialog, "mirrorRadio")->click();
    QVERIFY(destination->isEnabled() && browse->isEnabled());
}

void tst_PreferencesDialog::browsingAsksThroughPrompts()
{
    Settings s;
    s.ffmpegPath = u"/usr/local/bin/ffmpeg"_s;
    s.outputRoot = u"/music/old"_s;
    PreferencesDialog dialog(s);
    ScriptedPrompts prompts;
    dialog.setPrompts(&prompts);
    prompts.paths = { QString(), u"/opt/ff/ffprobe"_s, u"/music/new"_s };
    part<QPushButton>(dialog, "ffmpegBrowseButton")->click(); // cancelled
    part<QPushButton>(dialog, "ffprobeBrowseButton")->click();
    part<QPushButton>(dialog, "outputBrowseButton")->click();

    QCOMPARE(prompts.methods(), QStringList({ u"openFileName"_s, u"openFileName"_s, u"existingDirectory"_s }));
    QCOMPARE(prompts.asked[0].caption + u'|' + prompts.asked[0].text, u"Locate ffmpeg|/usr/local/bin/ffmpeg"_s);
    QCOMPARE(prompts.asked[1].caption, u"Locate ffprobe"_s);
    QCOMPARE(prompts.asked[2].caption + u'|' + prompts.asked[2].text, u"Destination folder|/music/old"_s);
    QCOMPARE(dialog.settings().ffmpegPath, u"/usr/local/bin/ffmpeg"_s);
    QCOMPARE(dialog.settings().ffprobePath, u"/opt/ff/ffprobe"_s);
    QCOMPARE(dialog.settings().outputRoot, u"/music/new"_s);
}

void tst_PreferencesDialog::unrunnableToolRefused_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("problem"); // empty: accepted
    QTest::newRow("blank searches") << QString() << QString();
    QTest::newRow("runnable") << u"/bin/sh"_s << QString();
    QTest::newRow("missing") << u"/nowhere/ffmpeg"_s << u"/nowhere/ffmpeg does not exist."_s;
    QTest::newRow("folder") << u"/tmp"_s << u"/tmp is a folder, not a program."_s;
    QTest::newRow("not executable") << u"%1"_s << u"%1 is not a program that can be run."_s;
}

void tst_PreferencesDialog::unrunnableToolRefused()
{
    QFETCH(QString, path);
    QFETCH(QString, problem);
    QTemporaryFile plain; // "%1": a file without execute permission
    QVERIFY(plain.open());
    if (path == u"%1")
        path = plain.fileName();
    problem.replace(u"%1"_s, plain.fileName());
    PreferencesDialog dialog{ Settings() };
    ScriptedPrompts prompts;
    dialog.setPrompts(&prompts);
    part<QLineEdit>(dialog, "ffprobeEdit")->setText(path);
    dialog.accept();
    QCOMPARE(dialog.result(), problem.isEmpty() ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(prompts.asked.isEmpty() ? QString() : prompts.asked.first().text, problem);
}

QTEST_MAIN(tst_PreferencesDialog)
#include "tst_preferencesdialog.moc"
