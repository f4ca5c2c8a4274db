#pragma once

#include <QStringList>

class QSettings;

namespace ks {

struct Settings;

// The one Settings record of the process, made with the defaults on first use.
// Only the GUI thread changes it; runs work on their own copy.
Settings &appSettings();

// Fills `settings` from the store chosen by the organisation and application
// names. A key that is not stored leaves its field as it was; a stored number
// outside its row's range loads as the default, with one note naming the key.
// A store whose file is there but is no regular file (a FIFO, a device) is
// not read at all: one note says so and `settings` stays as it was.
//
// Loading tidies the store (a key nothing reads any more is removed) unless
// asked to leave it as it is: a command that only reads settings must not
// rewrite the user's file.
enum class StoreUse { Tidy, ReadOnly };
QStringList loadSettings(Settings &settings, StoreUse use = StoreUse::Tidy);
QStringList loadSettings(Settings &settings, QSettings &store, StoreUse use = StoreUse::Tidy);

// Why the store chosen by the organisation and application names must not be
// opened, or an empty string: QSettings reads its files as it is made, and a
// FIFO or a device in place of one would block it. Whatever makes a QSettings
// of its own asks this first.
QString settingsStoreRefusal();

// Writes every key, group by group; nothing when the store's file is no
// regular file.
void saveSettings(const Settings &settings);
void saveSettings(const Settings &settings, QSettings &store);

} // namespace ks
