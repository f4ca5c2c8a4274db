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

QStringList fields(const Settings &s)
{
    return { QString::number(s.thresholdDb), QString::number(s.minSilenceSec), QString::number(s.maxTrimSec),
             QString::number(int(s.leadMode)), QString::number(int(s.tailMode)), QString::number(s.leadTargetMs),
             QString::number(s.tailTargetMs), QString::number(int(s.outputMode)), QString::number(int(s.trimMethod)),
             s.outputRoot, QString::number(s.keepMtime), QString::number(s.makeBackup),
             QString::number(s.skipUntrimmed), QString::number(int(s.padFallback)), s.extensions.join(u'|'),
             QString::number(s.recursive), s.ffmpegPath, s.ffprobePath, QString::number(s.autoCheck),
             s.skippedVersion,
             s.lastCheck.isValid() ? s.lastCheck.toString(Qt::ISODateWithMs) : QStringLiteral("invalid") };
}

} // namespace ks::test
