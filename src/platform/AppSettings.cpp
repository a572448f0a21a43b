#include "platform/AppSettings.h"

namespace pivra {

AppSettings::AppSettings()
    : QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pivra"), QStringLiteral("Pivra"))
{
}

bool AppSettings::flag(const QString& key, bool fallback) const
{
    const QVariant stored = value(key);
    if (stored.typeId() == QMetaType::Bool) {
        return stored.toBool();
    }
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == QLatin1StringView("true") || text == QLatin1StringView("false")) {
            return text == QLatin1StringView("true");
        }
    }
    return fallback;
}

} // namespace pivra
