#include "catalog/CatalogTest.h"

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

class CatalogAlbums : public CatalogTest {
protected:
    std::int64_t links(const QString& sql = QStringLiteral("SELECT COUNT(*) FROM album_media"))
    {
        sqlite::Statement count(rows().db(), sql);
        EXPECT_TRUE(count.nextRow());
        return count.int64(0);
    }

    const QUuid source = QUuid::createUuid();
};

TEST_F(CatalogAlbums, ListNewestCreatedFirstTiesByIdWithCountAndCover)
{
    MediaRow older = folderRow(source, QStringLiteral("older.jpg"));
    older.captured = 1000;
    MediaRow newer = folderRow(source, QStringLiteral("newer.jpg"));
    newer.captured = 2000;
    newer.camera = QStringLiteral("Canon");
    rows().insert(older);
    rows().insert(newer);

    const QUuid first = catalog().createAlbum(QStringLiteral("First"));
    const QUuid second = catalog().createAlbum(QString()); // stored as given, empty too
    const QUuid third = catalog().createAlbum(QStringLiteral("Third"));
    rows().exec(QStringLiteral("UPDATE albums SET created=5 WHERE id IN ('%1','%2'); UPDATE albums SET created=1 "
                               "WHERE id='%3'")
                    .arg(uuidString(second), uuidString(third), uuidString(first))
                    .toUtf8()
                    .constData());
    catalog().addToAlbum(first, older.itemID());
    catalog().addToAlbum(first, newer.itemID());

    const QList<Album> albums = catalog().albums();
    ASSERT_EQ(albums.size(), 3);
    const bool secondSortsFirst = uuidString(second) < uuidString(third);
    EXPECT_EQ(albums[0].id, secondSortsFirst ? second : third);
    EXPECT_EQ(albums[1].id, secondSortsFirst ? third : second);
    EXPECT_EQ(albums[2].id, first);
    EXPECT_EQ(albums[2].name, QStringLiteral("First"));
    EXPECT_EQ(albums[2].itemCount, 2);
    ASSERT_TRUE(albums[2].cover);
    EXPECT_EQ(albums[2].cover->id(), newer.itemID());
    EXPECT_FALSE(albums[2].cover->camera()) << "covers are read with the light column list";
    EXPECT_EQ(albums[secondSortsFirst ? 0 : 1].name, QString());
    EXPECT_EQ(albums[0].itemCount, 0);
    EXPECT_FALSE(albums[0].cover);
}

TEST_F(CatalogAlbums, HiddenMotionVideoCountsButIsNoCover)
{
    MediaRow still = folderRow(source, QStringLiteral("IMG_1.HEIC"));
    still.liveIdentifier = QStringLiteral("L");
    MediaRow motion = folderRow(source, QStringLiteral("IMG_1.MOV"), QStringLiteral("video"));
    motion.liveIdentifier = still.liveIdentifier;
    rows().insert(still);
    rows().insert(motion);
    const QUuid album = catalog().createAlbum(QStringLiteral("Live"));
    catalog().addToAlbum(album, motion.itemID());
    const QList<Album> albums = catalog().albums();
    ASSERT_EQ(albums.size(), 1);
    EXPECT_EQ(albums[0].itemCount, 1);
    EXPECT_FALSE(albums[0].cover);
}

TEST_F(CatalogAlbums, MembershipWrites)
{
    const MediaRow row = folderRow(source, QStringLiteral("a.jpg"));
    rows().insert(row);
    const QUuid album = catalog().createAlbum(QStringLiteral("Trip"));

    catalog().addToAlbum(album, row.itemID());
    rows().exec("UPDATE album_media SET added=1");
    catalog().addToAlbum(album, row.itemID()); // twice: one link, its date kept
    EXPECT_EQ(links(), 1);
    EXPECT_EQ(links(QStringLiteral("SELECT added FROM album_media")), 1);

    catalog().addToAlbum(album, QStringLiteral("no such item"));
    EXPECT_EQ(links(), 1);
    EXPECT_EQ(failureOf([&] { catalog().addToAlbum(QUuid::createUuid(), row.itemID()); }),
              CatalogError::Kind::step);

    EXPECT_EQ(catalog().galleryCount({.albumID = album}), 1);
    catalog().removeFromAlbum(album, row.itemID());
    EXPECT_EQ(links(), 0);
    EXPECT_EQ(catalog().galleryCount({.albumID = album}), 0);

    catalog().renameAlbum(album, QStringLiteral("Holiday"));
    EXPECT_EQ(catalog().albums().front().name, QStringLiteral("Holiday"));
    catalog().renameAlbum(QUuid::createUuid(), QStringLiteral("nobody")); // matches no row: no failure
}

TEST_F(CatalogAlbums, CascadesFollowAlbumsAndItems)
{
    const MediaRow kept = folderRow(source, QStringLiteral("kept.jpg"));
    const MediaRow moved = folderRow(source, QStringLiteral("moved.jpg"));
    const MediaRow deleted = folderRow(source, QStringLiteral("deleted.jpg"));
    int size = 0;
    for (MediaRow row : {kept, moved, deleted}) {
        row.fileSize = ++size; // three different files
        rows().insert(row);
    }
    const QUuid album = catalog().createAlbum(QStringLiteral("A"));
    const QUuid doomed = catalog().createAlbum(QStringLiteral("B"));
    for (const MediaRow& row : {kept, moved, deleted}) {
        catalog().addToAlbum(album, row.itemID());
    }
    catalog().addToAlbum(doomed, kept.itemID());

    // A relocated file keeps its links under its new id.
    const QString newID = uuidString(source) + QStringLiteral(":/photos/elsewhere/moved.jpg");
    rows().exec(QStringLiteral("UPDATE media SET id='%1' WHERE id='%2'").arg(newID, moved.itemID()).toUtf8().constData());
    rows().exec(QStringLiteral("DELETE FROM media WHERE id='%1'").arg(deleted.itemID()).toUtf8().constData());
    catalog().deleteAlbum(doomed);

    QStringList members;
    for (const MediaItem& item : catalog().galleryIndex({.albumID = album})) {
        members.append(item.id());
    }
    members.sort();
    QStringList expected = {kept.itemID(), newID};
    expected.sort();
    EXPECT_EQ(members, expected);
    EXPECT_EQ(links(), 2);

    // Removing the source's rows empties the album but keeps it.
    rows().exec("DELETE FROM media");
    EXPECT_EQ(links(), 0);
    EXPECT_EQ(catalog().albums().size(), 1);
}

TEST_F(CatalogAlbums, FavouriteAndRotationWrites)
{
    const MediaRow row = folderRow(source, QStringLiteral("a.jpg"));
    rows().insert(row);
    catalog().setFavorite(true, row.itemID());
    EXPECT_TRUE(catalog().item(row.itemID())->isFavorite());
    EXPECT_EQ(catalog().galleryCount({.favoritesOnly = true}), 1);
    catalog().setFavorite(false, row.itemID());
    EXPECT_FALSE(catalog().item(row.itemID())->isFavorite());

    for (const auto& [quarters, stored] : {std::pair{4, 0}, {-1, 3}, {5, 1}, {3, 3}, {-6, 2}}) {
        catalog().setRotation(quarters, row.itemID());
        EXPECT_EQ(catalog().item(row.itemID())->rotationQuarters(), stored) << quarters;
    }
    EXPECT_NO_THROW(catalog().setRotation(1, QStringLiteral("unknown")));
    EXPECT_NO_THROW(catalog().setFavorite(true, QStringLiteral("unknown")));
}

} // namespace
} // namespace pivra::test
