#include "catalog/CatalogExecutor.h"
#include "catalog/scan/ScanTestKit.h"
#include "media/metadata/CountingInspector.h"
#include "support/JpegMaker.h"
#include "support/TempFolder.h"
#include "support/VideoMaker.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

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

} // namespace
} // namespace pivra::test
