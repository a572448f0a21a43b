#include "app/style/PortalDesktopSettings.h"

#include "app/style/PivraAppearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

#include <array>
#include <utility>

namespace pivra {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString gnomeInterfaceGroup = QStringLiteral("org.gnome.desktop.interface");
const QString colorSchemeKey = QStringLiteral("color-scheme");
const QString reducedMotionKey = QStringLiteral("reduced-motion");
const QString enableAnimationsKey = QStringLiteral("enable-animations");

const std::array<std::pair<const QString*, const QString*>, 3> watched{{
    {&appearanceGroup, &colorSchemeKey},
    {&appearanceGroup, &reducedMotionKey},
    {&gnomeInterfaceGroup, &enableAnimationsKey},
}};

QString slot(const QString& group, const QString& key)
{
    return group + QLatin1Char('/') + key;
}

// Older portals wrap the value in a second variant.
QVariant unwrapped(QVariant value)
{
    while (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        value = qvariant_cast<QDBusVariant>(value).variant();
    }
    return value;
}

} // namespace

PortalDesktopSettings::PortalDesktopSettings(QObject* parent)
    : DesktopSettings(parent)
    , platformPaletteDark_(PivraAppearance::isDark(QGuiApplication::palette()))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(settingChanged(QString, QString, QDBusVariant)));
    for (const auto& [group, key] : watched) {
        QDBusMessage read =
            QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
        read << *group << *key;
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, group = *group, key = *key](QDBusPendingCallWatcher* call) {
                    const QDBusPendingReply<QDBusVariant> reply = *call;
                    if (!reply.isError()) {
                        store(group, key, reply.value().variant());
                    }
                    call->deleteLater();
                });
    }
}

std::optional<bool> PortalDesktopSettings::prefersDark() const
{
    // 1 asks for dark, 2 for light, 0 states no preference: light.
    if (const auto scheme = number(appearanceGroup, colorSchemeKey)) {
        return *scheme == 1;
    }
    return platformPaletteDark_;
}

std::optional<bool> PortalDesktopSettings::prefersReducedMotion() const
{
    if (const auto reduced = number(appearanceGroup, reducedMotionKey)) {
        return *reduced == 1;
    }
    const QVariant animations = values_.value(slot(gnomeInterfaceGroup, enableAnimationsKey));
    if (animations.metaType() == QMetaType::fromType<bool>()) {
        return !animations.toBool();
    }
    return std::nullopt;
}

void PortalDesktopSettings::settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
{
    for (const auto& [watchedGroup, watchedKey] : watched) {
        if (*watchedGroup == group && *watchedKey == key) {
            store(group, key, value.variant());
        }
    }
}

void PortalDesktopSettings::store(const QString& group, const QString& key, const QVariant& value)
{
    values_.insert(slot(group, key), unwrapped(value));
    Q_EMIT changed();
}

std::optional<uint> PortalDesktopSettings::number(const QString& group, const QString& key) const
{
    const QVariant value = values_.value(slot(group, key));
    bool ok = false;
    const uint number = value.toUInt(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

} // namespace pivra
