#include "catalog/CatalogTest.h"
#include "catalog/model/CellKey.h"

#include <QSet>
#include <gtest/gtest.h>

namespace pivra::test {
namespace {

class PipelineQueries : public CatalogTest {
protected:
    static QString key(char digit) { return QString(64, QChar(digit)); }

    QUuid source_ = QUuid::createUuid();
    QUuid other_ = QUuid::createUuid();
};

TEST_F(PipelineQueries, ThumbnailPagesFollowTheKeyAndSkipWhatCannotBeDrawn)
{
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"}) {
        rows().insert(folderRow(source_, QString::fromLatin1(name)));
    }
    MediaRow empty = folderRow(source_, QStringLiteral("0x0.jpg"));
    empty.width = 0;
    rows().insert(empty);
    MediaRow still = folderRow(source_, QStringLiteral("live.jpg"));
    still.liveIdentifier = QStringLiteral("L");
    still.thumbnailKey = key('f');
    MediaRow motion = folderRow(source_, QStringLiteral("live.mov"), QStringLiteral("video"));
    motion.liveIdentifier = QStringLiteral("L");
    rows().insert(still);
    rows().insert(motion);
    rows().insert(folderRow(other_, QStringLiteral("elsewhere.jpg")));

    const std::vector<MediaItem> first = catalog().thumbnailBatch(source_, std::nullopt, 2);
    ASSERT_EQ(idsOf(first), (QStringList{folderRow(source_, QStringLiteral("1.jpg")).itemID(),
                                         folderRow(source_, QStringLiteral("2.jpg")).itemID()}));
    ASSERT_TRUE(catalog().setThumbnailKey(key('3'), folderRow(source_, QStringLiteral("3.jpg")).itemID()));
    const std::vector<MediaItem> second = catalog().thumbnailBatch(source_, first.back().id(), 2);
    ASSERT_EQ(idsOf(second), (QStringList{folderRow(source_, QStringLiteral("4.jpg")).itemID(),
                                          folderRow(source_, QStringLiteral("5.jpg")).itemID()}));
    EXPECT_TRUE(catalog().thumbnailBatch(source_, second.back().id(), 2).empty());
    EXPECT_FALSE(second.front().camera()) << "pages read the light columns";

    // The motion video and the 0x0 row are in no count either.
    EXPECT_EQ(catalog().thumbnailStatuses().value(source_), (ThumbnailStatus{6, 2, 4, 0}));
    EXPECT_TRUE(catalog().videoPreviewCandidates(source_).empty());
}

TEST_F(PipelineQueries, ThumbnailOutcomesNeverOverwriteAKey)
{
    const MediaRow a = folderRow(source_, QStringLiteral("a.jpg"));
    const MediaRow b = folderRow(source_, QStringLiteral("b.jpg"));
    const MediaRow c = folderRow(other_, QStringLiteral("c.jpg"));
    for (const MediaRow& each : {a, b, c}) {
        rows().insert(each);
    }
    EXPECT_TRUE(catalog().setThumbnailKey(key('1'), a.itemID()));
    EXPECT_FALSE(catalog().setThumbnailKey(key('2'), a.itemID()));
    EXPECT_FALSE(catalog().setThumbnailKey(key('2'), QStringLiteral("unknown")));
    EXPECT_EQ(catalog().item(a.itemID())->thumbnailKey(), key('1'));

    const MediaRow tooLarge = folderRow(source_, QStringLiteral("too large.gif"));
    rows().insert(tooLarge);
    catalog().setThumbnailFailed(a.itemID());
    catalog().setThumbnailFailed(b.itemID());
    catalog().setThumbnailFailed(c.itemID());
    catalog().setThumbnailFailed(tooLarge.itemID(), true);
    EXPECT_EQ(catalog().thumbnailStatuses().value(source_), (ThumbnailStatus{3, 1, 0, 2}));
    EXPECT_TRUE(catalog().thumbnailBatch(source_, std::nullopt, 10).empty());

    catalog().retryFailedThumbnails(source_);
    EXPECT_EQ(idsOf(catalog().thumbnailBatch(source_, std::nullopt, 10)), QStringList{b.itemID()})
        << "a failure for good is not tried again";
    EXPECT_EQ(catalog().thumbnailStatuses().value(source_), (ThumbnailStatus{3, 1, 1, 1}));
    EXPECT_EQ(catalog().thumbnailStatuses().value(other_), (ThumbnailStatus{1, 0, 0, 1}));
}

TEST_F(PipelineQueries, OnePreviewClipPerVideoContent)
{
    MediaRow first = folderRow(source_, QStringLiteral("a.mov"), QStringLiteral("video"));
    MediaRow copy = folderRow(source_, QStringLiteral("copy/a.mov"), QStringLiteral("video"));
    MediaRow unprepared = folderRow(source_, QStringLiteral("b.mov"), QStringLiteral("video"));
    first.thumbnailKey = key('v');
    copy.thumbnailKey = key('v');
    for (const MediaRow& each : {first, copy, unprepared}) {
        rows().insert(each);
    }
    EXPECT_EQ(catalog().videoPreviewCandidates(source_).size(), 1u);
}

TEST_F(PipelineQueries, LocationPagesAndWrites)
{
    MediaRow a = folderRow(source_, QStringLiteral("a.jpg"));
    a.metadataJSON = QStringLiteral("{\"kept\":1}");
    const MediaRow b = folderRow(source_, QStringLiteral("b.mov"), QStringLiteral("video"));
    const MediaRow c = folderRow(source_, QStringLiteral("c.jpg"));
    for (const MediaRow& each : {a, b, c}) {
        rows().insert(each);
    }
    const std::vector<LocationCandidate> first = catalog().locationBatch(source_, std::nullopt, 2);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].metadataJSON, a.metadataJSON);
    EXPECT_EQ(first[1].kind, MediaKind::video);
    EXPECT_EQ(catalog().locationBatch(source_, first.back().id, 2).size(), 1u);

    catalog().setLocations({LocationUpdate{a.itemID(), 41.0, std::nullopt, std::nullopt},
                            LocationUpdate{c.itemID(), 40.5, 29.25, QStringLiteral("{\"new\":1}")}});
    EXPECT_EQ(catalog().item(a.itemID())->metadataJSON(), a.metadataJSON);
    EXPECT_EQ(catalog().item(c.itemID())->metadataJSON(), QStringLiteral("{\"new\":1}"));
    const std::vector<LocationCandidate> left = catalog().locationBatch(source_, std::nullopt, 10);
    ASSERT_EQ(left.size(), 1u) << "checked rows came back";
    EXPECT_EQ(left[0].id, b.itemID());
    const std::vector<MapPhoto> photos = catalog().mapPhotos({});
    ASSERT_EQ(photos.size(), 1u) << "a half location was stored";
    EXPECT_EQ(photos[0].latitude(), 40.5);
}

TEST_F(PipelineQueries, FailedLocationWriteRollsBack)
{
    const MediaRow a = folderRow(source_, QStringLiteral("a.jpg"));
    rows().insert(a);
    rows().exec("CREATE TRIGGER refuse BEFORE UPDATE OF latitude ON media WHEN NEW.latitude > 80 "
                "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    EXPECT_THROW(catalog().setLocations({LocationUpdate{a.itemID(), 10.0, 10.0, std::nullopt},
                                         LocationUpdate{a.itemID(), 85.0, 10.0, std::nullopt}}),
                 CatalogError);
    EXPECT_TRUE(catalog().mapPhotos({}).empty());
}

TEST_F(PipelineQueries, MapShowsOneCopyPerContentAndCellsIgnoreExclusion)
{
    MediaRow here = folderRow(source_, QStringLiteral("a.jpg"));
    MediaRow twin = folderRow(other_, QStringLiteral("a.jpg"));
    MediaRow away = folderRow(other_, QStringLiteral("b.jpg"));
    here.thumbnailKey = twin.thumbnailKey = key('t');
    here.latitude = twin.latitude = 41.0;
    here.longitude = twin.longitude = 29.0;
    away.latitude = -33.9;
    away.longitude = 151.2;
    for (const MediaRow& each : {here, twin, away}) {
        rows().insert(each);
    }
    EXPECT_EQ(catalog().mapPhotos({}).size(), 2u);
    const std::vector<MapPhoto> withoutOther = catalog().mapPhotos({other_});
    ASSERT_EQ(withoutOther.size(), 1u);
    EXPECT_EQ(withoutOther[0].id(), here.itemID());
    EXPECT_EQ(catalog().placeCells().size(), 2u);
}

TEST_F(PipelineQueries, PlaceCellsAreTheKeysThePlaceSearchMatches)
{
    // Coordinates on cell edges, where SQLite's printf and the C library
    // round differently.
    const double edges[][2] = {{87.095, 28.985}, {41.015, -0.005}, {-12.345, 100.125}, {0.125, 0.135}};
    int index = 0;
    for (const auto& edge : edges) {
        MediaRow located = folderRow(source_, QStringLiteral("%1.jpg").arg(index++));
        located.latitude = edge[0];
        located.longitude = edge[1];
        rows().insert(located);
    }
    const std::vector<PlaceCell> cells = catalog().placeCells();
    ASSERT_EQ(cells.size(), std::size(edges));
    QSet<QString> keys;
    for (const PlaceCell& cell : cells) {
        keys.insert(cellKey(cell.latitude, cell.longitude));
    }
    for (const auto& edge : edges) {
        EXPECT_TRUE(keys.contains(cellKey(edge[0], edge[1]))) << edge[0] << "," << edge[1];
    }
    for (const QString& cell : keys) {
        GalleryScope scope;
        scope.search.placeCells = QStringList{cell};
        EXPECT_EQ(catalog().galleryCount(scope), 1) << cell.toStdString();
    }
}

TEST_F(PipelineQueries, IndexedFoldersAreEveryAncestorSortedLikeFileNames)
{
    for (const char* relative : {"x.jpg", "a/x.jpg", "a/b/y.jpg", "10/z.jpg", "2/z.jpg"}) {
        rows().insert(folderRow(source_, QString::fromLatin1(relative)));
    }
    rows().insert(folderRow(other_, QStringLiteral("other/z.jpg")));
    EXPECT_EQ(catalog().indexedFolders(source_), (QStringList{QStringLiteral("2"), QStringLiteral("10"),
                                                             QStringLiteral("a"), QStringLiteral("a/b")}));
}

} // namespace
} // namespace pivra::test
