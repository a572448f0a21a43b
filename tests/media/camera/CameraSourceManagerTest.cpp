#include "media/camera/CameraItemPaths.h"

#include "CameraTestKit.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace pivra::test {
namespace {

using Session = FakeCameraBackend::SessionAnswer;

QStringList paths(const std::vector<MediaItem>& items)
{
    QStringList result;
    for (const MediaItem& item : items) {
        result << item.path();
    }
    return result;
}

TEST_F(CameraManagerTest, AnAbsentDeviceIsOpenedWhenItAppearsAfterDevicesChanged)
{
    manager.watch(serial, sourceID);
    EXPECT_TRUE(log.isEmpty());

    int requestsSeenByDevicesChanged = -1;
    CameraDeviceId device = 0;
    manager.onDevicesChanged = [&] { requestsSeenByDevicesChanged = fake.sessionRequests(device); };
    device = fake.plug(serial);
    fake.setFiles(device, {deviceFile(QStringLiteral("IMG_0001.JPG"))});
    EXPECT_EQ(requestsSeenByDevicesChanged, 0);
    EXPECT_EQ(fake.sessionRequests(device), 1);

    ASSERT_TRUE(drain());
    EXPECT_EQ(takeLog(), QStringList{QStringLiteral("catalog 1")});
}

TEST_F(CameraManagerTest, AnOpenCompleteDeviceIsPublishedAtOnceAndRefreshNeverAsksForASession)
{
    const CameraDeviceId device = pluggedDevice({deviceFile(QStringLiteral("IMG_0001.JPG"))});

    manager.refresh(sourceID); // unbound
    manager.watch(QStringLiteral("other"), sourceID);
    manager.refresh(sourceID); // bound to a device that is not there
    manager.unwatch(sourceID);
    EXPECT_TRUE(takeLog().isEmpty());

    manager.watch(serial, sourceID);
    EXPECT_EQ(fake.sessionRequests(device), 1);
    manager.refresh(sourceID); // present, no session yet: nothing, not even a request
    EXPECT_EQ(fake.sessionRequests(device), 1);
    EXPECT_TRUE(takeLog().isEmpty());

    ASSERT_TRUE(drain());
    EXPECT_EQ(takeLog(), QStringList{QStringLiteral("catalog 1")});
    manager.watch(serial, sourceID);
    manager.refresh(sourceID);
    EXPECT_EQ(fake.sessionRequests(device), 1);
    EXPECT_EQ(takeLog(), (QStringList{QStringLiteral("catalog 1"), QStringLiteral("catalog 1")}));
}

TEST_F(CameraManagerTest, OnlyAComplete_ErrorFree_NonEmptyListingIsPublished)
{
    struct Case {
        const char* what;
        std::function<void(FakeCameraBackend&, CameraDeviceId)> listing;
        QStringList expected;
    };
    const std::vector<Case> cases{
        {"99 percent", [](auto& fake, auto device) { fake.setPercentComplete(device, 99); }, {}},
        {"100 percent", [](auto& fake, auto device) { fake.setPercentComplete(device, 100); }, {"catalog 2"}},
        {"walk failed", [](auto& fake, auto device) { fake.failListing(device); }, {}},
        {"unplugged mid-walk",
         [](auto& fake, auto device) {
             fake.setPercentComplete(device, 40);
             fake.unplug(device);
         },
         {"devices"}},
        {"no files",
         [](auto& fake, auto device) {
             fake.setFiles(device, {});
             fake.setPercentComplete(device, 100);
         },
         {}},
        {"only a sidecar",
         [](auto& fake, auto device) {
             fake.setFiles(device, {deviceFile(QStringLiteral("IMG_0001.AAE"))});
             fake.setPercentComplete(device, 100);
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeCameraBackend backend;
        CameraSourceManager camera(backend);
        QStringList events;
        camera.onDevicesChanged = [&] { events << QStringLiteral("devices"); };
        camera.onCatalogReady = [&](auto, const auto& items) { events << QStringLiteral("catalog %1").arg(items.size()); };
        const CameraDeviceId device = backend.plug(serial);
        backend.setFiles(device, {deviceFile(QStringLiteral("IMG_0001.JPG")), deviceFile(QStringLiteral("IMG_0002.MOV"))});
        backend.openSession(device);
        backend.setPercentComplete(device, 10);
        camera.watch(serial, sourceID);
        events.clear();
        c.listing(backend, device);
        EXPECT_EQ(events, c.expected);
    }
}

TEST_F(CameraManagerTest, DeviceFilesBecomeItemsWithCameraPaths)
{
    struct Case {
        const char* what;
        CameraFileInfo file;
        std::optional<QString> name; // none: not an item
        MediaKind kind = MediaKind::image;
        std::optional<double> duration;
        Timestamp captureDate = distantPast;
        Timestamp modifiedAt = distantPast;
        std::int64_t fileSize = 0;
    };
    const auto info = [](const char* name, const char* mime = "") {
        CameraFileInfo file;
        file.folder = QStringLiteral("/DCIM");
        file.name = QString::fromUtf8(name);
        file.mimeType = QString::fromUtf8(mime);
        return file;
    };
    const auto with = [](CameraFileInfo file, auto change) {
        change(file);
        return file;
    };
    const std::vector<Case> cases{
        {"original name and Exif date first",
         with(info("0001"),
              [](auto& f) {
                  f.originalFilename = QStringLiteral("IMG_0001.HEIC");
                  f.exifCreationDate = 100;
                  f.creationDate = 200;
                  f.modificationDate = 300;
                  f.size = 5000;
              }),
         QStringLiteral("IMG_0001.HEIC"), MediaKind::image, std::nullopt, 100, 300, 5000},
        {"creation date, then modification falls back to it",
         with(info("IMG_0002.JPG"), [](auto& f) { f.creationDate = 200; }), QStringLiteral("IMG_0002.JPG"),
         MediaKind::image, std::nullopt, 200, 200},
        {"file creation date", with(info("IMG_0003.PNG"), [](auto& f) { f.fileCreationDate = 250; }),
         QStringLiteral("IMG_0003.PNG"), MediaKind::image, std::nullopt, 250, 250},
        {"no name at all", info("", "image/jpeg"), QStringLiteral("Untitled")},
        {"a movie keeps its duration", with(info("IMG_0004.MOV"), [](auto& f) { f.duration = 3.5; }),
         QStringLiteral("IMG_0004.MOV"), MediaKind::video, 3.5},
        {"a photo drops the duration", with(info("IMG_0005.JPG"), [](auto& f) { f.duration = 2; }),
         QStringLiteral("IMG_0005.JPG")},
        {"MIME type when the name says nothing", info("capture", "video/mp4"), QStringLiteral("capture"),
         MediaKind::video},
        {"sidecar", info("IMG_0001.AAE", "application/xml"), std::nullopt},
        {"audio", info("memo.m4a", "audio/mp4"), std::nullopt},
        {"no type at all", info("README"), std::nullopt},
        {"a slash is no folder", info("a/b.jpg"), QStringLiteral("a_b.jpg")},
        {"dot dot is no parent", info("..", "image/jpeg"), QStringLiteral("Untitled")},
        {"a size PTP cannot hold", with(info("big.mp4"), [](auto& f) { f.size = cameraUnknownSize; }),
         QStringLiteral("big.mp4"), MediaKind::video},
    };
    const CameraDeviceId device = fake.plug(serial, QStringLiteral("Ada's iPhone"));
    std::vector<FakeCameraBackend::File> files;
    for (const Case& c : cases) {
        files.push_back({c.file, QByteArray(), std::nullopt});
    }
    fake.setFiles(device, files);
    manager.watch(serial, sourceID);
    ASSERT_TRUE(drain());
    ASSERT_EQ(published.size(), 1u);

    const QRegularExpression pathShape(QStringLiteral("^pivra-camera://%1/[0-9]{1,10}/([^/]+)$")
                                           .arg(QRegularExpression::escape(uuidString(sourceID))));
    auto item = published[0].begin();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.name) {
            continue;
        }
        ASSERT_NE(item, published[0].end());
        const QRegularExpressionMatch match = pathShape.match(item->path());
        ASSERT_TRUE(match.hasMatch()) << item->path().toStdString();
        EXPECT_EQ(match.captured(1), *c.name);
        EXPECT_EQ(item->name(), *c.name);
        EXPECT_EQ(item->id(), uuidString(sourceID) + u':' + item->path());
        EXPECT_EQ(item->sourceID(), sourceID);
        EXPECT_EQ(item->kind(), c.kind);
        EXPECT_EQ(item->duration(), c.duration);
        EXPECT_EQ(item->captureDate(), c.captureDate);
        EXPECT_EQ(item->modifiedAt(), c.modifiedAt);
        EXPECT_EQ(item->fileSize(), c.fileSize);
        EXPECT_EQ(item->dateOrigin(), QStringLiteral("iPhone"));
        EXPECT_EQ(item->camera(), QStringLiteral("Ada's iPhone"));
        EXPECT_TRUE(manager.files().contains(item->path()));
        ++item;
    }
    EXPECT_EQ(item, published[0].end());
    EXPECT_EQ(manager.files().size(), published[0].size());
}

TEST_F(CameraManagerTest, NamelessDevicesAreCalledIPhoneAndTheirItemsHaveNoCamera)
{
    fake.plug(QStringLiteral("b"), QStringLiteral("Canon EOS R6"));
    fake.plug(QStringLiteral("c"), QStringLiteral("Apple iPad"));
    fake.plug({}, QStringLiteral("No key at all"));
    const CameraDeviceId nameless = fake.plug({}, std::nullopt, QStringLiteral("usb:001,007"));
    fake.setFiles(nameless, {deviceFile(QStringLiteral("IMG_0001.JPG"))});
    manager.watch(QStringLiteral("usb:001,007"), sourceID);
    ASSERT_TRUE(drain());

    QStringList listed;
    for (const AvailableCameraDevice& device : manager.availableDevices()) {
        listed << device.id + u'=' + device.name;
    }
    EXPECT_EQ(listed, (QStringList{"c=Apple iPad", "b=Canon EOS R6", "usb:001,007=iPhone"}));
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0].at(0).camera(), std::nullopt);
}

TEST_F(CameraManagerTest, EverySnapshotIsWholeAndVanishedFilesLeaveTheTable)
{
    const CameraDeviceId device =
        publishedDevice({deviceFile(QStringLiteral("IMG_0001.JPG")), deviceFile(QStringLiteral("IMG_0002.JPG"))});
    const QStringList first = paths(published[0]);

    fake.setFiles(device, {deviceFile(QStringLiteral("IMG_0002.JPG"))});
    fake.announceCatalog(device);
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(paths(published[1]), QStringList{first[1]});
    EXPECT_FALSE(manager.files().contains(first[0]));
    EXPECT_TRUE(manager.files().contains(first[1]));
}

TEST_F(CameraManagerTest, ItemIdsStayTheSameWhenTheDeviceComesBackWithoutTheStore)
{
    const CameraDeviceId device =
        publishedDevice({deviceFile(QStringLiteral("IMG_0001.JPG")), deviceFile(QStringLiteral("IMG_0002.MOV"))});
    fake.unplug(device);
    EXPECT_EQ(takeLog(), QStringList{QStringLiteral("devices")});
    EXPECT_TRUE(manager.files().isEmpty());

    // A new connection lists the same files in another order.
    const CameraDeviceId again = fake.plug(serial);
    fake.setFiles(again, {deviceFile(QStringLiteral("IMG_0002.MOV")), deviceFile(QStringLiteral("IMG_0001.JPG"))});
    ASSERT_TRUE(drain());
    EXPECT_EQ(takeLog(), (QStringList{QStringLiteral("devices"), QStringLiteral("catalog 2")}));
    ASSERT_EQ(published.size(), 2u);
    QStringList before = paths(published[0]);
    QStringList after = paths(published[1]);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after);
}

TEST(CameraHandlesTest, CollidingKeysGetDistinctHandlesThatDoNotDependOnListingOrder)
{
    const std::vector<QString> keys{"/DCIM/c.jpg", "/DCIM/a.jpg", "/DCIM/b.jpg", "/DCIM/a.jpg"};
    const auto constant = [](const QString&) { return std::uint32_t{0xFFFFFFFE}; };
    EXPECT_EQ(cameraHandles(keys, constant), (std::vector<std::uint32_t>{1, 0xFFFFFFFE, 0, 0xFFFFFFFF}));

    const std::vector<QString> reordered{keys[2], keys[0], keys[1]};
    const std::vector<std::uint32_t> handles = cameraHandles({keys[0], keys[1], keys[2]});
    EXPECT_EQ(cameraHandles(reordered), (std::vector<std::uint32_t>{handles[2], handles[0], handles[1]}));
}

TEST_F(CameraManagerTest, ALockedSessionLocksOnceAndUnlockingClearsItBeforeTheCatalog)
{
    const CameraDeviceId device = pluggedDevice({deviceFile(QStringLiteral("IMG_0001.JPG"))});
    fake.setSessionAnswer(device, Session::locked);
    manager.watch(serial, sourceID);
    ASSERT_TRUE(drain());
    fake.lock(device);
    manager.watch(serial, sourceID); // asks again, and is told again
    ASSERT_TRUE(drain());
    EXPECT_EQ(takeLog(), QStringList{QStringLiteral("locked")});
    EXPECT_TRUE(manager.files().isEmpty());

    fake.unlock(device);
    EXPECT_EQ(takeLog(), (QStringList{QStringLiteral("unlocked"), QStringLiteral("catalog 1")}));
}

TEST_F(CameraManagerTest, ADeviceWithoutStorageIsLockedAndPublishesNothing)
{
    const CameraDeviceId device = pluggedDevice({deviceFile(QStringLiteral("IMG_0001.JPG"))});
    fake.lock(device); // before the binding: the event itself is not seen
    manager.watch(serial, sourceID);
    ASSERT_TRUE(drain());
    EXPECT_EQ(takeLog(), QStringList{QStringLiteral("locked")});
    EXPECT_TRUE(published.empty());
}

TEST_F(CameraManagerTest, RemovalClearsTheLockBeforeDevicesChangedAndKeepsTheBinding)
{
    const CameraDeviceId device = publishedDevice({deviceFile(QStringLiteral("IMG_0001.JPG"))});
    fake.lock(device);
    EXPECT_EQ(takeLog(), QStringList{QStringLiteral("locked")});
    EXPECT_EQ(manager.files().size(), 1); // a device that locks while published keeps its files

    fake.unplug(device);
    EXPECT_EQ(takeLog(), (QStringList{QStringLiteral("unlocked"), QStringLiteral("devices")}));
    EXPECT_TRUE(manager.files().isEmpty());
}

TEST_F(CameraManagerTest, UnwatchForgetsFilesButKeepsTheDeviceAndItsLock)
{
    const CameraDeviceId device = publishedDevice({deviceFile(QStringLiteral("IMG_0001.JPG"))});
    fake.lock(device);
    takeLog();
    manager.unwatch(sourceID);
    EXPECT_TRUE(takeLog().isEmpty());
    EXPECT_TRUE(manager.files().isEmpty());
    EXPECT_EQ(manager.availableDevices().size(), 1u);

    fake.setSessionAnswer(device, Session::locked);
    manager.watch(serial, sourceID); // still counted locked: no second "locked"
    ASSERT_TRUE(drain());
    EXPECT_TRUE(takeLog().isEmpty());
}

TEST_F(CameraManagerTest, OtherSessionFailuresAreReportedAsErrors)
{
    const CameraDeviceId device = pluggedDevice({});
    fake.setSessionAnswer(device, Session::failed);
    manager.watch(serial, sourceID);
    ASSERT_TRUE(drain());
    EXPECT_EQ(takeLog(), QStringList{QStringLiteral("error The device is busy.")});
}

TEST_F(CameraManagerTest, ReadersReachOnlyPublishedFilesAndAlwaysHearBack)
{
    FakeCameraBackend::File photo = deviceFile(QStringLiteral("IMG_0001.JPG"), QByteArrayLiteral("0123456789"));
    photo.thumbnail = QByteArrayLiteral("thumb");
    const CameraDeviceId device = publishedDevice({photo});
    const QString path = manager.files().keys().at(0);
    const QString unknown = cameraItemPath(sourceID, 1, QStringLiteral("gone.jpg"));

    std::mutex mutex;
    QStringList answers;
    std::atomic<int> done{0};
    const auto note = [&](const QString& answer) {
        const std::lock_guard lock(mutex);
        answers << answer;
        ++done;
    };
    const auto readInto = [&](const QString& readPath, std::int64_t offset) {
        manager.read(readPath, offset, 4, [&](std::optional<QByteArray> data, std::optional<PivraError> error) {
            note(error ? error->domain + u' ' + QString::number(error->code) + u' ' + error->description
                       : QString::fromLatin1(data.value_or("none")));
        });
    };
    const auto previewInto = [&](const QString& previewPath) {
        manager.requestPreview(previewPath, 420, [&](std::optional<QByteArray> data) {
            note(QString::fromLatin1(data.value_or("none")));
        });
    };
    readInto(unknown, 0);
    previewInto(unknown);
    readInto(path, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return done == 3; }, 5000));
    previewInto(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return done == 4; }, 5000));

    fake.setReadScript({.hold = true});
    readInto(path, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.heldReads() == 1; }, 5000));
    fake.unplug(device);
    ASSERT_TRUE(QTest::qWaitFor([&] { return done == 5; }, 5000));

    EXPECT_EQ(answers, (QStringList{"Pivra.CameraStream 1 The iPhone is disconnected or the video is unavailable.",
                                    "none", "3456", "thumb", "Pivra.Camera -9944 The device was disconnected."}));
    EXPECT_EQ(fake.thumbnailRequests(), std::vector<int>{420});
}

} // namespace
} // namespace pivra::test
