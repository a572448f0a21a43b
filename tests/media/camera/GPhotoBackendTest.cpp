// The libgphoto2 device layer under the camera sources, exercised for real
// through libgphoto2's "Directory Browse" driver on a temporary folder, which
// lists like a device but has neither ranged reads nor thumbnails: reads go
// through the whole-file copy and thumbnails are drawn from the file.
#include "media/camera/CameraFileHelpers.h"
#include "media/camera/CameraSourceManager.h"
#include "media/thumbnails/ThumbnailRenderer.h"
#include "media/video/VideoPosterFrames.h"
#include "platform/runtime/Drain.h"
#include "platform/cameras/GPhotoBackend.h"
#include "support/JpegMaker.h"
#include "support/VideoMaker.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

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

    ReadAnswer read(const QString& path, std::int64_t offset, std::int64_t length)
    {
        return await<ReadAnswer>([&](auto done) {
            manager.read(path, offset, length, [done](auto data, auto error) { done({data, error}); });
        });
    }

    QTemporaryDir folder;
    const QUuid source = QUuid::createUuid();
    GPhotoBackend backend{{false, cameraFileHelpers(std::make_shared<ThumbnailRenderer>(
                                      std::make_shared<VideoPosterFrames>()))}};
    CameraSourceManager manager{backend};
    std::vector<std::vector<MediaItem>> published;
    CameraDeviceId device = 0;
};

TEST_F(GPhotoBackendTest, ListsTheFolderAsACatalogWithRealSizesAndStableIds)
{
    ASSERT_EQ(published.size(), 1u);
    std::map<QString, MediaItem> items;
    for (const MediaItem& item : published[0]) {
        items.emplace(item.name(), item);
    }
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
    ASSERT_EQ(published.size(), 2u);
    const auto ids = [](const std::vector<MediaItem>& list) {
        QStringList names;
        for (const MediaItem& item : list) {
            names << item.id();
        }
        names.sort();
        return names;
    };
    EXPECT_EQ(ids(published[1]), ids(published[0]));
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

TEST_F(GPhotoBackendTest, DrawsAThumbnailWhenTheDeviceHasNone)
{
    for (const QString& name : {QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0002.MOV")}) {
        const std::optional<QByteArray> data = await<std::optional<QByteArray>>(
            [&](auto done) { manager.requestPreview(pathOf(name), 200, done); });
        ASSERT_TRUE(data) << name.toStdString();
        const QImage image = QImage::fromData(*data);
        EXPECT_FALSE(image.isNull()) << name.toStdString();
        EXPECT_EQ(std::max(image.width(), image.height()), 200) << name.toStdString();
    }
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
        [&](auto done) { backend.requestThumbnail(entry.device, entry.file, 200, done); }));
}

} // namespace
} // namespace pivra::test
