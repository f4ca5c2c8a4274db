#include "settingssandbox.h"

#include "settings.h"
#include "settingsstore.h"
#include "settingstable.h"

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
    s.keepMtime = s.makeBackup = s.skipUntrimmed = s.recursive = s.autoCheck = s.desktopNotifications = false;
    s.padFallback = PadFallback::Skip;
    s.reencodeQuality = ReencodeQuality::Small;
    s.existingOutputs = ExistingOutputs::KeepBoth;
    s.extensions = { QStringLiteral("opus"), QStringLiteral("mka") };
    s.ffmpegPath = QStringLiteral("/opt/ff mpeg/bin/ffmpeg");
    s.ffprobePath = QStringLiteral("/opt/ff mpeg/bin/ffprobe");
    s.parallelJobs = 3;
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
    QStringList texts;
    for (const SettingsTable::Row &row : SettingsTable::rows()) {
        // A time reads back to the millisecond, as ISO text.
        const QVariant value = row.get(s);
        texts << row.key + u'='
                        + (row.type == SettingsTable::Type::List ? value.toStringList().join(u'|') : value.toString());
    }
    return texts;
}

} // namespace ks::test
