#include "settingsstore.h"

#include "settings.h"

#include <QSettings>

namespace ks {

namespace {

// QVariant turns any non-empty string other than "0" and "false" into true;
// a stored value that is not a boolean must read as false instead.
bool readBool(const QSettings &store, const QString &key, bool fallback)
{
    const QVariant value = store.value(key, fallback);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}

template<typename Enum>
Enum readEnum(const QSettings &store, const QString &key, Enum fallback)
{
    return Enum(store.value(key, int(fallback)).toInt());
}

} // namespace

Settings &appSettings()
{
    static Settings settings;
    return settings;
}

void loadSettings(Settings &settings)
{
    QSettings store;
    loadSettings(settings, store);
}

void loadSettings(Settings &s, QSettings &store)
{
    store.beginGroup(QStringLiteral("detection"));
    s.thresholdDb = store.value(QStringLiteral("thresholdDb"), s.thresholdDb).toDouble();
    s.minSilenceSec = store.value(QStringLiteral("minSilenceSec"), s.minSilenceSec).toDouble();
    s.maxTrimSec = store.value(QStringLiteral("maxTrimSec"), s.maxTrimSec).toDouble();
    // The earlier layout had one target for both ends and an on/off switch per
    // end; they are the fallbacks for the keys that replaced them.
    const int padMs = store.value(QStringLiteral("padMs"), s.leadTargetMs).toInt();
    const bool trimLead = readBool(store, QStringLiteral("trimLead"), true);
    const bool trimTail = readBool(store, QStringLiteral("trimTail"), true);
    s.leadMode = readEnum(store, QStringLiteral("leadMode"),
                          trimLead ? EndMode::CutBack : EndMode::LeaveAlone);
    s.tailMode = readEnum(store, QStringLiteral("tailMode"),
                          trimTail ? EndMode::CutBack : EndMode::LeaveAlone);
    s.leadTargetMs = store.value(QStringLiteral("leadTargetMs"), padMs).toInt();
    s.tailTargetMs = store.value(QStringLiteral("tailTargetMs"), padMs).toInt();
    store.endGroup();

    store.beginGroup(QStringLiteral("output"));
    s.outputMode = readEnum(store, QStringLiteral("mode"), s.outputMode);
    s.padFallback = readEnum(store, QStringLiteral("padFallback"), s.padFallback);
    s.trimMethod = readEnum(store, QStringLiteral("trim"), s.trimMethod);
    s.outputRoot = store.value(QStringLiteral("root"), s.outputRoot).toString();
    s.keepMtime = readBool(store, QStringLiteral("keepMtime"), s.keepMtime);
    s.makeBackup = readBool(store, QStringLiteral("makeBackup"), s.makeBackup);
    s.skipUntrimmed = readBool(store, QStringLiteral("skipUntrimmed"), s.skipUntrimmed);
    store.endGroup();

    store.beginGroup(QStringLiteral("scan"));
    s.extensions = store.value(QStringLiteral("extensions"), s.extensions).toStringList();
    s.recursive = readBool(store, QStringLiteral("recursive"), s.recursive);
    store.endGroup();

    store.beginGroup(QStringLiteral("tools"));
    s.ffmpegPath = store.value(QStringLiteral("ffmpeg"), s.ffmpegPath).toString();
    s.ffprobePath = store.value(QStringLiteral("ffprobe"), s.ffprobePath).toString();
    store.endGroup();

    store.beginGroup(QStringLiteral("updates"));
    s.autoCheck = readBool(store, QStringLiteral("auto"), s.autoCheck);
    s.skippedVersion = store.value(QStringLiteral("skipped"), s.skippedVersion).toString();
    s.lastCheck = store.value(QStringLiteral("lastCheck"), s.lastCheck).toDateTime();
    // Nothing reads a stored endpoint any more; it must not linger.
    store.remove(QStringLiteral("url"));
    store.endGroup();
}

void saveSettings(const Settings &settings)
{
    QSettings store;
    saveSettings(settings, store);
}

void saveSettings(const Settings &s, QSettings &store)
{
    store.beginGroup(QStringLiteral("detection"));
    store.setValue(QStringLiteral("thresholdDb"), s.thresholdDb);
    store.setValue(QStringLiteral("minSilenceSec"), s.minSilenceSec);
    store.setValue(QStringLiteral("maxTrimSec"), s.maxTrimSec);
    store.setValue(QStringLiteral("leadMode"), int(s.leadMode));
    store.setValue(QStringLiteral("tailMode"), int(s.tailMode));
    store.setValue(QStringLiteral("leadTargetMs"), s.leadTargetMs);
    store.setValue(QStringLiteral("tailTargetMs"), s.tailTargetMs);
    store.endGroup();

    store.beginGroup(QStringLiteral("output"));
    store.setValue(QStringLiteral("mode"), int(s.outputMode));
    store.setValue(QStringLiteral("padFallback"), int(s.padFallback));
    store.setValue(QStringLiteral("trim"), int(s.trimMethod));
    store.setValue(QStringLiteral("root"), s.outputRoot);
    store.setValue(QStringLiteral("keepMtime"), s.keepMtime);
    store.setValue(QStringLiteral("makeBackup"), s.makeBackup);
    store.setValue(QStringLiteral("skipUntrimmed"), s.skipUntrimmed);
    store.endGroup();

    store.beginGroup(QStringLiteral("scan"));
    store.setValue(QStringLiteral("extensions"), s.extensions);
    store.setValue(QStringLiteral("recursive"), s.recursive);
    store.endGroup();

    store.beginGroup(QStringLiteral("tools"));
    store.setValue(QStringLiteral("ffmpeg"), s.ffmpegPath);
    store.setValue(QStringLiteral("ffprobe"), s.ffprobePath);
    store.endGroup();

    store.beginGroup(QStringLiteral("updates"));
    store.setValue(QStringLiteral("auto"), s.autoCheck);
    store.setValue(QStringLiteral("skipped"), s.skippedVersion);
    store.setValue(QStringLiteral("lastCheck"), s.lastCheck);
    store.endGroup();
}

} // namespace ks
