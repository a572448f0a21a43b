#include "catalog/CatalogExecutor.h"
#include "catalog/scan/ScanTestKit.h"
#include "media/metadata/CountingInspector.h"
#include "support/files/Bombs.h"
#include "support/files/DamagedVideos.h"
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

// The length a video is stored with is the one it plays: its streams' own
// where its header states well more than they hold, else the header's,
// which neither a file's tables nor a length measured later lengthen.
TEST_F(ScanMetadata, AVideoIsStoredWithTheLengthItPlays)
{
    VideoFields tenSeconds;
    tenSeconds.frames = 100;
    tenSeconds.framesPerSecond = 10;
    VideoFields withSound = tenSeconds;
    withSound.withAudio = true;
    VideoFields fragmented = tenSeconds;
    fragmented.fragmented = true; // its index lists its first second only
    VideoFields held;
    held.frames = 10;
    held.framesPerSecond = 10;
    held.lastFrameTicks = 21; // 0.9 s of pictures, the last held 2.1 s
    struct Row {
        const char* name;
        VideoFields fields;
        double stated; // the header's length, as a factor of the streams'
        double stored;
    };
    const Row rows[]{
        {"plain.mp4", tenSeconds, 1, 10},
        {"stating-more.mp4", tenSeconds, 3, 10},
        {"stating-more-with-sound.mov", withSound, 3, 10},
        {"stating-less.mp4", tenSeconds, 0.5, 5},
        {"fragmented.mp4", fragmented, 1, 10},
        {"held-last-picture.mov", held, 1, 3},
    };
    const QString folder = makeFolder(QStringLiteral("lib/lengths"));
    for (const Row& row : rows) {
        const QString path = folder + u'/' + QLatin1StringView(row.name);
        ASSERT_TRUE(makeVideo(path, row.fields)) << row.name;
        if (row.stated != 1) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite)) << row.name;
            const QByteArray stating = withStatedLength(file.readAll(), row.stated);
            ASSERT_FALSE(stating.isEmpty()) << row.name;
            ASSERT_TRUE(file.seek(0) && file.write(stating) == stating.size()) << row.name;
        }
    }
    scanFolder(library_);
    for (const Row& row : rows) {
        const std::optional<MediaItem> item = itemAt(folder + u'/' + QLatin1StringView(row.name));
        ASSERT_TRUE(item && item->duration()) << row.name;
        EXPECT_NEAR(*item->duration(), row.stored, 0.05) << row.name;
    }

    const QString video = MediaItem::makeID(source_, folder + QStringLiteral("/stating-less.mp4"));
    const QString photo = MediaItem::makeID(source_, library_ + QStringLiteral("/2021/a.jpg"));
    onCatalog([&](MediaCatalog& catalog) {
        catalog.setStreamsDuration(8, video);
        catalog.setStreamsDuration(3, photo);
        catalog.setStreamsDuration(4, video);
    });
    EXPECT_EQ(itemAt(folder + QStringLiteral("/stating-less.mp4"))->duration(), 4);
    EXPECT_EQ(itemAt(library_ + QStringLiteral("/2021/a.jpg"))->duration(), std::nullopt);
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
