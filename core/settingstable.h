#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <vector>

namespace ks {

struct Settings;

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
    };

    static const std::vector<Row> &rows();
    // The row of `key`; keys are unique across groups.
    static const Row &row(QLatin1String key);
};

} // namespace ks
