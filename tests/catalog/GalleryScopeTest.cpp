#include "catalog/CatalogTest.h"
#include "catalog/model/CellKey.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pivra::test {
namespace {

using GalleryRules = CatalogTest;

const QUuid sourceA = QUuid::fromString(QStringLiteral("11111111-1111-1111-1111-111111111111"));
const QUuid sourceB = QUuid::fromString(QStringLiteral("22222222-2222-2222-2222-222222222222"));

TEST_F(GalleryRules, LivePhotoShowsOnceAsItsStill)
{
    MediaRow still = folderRow(sourceA, QStringLiteral("IMG_0001.HEIC"));
    still.liveIdentifier = QStringLiteral("L1");
    MediaRow motion = folderRow(sourceA, QStringLiteral("IMG_0001.MOV"), QStringLiteral("video"));
    motion.liveIdentifier = still.liveIdentifier;
    motion.fileSize = 2'000'000;
    MediaRow orphan = folderRow(sourceA, QStringLiteral("IMG_0009.MOV"), QStringLiteral("video"));
    orphan.liveIdentifier = QStringLiteral("L9");
    orphan.fileSize = 3'000'000;
    for (const MediaRow& row : {still, motion, orphan}) {
        rows().insert(row);
    }
    EXPECT_EQ(galleryIDs(), QStringList({still.itemID(), orphan.itemID()})); // equal dates: id order
    EXPECT_EQ(galleryIDs({.filter = MediaFilter::videos}), QStringList({orphan.itemID()}));
}

TEST_F(GalleryRules, SameContentShowsTheSmallerIdUnlessItsSourceIsOffline)
{
    MediaRow inA = folderRow(sourceA, QStringLiteral("a.jpg"));
    MediaRow inB = folderRow(sourceB, QStringLiteral("b.jpg"));
    inA.thumbnailKey = inB.thumbnailKey = QString(64, u'c');
    inB.fileSize = 7; // differs, so only the key makes them twins
    rows().insert(inA);
    rows().insert(inB);
    EXPECT_EQ(galleryIDs(), QStringList({inA.itemID()}));
    EXPECT_EQ(galleryIDs({.offlineSources = {sourceA}}), QStringList({inB.itemID()}));
    EXPECT_EQ(galleryIDs({.offlineSources = {sourceA, sourceB}}), QStringList({inA.itemID()}));
    // A twin outside the scope hides nothing.
    EXPECT_EQ(galleryIDs({.excludedSources = {sourceA}}), QStringList({inB.itemID()}));
    EXPECT_EQ(galleryIDs({.sourceID = sourceB}), QStringList({inB.itemID()}));
}

// The index takes the hidden rows of the count before it only while nothing
// has changed: not the scope, not the offline sources, not the rows, whether
// this connection or another one wrote them.
TEST_F(GalleryRules, IndexAfterCountSeesEveryChangeInBetween)
{
    MediaRow inA = folderRow(sourceA, QStringLiteral("a.jpg"));
    MediaRow inB = folderRow(sourceB, QStringLiteral("b.jpg"));
    inA.thumbnailKey = inB.thumbnailKey = QString(64, u'c');
    inB.fileSize = 7;
    rows().insert(inA);
    rows().insert(inB);

    EXPECT_EQ(catalog().galleryCount({.offlineSources = {sourceA}}), 1);
    EXPECT_EQ(idsOf(catalog().galleryIndex({})), QStringList({inA.itemID()}));
    EXPECT_EQ(catalog().galleryCount({.sourceID = sourceB}), 1);
    EXPECT_EQ(idsOf(catalog().galleryIndex({})), QStringList({inA.itemID()}));

    // Another connection adds a preferred twin of A.
    MediaRow first = folderRow(sourceA, QStringLiteral("0.jpg"));
    first.thumbnailKey = inA.thumbnailKey;
    first.fileSize = 9;
    EXPECT_EQ(catalog().galleryCount({}), 1);
    rows().insert(first);
    EXPECT_EQ(idsOf(catalog().galleryIndex({})), QStringList({first.itemID()}));

    // This connection gives a keyless row the same key, which hides it.
    MediaRow keyless = folderRow(sourceA, QStringLiteral("00.jpg"));
    keyless.fileSize = 11;
    rows().insert(keyless);
    EXPECT_EQ(catalog().galleryCount({}), 2);
    ASSERT_TRUE(catalog().setThumbnailKey(*inA.thumbnailKey, keyless.itemID()));
    EXPECT_EQ(idsOf(catalog().galleryIndex({})), QStringList({first.itemID()}));
}

TEST_F(GalleryRules, SameFileWithoutKeysFollowsTheSamePreference)
{
    const MediaRow inA = folderRow(sourceA, QStringLiteral("a.jpg"));
    const MediaRow inB = folderRow(sourceB, QStringLiteral("b.jpg"));
    MediaRow otherSize = folderRow(sourceB, QStringLiteral("c.jpg"));
    otherSize.width = 100;
    MediaRow keyed = folderRow(sourceB, QStringLiteral("d.jpg"));
    keyed.captured += 1;
    MediaRow keyedTwin = folderRow(sourceA, QStringLiteral("e.jpg"));
    keyedTwin.captured = keyed.captured;
    keyed.thumbnailKey = QString(64, u'1');
    keyedTwin.thumbnailKey = QString(64, u'2'); // both keyed and different: two files
    for (const MediaRow& row : {inA, inB, otherSize, keyed, keyedTwin}) {
        rows().insert(row);
    }
    EXPECT_EQ(galleryIDs(),
              QStringList({keyedTwin.itemID(), keyed.itemID(), inA.itemID(), otherSize.itemID()}));
    EXPECT_EQ(galleryIDs({.offlineSources = {sourceA}}),
              QStringList({keyedTwin.itemID(), keyed.itemID(), inB.itemID(), otherSize.itemID()}));
}

TEST_F(GalleryRules, EditedCopyHidesItsOriginalInTheSameFolderOnly)
{
    MediaRow original = folderRow(sourceA, QStringLiteral("trip/IMG_1234.HEIC"));
    MediaRow edited = folderRow(sourceA, QStringLiteral("trip/IMG_E1234.HEIC"));
    edited.fileSize = 2;
    MediaRow elsewhere = folderRow(sourceA, QStringLiteral("home/IMG_5678.HEIC"));
    elsewhere.fileSize = 3;
    MediaRow editedElsewhere = folderRow(sourceA, QStringLiteral("work/IMG_E5678.HEIC"));
    editedElsewhere.fileSize = 4;
    MediaRow lowerCase = folderRow(sourceA, QStringLiteral("trip/img_1111.heic"));
    lowerCase.fileSize = 5;
    MediaRow lowerEdited = folderRow(sourceA, QStringLiteral("trip/IMG_E1111.heic"));
    lowerEdited.fileSize = 6;
    for (const MediaRow& row : {original, edited, elsewhere, editedElsewhere, lowerCase, lowerEdited}) {
        rows().insert(row);
    }
    QStringList shown = galleryIDs();
    shown.sort();
    QStringList expected = {edited.itemID(), elsewhere.itemID(), editedElsewhere.itemID(), lowerCase.itemID(),
                            lowerEdited.itemID()};
    expected.sort();
    EXPECT_EQ(shown, expected);
    // The edited copy outside the search does not hide the original.
    SearchQuery search;
    search.nameTerms = {QStringLiteral("IMG_1234")};
    EXPECT_EQ(galleryIDs({.search = search}), QStringList({original.itemID()}));
}

TEST_F(GalleryRules, DeviceItemsWithoutFoldersCompareNames)
{
    MediaRow original = folderRow(sourceA, QStringLiteral("IMG_0042.JPG"));
    original.relativePath.reset();
    MediaRow edited = folderRow(sourceA, QStringLiteral("IMG_E0042.JPG"));
    edited.relativePath.reset();
    edited.fileSize = 9;
    rows().insert(original);
    rows().insert(edited);
    EXPECT_EQ(galleryIDs(), QStringList({edited.itemID()}));
}

TEST_F(GalleryRules, FolderMatchesItselfAndBelowButNotSiblingsWithTheSamePrefix)
{
    int size = 0;
    for (const char* path : {"2020/a.jpg", "2020/x/b.jpg", "2020-old/c.jpg", "2021/d.jpg", "e.jpg"}) {
        MediaRow row = folderRow(sourceA, QString::fromLatin1(path));
        row.fileSize = ++size;
        rows().insert(row);
    }
    QStringList names;
    for (const MediaItem& item : catalog().galleryIndex({.folder = QStringLiteral("2020")})) {
        names.append(item.name());
    }
    names.sort();
    EXPECT_EQ(names, QStringList({"a.jpg", "b.jpg"}));
    EXPECT_EQ(catalog().galleryCount({.folder = QStringLiteral("2020/x")}), 1);
}

TEST_F(GalleryRules, SearchTermsPlacesAndKinds)
{
    MediaRow beach = folderRow(sourceA, QStringLiteral("beach_day.jpg"));
    beach.camera = QStringLiteral("Canon EOS R5");
    beach.latitude = 87.095; // a cell edge where SQLite's printf and the C library disagree
    beach.longitude = 28.98;
    MediaRow clip = folderRow(sourceA, QStringLiteral("BeachClip.mov"), QStringLiteral("video"));
    clip.fileSize = 2;
    MediaRow percent = folderRow(sourceA, QStringLiteral("100%.jpg"));
    percent.fileSize = 3;
    for (const MediaRow& row : {beach, clip, percent}) {
        rows().insert(row);
    }

    SearchQuery byCamera;
    byCamera.terms = {QStringLiteral("canon")};
    EXPECT_EQ(galleryIDs({.search = byCamera}), QStringList({beach.itemID()}));

    SearchQuery wildcard;
    wildcard.terms = {QStringLiteral("b%h")};
    EXPECT_EQ(galleryIDs({.search = wildcard}).size(), 2);

    SearchQuery videos;
    videos.nameTerms = {QStringLiteral("beach")};
    videos.kind = MediaKind::video;
    EXPECT_EQ(galleryIDs({.search = videos}), QStringList({clip.itemID()}));
    EXPECT_TRUE(galleryIDs({.filter = MediaFilter::photos, .search = videos}).isEmpty());

    SearchQuery place;
    place.placeCells = QStringList{cellKey(87.095, 28.98)};
    EXPECT_EQ(place.placeCells->front(), QStringLiteral("87.09,28.98"));
    EXPECT_EQ(galleryIDs({.search = place}), QStringList({beach.itemID()}));

    SearchQuery nowhere;
    nowhere.placeCells = QStringList();
    EXPECT_TRUE(galleryIDs({.search = nowhere}).isEmpty());
}

TEST_F(GalleryRules, DateBoundsAreExactAndHalfOpen)
{
    const Timestamp bound = 1'577'836'800.000001; // QString::number would write 1.57784e+09
    MediaRow atBound = folderRow(sourceA, QStringLiteral("at.jpg"));
    atBound.captured = bound;
    MediaRow justBefore = folderRow(sourceA, QStringLiteral("before.jpg"));
    justBefore.captured = std::nextafter(bound, 0.0);
    justBefore.fileSize = 2;
    rows().insert(atBound);
    rows().insert(justBefore);

    SearchQuery from;
    from.from = bound;
    EXPECT_EQ(galleryIDs({.search = from}), QStringList({atBound.itemID()}));
    SearchQuery until;
    until.until = bound;
    EXPECT_EQ(galleryIDs({.search = until}), QStringList({justBefore.itemID()}));
}

TEST(SqlNumberLiteral, ReadsBackAsTheSameDouble)
{
    for (const double value : {1'577'836'800.0, 1'577'836'800.000001, -1.5, 1e9, 0.1, distantPast}) {
        const QString text = sqlNumberLiteral(value);
        EXPECT_EQ(text.toDouble(), value) << text.toStdString();
    }
    EXPECT_EQ(sqlNumberLiteral(1'577'836'800.0), QStringLiteral("1577836800"));
}

// The SQL function and the C++ function are one: they agree on every
// coordinate, also where SQLite's printf would round differently.
TEST_F(GalleryRules, CellKeyInSqlEqualsCellKeyInCpp)
{
    sqlite3* db = rows().db();
    ASSERT_TRUE(registerCellKeyFunction(db));
    sqlite::Statement statement(db, "SELECT pivra_cell(?, ?), printf('%.2f,%.2f', ?, ?)");
    int printfDisagrees = 0;
    for (int second = 0; second < 3600 * 3; ++second) {
        const double latitude = 41.0 + second / 3600.0;
        const double longitude = -(28.0 + second / 3600.0);
        statement.resetForReuse();
        statement.bindDouble(1, latitude);
        statement.bindDouble(2, longitude);
        statement.bindDouble(3, latitude);
        statement.bindDouble(4, longitude);
        ASSERT_TRUE(statement.nextRow());
        ASSERT_EQ(*statement.text(0), cellKey(latitude, longitude));
        printfDisagrees += *statement.text(1) != cellKey(latitude, longitude) ? 1 : 0;
    }
    EXPECT_GT(printfDisagrees, 0) << "SQLite's printf no longer differs; the shared function is still right";

    sqlite::Statement nulls(db, "SELECT pivra_cell(NULL, 1.0) IS NULL, pivra_cell(1.0, NULL) IS NULL");
    ASSERT_TRUE(nulls.nextRow());
    EXPECT_EQ(nulls.int32(0), 1);
    EXPECT_EQ(nulls.int32(1), 1);
}

TEST_F(GalleryRules, RowWithoutLocationIsInNoCell)
{
    MediaRow located = folderRow(sourceA, QStringLiteral("a.jpg"));
    located.latitude = 0.001;
    located.longitude = 0.002;
    const MediaRow unlocated = folderRow(sourceA, QStringLiteral("b.jpg"));
    located.fileSize = 2;
    rows().insert(located);
    rows().insert(unlocated);
    SearchQuery place;
    place.placeCells = QStringList{QStringLiteral("0.00,0.00")};
    EXPECT_EQ(galleryIDs({.search = place}), QStringList({located.itemID()}));
}

} // namespace
} // namespace pivra::test
