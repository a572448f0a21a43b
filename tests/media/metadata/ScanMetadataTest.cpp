#include "catalog/CatalogExecutor.h"
#include "catalog/scan/ScanTestKit.h"
#include "media/metadata/CountingInspector.h"
#include "support/files/Bombs.h"
#include "support/files/JpegMaker.h"
#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pivra::test {
namespace {

// Scans of real photos and videos through the real metadata readers.
class ScanMetadata : public ScanFixture<CountingInspector> {
protected:
    void SetUp() override
    {
        ScanFixture::SetUp();
        makeFolder(QStringLiteral("lib/2021"));
        ExifFields exif;
        exif.dateTimeOriginal = QStringLiteral("2021:06:01 10:00:00");
        exif.make = QStringLiteral("Apple");
        exif.model = QStringLiteral("iPhone 12");
        exif.latitude = 41.01;
        exif.longitude = 28.98;
        ASSERT_TRUE(makeJpeg(library_ + QStringLiteral("/2021/a.jpg"), QSize(64, 48), exif));
        ASSERT_TRUE(makeJpeg(library_ + QStringLiteral("/2021/b.jpg"), QSize(48, 64)));
        VideoFields video;
        video.make = QStringLiteral("Apple");
        video.model = QStringLiteral("iPhone 12");
        ASSERT_TRUE(makeVideo(library_ + QStringLiteral("/2021/clip.mov"), video));
        writeFile(QStringLiteral("lib/readme.txt"), "not media");
    }

};

TEST_F(ScanMetadata, IndexesWhatTheFilesSayAndOpensNothingTheSecondTime)
{
    EXPECT_EQ(scanFolder(library_).processed, 3);
    EXPECT_EQ(inspector_->inspections(), 3);
    const std::optional<MediaItem> photo = itemAt(library_ + QStringLiteral("/2021/a.jpg"));
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->dateOrigin(), QStringLiteral("EXIF capture"));
    EXPECT_EQ(photo->camera(), QStringLiteral("iPhone 12"));
    EXPECT_EQ(photo->width(), 64);
    const std::optional<MediaItem> clip = itemAt(library_ + QStringLiteral("/2021/clip.mov"));
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->kind(), MediaKind::video);
    EXPECT_TRUE(clip->duration());

    EXPECT_EQ(scanFolder(library_).processed, 3);
    EXPECT_EQ(inspector_->inspections(), 3) << "unchanged files were opened again";
    EXPECT_EQ(inspector_->liveLookups(), 0);
}

TEST_F(ScanMetadata, ChangedPhotoIsReadAgainAndKeepsTheUsersMarks)
{
    scanFolder(library_);
    const QString path = library_ + QStringLiteral("/2021/b.jpg");
    const QString id = MediaItem::makeID(source_, path);
    catalog_->callBlocking([id](MediaCatalog& catalog) {
        catalog.setFavorite(true, id);
        catalog.setRotation(3, id);
        catalog.addToAlbum(catalog.createAlbum(QStringLiteral("Keep")), id);
    });
    ExifFields exif;
    exif.model = QStringLiteral("Edited Camera");
    ASSERT_TRUE(makeJpeg(path, QSize(80, 60), exif));
    const struct timespec later[2] = {{0, UTIME_OMIT}, {2'000'000'000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), later, 0), 0);

    scanFolder(library_);
    EXPECT_EQ(inspector_->inspections(), 4);
    const std::optional<MediaItem> changed = itemAt(path);
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->camera(), QStringLiteral("Edited Camera"));
    EXPECT_EQ(changed->width(), 80);
    EXPECT_TRUE(changed->isFavorite());
    EXPECT_EQ(changed->rotationQuarters(), 3);
    EXPECT_EQ(catalog_->callBlocking([](MediaCatalog& catalog) { return catalog.albums().front().itemCount; }), 1);
}

TEST_F(ScanMetadata, RenamedRootMovesRowsWithoutReadingFiles)
{
    scanFolder(library_);
    const QString moved = pathOf(QStringLiteral("Volume 2"));
    ASSERT_TRUE(QDir().rename(library_, moved));
    EXPECT_EQ(scanFolder(moved).processed, 3);
    EXPECT_EQ(inspector_->inspections(), 3);
    EXPECT_FALSE(itemAt(library_ + QStringLiteral("/2021/a.jpg")));
    const std::optional<MediaItem> photo = itemAt(moved + QStringLiteral("/2021/a.jpg"));
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->camera(), QStringLiteral("iPhone 12"));
}

// The walk, then, before anything is read, a.jpg becomes a FIFO nobody
// writes to and clip.mov a link to a device that never ends.
FolderWalk walkThenSwapFiles(const QString& root, const CancelToken& cancel)
{
    FolderWalk walk = walkFolder(root, cancel);
    const QByteArray photo = QFile::encodeName(root + QStringLiteral("/2021/a.jpg"));
    const QByteArray clip = QFile::encodeName(root + QStringLiteral("/2021/clip.mov"));
    EXPECT_EQ(::unlink(photo.constData()), 0);
    EXPECT_EQ(::mkfifo(photo.constData(), 0644), 0);
    EXPECT_EQ(::unlink(clip.constData()), 0);
    EXPECT_EQ(::symlink("/dev/zero", clip.constData()), 0);
    return walk;
}

TEST_F(ScanMetadata, FilesSwappedAfterTheWalkEndTheScanQuicklyAndKeepTheOthers)
{
    // A reader that waited on the FIFO or read the device to its end would
    // never return, and the suite's time limit would end the test.
    const ScanRun run = scanFolder(library_, {}, &walkThenSwapFiles);
    ASSERT_TRUE(run.outcome);
    EXPECT_EQ(run.outcome->processed, 3);
    const std::optional<MediaItem> kept = itemAt(library_ + QStringLiteral("/2021/b.jpg"));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->width(), 48);
    for (const char* swapped : {"/2021/a.jpg", "/2021/clip.mov"}) {
        const std::optional<MediaItem> item = itemAt(library_ + QLatin1String(swapped));
        ASSERT_TRUE(item) << swapped;
        EXPECT_EQ(item->width(), 0) << swapped;
    }
}

TEST_F(ScanMetadata, ImagesDeclaringHugeCanvasesAreMarkedFailedWithoutDecoding)
{
    for (const QString& name : bombNames()) {
        ASSERT_TRUE(writeBomb(library_ + QLatin1Char('/') + name));
    }
    resetPeakMemory();
    const std::int64_t before = peakMemory();
    EXPECT_EQ(scanFolder(library_).processed, 6);
    EXPECT_LT(peakMemory() - before, std::int64_t(200) << 20);

    const auto [status, candidates] = onCatalog([this](MediaCatalog& catalog) {
        return std::pair(catalog.thumbnailStatuses().value(source_), catalog.thumbnailBatch(source_, {}, 100));
    });
    EXPECT_EQ(status.failed, 3);
    EXPECT_EQ(status.pending, 3);
    for (const MediaItem& item : candidates) {
        EXPECT_FALSE(item.name().startsWith(QLatin1String("bomb"))) << "a later run decodes " << item.name().toStdString();
    }
    const std::optional<MediaItem> bomb = itemAt(library_ + QStringLiteral("/bomb.gif"));
    ASSERT_TRUE(bomb);
    EXPECT_EQ(bomb->width(), 60000);
}

} // namespace
} // namespace pivra::test
