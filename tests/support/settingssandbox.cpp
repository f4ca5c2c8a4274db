#include "settingssandbox.h"

#include "settings.h"
#include "settingsstore.h"

#include <QSettings>

namespace ks::test {

SettingsSandbox::SettingsSandbox()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    appSettings() = Settings();
    appSettings().autoCheck = false;
}

SettingsSandbox::~SettingsSandbox()
{
    appSettings() = Settings();
    appSettings().autoCheck = false;
}

QString SettingsSandbox::storeFile() const
{
    return QSettings().fileName();
}

} // namespace ks::test
