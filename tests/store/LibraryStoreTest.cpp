#include "StatementHold.h"
#include "StoreTestKit.h"

#include "catalog/PageReads.h"
#include "media/metadata/MetadataInspector.h"
#include "platform/runtime/Drain.h"
#include "store/FolderProbe.h"
#include "store/SourcesKeptAside.h"
#include "support/desktop/EventLoopWatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <future>

namespace pivra {
namespace {

using test::folderSource;

class LibraryStoreTest : public test::StoreTest {
protected:
    // The catalog file's pages that `rows` of its rows take, on average.
    std::int64_t pagesOfRows(std::int64_t rows)
    {
        test::MediaRowWriter writer(catalogPath_);
        sqlite::Statement size(writer.db(), "SELECT (SELECT page_count FROM pragma_page_count), count(*) FROM media");
        EXPECT_TRUE(size.nextRowChecked());
        return size.int64(0) * rows / size.int64(1);
    }
};

TEST_F(LibraryStoreTest, WithoutACatalogTheStoreSaysSoAndStillRescans)
{
    // A folder cannot be opened as a catalog. One inside the test's own, so
    // that the lock file made beside it goes with the test.
    const QString folder = makeFolder(QStringLiteral("Catalog.sqlite"));
    auto store = makeStore({.openCatalog = [folder] { return std::make_unique<MediaCatalog>(folder); }});
    ASSERT_TRUE(drain());
    EXPECT_FALSE(store->hasCatalog());
    EXPECT_EQ(store->message(), QStringLiteral("Could not open the local media catalog."));
    EXPECT_EQ(store->scanGeneration(), 1);
    EXPECT_EQ(store->queryGeneration(), 0); // a reload without a catalog does nothing
    EXPECT_TRUE(store->indexedFolders().isEmpty());
}

TEST_F(LibraryStoreTest, StartUpLoadsAlbumsGalleryCountsAndFoldersThenRescans)
{
    const LibrarySource trip = folderSource(QStringLiteral("Trip"), false);
    const LibrarySource empty = folderSource(QStringLiteral("Empty"), false);
    LibrarySource phone = folderSource(QStringLiteral("Phone"), false);
    phone.kind = LibrarySource::Kind::camera;
    phone.deviceID = QStringLiteral("usb:001,004");
    writeRows(trip, {QStringLiteral("2020/a.jpg"), QStringLiteral("2021/b.jpg")});
    storeSources(encodeSources({trip, empty, phone}));

    QStringList order;
    auto store = makeStore();
    const auto note = [&](const char* name) { return [&order, name] { order.append(QString::fromLatin1(name)); }; };
    QObject::connect(store.get(), &LibraryStore::albumsChanged, note("albums"));
    QObject::connect(store.get(), &LibraryStore::itemsChanged, note("items"));
    QObject::connect(store.get(), &LibraryStore::thumbnailStatusesChanged, note("statuses"));
    QObject::connect(store.get(), &LibraryStore::indexedFoldersChanged, note("folders"));
    EXPECT_EQ(store->scanGeneration(), 0);
    ASSERT_TRUE(drain());

    // The rescan wrote nothing, so its reload publishes nothing.
    EXPECT_EQ(order, QStringList({"albums", "items", "statuses", "folders", "folders"}));
    EXPECT_EQ(store->scanGeneration(), 1);
    EXPECT_FALSE(store->message().has_value());
    ASSERT_EQ(store->sources().size(), 3);
    for (const LibrarySource& source : store->sources()) {
        EXPECT_FALSE(source.isOnline);
    }
    EXPECT_EQ(store->indexedFolders().value(trip.id), QStringList({"2020", "2021"}));
    EXPECT_TRUE(store->indexedFolders().contains(empty.id));
    EXPECT_TRUE(store->indexedFolders().value(empty.id).isEmpty());
    EXPECT_FALSE(store->indexedFolders().contains(phone.id));
    EXPECT_EQ(store->thumbnailStatuses().value(trip.id).total, 2);
}

// Every source that decodes is kept; what does not is moved to a file of its
// own once and the rest saved at once, so no later start reads it again, nor
// carries it in the settings, however big it is.
TEST_F(LibraryStoreTest, AStoredListKeepsItsGoodSourcesAndSetsTheRestAsideOnce)
{
    const LibrarySource trip = folderSource(QStringLiteral("Trip"), false);
    const QByteArray good = encodeSources({trip}).chopped(1).sliced(1);
    const QByteArray unknownKind = R"({"id":"6F1C2A10-7D3B-4C55-9E0A-1B2C3D4E5F60","name":"Disk",)"
                                   R"("bookmark":"","lastKnownPath":"/media/disk","kind":"disk"})";
    const struct {
        const char* name;
        QByteArray stored;
        QList<QUuid> kept;
        QByteArray setAside;
    } rows[] = {
        {"one bad element", "[" + unknownKind + "," + good + "]", {trip.id},
         QJsonDocument::fromJson("[" + unknownKind + "]").toJson()},
        {"no list", "not json", {}, "not json"},
        {"a huge garbage value", QByteArray(20 * 1024 * 1024, '\x01'), {}, QByteArray(20 * 1024 * 1024, '\x01')},
    };
    const QDir aside(unreadableSourcesFolder());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(QDir(aside).removeRecursively());
        storeSources(row.stored);
        for (int start = 0; start < 2; ++start) {
            auto store = makeStore();
            ASSERT_TRUE(drain());
            QList<QUuid> ids;
            for (const LibrarySource& source : store->sources()) {
                ids.append(source.id);
            }
            EXPECT_EQ(ids, row.kept);
            EXPECT_FALSE(store->message().has_value());
        }
        const QStringList files = aside.entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1);
        QFile kept(aside.filePath(files.first()));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        const QByteArray keptBytes = kept.readAll();
        // Elements are kept as JSON, in the keys' own order.
        const QJsonDocument keptJson = QJsonDocument::fromJson(keptBytes);
        EXPECT_EQ(keptJson.isNull() ? keptBytes : keptJson.toJson(), row.setAside);
        EXPECT_EQ(AppSettings().value(LibraryStore::sourcesKey).toByteArray(),
                  encodeSources(row.kept.isEmpty() ? QList<LibrarySource>{} : QList<LibrarySource>{trip}));
        EXPECT_LT(QFileInfo(AppSettings().fileName()).size(), 4096);
    }

    // A part an earlier version kept in the settings moves out too.
    ASSERT_TRUE(QDir(aside).removeRecursively());
    AppSettings().setValue(LibraryStore::unreadableSourcesKey, QByteArray("[1]"));
    auto store = makeStore();
    ASSERT_TRUE(drain());
    EXPECT_FALSE(AppSettings().contains(LibraryStore::unreadableSourcesKey));
    EXPECT_EQ(aside.entryList(QDir::Files).size(), 1);
}

TEST_F(LibraryStoreTest, SavedSourcesComeBackOfflineFromAFreshSettingsRead)
{
    LibrarySource phone = folderSource(QStringLiteral("Phone"), true);
    phone.kind = LibrarySource::Kind::camera;
    phone.deviceID = QStringLiteral("usb:001,004");
    const QList<LibrarySource> saved{folderSource(QStringLiteral("Trip"), true), phone};
    {
        auto store = makeStore();
        store->setSources(saved);
        store->persistSources();
        ASSERT_TRUE(drain());
    }
    auto store = makeStore();
    ASSERT_TRUE(drain());
    // Sources compare by id alone; their coding holds every stored field.
    EXPECT_EQ(encodeSources(store->sources()), encodeSources(saved));
    for (const LibrarySource& source : store->sources()) {
        EXPECT_FALSE(source.isOnline);
    }
}

TEST_F(LibraryStoreTest, OverlappingReloadsPublishOnlyTheNewest)
{
    const LibrarySource trip = folderSource(QStringLiteral("Trip"), true);
    writeRows(trip, {QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")});
    auto store = makeStore();
    ASSERT_TRUE(drain());
    store->setSources({trip});
    ASSERT_TRUE(drain());
    ASSERT_EQ(store->items()->size(), 3u);

    const int version = store->itemsVersion();
    const int generation = store->queryGeneration();
    QSignalSpy published(store.get(), &LibraryStore::itemsChanged);
    // A reload of the scope already shown publishes nothing; these read
    // another each time.
    store->setFilter(MediaFilter::photos);
    startTask(store.get(), store->reload());
    startTask(store.get(), store->reload());
    ASSERT_TRUE(drain());
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(store->itemsVersion(), version + 1);
    EXPECT_EQ(store->queryGeneration(), generation + 2);

    // A reload started once the first has published its count: the first's
    // rows are read, then dropped.
    published.clear();
    QMetaObject::Connection startSecond;
    startSecond = QObject::connect(store.get(), &LibraryStore::totalCountChanged, [&] {
        QObject::disconnect(startSecond);
        startTask(store.get(), store->reload());
    });
    store->setFilter(MediaFilter::all);
    startTask(store.get(), store->reload());
    ASSERT_TRUE(drain());
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(store->queryGeneration(), generation + 4);

    // A view without a gallery, chosen while a reload is under way, stays empty.
    startTask(store.get(), store->reload());
    store->selectMap();
    ASSERT_TRUE(drain());
    EXPECT_TRUE(store->items()->empty());
    EXPECT_EQ(store->totalCount(), 0);
}

// A gallery larger than a first screen shows the start of its list as soon
// as it is read, then the whole. The first part replaces the list of the
// scope shown before, so that list goes before the whole is read; a reload of the scope shown
// keeps its list, and the user's place, until the whole arrives. The count
// is the scope's, never the first part's length, and while only the first
// part is shown the store says it is still counting.
TEST_F(LibraryStoreTest, ALargeGalleryShowsItsFirstScreenThenTheWhole)
{
    const LibrarySource large = folderSource(QStringLiteral("Large"), true);
    const LibrarySource small = folderSource(QStringLiteral("Small"), true);
    constexpr int largeRows = LibraryStore::galleryHeadItems + 500;
    QStringList paths;
    for (int row = 0; row < largeRows; ++row) {
        paths.append(QStringLiteral("%1.jpg").arg(row));
    }
    writeRows(large, paths);
    writeRows(small, {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});

    struct Published {
        MediaItems items;
        qint64 count;
        bool counting;
    };
    std::vector<Published> published;
    std::vector<qint64> counts;
    auto store = makeStore();
    QObject::connect(store.get(), &LibraryStore::itemsVersionChanged, [&] {
        published.push_back({store->items(), store->totalCount(), store->isCounting()});
    });
    QObject::connect(store.get(), &LibraryStore::totalCountChanged, [&] { counts.push_back(store->totalCount()); });
    const auto expectFirstScreenThenWhole = [&](std::size_t whole) {
        ASSERT_EQ(published.size(), 2u);
        ASSERT_EQ(published[0].items->size(), std::size_t(LibraryStore::galleryHeadItems));
        ASSERT_EQ(published[1].items->size(), whole);
        EXPECT_TRUE(std::equal(published[0].items->begin(), published[0].items->end(), published[1].items->begin()));
        EXPECT_TRUE(published[0].counting);
        EXPECT_EQ(published[1].count, qint64(whole));
        EXPECT_FALSE(published[1].counting);
        EXPECT_EQ(std::count(counts.begin(), counts.end(), LibraryStore::galleryHeadItems), 0);
    };
    ASSERT_TRUE(drain());
    expectFirstScreenThenWhole(largeRows + 2);

    // Another scope small enough for one screen is published once.
    published.clear();
    store->selectSource(small.id);
    ASSERT_TRUE(drain());
    ASSERT_EQ(published.size(), 1u);

    published.clear();
    counts.clear();
    store->selectSource(large.id);
    ASSERT_TRUE(drain());
    expectFirstScreenThenWhole(largeRows);

    // The scope shown, changed in the catalog, is read whole once.
    published.clear();
    store->toggleFavorite(store->items()->back().id());
    store->setShowDisconnected(false);
    ASSERT_TRUE(drain());
    ASSERT_FALSE(published.empty());
    EXPECT_EQ(published.back().items->size(), std::size_t(largeRows));
    EXPECT_TRUE(std::all_of(published.begin(), published.end(),
                            [](const Published& list) { return list.items->size() == std::size_t(largeRows); }));
}

// The count beside the grid is the count of the list it shows, read with
// it: from a short list to a longer one, to a large one shown first in part,
// back, and after the catalog gained rows, every announcement while the store
// is not counting has as many items as it says.
TEST_F(LibraryStoreTest, TheCountIsAlwaysThatOfTheListShown)
{
    const LibrarySource four = folderSource(QStringLiteral("Four"), true);
    const LibrarySource more = folderSource(QStringLiteral("More"), true);
    const LibrarySource large = folderSource(QStringLiteral("Large"), true);
    const auto names = [](int count, const QString& prefix) {
        QStringList paths;
        for (int row = 0; row < count; ++row) {
            paths.append(QStringLiteral("%1%2.jpg").arg(prefix).arg(row));
        }
        return paths;
    };
    writeRows(four, names(4, QStringLiteral("f")));
    writeRows(more, names(21, QStringLiteral("m")));
    writeRows(large, names(LibraryStore::galleryHeadItems + 10, QStringLiteral("l")));
    auto store = makeStore();
    store->setSources({four, more, large});
    ASSERT_TRUE(drain());

    QStringList seen;
    const auto check = [&] {
        if (!store->isCounting() && store->totalCount() != qint64(store->items()->size())) {
            seen.append(QStringLiteral("%1 items over %2").arg(store->totalCount()).arg(store->items()->size()));
        }
    };
    for (const auto signal : {&LibraryStore::itemsChanged, &LibraryStore::itemsVersionChanged,
                              &LibraryStore::totalCountChanged}) {
        QObject::connect(store.get(), signal, check);
    }
    struct Step {
        const char* name;
        std::function<void()> act;
    };
    const Step steps[] = {
        {"four", [&] { store->selectSource(four.id); }},
        {"more", [&] { store->selectSource(more.id); }},
        {"large", [&] { store->selectSource(large.id); }},
        {"four again", [&] { store->selectSource(four.id); }},
        {"all", [&] { store->selectSource(std::nullopt); }},
        {"more, grown meanwhile",
         [&] {
             store->selectSource(more.id);
             test::MediaRowWriter writer(catalogPath_); // a scan of another program's making
             int serial = 0;
             for (const QString& path : names(5, QStringLiteral("n"))) {
                 test::MediaRow row = test::folderRow(more.id, path);
                 row.fileSize = 7000 + ++serial;
                 writer.insert(row);
             }
             startTask(store.get(), store->reload());
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        ASSERT_TRUE(drain());
        EXPECT_TRUE(seen.isEmpty()) << seen.join(QStringLiteral(", ")).toStdString();
        EXPECT_FALSE(store->isCounting());
        EXPECT_EQ(store->totalCount(), qint64(store->items()->size()));
        seen.clear();
    }
    EXPECT_EQ(store->totalCount(), 26);
}

// A home folder beside an unplugged archive a hundred times its size, whose
// photos are all newer than the home folder's: the first screen comes
// whatever order the store's start and the folder's access answer in, while
// the reads that sum up the whole catalog for the sidebar are still held, and
// it reads fewer pages than ten thousand rows take.
TEST_F(LibraryStoreTest, TheFirstScreenWaitsForNoWholeCatalogReadWhateverTheAccessAnswers)
{
    const LibrarySource home = test::folderSourceAt(makeFolder(QStringLiteral("Home")));
    const LibrarySource archive = folderSource(QStringLiteral("Archive"), false);
    QStringList homePaths;
    QStringList archivePaths;
    for (int row = 0; row < 30'000; ++row) {
        (row < 300 ? homePaths : archivePaths).append(QStringLiteral("%1/%2.jpg").arg(row / 1000).arg(row));
    }
    writeRows(home, homePaths);
    writeRows(archive, archivePaths);
    const std::int64_t pagesOfTenThousandRows = pagesOfRows(10'000);
    storeSources(encodeSources({archive, home}));

    struct Order {
        const char* name;
        bool homeAnswersLate;
        bool reloadFirst;
    };
    const Order orders[] = {
        {"the access pass answers at once", false, false},
        {"the home folder answers after the first gallery", true, false},
        {"a reload before any folder answers", true, true},
        {"a reload before the pass, which answers at once", false, true},
    };
    for (const Order& order : orders) {
        SCOPED_TRACE(order.name);
        test::StatementHold summaries({"SELECT source_id, COUNT(*)", "SELECT relative_path FROM media WHERE"});
        summaries.arm();
        std::promise<void> answer;
        const std::shared_future<void> answered = answer.get_future().share();
        if (!order.homeAnswersLate) {
            answer.set_value();
        }
        LibraryServices services;
        services.probeTimeLimit = std::chrono::milliseconds(200);
        services.probeFolder = [answered, homeID = home.id](const LibrarySource& source) {
            if (source.id == homeID) {
                answered.wait();
            }
            return probeFolder(source);
        };
        test::PageReads reads;
        auto store = makeStore(std::move(services));
        if (order.reloadFirst) {
            startTask(store.get(), store->reload());
        }
        test::EventLoopWatch watch;
        if (order.homeAnswersLate) {
            watch.waitFor([&] { return summaries.holding(); }, 10'000);
            answer.set_value();
        }
        EXPECT_TRUE(watch.waitFor([&] { return !store->items()->empty(); }, 30'000));
        EXPECT_LT(reads.take(), pagesOfTenThousandRows);
        EXPECT_TRUE(store->thumbnailStatuses().isEmpty()) << "the sums were read first";
        summaries.release();
        ASSERT_TRUE(drain());
        EXPECT_EQ(store->totalCount(), 300);
        EXPECT_EQ(store->thumbnailStatuses().value(archive.id).total, 29'700);
    }
}

// A large folder that the last run did not see online answers the first
// access pass: its first screen is read before the scan reads the source's
// rows, so it costs fewer pages than the screen's rows fill, not those of
// every row. What follows the first screen (the whole list, the sums) is
// held, so that only what came before it is counted.
TEST_F(LibraryStoreTest, AFolderComingOnlineShowsItsFirstScreenBeforeItsRowsAreRead)
{
    const LibrarySource large = test::folderSourceAt(makeFolder(QStringLiteral("Large")));
    QStringList paths;
    for (int row = 0; row < 50'000; ++row) {
        paths.append(QStringLiteral("%1/%2.jpg").arg(row / 1000).arg(row));
    }
    writeRows(large, paths);
    const std::int64_t pagesOfAScreen = pagesOfRows(LibraryStore::galleryHeadItems);
    storeSources(encodeSources({large}));

    test::StatementHold afterFirstScreen(
        {"SELECT media.rowid FROM media", "SELECT source_id, COUNT(*)", "SELECT relative_path FROM media WHERE"});
    afterFirstScreen.arm();
    test::PageReads reads;
    auto store = makeStore({.inspector = std::make_shared<MetadataInspector>()});
    EXPECT_TRUE(test::EventLoopWatch().waitFor([&] { return !store->items()->empty(); }, 30'000));
    EXPECT_EQ(store->items()->size(), std::size_t(LibraryStore::galleryHeadItems));
    EXPECT_LT(reads.take(), pagesOfAScreen);
    afterFirstScreen.release();
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->totalCount(), qint64(store->items()->size()));
}

TEST_F(LibraryStoreTest, OnlineChangesOfOneTurnShareOneReload)
{
    LibrarySource trip = folderSource(QStringLiteral("Trip"), false);
    LibrarySource home = folderSource(QStringLiteral("Home"), false);
    auto store = makeStore();
    store->setSources({trip, home});
    ASSERT_TRUE(drain());
    const int start = store->queryGeneration();

    trip.isOnline = true;
    store->setSources({trip, home});
    home.isOnline = true;
    store->setSources({trip, home});
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->queryGeneration(), start + 1);

    home.name = QStringLiteral("House"); // not a change of who is online
    store->setSources({home, trip});
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->queryGeneration(), start + 1);

    store->setShowDisconnected(false); // unchanged, and still a reload
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->queryGeneration(), start + 2);
}

TEST_F(LibraryStoreTest, OfflineSourcesLeaveTheGalleryUnlessChosenOrShown)
{
    const LibrarySource online = folderSource(QStringLiteral("Online"), true);
    const LibrarySource offline = folderSource(QStringLiteral("Offline"), false);
    writeRows(online, {QStringLiteral("2020/a.jpg")});
    writeRows(offline, {QStringLiteral("2020/b.jpg"), QStringLiteral("2020/deep/c.jpg"), QStringLiteral("2021/d.jpg")});
    auto store = makeStore();
    ASSERT_TRUE(drain()); // past the start-up rescan, which would find no folder of them
    store->setSources({online, offline});
    ASSERT_TRUE(drain());

    struct Row {
        const char* view;
        std::function<void()> select;
        bool showDisconnected;
        QList<QUuid> excluded;
        qint64 count;
    };
    const QList<QUuid> offlineOnly{offline.id};
    const Row rows[] = {
        {"all sources", [&] { store->selectSource(std::nullopt); }, false, offlineOnly, 1},
        {"all, disconnected shown", [&] { store->selectSource(std::nullopt); }, true, {}, 4},
        {"the offline source", [&] { store->selectSource(offline.id); }, false, {}, 3},
        {"one of its folders", [&] { store->selectFolder(offline.id, QStringLiteral("2020")); }, false, {}, 2},
        {"favourites", [&] { store->selectFavorites(); }, false, offlineOnly, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.view);
        store->setShowDisconnected(row.showDisconnected);
        row.select();
        ASSERT_TRUE(drain());
        EXPECT_EQ(store->excludedSourceIDs(), row.excluded);
        EXPECT_EQ(store->offlineSourceIDs(), offlineOnly);
        EXPECT_EQ(store->totalCount(), row.count);
        EXPECT_EQ(static_cast<qint64>(store->items()->size()), row.count);
    }
}

TEST_F(LibraryStoreTest, AFailingGalleryKeepsItsRowsAndSaysSoAFailingMapIsEmptyAndSilent)
{
    const LibrarySource trip = folderSource(QStringLiteral("Trip"), true);
    writeRows(trip, {QStringLiteral("a.jpg")});
    auto store = makeStore();
    ASSERT_TRUE(drain());
    store->setSources({trip});
    ASSERT_TRUE(drain());
    ASSERT_EQ(store->items()->size(), 1u);

    test::MediaRowWriter(catalogPath_).exec("DROP TABLE media");
    startTask(store.get(), store->reload());
    ASSERT_TRUE(drain());
    EXPECT_EQ(store->message(), QStringLiteral("Could not load the gallery."));
    EXPECT_EQ(store->items()->size(), 1u);
    EXPECT_EQ(store->totalCount(), 1);

    store->setMessage(std::nullopt);
    store->selectMap();
    ASSERT_TRUE(drain());
    EXPECT_FALSE(store->message().has_value());
    EXPECT_TRUE(store->mapPhotos().empty());
    EXPECT_EQ(store->totalCount(), 0);
}

} // namespace
} // namespace pivra
