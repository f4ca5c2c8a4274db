#pragma once

#include <QStringList>
#include <QTemporaryDir>

namespace ks {
struct Settings;
}

namespace ks::test {

// Every stored field of a Settings as "key=value", in the settings table's
// order, so that two records compare in one step.
QStringList fields(const Settings &settings);

// A record with every field away from its default and the two ends different
// from each other, for round trips that must notice a field left behind.
Settings unusualSettings();

// Points QSettings at a fresh temporary store for as long as it lives and
// resets the process-wide Settings to the defaults, with the automatic update
// check off. The store is removed with the sandbox.
class SettingsSandbox final
{
public:
    SettingsSandbox();
    ~SettingsSandbox();

    QString path() const { return m_dir.path(); }

private:
    Q_DISABLE_COPY_MOVE(SettingsSandbox)
    QTemporaryDir m_dir;
};

} // namespace ks::test
