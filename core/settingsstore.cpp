#include "settingsstore.h"

#include "textformat.h"

#include "settings.h"
#include "settingstable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
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

// Why a stored value is not trusted, or an empty string. A number outside
// what Preferences would accept (a safety limit switched off, thousands of
// jobs), a text far longer than any path, or an empty list of extensions
// (which would make a scan take every file) loads as the default instead.
QString distrust(const SettingsTable::Row &row, const QVariant &value)
{
    switch (row.type) {
    case SettingsTable::Type::Int:
    case SettingsTable::Type::Double:
        if (row.hasRange() && !(value.toDouble() >= row.minimum && value.toDouble() <= row.maximum))
            return QStringLiteral("is outside %1 to %2").arg(row.minimum).arg(row.maximum);
        return QString();
    case SettingsTable::Type::Text:
        if (value.toString().size() > SettingsTable::MaxTextLength)
            return QStringLiteral("is longer than %1 characters").arg(SettingsTable::MaxTextLength);
        return QString();
    case SettingsTable::Type::List: {
        const QStringList list = value.toStringList();
        if (list.isEmpty() || list.join(QString()).trimmed().isEmpty())
            return QStringLiteral("is empty");
        if (list.size() > SettingsTable::MaxListLength || list.join(QString()).size() > SettingsTable::MaxTextLength)
            return QStringLiteral("is too long");
        return QString();
    }
    default:
        return QString();
    }
}

QString shown(const QVariant &value)
{
    const QString text
            = value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(' ')) : value.toString();
    return text.size() > 40 ? text.left(40) + QChar(0x2026) : text;
}

// The files the default store reads, found without making it: QSettings
// reads its files as it is made. A store of a name no program uses tells
// the folder and the suffix; the organisation-wide file is read as well.
QStringList defaultStoreFiles()
{
    const QFileInfo nameOnly(
            QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("kestrova-store-name")).fileName());
    const QDir folder = nameOnly.dir();
    const QString suffix = nameOnly.fileName().mid(nameOnly.completeBaseName().size());
    const QString organisation = QCoreApplication::organizationName();
    return { folder.filePath(organisation + QLatin1Char('/') + QCoreApplication::applicationName() + suffix),
        folder.filePath(organisation + suffix) };
}

// Why the store must not be read or written, or an empty string. A FIFO or
// a device in place of its file would block QSettings for ever, or feed it
// without end.
QString storeRefusal(const QStringList &files)
{
    for (const QString &name : files) {
        const QFileInfo file(name);
        if (file.exists() && !file.isFile())
            return QStringLiteral("Settings file %1 is not a regular file - settings neither loaded nor saved")
                    .arg(native(name));
    }
    return QString();
}

} // namespace

Settings &appSettings()
{
    static Settings settings;
    return settings;
}

QString settingsStoreRefusal()
{
    return storeRefusal(defaultStoreFiles());
}

QStringList loadSettings(Settings &settings, StoreUse use)
{
    if (const QString refused = settingsStoreRefusal(); !refused.isEmpty())
        return { refused };
    QSettings store;
    return loadSettings(settings, store, use);
}

QStringList loadSettings(Settings &s, QSettings &store, StoreUse use)
{
    if (const QString refused = storeRefusal({ store.fileName() }); !refused.isEmpty())
        return { refused };
    QStringList notes;
    loadEarlierLayout(s, store);
    const Settings defaults;
    for (const SettingsTable::Row &row : SettingsTable::rows()) {
        const QString key = row.storeKey();
        if (!store.contains(key))
            continue;
        const QVariant value = readValue(row.type, store.value(key));
        if (const QString why = distrust(row, value); !why.isEmpty()) {
            row.set(s, row.get(defaults));
            notes << QStringLiteral("Stored setting %1 (%2) %3 - using the default (%4)")
                             .arg(key, shown(store.value(key)), why, shown(row.get(defaults)));
            continue;
        }
        row.set(s, value);
    }
    // Nothing reads a stored endpoint any more; it must not linger.
    if (use == StoreUse::Tidy && store.contains(QStringLiteral("updates/url")))
        store.remove(QStringLiteral("updates/url"));
    return notes;
}

void saveSettings(const Settings &settings)
{
    if (!settingsStoreRefusal().isEmpty())
        return;
    QSettings store;
    saveSettings(settings, store);
}

void saveSettings(const Settings &s, QSettings &store)
{
    if (!storeRefusal({ store.fileName() }).isEmpty())
        return;
    for (const SettingsTable::Row &row : SettingsTable::rows())
        store.setValue(row.storeKey(), row.get(s));
}

} // namespace ks
