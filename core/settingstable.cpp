#include "settingstable.h"

#include "settings.h"

#include <QDateTime>

#include <cstdlib>
#include <type_traits>

namespace ks {

namespace {

using Row = SettingsTable::Row;
using Type = SettingsTable::Type;

template<typename T>
constexpr Type typeOf()
{
    if constexpr (std::is_same_v<T, bool>)
        return Type::Bool;
    else if constexpr (std::is_same_v<T, int>)
        return Type::Int;
    else if constexpr (std::is_same_v<T, double>)
        return Type::Double;
    else if constexpr (std::is_enum_v<T>)
        return Type::Enum;
    else if constexpr (std::is_same_v<T, QString>)
        return Type::Text;
    else if constexpr (std::is_same_v<T, QStringList>)
        return Type::List;
    else
        return Type::Time;
}

// Enumerations are stored as their integer values.
template<typename T>
Row field(const char *group, const char *key, T Settings::*member, double minimum = 0, double maximum = 0)
{
    Row row{ QLatin1String(group), QLatin1String(key), typeOf<T>(), minimum, maximum, {}, {},
        SettingsTable::offsetOf(member) };
    row.get = [member](const Settings &s) {
        if constexpr (std::is_enum_v<T>)
            return QVariant(int(s.*member));
        else
            return QVariant::fromValue(s.*member);
    };
    row.set = [member](Settings &s, const QVariant &value) {
        if constexpr (std::is_enum_v<T>)
            s.*member = T(value.toInt());
        else
            s.*member = value.value<T>();
    };
    return row;
}

} // namespace

const std::vector<Row> &SettingsTable::rows()
{
    static const std::vector<Row> table{
        field("detection", "thresholdDb", &Settings::thresholdDb, -90.0, -10.0),
        field("detection", "minSilenceSec", &Settings::minSilenceSec, 0.05, 30.0),
        field("detection", "maxTrimSec", &Settings::maxTrimSec, 1.0, 7200.0),
        field("detection", "leadMode", &Settings::leadMode),
        field("detection", "tailMode", &Settings::tailMode),
        field("detection", "leadTargetMs", &Settings::leadTargetMs, 0, 30000),
        field("detection", "tailTargetMs", &Settings::tailTargetMs, 0, 30000),
        field("output", "mode", &Settings::outputMode),
        field("output", "padFallback", &Settings::padFallback),
        field("output", "existing", &Settings::existingOutputs),
        field("output", "trim", &Settings::trimMethod),
        field("output", "quality", &Settings::reencodeQuality),
        field("output", "root", &Settings::outputRoot),
        field("output", "keepMtime", &Settings::keepMtime),
        field("output", "makeBackup", &Settings::makeBackup),
        field("output", "skipUntrimmed", &Settings::skipUntrimmed),
        field("scan", "extensions", &Settings::extensions),
        field("scan", "recursive", &Settings::recursive),
        field("tools", "parallelJobs", &Settings::parallelJobs, 0, 64),
        field("tools", "ffmpeg", &Settings::ffmpegPath),
        field("tools", "ffprobe", &Settings::ffprobePath),
        field("updates", "auto", &Settings::autoCheck),
        field("desktop", "notifications", &Settings::desktopNotifications),
        field("updates", "skipped", &Settings::skippedVersion),
        field("updates", "lastCheck", &Settings::lastCheck),
    };
    return table;
}

const Row &SettingsTable::rowAt(std::ptrdiff_t offset)
{
    for (const Row &row : rows()) {
        if (row.offset == offset)
            return row;
    }
    // Every field of Settings has a row; one without is a programming error.
    Q_ASSERT_X(false, "SettingsTable::row", "field has no row");
    std::abort();
}

} // namespace ks
