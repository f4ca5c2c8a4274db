#pragma once

#include "settings.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <vector>

namespace ks {

// Every stored setting in one row: where it lives in the store, the field it
// fills, and the range a person may give it. Loading, saving, the
// Preferences dialog's ranges and the command line's checks all read these
// rows; nothing else spells a key.
class SettingsTable final
{
public:
    // How a stored value is read back.
    enum class Type { Bool, Int, Double, Enum, Text, List, Time };

    struct Row
    {
        QLatin1String group;
        QLatin1String key;
        Type type;
        double minimum; // numbers only; both 0 where no range applies
        double maximum;
        std::function<QVariant(const Settings &)> get;
        std::function<void(Settings &, const QVariant &)> set;
        std::ptrdiff_t offset; // where the field lies in a Settings, which finds the row

        bool hasRange() const { return minimum < maximum; }
        // "detection/thresholdDb"
        QString storeKey() const { return group + QLatin1Char('/') + key; }
    };

    // Stored texts longer than any path, and lists longer than any sensible
    // list of extensions, are not loaded.
    static constexpr int MaxTextLength = 4096;
    static constexpr int MaxListLength = 256;

    static const std::vector<Row> &rows();
    // The row of a field: SettingsTable::row(&Settings::thresholdDb).
    template<typename T>
    static const Row &row(T Settings::*member)
    {
        return rowAt(offsetOf(member));
    }

    template<typename T>
    static std::ptrdiff_t offsetOf(T Settings::*member)
    {
        static const Settings probe;
        return reinterpret_cast<const char *>(&(probe.*member)) - reinterpret_cast<const char *>(&probe);
    }

private:
    static const Row &rowAt(std::ptrdiff_t offset);
};

} // namespace ks
