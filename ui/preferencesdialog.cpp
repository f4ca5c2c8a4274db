#include "preferencesdialog.h"

#include "extensionlist.h"
#include "settingstable.h"
#include "textformat.h"
#include "toollocator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace ks {

namespace {

constexpr int LeaveAloneData = int(EndMode::LeaveAlone);

// A mode that can add silence needs the pad fallback.
bool addsSilence(int mode)
{
    return mode == int(EndMode::TopUp) || mode == int(EndMode::Exact);
}

QVBoxLayout *pageLayout(QWidget *page, int spacing)
{
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(spacing);
    return layout;
}

// The spin boxes take their ranges from the settings table, as the command
// line's checks do.
QDoubleSpinBox *doubleSpin(QWidget *parent, const char *name, double Settings::*field, int decimals, double step,
        const QString &suffix, double value)
{
    const SettingsTable::Row &limits = SettingsTable::row(field);
    auto *spin = new QDoubleSpinBox(parent);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(limits.minimum, limits.maximum);
    spin->setDecimals(decimals);
    spin->setSingleStep(step);
    spin->setSuffix(suffix);
    spin->setValue(value);
    return spin;
}

QSpinBox *targetSpin(QWidget *parent, const char *name, int Settings::*field, int value)
{
    const SettingsTable::Row &limits = SettingsTable::row(field);
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(int(limits.minimum), int(limits.maximum));
    spin->setSingleStep(50);
    spin->setSuffix(PreferencesDialog::tr(" ms"));
    spin->setValue(value);
    return spin;
}

// The item whose data is the stored value; an unknown value selects nothing.
void selectByData(QComboBox *combo, int value)
{
    combo->setCurrentIndex(combo->findData(value, Qt::UserRole, Qt::MatchExactly));
}

QComboBox *modeCombo(QWidget *parent, const char *name, EndMode mode)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->addItem(PreferencesDialog::tr("Leave alone"), int(EndMode::LeaveAlone));
    combo->addItem(PreferencesDialog::tr("Cut back to the target"), int(EndMode::CutBack));
    combo->addItem(PreferencesDialog::tr("Top up to the target"), int(EndMode::TopUp));
    combo->addItem(PreferencesDialog::tr("Make it exactly the target"), int(EndMode::Exact));
    selectByData(combo, int(mode));
    return combo;
}

QHBoxLayout *endRow(QComboBox *combo, QSpinBox *target, QWidget *parent)
{
    auto *row = new QHBoxLayout;
    row->addWidget(combo, 1);
    row->addWidget(new QLabel(PreferencesDialog::tr("target"), parent));
    row->addWidget(target);
    return row;
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &text, bool checked)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
}

QLineEdit *lineEdit(QWidget *parent, const char *name, const QString &text, const QString &placeholder)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(placeholder);
    return edit;
}

// A field with no type in it keeps the previous list, so clearing the field
// cannot leave scans finding nothing.
QStringList parseExtensions(const QString &text, const QStringList &previous)
{
    const QStringList extensions = ExtensionList::parse(text);
    return extensions.isEmpty() ? previous : extensions;
}

} // namespace

PreferencesDialog::PreferencesDialog(const Settings &settings, QWidget *parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setWindowTitle(tr("Preferences"));
    setModal(true);
    setMinimumWidth(540);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabs"));
    tabs->addTab(buildSilenceTab(), tr("Silence"));
    tabs->addTab(buildOutputTab(), tr("Output"));
    tabs->addTab(buildScanningTab(), tr("Scanning"));
    tabs->addTab(buildAdvancedTab(), tr("Advanced"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->setSpacing(12);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);

    connect(m_leadModeCombo, &QComboBox::currentIndexChanged, this, &PreferencesDialog::updateModeDependents);
    connect(m_tailModeCombo, &QComboBox::currentIndexChanged, this, &PreferencesDialog::updateModeDependents);
    connect(m_mirrorRadio, &QRadioButton::toggled, this, &PreferencesDialog::updateDestinationEnabled);
    updateModeDependents();
    updateDestinationEnabled();
}

QString PreferencesDialog::toolPathProblem(const QString &path)
{
    if (path.isEmpty())
        return QString();
    const QFileInfo info(path);
    if (!info.exists())
        return tr("%1 does not exist.").arg(native(path));
    if (info.isDir())
        return tr("%1 is a folder, not a program.").arg(native(path));
    if (!ToolLocator::isRunnable(path))
        return tr("%1 is not a program that can be run.").arg(native(path));
    return QString();
}

// A tool path that cannot run is refused here, with the reason, rather
// than passed over silently at the next run.
void PreferencesDialog::accept()
{
    for (QLineEdit *edit : { m_ffmpegEdit, m_ffprobeEdit }) {
        const QString problem = toolPathProblem(edit->text().trimmed());
        if (!problem.isEmpty()) {
            m_prompts->warning(this, tr("Preferences"), problem);
            edit->setFocus();
            return;
        }
    }
    QDialog::accept();
}

QWidget *PreferencesDialog::buildSilenceTab()
{
    auto *page = new QWidget;
    auto *layout = pageLayout(page, 10);

    auto *detection = new QGroupBox(tr("Detection"), page);
    auto *detectionForm = new QFormLayout(detection);
    m_thresholdSpin = doubleSpin(
            detection, "thresholdSpin", &Settings::thresholdDb, 1, 1.0, tr(" dBFS"), m_settings.thresholdDb);
    m_minSilenceSpin = doubleSpin(
            detection, "minSilenceSpin", &Settings::minSilenceSec, 2, 0.05, tr(" s"), m_settings.minSilenceSec);
    m_maxTrimSpin
            = doubleSpin(detection, "maxTrimSpin", &Settings::maxTrimSec, 0, 1.0, tr(" s"), m_settings.maxTrimSec);
    detectionForm->addRow(tr("Threshold"), m_thresholdSpin);
    detectionForm->addRow(tr("Minimum silence"), m_minSilenceSpin);
    detectionForm->addRow(tr("Refuse to remove more than"), m_maxTrimSpin);

    auto *ends = new QGroupBox(tr("Silence at each end"), page);
    auto *endsForm = new QFormLayout(ends);
    m_leadModeCombo = modeCombo(ends, "leadModeCombo", m_settings.leadMode);
    m_tailModeCombo = modeCombo(ends, "tailModeCombo", m_settings.tailMode);
    m_leadTargetSpin = targetSpin(ends, "leadTargetSpin", &Settings::leadTargetMs, m_settings.leadTargetMs);
    m_tailTargetSpin = targetSpin(ends, "tailTargetSpin", &Settings::tailTargetMs, m_settings.tailTargetMs);
    m_padFallbackCombo = new QComboBox(ends);
    m_padFallbackCombo->setObjectName(QStringLiteral("padFallbackCombo"));
    m_padFallbackCombo->addItem(tr("Re-encode the file"), int(PadFallback::ReEncode));
    m_padFallbackCombo->addItem(tr("Skip the file"), int(PadFallback::Skip));
    selectByData(m_padFallbackCombo, int(m_settings.padFallback));
    m_padFallbackCombo->setToolTip(
            wrappingToolTip(tr("Silence has to be generated by a filter, and a filter needs an encoder, "
                               "so a file that needs silence added cannot be stream copied.")));
    endsForm->addRow(tr("Head"), endRow(m_leadModeCombo, m_leadTargetSpin, ends));
    endsForm->addRow(tr("Tail"), endRow(m_tailModeCombo, m_tailTargetSpin, ends));
    endsForm->addRow(tr("When silence must be added"), m_padFallbackCombo);

    layout->addWidget(detection);
    layout->addWidget(ends);
    layout->addStretch(1);
    return page;
}

QWidget *PreferencesDialog::buildOutputTab()
{
    auto *page = new QWidget;
    auto *layout = pageLayout(page, 8);

    // Both radio buttons are children of the page, which makes them exclusive.
    m_mirrorRadio = new QRadioButton(tr("Write copies to another folder, mirroring the source tree"), page);
    m_mirrorRadio->setObjectName(QStringLiteral("mirrorRadio"));
    m_mirrorRadio->setChecked(m_settings.outputMode == OutputMode::Mirror);

    auto *destinationRow = new QHBoxLayout;
    destinationRow->setContentsMargins(20, 0, 0, 0);
    m_outputRootEdit = lineEdit(page, "outputRootEdit", m_settings.outputRoot, QString());
    m_outputBrowseButton = new QPushButton(tr("Browse..."), page);
    m_outputBrowseButton->setObjectName(QStringLiteral("outputBrowseButton"));
    connect(m_outputBrowseButton, &QPushButton::clicked, this, &PreferencesDialog::browseOutput);
    destinationRow->addWidget(new QLabel(tr("Destination"), page));
    destinationRow->addWidget(m_outputRootEdit, 1);
    destinationRow->addWidget(m_outputBrowseButton);

    m_inPlaceRadio = new QRadioButton(tr("Overwrite the original files in place"), page);
    m_inPlaceRadio->setObjectName(QStringLiteral("inPlaceRadio"));
    m_inPlaceRadio->setChecked(m_settings.outputMode == OutputMode::InPlace);

    auto *methodRow = new QHBoxLayout;
    m_trimMethodCombo = new QComboBox(page);
    m_trimMethodCombo->setObjectName(QStringLiteral("trimMethodCombo"));
    m_trimMethodCombo->addItem(tr("Stream copy - lossless, cuts on frame boundaries"), int(TrimMethod::StreamCopy));
    m_trimMethodCombo->addItem(tr("Re-encode - sample accurate, re-compresses"), int(TrimMethod::ReEncode));
    m_trimMethodCombo->setCurrentIndex(m_settings.trimMethod != TrimMethod::StreamCopy ? 1 : 0);
    methodRow->addWidget(new QLabel(tr("Method"), page));
    methodRow->addWidget(m_trimMethodCombo, 1);
    m_reencodeQualityCombo = new QComboBox(page);
    m_reencodeQualityCombo->setObjectName(QStringLiteral("reencodeQualityCombo"));
    m_reencodeQualityCombo->addItem(tr("As the source"), int(ReencodeQuality::Source));
    m_reencodeQualityCombo->addItem(tr("High"), int(ReencodeQuality::High));
    m_reencodeQualityCombo->addItem(tr("Medium"), int(ReencodeQuality::Medium));
    m_reencodeQualityCombo->addItem(tr("Small"), int(ReencodeQuality::Small));
    selectByData(m_reencodeQualityCombo, int(m_settings.reencodeQuality));
    m_reencodeQualityCombo->setToolTip(tr("What a re-encode may spend: what the source spent, or a level of the "
                                          "encoder's own (for stereo AAC: High 192, Medium 128, Small 96 kbit/s)."));
    methodRow->addWidget(new QLabel(tr("Quality"), page));
    methodRow->addWidget(m_reencodeQualityCombo);

    m_keepMtimeCheck
            = checkBox(page, "keepMtimeCheck", tr("Preserve the original modified time"), m_settings.keepMtime);
    m_makeBackupCheck = checkBox(
            page, "makeBackupCheck", tr("Keep a .bak copy when overwriting in place"), m_settings.makeBackup);
    m_skipUntrimmedCheck = checkBox(
            page, "skipUntrimmedCheck", tr("Skip files that already match the targets"), m_settings.skipUntrimmed);

    layout->addWidget(m_mirrorRadio);
    layout->addLayout(destinationRow);
    layout->addWidget(m_inPlaceRadio);
    layout->addSpacing(8);
    layout->addLayout(methodRow);
    layout->addSpacing(4);
    layout->addWidget(m_keepMtimeCheck);
    layout->addWidget(m_makeBackupCheck);
    layout->addWidget(m_skipUntrimmedCheck);
    layout->addStretch(1);
    return page;
}

QWidget *PreferencesDialog::buildScanningTab()
{
    auto *page = new QWidget;
    auto *layout = pageLayout(page, 10);

    auto *form = new QFormLayout;
    m_extensionsEdit
            = lineEdit(page, "extensionsEdit", m_settings.extensions.join(QLatin1Char(' ')), tr("mp3 wav flac ogg"));
    m_recursiveCheck = checkBox(page, "recursiveCheck", tr("Include sub folders"), m_settings.recursive);
    form->addRow(tr("Extensions"), m_extensionsEdit);
    form->addRow(QString(), m_recursiveCheck);

    auto *hint = new QLabel(
            tr("Separate extensions with spaces or commas. Only these files are picked up when a folder is added."),
            page);
    hint->setWordWrap(true);

    layout->addLayout(form);
    layout->addWidget(hint);
    layout->addStretch(1);
    return page;
}

QWidget *PreferencesDialog::buildAdvancedTab()
{
    auto *page = new QWidget;
    auto *layout = pageLayout(page, 10);

    auto *tools = new QGroupBox(tr("Tools"), page);
    auto *toolsForm = new QFormLayout(tools);
    const QString searchHint = tr("leave blank to search the app folder and PATH");
    m_ffmpegEdit = lineEdit(tools, "ffmpegEdit", m_settings.ffmpegPath, searchHint);
    m_ffprobeEdit = lineEdit(tools, "ffprobeEdit", m_settings.ffprobePath, searchHint);

    const auto toolRow = [this, tools](QLineEdit *edit, const char *buttonName, const QString &title) {
        auto *button = new QPushButton(tr("..."), tools);
        button->setObjectName(QLatin1String(buttonName));
        button->setFixedWidth(36);
        connect(button, &QPushButton::clicked, this, [this, edit, title] { browseTool(edit, title); });
        auto *row = new QHBoxLayout;
        row->addWidget(edit, 1);
        row->addWidget(button);
        return row;
    };
    toolsForm->addRow(tr("ffmpeg"), toolRow(m_ffmpegEdit, "ffmpegBrowseButton", tr("Locate ffmpeg")));
    toolsForm->addRow(tr("ffprobe"), toolRow(m_ffprobeEdit, "ffprobeBrowseButton", tr("Locate ffprobe")));
    const SettingsTable::Row &jobLimits = SettingsTable::row(&Settings::parallelJobs);
    m_parallelJobsSpin = new QSpinBox(tools);
    m_parallelJobsSpin->setObjectName(QStringLiteral("parallelJobsSpin"));
    m_parallelJobsSpin->setRange(int(jobLimits.minimum), int(jobLimits.maximum));
    m_parallelJobsSpin->setSpecialValueText(tr("One per processor core"));
    m_parallelJobsSpin->setValue(m_settings.parallelJobs);
    toolsForm->addRow(tr("Files at once"), m_parallelJobsSpin);

    auto *updates = new QGroupBox(tr("Updates"), page);
    auto *updatesLayout = new QVBoxLayout(updates);
    m_autoCheckBox = checkBox(updates, "autoCheckBox", tr("Check for updates at start up"), m_settings.autoCheck);
    updatesLayout->addWidget(m_autoCheckBox);

    auto *desktop = new QGroupBox(tr("Desktop"), page);
    auto *desktopLayout = new QVBoxLayout(desktop);
    m_desktopNotificationsCheck = checkBox(desktop, "desktopNotificationsCheck",
            tr("Show a desktop notification and taskbar progress for long runs"), m_settings.desktopNotifications);
    desktopLayout->addWidget(m_desktopNotificationsCheck);

    layout->addWidget(tools);
    layout->addWidget(updates);
    layout->addWidget(desktop);
    layout->addStretch(1);
    return page;
}

Settings PreferencesDialog::settings() const
{
    Settings result = m_settings;
    result.thresholdDb = m_thresholdSpin->value();
    result.minSilenceSec = m_minSilenceSpin->value();
    result.maxTrimSec = m_maxTrimSpin->value();
    result.leadMode = EndMode(m_leadModeCombo->currentData().toInt());
    result.tailMode = EndMode(m_tailModeCombo->currentData().toInt());
    result.leadTargetMs = m_leadTargetSpin->value();
    result.tailTargetMs = m_tailTargetSpin->value();
    result.padFallback = PadFallback(m_padFallbackCombo->currentData().toInt());
    result.outputMode = m_inPlaceRadio->isChecked() ? OutputMode::InPlace : OutputMode::Mirror;
    result.outputRoot = m_outputRootEdit->text().trimmed();
    result.trimMethod = TrimMethod(m_trimMethodCombo->currentData().toInt());
    result.reencodeQuality = ReencodeQuality(m_reencodeQualityCombo->currentData().toInt());
    result.keepMtime = m_keepMtimeCheck->isChecked();
    result.makeBackup = m_makeBackupCheck->isChecked();
    result.skipUntrimmed = m_skipUntrimmedCheck->isChecked();
    result.extensions = parseExtensions(m_extensionsEdit->text(), m_settings.extensions);
    result.recursive = m_recursiveCheck->isChecked();
    result.ffmpegPath = m_ffmpegEdit->text().trimmed();
    result.ffprobePath = m_ffprobeEdit->text().trimmed();
    result.parallelJobs = m_parallelJobsSpin->value();
    result.autoCheck = m_autoCheckBox->isChecked();
    result.desktopNotifications = m_desktopNotificationsCheck->isChecked();
    return result;
}

void PreferencesDialog::setPrompts(UserPrompts *prompts)
{
    m_prompts = prompts ? prompts : &m_defaultPrompts;
}

void PreferencesDialog::browseOutput()
{
    const QString folder = m_prompts->existingDirectory(this, tr("Destination folder"), m_outputRootEdit->text());
    if (!folder.isEmpty())
        m_outputRootEdit->setText(folder);
}

void PreferencesDialog::browseTool(QLineEdit *target, const QString &title)
{
    const QString path = m_prompts->openFileName(this, title, target->text(), QString());
    if (!path.isEmpty())
        target->setText(path);
}

// Disabled controls keep their values; settings() reads them all the same.
void PreferencesDialog::updateModeDependents()
{
    const int lead = m_leadModeCombo->currentData().toInt();
    const int tail = m_tailModeCombo->currentData().toInt();
    m_leadTargetSpin->setEnabled(lead != LeaveAloneData);
    m_tailTargetSpin->setEnabled(tail != LeaveAloneData);
    m_padFallbackCombo->setEnabled(addsSilence(lead) || addsSilence(tail));
}

void PreferencesDialog::updateDestinationEnabled()
{
    const bool mirror = m_mirrorRadio->isChecked();
    m_outputRootEdit->setEnabled(mirror);
    m_outputBrowseButton->setEnabled(mirror);
}

} // namespace ks
