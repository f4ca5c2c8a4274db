#pragma once

#include "settings.h"
#include "userprompts.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;

namespace ks {

// Edits a private copy of the settings in four tabs. The dialog saves nothing
// and checks nothing beyond the limits of its controls: the owner runs it and,
// when it was accepted, takes the edited copy back with settings().
//
// The input controls carry their member names (without the "m_") as object
// names, so tests can find them.
class PreferencesDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit PreferencesDialog(const Settings &settings, QWidget *parent = nullptr);

    // The settings the dialog was given, with every field that has a control
    // replaced by what the control holds now. Fields without a control (the
    // update check's bookkeeping) come back as they went in.
    Settings settings() const;

    // Where the browse buttons ask for a folder or a file. Not owned; null
    // goes back to the real file dialogs.
    void setPrompts(UserPrompts *prompts);

    // Why a typed tool path cannot be used, or an empty string; an empty
    // path is fine (the tool is then looked for).
    static QString toolPathProblem(const QString &path);

public Q_SLOTS:
    void accept() override;
    void browseOutput();
    void browseTool(QLineEdit *target, const QString &title);

private:
    Q_DISABLE_COPY_MOVE(PreferencesDialog)

    QWidget *buildSilenceTab();
    QWidget *buildOutputTab();
    QWidget *buildScanningTab();
    QWidget *buildAdvancedTab();
    void updateModeDependents();
    void updateDestinationEnabled();

    QDoubleSpinBox *m_thresholdSpin = nullptr;
    QDoubleSpinBox *m_minSilenceSpin = nullptr;
    QDoubleSpinBox *m_maxTrimSpin = nullptr;
    QComboBox *m_leadModeCombo = nullptr;
    QComboBox *m_tailModeCombo = nullptr;
    QSpinBox *m_leadTargetSpin = nullptr;
    QSpinBox *m_tailTargetSpin = nullptr;
    QComboBox *m_padFallbackCombo = nullptr;
    QRadioButton *m_mirrorRadio = nullptr;
    QRadioButton *m_inPlaceRadio = nullptr;
    QLineEdit *m_outputRootEdit = nullptr;
    QComboBox *m_trimMethodCombo = nullptr;
    QComboBox *m_reencodeQualityCombo = nullptr;
    QCheckBox *m_keepMtimeCheck = nullptr;
    QCheckBox *m_makeBackupCheck = nullptr;
    QCheckBox *m_skipUntrimmedCheck = nullptr;
    QLineEdit *m_extensionsEdit = nullptr;
    QCheckBox *m_recursiveCheck = nullptr;
    QLineEdit *m_ffmpegEdit = nullptr;
    QLineEdit *m_ffprobeEdit = nullptr;
    QSpinBox *m_parallelJobsSpin = nullptr;
    QCheckBox *m_autoCheckBox = nullptr;
    QCheckBox *m_desktopNotificationsCheck = nullptr;
    QPushButton *m_outputBrowseButton = nullptr;

    Settings m_settings;

    UserPrompts m_defaultPrompts;
    UserPrompts *m_prompts = &m_defaultPrompts;
};

} // namespace ks
