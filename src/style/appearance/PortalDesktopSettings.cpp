#include "style/appearance/PortalDesktopSettings.h"

#include "platform/DesktopPortal.h"
#include "style/appearance/PivraAppearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>

#include <array>
#include <utility>

namespace pivra {

namespace {

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
    : PortalDesktopSettings(QDBusConnection::sessionBus(), parent)
{
}

PortalDesktopSettings::PortalDesktopSettings(QDBusConnection bus, QObject* parent)
    : DesktopSettings(parent)
    , platformPaletteDark_(PivraAppearance::isDark(QGuiApplication::palette()))
{
    if (!bus.isConnected()) {
        return;
    }
    bus.connect(desktopPortalService, desktopPortalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(settingChanged(QDBusMessage)));
    for (const auto& [group, key] : watched) {
        QDBusMessage read =
            QDBusMessage::createMethodCall(desktopPortalService, desktopPortalPath, settingsInterface, QStringLiteral("Read"));
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
    // 1 asks for dark, 2 for light; 0 states no preference, left to the platform palette.
    const auto scheme = number(appearanceGroup, colorSchemeKey);
    if (scheme == 1u || scheme == 2u) {
        return scheme == 1u;
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

void PortalDesktopSettings::settingChanged(const QDBusMessage& signal)
{
    const QVariantList arguments = signal.arguments();
    if (arguments.size() != 3) {
        return;
    }
    const QString group = arguments[0].toString();
    const QString key = arguments[1].toString();
    for (const auto& [watchedGroup, watchedKey] : watched) {
        if (*watchedGroup == group && *watchedKey == key) {
            store(group, key, arguments[2]);
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
