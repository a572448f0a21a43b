// The desktop portal's settings read over a private session bus, with a
// stand-in portal answering the way the real ones do.
#include "style/appearance/PortalDesktopSettings.h"
#include "support/system/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace pivra {
namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");

class FakePortal final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    QHash<QString, QVariant> values;

public Q_SLOTS:
    QDBusVariant Read(const QString& group, const QString& key)
    {
        const auto found = values.constFind(group + QLatin1Char('/') + key);
        if (found == values.constEnd()) {
            sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"), QStringLiteral("no such key"));
            return {};
        }
        // Portals before version 2 wrap the value in one more variant.
        return QDBusVariant(QVariant::fromValue(QDBusVariant(*found)));
    }
};

class PortalDesktopSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus_.isInstalled()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        ASSERT_FALSE(bus_.address().isEmpty());
        service_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus_.address(), QStringLiteral("portal")));
        ASSERT_TRUE(service_->registerObject(portalPath, &portal, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service_->registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    }

    void TearDown() override
    {
        service_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
        QDBusConnection::disconnectFromBus(QStringLiteral("reader"));
    }

    std::unique_ptr<PortalDesktopSettings> reader()
    {
        return std::make_unique<PortalDesktopSettings>(QDBusConnection::connectToBus(bus_.address(), QStringLiteral("reader")));
    }

    void announce(const QString& group, const QString& key, const QVariant& value)
    {
        QDBusMessage signal = QDBusMessage::createSignal(portalPath, settingsInterface, QStringLiteral("SettingChanged"));
        signal << group << key << QVariant::fromValue(QDBusVariant(value));
        service_->send(signal);
    }

    FakePortal portal;

private:
    test::PrivateSessionBus bus_;
    std::unique_ptr<QDBusConnection> service_;
};

TEST_F(PortalDesktopSettingsTest, ReadsTheSchemeAndFollowsItsChanges)
{
    portal.values.insert(QStringLiteral("org.freedesktop.appearance/color-scheme"), 1u);
    portal.values.insert(QStringLiteral("org.gnome.desktop.interface/enable-animations"), false);
    const auto settings = reader();
    QSignalSpy changes(settings.get(), &DesktopSettings::changed);
    while (changes.size() < 2) {
        ASSERT_TRUE(changes.wait(5000));
    }
    EXPECT_EQ(settings->prefersDark(), true);
    EXPECT_EQ(settings->prefersReducedMotion(), true); // GNOME's switch, the portal's own key being absent

    announce(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 2u);
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_EQ(settings->prefersDark(), false);

    announce(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("reduced-motion"), 0u);
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_EQ(settings->prefersReducedMotion(), false); // the portal's key wins once it speaks
}

TEST_F(PortalDesktopSettingsTest, WithoutAnswersTheSchemeFollowsThePlatformPalette)
{
    const auto settings = reader();
    QSignalSpy changes(settings.get(), &DesktopSettings::changed);
    EXPECT_FALSE(changes.wait(300));
    EXPECT_EQ(settings->prefersDark(), false); // the offscreen platform's palette is light
    EXPECT_EQ(settings->prefersReducedMotion(), std::nullopt);
}

} // namespace
} // namespace pivra

#include "PortalDesktopSettingsTest.moc"
