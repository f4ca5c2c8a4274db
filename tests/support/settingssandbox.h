#pragma once

#include <QTemporaryDir>

namespace ks::test {

// Points QSettings at a fresh temporary store for as long as it lives and
// resets the process-wide Settings to the defaults, with the automatic update
// check off. The store is removed with the sandbox.
class SettingsSandbox final
{
public:
    SettingsSandbox();
    ~SettingsSandbox();

    QString path() const { return m_dir.path(); }
    // The file QSettings uses for the program's own store.
    QString storeFile() const;

private:
    Q_DISABLE_COPY_MOVE(SettingsSandbox)
    QTemporaryDir m_dir;
};

} // namespace ks::test
