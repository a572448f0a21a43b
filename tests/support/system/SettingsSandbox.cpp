#include "support/system/SettingsSandbox.h"

#include <QSettings>
#include <QStandardPaths>

namespace pivra::test {

SettingsSandbox::SettingsSandbox(const QString& folder)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
}

SettingsSandbox::~SettingsSandbox()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

} // namespace pivra::test
