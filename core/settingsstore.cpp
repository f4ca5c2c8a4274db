#include "settingsstore.h"

#include "settings.h"
#include "settingstable.h"

#include <QDateTime>
#include <QSettings>

namespace ks {

namespace {

// QVariant turns any non-empty string other than "0" and "false" into true;
// a stored value that is not a boolean must read as false instead.
bool readBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}

// A stored value of the wrong type reads as that type's zero.
QVariant readValue(SettingsTable::Type type, const QVariant &value)
{
    switch (type) {
    case SettingsTable::Type::Bool:
        return readBool(value);
    case SettingsTable::Type::Int:
    case SettingsTable::Type::Enum:
        return value.toInt();
    case SettingsTable::Type::Double:
        return value.toDouble();
    case SettingsTable::Type::Text:
        return value.toString();
    case SettingsTable::Type::List:
        return value.toStringList();
    case SettingsTable::Type::Time:
        return value.toDateTime();
    }
    return value;
}

// The earlier layout had one target for both ends and an on/off switch per
// end; a store still holding them starts from what they said.
void loadEarlierLayout(Settings &s, const QSettings &store)
{
    const QString padMs = QStringLiteral("detection/padMs");
    if (store.contains(padMs))
        s.leadTargetMs = s.tailTargetMs = store.value(padMs).toInt();
    const auto endMode = [&store](const QString &key) {
        return readBool(store.value(key, true)) ? EndMode::CutBack : EndMode::LeaveAlone;
    };
    s.leadMode = endMode(QStringLiteral("detection/trimLead"));
    s.tailMode = endMode(QStringLiteral("detection/trimTail"));
}

} // namespace

Settings &appSettings()
{
    static Settings settings;
    return settings;
}

QStringList loadSettings(Settings &settings)
{
    QSettings store;
    return loadSettings(settings, store);
}

QStringList loadSettings(Settings &s, QSettings &store)
{
    QStringList notes;
    loadEarlierLayout(s, store);
    const Settings defaults;
    for (const SettingsTable::Row &row : SettingsTable::rows()) {
        const QString key = row.storeKey();
        if (!store.contains(key))
            continue;
        const QVariant value = readValue(row.type, store.value(key));
        // A number outside what Preferences would accept (a safety limit
        // switched off, thousands of jobs) is not trusted: the default stands.
        if (row.hasRange() && !(value.toDouble() >= row.minimum && value.toDouble() <= row.maximum)) {
            row.set(s, row.get(defaults));
            notes << QStringLiteral("Stored setting %1 = %2 is outside %3 to %4 - using the default %5")
                             .arg(key, store.value(key).toString(), QString::number(row.minimum),
                                  QString::number(row.maximum), row.get(defaults).toString());
            continue;
        }
        row.set(s, value);
    }
    // Nothing reads a stored endpoint any more; it must not linger.
    store.remove(QStringLiteral("updates/url"));
    return notes;
}

void saveSettings(const Settings &settings)
{
    QSettings store;
    saveSettings(settings, store);
}

void saveSettings(const Settings &s, QSettings &store)
{
    for (const SettingsTable::Row &row : SettingsTable::rows())
        store.setValue(row.storeKey(), row.get(s));
}

} // namespace ks
