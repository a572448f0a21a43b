#include "media/camera/CameraPreviewKey.h"
#include "media/thumbnails/MediaKey.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPosterFrames.h"
#include "platform/cameras/MovieHead.h"
#include "platform/runtime/Task.h"
#include "support/files/Bombs.h"
#include "support/files/JpegMaker.h"
#include "support/files/VideoMaker.h"

#include "CameraTestKit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <map>

namespace pivra::test {
namespace {

// What a view was shown, how often, and whether before its call returned.
struct Shown {
    int calls = 0;
    QImage image;
    bool synchronous = false;
};

using Prepared = std::shared_ptr<std::optional<std::optional<QString>>>; // unset until answered

Task<void> prepareInto(ThumbnailStore& store, MediaItem item, Prepared result)
{
    *result = co_await store.prepare(item);
}

class CameraPreviewTest : public CameraManagerTest {
protected:
    CameraPreviewTest() { store.setCameraSourceManager(&manager); }

    QByteArray jpeg(QSize size) const
    {
        const QString path = dir.filePath(QStringLiteral("thumbnail.jpg"));
        EXPECT_TRUE(makeJpeg(path, size));
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    FakeCameraBackend::File photo(std::optional<QByteArray> thumbnail,
                                  const QString& name = QStringLiteral("IMG_0001.JPG"),
                                  const QByteArray& content = QByteArrayLiteral("data")) const
    {
        FakeCameraBackend::File file = deviceFile(name, content);
        file.info.modificationDate = 1700000000.5;
        file.thumbnail = std::move(thumbnail);
        return file;
    }

    // The device plugged in with the one photo, and the photo's item.
    MediaItem publishedPhoto(std::optional<QByteArray> thumbnail, const QByteArray& content = QByteArrayLiteral("data"))
    {
        device = publishedDevice({photo(std::move(thumbnail), QStringLiteral("IMG_0001.JPG"), content)});
        return published.back().at(0);
    }

    // What a view asked for is shown in `shown`; `operation` withdraws it.
    std::shared_ptr<Shown> show(const MediaItem& item, int pixels, std::shared_ptr<QueueOperation>* operation = nullptr)
    {
        auto shown = std::make_shared<Shown>();
        auto returned = std::make_shared<bool>(false);
        auto asked = store.request(item, pixels, [shown, returned](const QImage& image) {
            *shown = {shown->calls + 1, image, !*returned};
        });
        *returned = true;
        if (operation != nullptr) {
            *operation = std::move(asked);
        }
        return shown;
    }

    std::int64_t bytesRead() const
    {
        std::int64_t bytes = 0;
        for (const FakeCameraBackend::ReadRequest& read : fake.readRequests()) {
            bytes += read.length;
        }
        return bytes;
    }

    Prepared prepare(const MediaItem& item)
    {
        auto result = std::make_shared<std::optional<std::optional<QString>>>();
        startTask(nullptr, prepareInto(store, item, result));
        return result;
    }

    static bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 20000); }

    static bool answered(const std::vector<std::shared_ptr<Shown>>& shown, const std::vector<Prepared>& prepared = {})
    {
        return waitFor([&] {
            return std::all_of(shown.begin(), shown.end(), [](const auto& one) { return one->calls > 0; }) &&
                   std::all_of(prepared.begin(), prepared.end(), [](const auto& one) { return one->has_value(); });
        });
    }

    // Every request has reached the device or a list of waiters.
    bool allWaiting(std::size_t deviceRequests)
    {
        return waitFor([&] {
            return fake.heldReads() == deviceRequests && store.displayQueue().waitingCount() == 0 &&
                   store.displayQueue().runningCount() == 0;
        });
    }

    QTemporaryDir dir;
    ThumbnailLocations locations =
        ThumbnailLocations::under(dir.filePath(QStringLiteral("data")), dir.filePath(QStringLiteral("cache")));
    ThumbnailStore store{locations, std::make_shared<ThumbnailRenderer>(std::make_shared<VideoPosterFrames>())};
    CameraDeviceId device = 0;
};

TEST_F(CameraPreviewTest, GridRequestsForOneItemAskTheDeviceOnce)
{
    const MediaItem item = publishedPhoto(jpeg(QSize(320, 240)));
    fake.setReadScript({.hold = true});
    std::vector<std::shared_ptr<Shown>> cells;
    std::vector<Prepared> prepared;
    for (int i = 0; i < 20; ++i) {
        if (i % 4 == 3) {
            prepared.push_back(prepare(item));
        } else {
            cells.push_back(show(item, gridPixels));
        }
    }
    ASSERT_TRUE(allWaiting(1));
    fake.releaseReads();
    ASSERT_TRUE(answered(cells, prepared));

    EXPECT_EQ(fake.thumbnailRequests(), std::vector<int>{gridPixels});
    for (const auto& cell : cells) {
        EXPECT_EQ(cell->calls, 1);
        EXPECT_EQ(cell->image.size(), QSize(320, 240));
        EXPECT_EQ(cell->image.cacheKey(), cells.front()->image.cacheKey());
    }
    const QString key = cameraPreviewKey(item, gridPixels);
    for (const Prepared& result : prepared) {
        EXPECT_EQ(**result, key);
    }
    EXPECT_FALSE(loadCachedImage(locations.gridFile(key)).isNull());
    EXPECT_TRUE(show(item, gridPixels)->synchronous) << "answered from memory";
}

// Larger than any device's thumbnail: drawn from the original, copied whole.
TEST_F(CameraPreviewTest, ViewerRequestsAreDrawnFromTheOriginalNotCoalescedAndKeptOnlyOnDisk)
{
    const QByteArray original = jpeg(QSize(1600, 1200));
    const MediaItem item = publishedPhoto(jpeg(QSize(160, 120)), original);
    fake.setReadScript({.hold = true});
    const std::vector<std::shared_ptr<Shown>> viewers{show(item, viewerPixels), show(item, viewerPixels)};
    ASSERT_TRUE(allWaiting(2));
    fake.releaseReads();
    ASSERT_TRUE(answered(viewers));
    EXPECT_EQ(viewers[0]->image.size(), QSize(1600, 1200));
    EXPECT_EQ(viewers[1]->image.size(), QSize(1600, 1200));
    EXPECT_EQ(bytesRead(), 2 * original.size());

    const QString key = cameraPreviewKey(item, viewerPixels);
    EXPECT_TRUE(QFileInfo::exists(locations.viewerDirectory + QLatin1Char('/') + key + QStringLiteral(".jpg")));
    EXPECT_TRUE(store.memory().image(key).isNull());
    const auto again = show(item, viewerPixels);
    ASSERT_TRUE(answered({again}));
    EXPECT_EQ(again->image.size(), QSize(1600, 1200));
    EXPECT_EQ(bytesRead(), 2 * original.size()) << "the second time from the viewer cache";
    EXPECT_TRUE(fake.thumbnailRequests().empty());
}

TEST_F(CameraPreviewTest, StoredPreviewsShowAfterTheDeviceIsUnplugged)
{
    const MediaItem item = publishedPhoto(jpeg(QSize(320, 240)), jpeg(QSize(640, 480)));
    ASSERT_TRUE(answered({show(item, gridPixels), show(item, viewerPixels)}));
    fake.unplug(device);

    const auto fromMemory = show(item, gridPixels);
    EXPECT_TRUE(fromMemory->synchronous);
    EXPECT_EQ(fromMemory->image.size(), QSize(320, 240));
    store.memory().clear();
    const std::vector<std::shared_ptr<Shown>> fromDisk{show(item, gridPixels), show(item, viewerPixels)};
    const Prepared key = prepare(item);
    ASSERT_TRUE(answered(fromDisk, {key}));
    EXPECT_EQ(fromDisk[0]->image.size(), QSize(320, 240));
    EXPECT_EQ(fromDisk[1]->image.size(), QSize(640, 480));
    EXPECT_EQ(**key, cameraPreviewKey(item, gridPixels));
    EXPECT_EQ(fake.thumbnailRequests().size(), 1u);
}

TEST_F(CameraPreviewTest, AChangedModificationDateGivesANewKey)
{
    FakeCameraBackend::File file = photo(jpeg(QSize(320, 240)));
    device = publishedDevice({file});
    const MediaItem item = published.back().at(0);
    const Prepared before = prepare(item);
    ASSERT_TRUE(answered({}, {before}));
    ASSERT_TRUE(before->value());
    EXPECT_EQ(**before, digestText(QStringLiteral("camera-preview-v1:%1:4:1700000000.5:420").arg(item.id())));

    file.info.modificationDate = 1700000060.0;
    fake.setFiles(device, {file});
    fake.announceCatalog(device);
    const Prepared after = prepare(published.back().at(0));
    ASSERT_TRUE(answered({}, {after}));
    ASSERT_TRUE(after->value());
    EXPECT_NE(**after, **before);
    EXPECT_TRUE(QFileInfo::exists(locations.gridFile(***before))) << "the old preview stays until its key is deleted";
    EXPECT_TRUE(QFileInfo::exists(locations.gridFile(***after)));
    EXPECT_EQ(fake.thumbnailRequests().size(), 2u);
}

// Cells scrolled away cancel their operations while their requests wait on
// the device: those are dropped before the device is asked and never
// answered, unless preparation waits for the same preview too.
TEST_F(CameraPreviewTest, RequestsOfCellsScrolledAwayNeverReachTheDevice)
{
    std::vector<FakeCameraBackend::File> files;
    for (int i = 0; i < 6; ++i) {
        files.push_back(photo(jpeg(QSize(320, 240)), QStringLiteral("IMG_000%1.JPG").arg(i)));
    }
    device = publishedDevice(files);
    const std::vector<MediaItem> items = published.back();
    fake.setReadScript({.hold = true});
    std::vector<std::shared_ptr<QueueOperation>> operations(items.size());
    std::vector<std::shared_ptr<Shown>> cells;
    for (std::size_t i = 0; i < items.size(); ++i) {
        cells.push_back(show(items[i], gridPixels, &operations[i]));
    }
    const Prepared prepared = prepare(items[4]);
    ASSERT_TRUE(allWaiting(items.size()));
    for (const std::size_t away : {1, 3, 4}) {
        operations[away]->cancel();
    }
    fake.releaseReads();
    ASSERT_TRUE(answered({cells[0], cells[2], cells[5]}, {prepared}));
    ASSERT_TRUE(drain());

    EXPECT_EQ(fake.thumbnailRequests().size(), 4u) << "cells 0, 2 and 5, and the prepared 4";
    for (const std::size_t away : {1, 3, 4}) {
        EXPECT_EQ(cells[away]->calls, 0) << away;
    }
    EXPECT_EQ(**prepared, cameraPreviewKey(items[4], gridPixels));
    const auto again = show(items[1], gridPixels);
    ASSERT_TRUE(answered({again})) << "a withdrawn preview leaves nothing waiting behind";
    EXPECT_EQ(again->image.size(), QSize(320, 240));
}

// A video the device has no thumbnail for shows its poster frame, drawn from
// its first few MiB and its index (behind the media data, as FFmpeg writes
// it), not from a copy of the whole file.
TEST_F(CameraPreviewTest, AVideoWithoutADeviceThumbnailShowsAPosterFromItsHead)
{
    const QString path = dir.filePath(QStringLiteral("clip.mov"));
    ASSERT_TRUE(makeVideo(path, {.size = QSize(1920, 1080), .frames = 200, .codec = VideoCodec::h264, .grain = true}));
    QFile clip(path);
    ASSERT_TRUE(clip.open(QIODevice::ReadOnly));
    const QByteArray content = clip.readAll();
    ASSERT_GT(content.size(), 2 * movieHeadBytes);
    ASSERT_GT(content.lastIndexOf("moov"), movieHeadBytes) << "the index behind the head";
    device = publishedDevice({deviceFile(QStringLiteral("IMG_0002.MOV"), content)});
    const MediaItem item = published.back().at(0);

    const auto cell = show(item, gridPixels);
    ASSERT_TRUE(answered({cell}));
    EXPECT_EQ(cell->image.size(), QSize(420, 236));
    EXPECT_EQ(fake.thumbnailRequests(), std::vector<int>{gridPixels}) << "the device was asked first";
    const std::int64_t headAndIndex = bytesRead();
    EXPECT_LT(headAndIndex, movieHeadBytes + 65536) << "of " << content.size();

    const auto viewer = show(item, viewerPixels);
    ASSERT_TRUE(answered({viewer}));
    EXPECT_EQ(viewer->image.size(), QSize(1920, 1080));
    EXPECT_EQ(bytesRead(), 2 * headAndIndex);
}

// What the device sends for its thumbnail; a PNG or an SVG is no JPEG and is
// not decoded, as its content would choose Qt's reader for it.
enum class DeviceData { jpeg, garbage, png, svgReadingAPicture, none };
enum class Mishap { none, unplugMidRequest, noManager, unwritableStores };

struct FailureCase {
    const char* name;
    DeviceData data;
    Mishap mishap;
};

class CameraPreviewFailureTest : public CameraPreviewTest, public ::testing::WithParamInterface<FailureCase> {};

// Every waiter hears (none, none), nothing is stored, and no key stays
// waiting: the next request is answered too.
TEST_P(CameraPreviewFailureTest, AnswersEveryWaiterWithNothing)
{
    const FailureCase& row = GetParam();
    QImage picture(300, 200, QImage::Format_RGB32);
    picture.fill(Qt::magenta);
    const QString picturePath = dir.filePath(QStringLiteral("picture.png"));
    ASSERT_TRUE(picture.save(picturePath, "PNG"));
    QFile png(picturePath);
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const std::map<DeviceData, std::optional<QByteArray>> sent{
        {DeviceData::jpeg, jpeg(QSize(320, 240))},
        {DeviceData::garbage, QByteArray("not an image")},
        {DeviceData::png, png.readAll()},
        {DeviceData::svgReadingAPicture, svgReading(picturePath)},
        {DeviceData::none, std::nullopt},
    };
    const MediaItem item = publishedPhoto(sent.at(row.data));
    const QString gridFile = locations.gridFile(cameraPreviewKey(item, gridPixels));
    switch (row.mishap) {
    case Mishap::unplugMidRequest:
        fake.setReadScript({.hold = true});
        break;
    case Mishap::noManager:
        store.setCameraSourceManager(nullptr);
        break;
    case Mishap::unwritableStores:
        // A file where each store's folder would be.
        ASSERT_TRUE(QDir(locations.viewerDirectory).removeRecursively());
        for (const QString& folder : {QFileInfo(gridFile).absolutePath(), locations.viewerDirectory}) {
            QFile blocker(folder);
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        break;
    case Mishap::none:
        break;
    }

    const std::vector<std::shared_ptr<Shown>> shown{show(item, gridPixels), show(item, gridPixels),
                                                    show(item, viewerPixels)};
    const Prepared key = prepare(item);
    if (row.mishap == Mishap::unplugMidRequest) {
        ASSERT_TRUE(allWaiting(2));
        fake.unplug(device);
    }
    ASSERT_TRUE(answered(shown, {key}));
    for (const auto& one : shown) {
        EXPECT_EQ(one->calls, 1);
        EXPECT_TRUE(one->image.isNull());
    }
    EXPECT_FALSE(**key);
    EXPECT_FALSE(QFileInfo(gridFile).isFile());
    EXPECT_EQ(fake.thumbnailRequests().empty(), row.mishap == Mishap::noManager);

    const auto again = show(item, gridPixels);
    ASSERT_TRUE(answered({again}));
    EXPECT_TRUE(again->image.isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CameraPreviewFailureTest,
    ::testing::Values(FailureCase{"UndecodableData", DeviceData::garbage, Mishap::none},
                      FailureCase{"APngThumbnail", DeviceData::png, Mishap::none},
                      FailureCase{"AnSvgThumbnailReadingAPicture", DeviceData::svgReadingAPicture, Mishap::none},
                      FailureCase{"NoThumbnail", DeviceData::none, Mishap::none},
                      FailureCase{"UnpluggedMidRequest", DeviceData::jpeg, Mishap::unplugMidRequest},
                      FailureCase{"NoManager", DeviceData::jpeg, Mishap::noManager},
                      FailureCase{"UnwritableStores", DeviceData::jpeg, Mishap::unwritableStores}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace pivra::test
