#pragma once

#include "style/appearance/DesktopSettings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QPalette>
#include <QVariant>

namespace pivra {

// The desktop's wishes as the XDG desktop portal's Settings interface reports
// them on the session bus: the colour scheme, and reduced motion from the
// portal's own key or GNOME's animation switch. Reads are asynchronous, so
// start-up never waits for a portal; until one answers, when none ever does
// and when it states no preference, the scheme follows the lightness of the
// palette the platform gave the application, which is why this is made before
// the application's palette is replaced.
class PortalDesktopSettings final : public DesktopSettings {
    Q_OBJECT

public:
    explicit PortalDesktopSettings(QObject* parent = nullptr);
    explicit PortalDesktopSettings(QDBusConnection bus, QObject* parent = nullptr);

    std::optional<bool> prefersDark() const override;
    std::optional<bool> prefersReducedMotion() const override;

    // The portal's SettingChanged(group, key, value), connected by name:
    // QtDBus delivers to public slots only, and matches a typed (s, s, v)
    // slot to nothing, so the slot takes the whole message.
public Q_SLOTS:
    void settingChanged(const QDBusMessage& signal);

private:
    void store(const QString& group, const QString& key, const QVariant& value);
    std::optional<uint> number(const QString& group, const QString& key) const;

    QHash<QString, QVariant> values_;
    bool platformPaletteDark_;
};

} // namespace pivra
