#include "settingssandbox.h"

#include "settings.h"
#include "settingsstore.h"

#include <QSettings>

namespace ks::test {

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
    s.outputRoot = QStringLiteral("/srv/audio/Müsik out/it's \"here\"");
    s.keepMtime = s.makeBackup = s.skipUntrimmed = s.recursive = s.autoCheck = false;
    s.padFallback = PadFallback::Skip;
    s.extensions = { QStringLiteral("opus"), QStringLiteral("mka") };
    s.ffmpegPath = QStringLiteral("/opt/ff mpeg/bin/ffmpeg");
    s.ffprobePath = QStringLiteral("/opt/ff mpeg/bin/ffprobe");
    s.skippedVersion = QStringLiteral("1.3.0");
    s.lastCheck = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53, 589), Qt::UTC);
    return s;
}

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
