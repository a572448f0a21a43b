#include "StoreTestKit.h"

#include "platform/runtime/Drain.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace pivra {
namespace {

using Counts = std::map<std::string, int>; // album name to member count

class AlbumsTest : public test::StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        writeRows(trip_, {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
        MediaCatalog catalog(catalogPath_);
        summer_ = catalog.createAlbum(QStringLiteral("Summer"));
        catalog.addToAlbum(summer_, a_);
    }

    std::unique_ptr<LibraryStore> makeTripStore()
    {
        auto store = makeStore();
        store->setSources({trip_});
        EXPECT_TRUE(drain()); // the album list is read first
        store->selectAlbum(summer_);
        return store;
    }

    static Counts counts(const LibraryStore& store)
    {
        Counts counts;
        for (const Album& album : store.albums()) {
            counts[album.name.toStdString()] = album.itemCount;
        }
        return counts;
    }

    const LibrarySource trip_ = test::folderSource(QStringLiteral("Trip"), true);
    const QString a_ = test::folderRow(trip_.id, QStringLiteral("a.jpg")).itemID();
    const QString b_ = test::folderRow(trip_.id, QStringLiteral("b.jpg")).itemID();
    QUuid summer_;
};

TEST_F(AlbumsTest, NamesAreTrimmedAndBlankNamesChangeNothing)
{
    auto store = makeTripStore();
    ASSERT_TRUE(drain());
    const int version = store->itemsVersion();
    store->createAlbum(QStringLiteral(" Road  trip \n"));
    store->createAlbum(QStringLiteral("\tWinter\u2028"), b_);
    store->createAlbum(QStringLiteral(" \n "), b_);
    store->renameAlbum(summer_, QStringLiteral("\t"));
    ASSERT_TRUE(drain());
    EXPECT_EQ(counts(*store), (Counts{{"Summer", 1}, {"Road  trip", 0}, {"Winter", 1}}));

    store->renameAlbum(summer_, QStringLiteral(" Autumn "));
    ASSERT_TRUE(drain());
    EXPECT_EQ(counts(*store), (Counts{{"Autumn", 1}, {"Road  trip", 0}, {"Winter", 1}}));
    EXPECT_FALSE(store->message().has_value());
    EXPECT_EQ(store->selectedAlbumID(), summer_);
    EXPECT_EQ(store->itemsVersion(), version);
}

// Each write is refused by a trigger in the catalog file.
TEST_F(AlbumsTest, AFailedWriteSaysSoAndRefreshesNothing)
{
    auto store = makeTripStore();
    ASSERT_TRUE(drain());
    struct Row {
        const char* trigger;
        std::function<void(LibraryStore&)> write;
        const char* message;
        int albumsInCatalog;
    };
    const Row rows[] = {
        // The album is made, but listed only from the next refresh on.
        {"BEFORE INSERT ON album_media", [&](LibraryStore& s) { s.createAlbum(QStringLiteral("Winter"), b_); },
         "Could not create this album.", 2},
        {"BEFORE UPDATE ON albums", [&](LibraryStore& s) { s.renameAlbum(summer_, QStringLiteral("Autumn")); },
         "Could not rename this album.", 2},
        {"BEFORE DELETE ON albums", [&](LibraryStore& s) { s.deleteAlbum(summer_); }, "Could not delete this album.", 2},
        {"BEFORE DELETE ON album_media", [&](LibraryStore& s) { s.removeFromAlbum(summer_, a_); },
         "Could not remove this item from the album.", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.trigger);
        test::MediaRowWriter writer(catalogPath_);
        writer.exec(qPrintable(QStringLiteral("CREATE TRIGGER refuse %1 BEGIN SELECT RAISE(ABORT, 'no'); END")
                                   .arg(QLatin1StringView(row.trigger))));
        const int version = store->itemsVersion();
        row.write(*store);
        ASSERT_TRUE(drain());
        EXPECT_EQ(store->message(), QString::fromLatin1(row.message));
        EXPECT_EQ(counts(*store), (Counts{{"Summer", 1}}));
        EXPECT_EQ(store->selectedAlbumID(), summer_);
        EXPECT_EQ(store->itemsVersion(), version);
        sqlite::Statement albums(writer.db(), "SELECT COUNT(*) FROM albums");
        ASSERT_TRUE(albums.nextRow());
        EXPECT_EQ(albums.int64(0), row.albumsInCatalog);
        writer.exec("DROP TRIGGER refuse");
    }
}

TEST_F(AlbumsTest, TheAlbumOnScreenFollowsItsChangesOthersOnlyRefreshTheList)
{
    auto store = makeTripStore();
    store->createAlbum(QStringLiteral("Winter"));
    ASSERT_TRUE(drain());
    const QUuid winter = store->albums().front().id; // newest first
    struct Step {
        const char* name;
        std::function<void(LibraryStore&)> change;
        bool reloads;
        qsizetype items;
        Counts counts;
    };
    const Step steps[] = {
        {"add elsewhere", [&](LibraryStore& s) { s.addToAlbum(winter, b_); }, false, 1, {{"Summer", 1}, {"Winter", 1}}},
        {"add here", [&](LibraryStore& s) { s.addToAlbum(summer_, b_); }, true, 2, {{"Summer", 2}, {"Winter", 1}}},
        {"remove here", [&](LibraryStore& s) { s.removeFromAlbum(summer_, b_); }, true, 1, {{"Summer", 1}, {"Winter", 1}}},
        {"delete elsewhere", [&](LibraryStore& s) { s.deleteAlbum(winter); }, false, 1, {{"Summer", 1}}},
        {"delete here", [&](LibraryStore& s) { s.deleteAlbum(summer_); }, true, 0, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const int version = store->itemsVersion();
        step.change(*store);
        ASSERT_TRUE(drain());
        EXPECT_EQ(store->itemsVersion() > version, step.reloads);
        EXPECT_EQ(store->items()->size(), static_cast<std::size_t>(step.items));
        EXPECT_EQ(counts(*store), step.counts);
    }
    EXPECT_TRUE(store->showsAlbums());
    EXPECT_EQ(store->selectedAlbumID(), std::nullopt);
    EXPECT_EQ(store->totalCount(), 0);
}

} // namespace
} // namespace pivra
