#include "platform/share/ShareService.h"

#include "support/fakes/FakeKdeConnect.h"
#include "support/system/PrivateSessionBus.h"
#include "support/system/TempFolder.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QFileInfo>
#include <QTest>
#include <QUrl>
#include <QVariantMap>

namespace pivra::test {
namespace {

// What the fake services were handed.
struct Received {
    QStringList urls;      // by KDE Connect, as "device url"
    QStringList portal;    // by the portal, as the path behind the descriptor
    QList<bool> portalAsk; // the portal's "ask" option
};

// One that hangs takes the file and never answers.
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.OpenURI")

public:
    explicit FakePortal(Received& received) : received_(received) {}

    bool hangs = false;

public Q_SLOTS:
    QDBusObjectPath OpenFile(const QString&, const QDBusUnixFileDescriptor& file, const QVariantMap& options)
    {
        received_.portal << QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(file.fileDescriptor())).symLinkTarget();
        received_.portalAsk << options.value(QStringLiteral("ask")).toBool();
        setDelayedReply(hangs);
        return QDBusObjectPath(QStringLiteral("/org/freedesktop/portal/desktop/request/1_1/pivra"));
    }

private:
    Received& received_;
};

struct Row {
    const char* name;
    bool kdeConnect;
    QStringList reachable;
    QString chosen; // the chooser's answer when it is asked
    bool portal;
    bool fileThere;
    ShareService::Route route;
    QString device;
    bool portalGetsIt;
    bool portalHangs = false;
};

class ShareServiceTest : public TempFolderTest {};

TEST_F(ShareServiceTest, TheFileGoesToAPairedPhoneElseThePortalElseNowhere)
{
    using Route = ShareService::Route;
    const QString phone1 = QStringLiteral("phone1");
    const QString phone2 = QStringLiteral("phone2");
    const Row rows[] = {
        {"a reachable phone", true, {phone1}, {}, true, true, Route::kdeConnect, phone1, false},
        {"two phones, the second chosen", true, {phone1, phone2}, phone2, true, true, Route::kdeConnect, phone2, false},
        {"two phones, none chosen", true, {phone1, phone2}, {}, true, true, Route::declined, {}, false},
        {"no reachable phone", true, {}, {}, true, true, Route::portal, {}, true},
        {"the portal alone", false, {}, {}, true, true, Route::portal, {}, true},
        {"a portal that never answers", false, {}, {}, true, true, Route::unavailable, {}, true, true},
        {"nothing running", false, {}, {}, false, true, Route::unavailable, {}, false},
        {"a file that is gone", true, {phone1}, {}, true, false, Route::missingFile, {}, false},
    };
    const QString path = writeFile(QStringLiteral("photo one.jpg"), "jpeg");
    const QString gone = pathOf(QStringLiteral("gone.jpg"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PrivateSessionBus bus;
        if (!bus.isInstalled()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        ASSERT_FALSE(bus.address().isEmpty());
        const QString servicesName = QStringLiteral("share-services-%1").arg(row.name);
        QDBusConnection services = QDBusConnection::connectToBus(bus.address(), servicesName);
        Received received;
        FakeKdeConnectDaemon daemon;
        daemon.reachable = row.reachable;
        FakeKdeConnectShare first(phone1, received.urls);
        FakeKdeConnectShare second(phone2, received.urls);
        FakePortal portal(received);
        portal.hangs = row.portalHangs;
        if (row.kdeConnect) {
            ASSERT_TRUE(registerKdeConnect(services, daemon, {&first, &second}));
        }
        if (row.portal) {
            ASSERT_TRUE(services.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
            services.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                    QDBusConnection::ExportAllSlots);
        }

        const QString clientName = QStringLiteral("share-client-%1").arg(row.name);
        std::optional<ShareService::Result> result;
        QStringList offered;
        {
            ShareService service(QDBusConnection::connectToBus(bus.address(), clientName), std::chrono::seconds(3));
            service.setChooser([&](const QList<ShareService::Device>& devices, auto chosen) {
                for (const ShareService::Device& device : devices) {
                    offered << device.id + u' ' + device.name;
                }
                chosen(row.chosen);
            });
            service.share(row.fileThere ? path : gone, [&](const ShareService::Result& answer) { result = answer; });
            ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 20000));
        }
        EXPECT_EQ(result->route, row.route);
        EXPECT_EQ(result->device, row.device);
        EXPECT_EQ(received.urls, row.route == ShareService::Route::kdeConnect
                                     ? QStringList{row.device + u' ' + QUrl::fromLocalFile(path).toString()}
                                     : QStringList());
        const QStringList bothPhones{QStringLiteral("phone1 Phone phone1"), QStringLiteral("phone2 Phone phone2")};
        EXPECT_EQ(offered, row.fileThere && row.reachable.size() > 1 ? bothPhones : QStringList());
        EXPECT_EQ(received.portal, row.portalGetsIt ? QStringList{path} : QStringList());
        EXPECT_EQ(received.portalAsk, row.portalGetsIt ? QList<bool>{true} : QList<bool>());
        QDBusConnection::disconnectFromBus(clientName);
        QDBusConnection::disconnectFromBus(servicesName);
    }
}

} // namespace
} // namespace pivra::test

#include "ShareServiceTest.moc"
