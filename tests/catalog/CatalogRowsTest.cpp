#include "catalog/CatalogTest.h"

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

using CatalogRows = CatalogTest;

TEST_F(CatalogRows, MalformedRowsAreSkippedByEveryRead)
{
    const QUuid source = QUuid::createUuid();
    MediaRow movie = folderRow(source, QStringLiteral("clip.mov"));
    movie.kind = QStringLiteral("movie");
    MediaRow badSource = folderRow(source, QStringLiteral("b.jpg"));
    badSource.sourceID = QStringLiteral("not-a-uuid");
    MediaRow braced = folderRow(source, QStringLiteral("c.jpg"));
    braced.sourceID = u'{' + uuidString(source).left(34) + u'}';
    const MediaRow good = folderRow(source, QStringLiteral("good.jpg"));
    for (const MediaRow& row : {movie, badSource, braced, good}) {
        rows().insert(row);
    }

    EXPECT_EQ(idsOf(catalog().galleryIndex({})), QStringList({good.itemID()}));
    EXPECT_FALSE(catalog().item(movie.itemID()));
    EXPECT_FALSE(catalog().item(badSource.itemID()));
    EXPECT_FALSE(catalog().item(braced.itemID()));
    EXPECT_TRUE(catalog().item(good.itemID()));
}

TEST_F(CatalogRows, EveryColumnReachesItsField)
{
    const QUuid source = QUuid::createUuid();
    MediaRow row = folderRow(source, QStringLiteral("2021/trip/IMG_0001.HEIC"));
    row.captured = 1'612'345'678.000123;
    row.dateOrigin = QStringLiteral("Video metadata");
    row.width = 3024;
    row.height = 4032;
    row.camera = QStringLiteral("iPhone 12");
    row.lens = QStringLiteral("Wide ∅ 26 mm");
    row.fileSize = 5'000'000'000LL; // beyond 32 bits
    row.modified = 1'612'345'700.25;
    row.metadataJSON = QStringLiteral(R"({"{TIFF}":{"Model":"iPhone 12"}})");
    row.rotationQuarters = 3;
    row.isFavorite = true;
    row.thumbnailKey = QString(64, u'a');
    rows().insert(row);

    const std::optional<MediaItem> item = catalog().item(row.itemID());
    ASSERT_TRUE(item);
    EXPECT_EQ(item->sourceID(), source);
    EXPECT_EQ(item->path(), row.path);
    EXPECT_EQ(item->name(), QStringLiteral("IMG_0001.HEIC"));
    EXPECT_EQ(item->kind(), MediaKind::image);
    EXPECT_EQ(item->captureDate(), row.captured);
    EXPECT_EQ(item->dateOrigin(), *row.dateOrigin);
    EXPECT_EQ(item->width(), 3024);
    EXPECT_EQ(item->height(), 4032);
    EXPECT_EQ(item->camera(), row.camera);
    EXPECT_EQ(item->lens(), row.lens);
    EXPECT_FALSE(item->duration()) << "a NULL duration is absent, not 0";
    EXPECT_EQ(item->fileSize(), 5'000'000'000LL);
    EXPECT_EQ(item->modifiedAt(), row.modified);
    EXPECT_EQ(item->metadataJSON(), row.metadataJSON);
    EXPECT_EQ(item->rotationQuarters(), 3);
    EXPECT_TRUE(item->isFavorite());
    EXPECT_EQ(item->thumbnailKey(), row.thumbnailKey);
    EXPECT_FALSE(item->liveIdentifier());
    EXPECT_FALSE(item->liveVideoPath());

    // The gallery reads the light list: no camera, lens or metadata.
    const std::vector<MediaItem> gallery = catalog().galleryIndex({});
    ASSERT_EQ(gallery.size(), 1u);
    EXPECT_FALSE(gallery[0].camera());
    EXPECT_FALSE(gallery[0].lens());
    EXPECT_FALSE(gallery[0].metadataJSON());
    MediaItem withoutHeavyFields = *item;
    withoutHeavyFields.setCamera(std::nullopt);
    withoutHeavyFields.setLens(std::nullopt);
    withoutHeavyFields.setMetadataJSON(std::nullopt);
    EXPECT_EQ(gallery[0], withoutHeavyFields);
}

TEST_F(CatalogRows, ZeroDurationStaysZero)
{
    MediaRow row = folderRow(QUuid::createUuid(), QStringLiteral("v.mov"), QStringLiteral("video"));
    row.duration = 0.0;
    rows().insert(row);
    EXPECT_EQ(catalog().item(row.itemID())->duration(), std::optional<double>(0.0));
}

TEST_F(CatalogRows, LivePhotoStillCarriesItsMotionPathAndVideoNever)
{
    const QUuid source = QUuid::createUuid();
    MediaRow still = folderRow(source, QStringLiteral("IMG_0002.HEIC"));
    still.liveIdentifier = QStringLiteral("LIVE-1");
    MediaRow motion = folderRow(source, QStringLiteral("IMG_0002.MOV"), QStringLiteral("video"));
    motion.liveIdentifier = still.liveIdentifier;
    // Same identifier in another source: not this still's motion half.
    MediaRow elsewhere = folderRow(QUuid::createUuid(), QStringLiteral("other.MOV"), QStringLiteral("video"));
    elsewhere.liveIdentifier = still.liveIdentifier;
    MediaRow lonely = folderRow(QUuid::createUuid(), QStringLiteral("IMG_0003.HEIC"));
    lonely.liveIdentifier = QStringLiteral("LIVE-2");
    for (const MediaRow& row : {still, motion, elsewhere, lonely}) {
        rows().insert(row);
    }

    EXPECT_EQ(catalog().item(still.itemID())->liveVideoPath(), motion.path);
    EXPECT_FALSE(catalog().item(motion.itemID())->liveVideoPath());
    EXPECT_FALSE(catalog().item(elsewhere.itemID())->liveVideoPath());
    EXPECT_FALSE(catalog().item(lonely.itemID())->liveVideoPath());
    for (const MediaItem& item : catalog().galleryIndex({})) {
        if (item.id() == still.itemID()) {
            EXPECT_EQ(item.liveVideoPath(), motion.path) << "the light list carries the motion path too";
        }
    }
}

// A large gallery is read in batches whose text is finished on several
// threads; malformed rows and hidden duplicates fall between them, and every
// item must still get its own row's text, in order, whether the index takes
// the count's hidden rows or finds them itself.
TEST_F(CatalogRows, LargeGalleryKeepsEachRowsFieldsAcrossBatches)
{
    const QUuid source = QUuid::createUuid();
    const QUuid backup = QUuid::createUuid();
    constexpr int itemCount = 20'000;
    std::vector<MediaRow> expected;
    std::int64_t malformed = 0;
    rows().exec("BEGIN");
    for (int serial = 0; serial < itemCount; ++serial) {
        MediaRow row = folderRow(source, QStringLiteral("%1/Ü_%2.jpg").arg(serial / 1000).arg(serial));
        row.captured = 1'000'000.0 - serial; // newest first is serial order
        row.width = serial % 5000 + 1;
        row.fileSize = serial;
        row.isFavorite = serial % 3 == 0;
        row.thumbnailKey = serial % 2 == 0 ? std::optional(QStringLiteral("key-%1").arg(serial)) : std::nullopt;
        row.liveIdentifier = serial % 7 == 0 ? std::optional(QStringLiteral("L%1").arg(serial)) : std::nullopt;
        if (serial % 997 == 5) {
            row.kind = QStringLiteral("movie"); // no item, but a row of the scope
        }
        rows().insert(row);
        if (serial % 613 == 11 && row.thumbnailKey) {
            MediaRow copy = row; // hidden: the same key on a later id
            copy.sourceID = uuidString(backup);
            copy.fileSize += 1;
            rows().insert(copy);
            if (copy.itemID() < row.itemID()) {
                row = copy; // the copy has the smaller id and shows instead
            }
        }
        if (row.kind == u"movie") {
            ++malformed;
        } else {
            expected.push_back(row);
        }
    }
    rows().exec("COMMIT");

    const auto check = [&expected](const std::vector<MediaItem>& items) {
        ASSERT_EQ(items.size(), expected.size());
        EXPECT_EQ(items.capacity(), items.size()) << "the gallery keeps the list as long as it shows it";
        for (std::size_t at = 0; at < items.size(); ++at) {
            const MediaItem& item = items[at];
            const MediaRow& row = expected[at];
            ASSERT_EQ(item.id(), row.itemID()) << at;
            EXPECT_EQ(item.path(), row.path) << at;
            EXPECT_EQ(item.name(), row.name) << at;
            EXPECT_EQ(item.captureDate(), row.captured) << at;
            EXPECT_EQ(item.width(), row.width) << at;
            EXPECT_EQ(item.fileSize(), row.fileSize) << at;
            EXPECT_EQ(item.isFavorite(), row.isFavorite) << at;
            EXPECT_EQ(item.thumbnailKey(), row.thumbnailKey) << at;
            EXPECT_EQ(item.liveIdentifier(), row.liveIdentifier) << at;
            EXPECT_FALSE(item.camera()) << at; // the light list leaves it out
        }
    };
    check(catalog().galleryIndex({}));
    // The count counts rows; a malformed one makes no item.
    EXPECT_EQ(catalog().galleryCount({}), static_cast<std::int64_t>(expected.size()) + malformed);
    check(catalog().galleryIndex({}));
}

} // namespace
} // namespace pivra::test
