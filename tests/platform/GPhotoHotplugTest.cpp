// How the libgphoto2 device layer learns of devices arriving and leaving:
// udev's monitor where udev runs, polling where it does not, a look at the
// USB bus only then, and unplugging that never holds up the GUI thread.
// There is no USB bus here, so the look at it is a fake one.
#include "platform/cameras/GPhotoBackend.h"
#include "platform/cameras/UsbHotplugMonitor.h"
#include "platform/runtime/Drain.h"
#include "support/system/PassClock.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>

namespace pivra {
namespace {

// Device nodes come and go in a folder of the test's own, as they do in
// /dev/bus/usb.
bool makeNode(const QString& path)
{
    QFile node(path);
    return node.open(QIODevice::WriteOnly);
}

TEST(UsbHotplugMonitorTest, WatchesUdevWhereItRunsAndElseListsTheDeviceFoldersForChanges)
{
    QTemporaryDir folder;
    const QString control = folder.filePath(QStringLiteral("control"));
    const QString nodes = folder.filePath(QStringLiteral("bus/001"));
    ASSERT_TRUE(makeNode(control) && QDir().mkpath(nodes));
    int changes = 0;
    {
        const UsbHotplugMonitor udev({control, {nodes}, 5}, [&changes] { ++changes; });
        EXPECT_TRUE(udev.watchesUdev());
        EXPECT_FALSE(udev.polls()) << "with udev nothing wakes the program but a device";
    }
    const QString noUdev = folder.filePath(QStringLiteral("absent"));
    const UsbHotplugMonitor polling({noUdev, {folder.filePath(QStringLiteral("bus"))}, 5}, [&changes] { ++changes; });
    EXPECT_FALSE(polling.watchesUdev());
    EXPECT_TRUE(polling.polls());
    ASSERT_TRUE(makeNode(nodes + QStringLiteral("/005")));
    EXPECT_TRUE(QTest::qWaitFor([&changes] { return changes >= 1; }));
    ASSERT_TRUE(QFile::remove(nodes + QStringLiteral("/005")));
    EXPECT_TRUE(QTest::qWaitFor([&changes] { return changes >= 2; }));
    EXPECT_EQ(changes, 2) << "a list that stays the same is no change";
}

TEST(UsbHotplugMonitorTest, MakesUdevsMonitorWhereUdevRuns)
{
    if (!QFile::exists(UsbHotplugMonitor::Options{}.udevControl)) {
        GTEST_SKIP() << "udev does not run here";
    }
    const UsbHotplugMonitor monitor({}, [] {});
    EXPECT_TRUE(monitor.watchesUdev());
    EXPECT_FALSE(monitor.polls());
}

class GPhotoHotplugTest : public ::testing::Test, public CameraBackendListener {
protected:
    void deviceAdded(const CameraDevice& device) override { added.push_back(device.id); }
    void deviceRemoved(const CameraDevice& device) override { removed.push_back(device.id); }
    void sessionOpened(const CameraDevice&, const std::optional<PivraError>&) override {}
    void catalogChanged(const CameraDevice&) override {}
    void deviceLocked(const CameraDevice&) override {}
    void deviceUnlocked(const CameraDevice&) override {}

    std::vector<CameraDeviceId> added;
    std::vector<CameraDeviceId> removed;
};

// What the fake bus holds, looked at on the discovery thread.
struct FakeUsbBus {
    std::optional<std::vector<gphoto::DetectedCamera>> look()
    {
        ++looks;
        const std::lock_guard lock(mutex);
        return attached;
    }
    void attach(std::optional<std::vector<gphoto::DetectedCamera>> cameras)
    {
        const std::lock_guard lock(mutex);
        attached = std::move(cameras);
    }

    std::mutex mutex;
    std::optional<std::vector<gphoto::DetectedCamera>> attached; // none: a look fails
    std::atomic<int> looks = 0;
};

TEST_F(GPhotoHotplugTest, OnlyALookThatSucceedsAndMissesADeviceUnplugsIt)
{
    auto bus = std::make_shared<FakeUsbBus>();
    bus->attach(
        std::vector<gphoto::DetectedCamera>{{QStringLiteral("USB PTP Class Camera"), QStringLiteral("usb:001,042")}});
    QTemporaryDir folder;
    const QString nodes = folder.filePath(QStringLiteral("bus"));
    ASSERT_TRUE(QDir().mkpath(nodes));
    GPhotoBackend backend({.discoverUsb = true,
                           .hotplug = {folder.filePath(QStringLiteral("control")), {nodes}, 5},
                           .detectUsbForTesting = [bus] { return bus->look(); }});
    backend.setListener(this);
    EXPECT_TRUE(drain());
    ASSERT_EQ(added.size(), 1u);

    bus->attach(std::nullopt);
    const int looksBefore = bus->looks;
    ASSERT_TRUE(makeNode(nodes + QStringLiteral("/005")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bus->looks > looksBefore; }));
    EXPECT_TRUE(drain()) << "the failed look is answered";
    EXPECT_TRUE(removed.empty()) << "a failed look says nothing of what is attached";

    bus->attach(std::vector<gphoto::DetectedCamera>{});
    ASSERT_TRUE(QFile::remove(nodes + QStringLiteral("/005")));
    ASSERT_TRUE(QTest::qWaitFor([this] { return removed.size() == 1; }));
    EXPECT_EQ(removed, added);
}

TEST_F(GPhotoHotplugTest, UnpluggingABusyDeviceNeverStallsTheGuiThread)
{
    QTemporaryDir folder;
    GPhotoBackend backend({.discoverUsb = false});
    backend.setListener(this);
    const CameraDeviceId device = backend.addDeviceForTesting(
        QStringLiteral("Directory Browse"), QStringLiteral("disk:") + folder.path(), QStringLiteral("SLOW-0001"), {});

    // The job under way when the device goes: a read whose answer takes its
    // time, as that of a device that stopped answering does.
    std::promise<void> busy;
    std::promise<void> release;
    backend.read(device, {QStringLiteral("/"), QStringLiteral("IMG_0001.JPG")}, 0, 100, CameraReadPurpose::stream,
                 [&busy, released = release.get_future().share()](auto, auto) {
                     busy.set_value();
                     released.wait_for(std::chrono::seconds(5)); // bounds the stall of a GUI thread that waits
                 });
    busy.get_future().wait();

    // The device is unplugged in the first tick; the worker is let go only
    // after twenty more, so the GUI thread must have run meanwhile.
    QEventLoop loop;
    test::PassClock sinceTick;
    double longestStallMs = 0;
    int ticks = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestStallMs = std::max(longestStallMs, sinceTick.heldUpMs());
        sinceTick.restart();
        if (++ticks == 1) {
            backend.removeDeviceForTesting(device);
        } else if (ticks == 21) {
            release.set_value();
        } else if (ticks == 22) {
            loop.quit();
        }
    });
    sinceTick.restart();
    tick.start();
    loop.exec();
    tick.stop();
    EXPECT_EQ(removed, std::vector{device}) << "announced at once, not when the worker ends";
    EXPECT_TRUE(drain()) << "the worker ends once its job has";
    RecordProperty("longestStallMs", int(longestStallMs));
    // Waiting for the worker holds the GUI thread up for the 5 s of its job;
    // a busy machine taking the processor away does not count.
    EXPECT_LT(longestStallMs, 1000) << "the GUI thread waited for the device's worker";
}

} // namespace
} // namespace pivra
