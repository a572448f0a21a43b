#pragma once

#include <QString>

namespace pivra::test {

// While it lives, the program's settings (AppSettings) are read from and
// written to a file under `folder`, so a test starts from no settings and
// leaves none behind; afterwards they go back to the test-mode folder.
class SettingsSandbox {
public:
    explicit SettingsSandbox(const QString& folder);
    ~SettingsSandbox();

    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;
};

} // namespace pivra::test
