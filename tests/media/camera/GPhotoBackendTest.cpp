// The libgphoto2 device layer under the camera sources, exercised for real
// through libgphoto2's "Directory Browse" driver on a temporary folder, which
// lists like a device but has no ranged reads, and thumbnails only of JPEGs
// that carry one in their Exif data: reads go through the whole-file copy,
// and the thumbnail store draws the previews the device has none for.
#include "media/camera/CameraFileHelpers.h"
#include "media/camera/CameraPreviewKey.h"
#include "media/camera/CameraSourceManager.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPosterFrames.h"
#include "platform/runtime/Drain.h"
#include "platform/cameras/GPhotoBackend.h"
#include "support/files/JpegMaker.h"
#include "support/files/VideoMaker.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <map>
#include <mutex>

namespace pivra::test {
namespace {

const QString serial = QStringLiteral("FOLDER-0001");

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Waits for a completion that runs on a device worker.
template <typename Result, typename Request>
Result await(Request request)
{
    std::promise<Result> answer;
    request([&answer](Result result) { answer.set_value(std::move(result)); });
    return answer.get_future().get();
}

using ReadAnswer = std::pair<std::optional<QByteArray>, std::optional<PivraError>>;

std::map<QString, MediaItem> byName(const std::vector<MediaItem>& items)
{
    std::map<QString, MediaItem> named;
    for (const MediaItem& item : items) {
        named.emplace(item.name(), item);
    }
    return named;
}

// A JPEG carrying a 160 x 120 thumbnail in its Exif data, as cameras write
// them, which the folder driver hands out as the device's thumbnail.
bool makeJpegWithThumbnail(const QString& path, QSize size, const ExifFields& exif = {})
{
    QImage thumbnail(QSize(160, 120), QImage::Format_RGB32);
    thumbnail.fill(Qt::darkRed);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    if (!makeJpeg(path, size, exif) || !buffer.open(QIODevice::WriteOnly) || !thumbnail.save(&buffer, "JPEG")) {
        return false;
    }
    try {
        const auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::ExifThumb(image->exifData())
            .setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(encoded.constData()), long(encoded.size()));
        image->writeMetadata();
        return true;
    } catch (const Exiv2::Error&) {
        return false;
    }
}

bool setFileTime(const QString& path, const QDateTime& time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

// Ranged reads served from the folder behind the driver, which has none, as a
// phone's driver serves them; `served` counts the bytes.
GPhotoRangedRead rangedReadsFrom(const QString& root, std::atomic<std::int64_t>& served)
{
    return [root, &served](const CameraFileInfo& file, std::int64_t offset, std::int64_t length) {
        QFile original(root + file.folder + u'/' + file.name);
        if (!original.open(QIODevice::ReadOnly) || !original.seek(offset)) {
            return std::optional<QByteArray>();
        }
        const QByteArray data = original.read(length);
        served += data.size();
        return std::optional(data);
    };
}

class GPhotoBackendTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(makeJpeg(folder.filePath(QStringLiteral("IMG_0001.JPG")), QSize(640, 480)));
        ASSERT_TRUE(makeVideo(folder.filePath(QStringLiteral("IMG_0002.MOV"))));
        QFile sidecar(folder.filePath(QStringLiteral("IMG_0001.AAE")));
        ASSERT_TRUE(sidecar.open(QIODevice::WriteOnly) && sidecar.write("<plist/>") > 0);
        sidecar.close();

        manager.onCatalogReady = [this](const QUuid&, const std::vector<MediaItem>& items) { published.push_back(items); };
        manager.watch(serial, source);
        device = plug();
    }

    CameraDeviceId plug()
    {
        const CameraDeviceId plugged = backend.addDeviceForTesting(
            QStringLiteral("Directory Browse"), QStringLiteral("disk:") + folder.path(), serial, QStringLiteral("Folder"));
        EXPECT_TRUE(drain());
        return plugged;
    }

    QString pathOf(const QString& name) const
    {
        for (auto entry = manager.files().cbegin(); entry != manager.files().cend(); ++entry) {
            if (entry->file.name == name) {
                return entry.key();
            }
        }
        return {};
    }

    // The device unplugged and plugged in again: the items of its new listing.
    std::map<QString, MediaItem> relisted()
    {
        backend.removeDeviceForTesting(device);
        device = plug();
        return published.empty() ? std::map<QString, MediaItem>() : byName(published.back());
    }

    ReadAnswer read(const QString& path, std::int64_t offset, std::int64_t length)
    {
        return await<ReadAnswer>([&](auto done) {
            manager.read(path, offset, length, [done](auto data, auto error) { done({data, error}); });
        });
    }

    QTemporaryDir folder;
    const QUuid source = QUuid::createUuid();
    QTemporaryDir kept; // the descriptions of the device's files
    GPhotoBackend backend{{.discoverUsb = false, .helpers = cameraFileHelpers(), .descriptionFolder = kept.path()}};
    CameraSourceManager manager{backend};
    std::vector<std::vector<MediaItem>> published;
    CameraDeviceId device = 0;
};

TEST_F(GPhotoBackendTest, ListsTheFolderAsACatalogWithRealSizesAndStableIds)
{
    ASSERT_EQ(published.size(), 2u) << "the listing, then the files described";
    EXPECT_EQ(byName(published[0]).at(QStringLiteral("IMG_0001.JPG")).width(), 0) << "no header read yet";
    const std::map<QString, MediaItem> items = byName(published[1]);
    ASSERT_EQ(items.size(), 2u) << "the sidecar is no item";
    const MediaItem& photo = items.at(QStringLiteral("IMG_0001.JPG"));
    const MediaItem& clip = items.at(QStringLiteral("IMG_0002.MOV"));
    EXPECT_EQ(photo.kind(), MediaKind::image);
    EXPECT_EQ(clip.kind(), MediaKind::video);
    EXPECT_EQ(photo.fileSize(), QFileInfo(folder.filePath(QStringLiteral("IMG_0001.JPG"))).size());
    EXPECT_EQ(clip.fileSize(), QFileInfo(folder.filePath(QStringLiteral("IMG_0002.MOV"))).size());
    EXPECT_EQ(std::pair(photo.width(), photo.height()), std::pair(640, 480)) << "read from the header";
    EXPECT_EQ(std::pair(clip.width(), clip.height()), std::pair(320, 240));

    backend.removeDeviceForTesting(device);
    EXPECT_TRUE(manager.files().isEmpty());
    plug(); // a new session of the same device
    ASSERT_EQ(published.size(), 3u) << "described from the last connection at once";
    EXPECT_EQ(byName(published[2]).at(QStringLiteral("IMG_0001.JPG")).width(), 640);
    const auto ids = [](const std::vector<MediaItem>& list) {
        QStringList names;
        for (const MediaItem& item : list) {
            names << item.id();
        }
        names.sort();
        return names;
    };
    EXPECT_EQ(ids(published[2]), ids(published[1]));
}

TEST_F(GPhotoBackendTest, ReadsRangesAndExportsThroughTheWholeFileCopy)
{
    const QByteArray original = contentOf(folder.filePath(QStringLiteral("IMG_0002.MOV")));
    const QString path = pathOf(QStringLiteral("IMG_0002.MOV"));
    ASSERT_FALSE(path.isEmpty());

    const ReadAnswer middle = read(path, 1000, 3000);
    EXPECT_FALSE(middle.second);
    EXPECT_EQ(middle.first, original.mid(1000, 3000));
    const ReadAnswer tail = read(path, original.size() - 10, 100);
    EXPECT_EQ(tail.first, original.right(10));
    EXPECT_EQ(read(path, original.size(), 100).first, QByteArray());

    const QString destination = folder.filePath(QStringLiteral("exported.mov"));
    const std::optional<PivraError> error = await<std::optional<PivraError>>(
        [&](auto done) { manager.exportFile(path, destination, done); });
    EXPECT_FALSE(error);
    EXPECT_EQ(contentOf(destination), original);
}

TEST_F(GPhotoBackendTest, PreviewsUpToGridSizeAreTheDevicesThumbnailsAndLargerOnesAreDrawnFromTheOriginal)
{
    ASSERT_TRUE(makeJpegWithThumbnail(folder.filePath(QStringLiteral("IMG_0003.JPG")), QSize(2400, 1800)));
    ASSERT_TRUE(makeJpegWithThumbnail(folder.filePath(QStringLiteral("IMG_0004.JPG")), QSize(640, 480),
                                      {.orientation = 6}));
    const std::map<QString, MediaItem> items = relisted();
    QTemporaryDir caches;
    ThumbnailStore store(ThumbnailLocations::under(caches.filePath(QStringLiteral("data")),
                                                   caches.filePath(QStringLiteral("cache"))),
                         std::make_shared<ThumbnailRenderer>(std::make_shared<VideoPosterFrames>()));
    store.setCameraSourceManager(&manager);
    const struct {
        const char* name;
        int pixels;
        std::vector<QSize> shown; // in turn
    } cases[] = {
        // The device's own at once, then drawn from the original for the cell.
        {"IMG_0003.JPG", gridPixels, {QSize(160, 120), QSize(420, 315)}},
        {"IMG_0004.JPG", gridPixels, {QSize(120, 160), QSize(315, 420)}}, // turned as the photo is
        {"IMG_0003.JPG", viewerPixels, {QSize(2400, 1800)}},             // drawn from the original
        {"IMG_0001.JPG", gridPixels, {QSize(420, 315)}}, // none on the device: drawn from the original
        {"IMG_0002.MOV", gridPixels, {QSize(320, 240)}}, // none on the device: the poster frame
        {"IMG_0003.JPG", gridPixels, {QSize(420, 315)}}, // the drawing is kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(c.pixels));
        std::vector<QSize> shown;
        const auto operation = store.request(items.at(QString::fromLatin1(c.name)), c.pixels,
                                             [&shown](const QImage& image) { shown.push_back(image.size()); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() >= c.shown.size(); }, 20000));
        EXPECT_EQ(shown, c.shown);
    }
    ASSERT_TRUE(drain());
    const MediaItem& large = items.at(QStringLiteral("IMG_0003.JPG"));
    EXPECT_TRUE(QFileInfo::exists(
        cameraPreviewFile(store.locations(), cameraPreviewKey(large, viewerPixels), viewerPixels)))
        << "kept in the viewer cache";
}

// While the device is busy, the previews views wait for are served newest
// first, and one withdrawn meanwhile is never asked of the device: its JPEG
// carries a thumbnail, yet it gets none.
TEST_F(GPhotoBackendTest, WaitingPreviewsAreServedNewestFirstAndWithdrawnOnesAreNotAsked)
{
    const QStringList names{QStringLiteral("A.JPG"), QStringLiteral("B.JPG"), QStringLiteral("C.JPG"),
                            QStringLiteral("D.JPG")};
    for (const QString& name : names) {
        ASSERT_TRUE(makeJpegWithThumbnail(folder.filePath(name), QSize(640, 480)));
    }
    // A file read for the first time, so its read runs on the device's
    // worker (a file read before may be answered from the session's copy).
    ASSERT_TRUE(makeJpegWithThumbnail(folder.filePath(QStringLiteral("HOLD.JPG")), QSize(64, 48)));
    relisted();
    std::latch busy(1);
    std::latch release(1);
    manager.read(pathOf(QStringLiteral("HOLD.JPG")), 0, 1, [&](auto, auto) {
        busy.count_down();
        release.wait(); // holds the device's worker
    });
    busy.wait();

    std::mutex mutex;
    QStringList served;
    std::latch answered(names.size());
    std::atomic<bool> bWanted = true;
    for (const QString& name : names) {
        CameraPreviewDemand demand{.visible = true};
        if (name == QStringLiteral("B.JPG")) {
            demand.wanted = [&bWanted] { return bWanted.load(); };
        }
        manager.requestPreview(
            pathOf(name), gridPixels,
            [&, name](std::optional<QByteArray> data) {
                const std::lock_guard lock(mutex);
                served << (data ? name : name + QStringLiteral(" unasked"));
                answered.count_down();
            },
            demand);
    }
    bWanted = false; // the cell scrolled away
    release.count_down();
    answered.wait();
    EXPECT_EQ(served, (QStringList{"D.JPG", "C.JPG", "B.JPG unasked", "A.JPG"}));
}

TEST_F(GPhotoBackendTest, RequestsForARemovedDeviceCompleteDisconnected)
{
    const CameraFileEntry entry = manager.files().value(pathOf(QStringLiteral("IMG_0001.JPG")));
    backend.removeDeviceForTesting(device);
    const ReadAnswer answer = await<ReadAnswer>([&](auto done) {
        backend.read(entry.device, entry.file, 0, 100, CameraReadPurpose::stream,
                     [done](auto data, auto error) { done({data, error}); });
    });
    EXPECT_FALSE(answer.first);
    EXPECT_EQ(answer.second, cameraDisconnectedError());
    EXPECT_FALSE(await<std::optional<QByteArray>>(
        [&](auto done) { backend.requestThumbnail(entry.device, entry.file, 200, {}, done); }));
}

TEST_F(GPhotoBackendTest, DescribesFilesFromTheirHeadersAsAFolderScanDoes)
{
    const QDateTime fileTime(QDate(2020, 2, 3), QTime(4, 5, 6), QTimeZone::utc());
    const double exifDate = double(QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7)).toSecsSinceEpoch()); // local time
    const double videoDate = double(QDateTime(QDate(2022, 5, 6), QTime(7, 8, 9), QTimeZone::utc()).toSecsSinceEpoch());
    struct Case {
        QString name;
        std::function<bool(const QString& path)> make;
        QSize size;
        double captureDate;
        std::optional<double> duration;
    };
    const std::vector<Case> cases{
        {"portrait.jpg",
         [](const QString& path) {
             return makeJpeg(path, QSize(600, 450), {.dateTimeOriginal = "2021:03:04 05:06:07", .orientation = 6});
         },
         QSize(450, 600), exifDate, std::nullopt},
        {"undated.jpg", [](const QString& path) { return makeJpeg(path, QSize(600, 450)); }, QSize(600, 450),
         double(fileTime.toSecsSinceEpoch()), std::nullopt},
        {"dated.mov",
         [](const QString& path) { return makeVideo(path, {.frames = 10, .creationTime = "2022-05-06T07:08:09Z"}); },
         QSize(320, 240), videoDate, 0.4},
    };
    for (const Case& c : cases) {
        const QString path = folder.filePath(c.name);
        ASSERT_TRUE(c.make(path) && setFileTime(path, fileTime)) << c.name.toStdString();
    }

    const std::map<QString, MediaItem> items = relisted();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        ASSERT_TRUE(items.count(c.name));
        const MediaItem& item = items.at(c.name);
        EXPECT_EQ(QSize(item.width(), item.height()), c.size);
        EXPECT_EQ(item.captureDate(), c.captureDate);
        EXPECT_EQ(item.dateOrigin(), QStringLiteral("iPhone"));
        EXPECT_EQ(item.modifiedAt(), double(fileTime.toSecsSinceEpoch()));
        ASSERT_EQ(item.duration().has_value(), c.duration.has_value());
        if (c.duration) {
            EXPECT_NEAR(*item.duration(), *c.duration, 0.05);
        }
    }
}

// The fixture's folder as a phone's driver shows it: with ranged reads, each
// connection counting the bytes read before its first listing and in all.
class RangedDevice {
public:
    explicit RangedDevice(const QString& folder)
        : folder_(folder), backend_({.discoverUsb = false,
                                     .helpers = cameraFileHelpers(),
                                     .rangedReadForTesting = rangedReadsFrom(folder, served_),
                                     .descriptionFolder = kept_.path()})
    {
        manager_.onCatalogReady = [this](const QUuid&, const std::vector<MediaItem>& items) {
            if (listed_.empty()) {
                readBeforeListing = served_;
            }
            listed_ = items;
        };
        manager_.watch(serial, QUuid::createUuid());
    }

    // The items once every file is described.
    std::map<QString, MediaItem> connect()
    {
        served_ = 0;
        listed_.clear();
        device_ = backend_.addDeviceForTesting(QStringLiteral("Directory Browse"), QStringLiteral("disk:") + folder_,
                                               serial, QStringLiteral("Phone"));
        EXPECT_TRUE(drain());
        readInAll = served_;
        return byName(listed_);
    }

    void disconnect()
    {
        backend_.removeDeviceForTesting(device_);
        EXPECT_TRUE(drain());
    }

    std::int64_t readBeforeListing = 0;
    std::int64_t readInAll = 0;

private:
    const QString folder_;
    QTemporaryDir kept_;
    std::atomic<std::int64_t> served_ = 0;
    GPhotoBackend backend_;
    CameraSourceManager manager_{backend_};
    std::vector<MediaItem> listed_;
    CameraDeviceId device_ = 0;
};

TEST_F(GPhotoBackendTest, ReadsTheIndexOfAMovieBehindItsMediaDataWithRangedReads)
{
    // As FFmpeg writes by default: the index last, behind more media data
    // than the head of a file a listing reads.
    const QString path = folder.filePath(QStringLiteral("IMG_0003.MOV"));
    ASSERT_TRUE(makeVideo(path, {.size = QSize(1280, 720), .frames = 30, .codec = VideoCodec::h264, .grain = true}));
    const QByteArray content = contentOf(path);
    ASSERT_GT(content.size(), 2 * 512 * 1024);
    ASSERT_GT(content.lastIndexOf("moov"), 512 * 1024) << "the index behind the head";

    RangedDevice phone(folder.path());
    const std::map<QString, MediaItem> items = phone.connect();
    ASSERT_TRUE(items.count(QStringLiteral("IMG_0003.MOV")));
    const MediaItem& clip = items.at(QStringLiteral("IMG_0003.MOV"));
    EXPECT_EQ(QSize(clip.width(), clip.height()), QSize(1280, 720));
    ASSERT_TRUE(clip.duration());
    EXPECT_NEAR(*clip.duration(), 30 / 25.0, 0.05);
    EXPECT_LT(phone.readInAll, content.size()) << "the media data is not read";
}

// Videos whose format keeps no index first get their duration from their
// index or their end, or none at all, never one of their first bytes.
TEST_F(GPhotoBackendTest, DescribesVideosOfEveryFormatFromRangedReads)
{
    const QStringList videos{QStringLiteral("CLIP.AVI"), QStringLiteral("CLIP.MPG"), QStringLiteral("CLIP.MTS")};
    for (const QString& name : videos) {
        ASSERT_TRUE(makeVideo(folder.filePath(name),
                              {.size = QSize(640, 480), .frames = 150, .framesPerSecond = 5, .grain = true}))
            << name.toStdString();
        ASSERT_GT(QFileInfo(folder.filePath(name)).size(), 1024 * 1024) << "more than a head and a tail";
    }

    RangedDevice phone(folder.path());
    const std::map<QString, MediaItem> items = phone.connect();
    for (const QString& name : videos) {
        SCOPED_TRACE(name.toStdString());
        const MediaItem& clip = items.at(name);
        EXPECT_EQ(QSize(clip.width(), clip.height()), QSize(640, 480));
        if (clip.duration()) {
            EXPECT_NEAR(*clip.duration(), 30.0, 0.5) << "never a short one";
        }
    }
}

// A phone plugged in again has nothing read before its items show, and only
// what changed read in all.
TEST_F(GPhotoBackendTest, ADeviceConnectedAgainReadsOnlyItsNewFiles)
{
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(makeJpeg(folder.filePath(QStringLiteral("IMG_%1.JPG").arg(100 + i)), QSize(640, 480),
                             {.dateTimeOriginal = "2021:03:04 05:06:07"}));
        QFile(folder.filePath(QStringLiteral("IMG_%1.JPG").arg(100 + i))).resize(2 * 1024 * 1024);
    }
    RangedDevice phone(folder.path());
    const std::map<QString, MediaItem> first = phone.connect();
    EXPECT_EQ(phone.readBeforeListing, 0) << "the listing is shown first";
    EXPECT_LT(phone.readInAll, 22 * 128 * 1024) << "headers, not whole files";
    phone.disconnect();

    ASSERT_TRUE(makeJpeg(folder.filePath(QStringLiteral("NEW.JPG")), QSize(64, 48)));
    const std::map<QString, MediaItem> second = phone.connect();
    EXPECT_LT(phone.readBeforeListing, 1024 * 1024);
    EXPECT_EQ(phone.readInAll, QFileInfo(folder.filePath(QStringLiteral("NEW.JPG"))).size()) << "the new file alone";
    ASSERT_EQ(second.size(), first.size() + 1);
    const MediaItem& known = second.at(QStringLiteral("IMG_100.JPG"));
    EXPECT_EQ(QSize(known.width(), known.height()), QSize(640, 480));
    EXPECT_EQ(known.captureDate(), first.at(QStringLiteral("IMG_100.JPG")).captureDate());
}

TEST_F(GPhotoBackendTest, RefreshListsTheDeviceAgain)
{
    ASSERT_TRUE(makeJpeg(folder.filePath(QStringLiteral("IMG_0003.JPG")), QSize(64, 48)));
    ASSERT_TRUE(QFile::remove(folder.filePath(QStringLiteral("IMG_0001.JPG"))));

    manager.refresh(source);
    ASSERT_TRUE(drain());
    ASSERT_EQ(published.size(), 4u) << "the new listing, then the new file described";
    const std::map<QString, MediaItem> items = byName(published.back());
    EXPECT_EQ(items.size(), 2u);
    EXPECT_TRUE(items.count(QStringLiteral("IMG_0002.MOV")));
    EXPECT_TRUE(items.count(QStringLiteral("IMG_0003.JPG"))) << "added";
    EXPECT_EQ(manager.files().size(), 2) << "the deleted file is gone";
}

} // namespace
} // namespace pivra::test
