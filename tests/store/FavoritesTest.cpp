#include "ItemWritesTestKit.h"
#include "StatementHold.h"

#include "platform/runtime/TaskHandle.h"
#include "store/items/Clipboard.h"

#include <QTest>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <functional>
#include <future>
#include <string>

namespace pivra {
namespace {

class FavoritesTest : public test::ItemWritesTest {};

// Each change shows at once in the viewer and the gallery; the item's writes
// reach the catalog in order, a refused one is told and does not stop the
// next, and no pending entry is left.
TEST_F(FavoritesTest, QuickChangesOfOneItemAreSavedInTurn)
{
    const auto rotate = [](LibraryStore& store) { store.rotateViewer(1); };
    const auto toggle = [](LibraryStore& store) { store.toggleFavorite(store.viewerItem()->id()); };
    const auto quarters = [](const MediaItem& item) { return item.rotationQuarters(); };
    const auto mark = [](const MediaItem& item) { return int(item.isFavorite()); };
    struct Row {
        QString column;
        std::function<void(LibraryStore&)> change;
        int times;
        std::function<int(const MediaItem&)> shown;
        QString refused;
        QList<int> saved;
        std::optional<QString> message;
    };
    const QList<Row> rows = {
        {"rotation", rotate, 4, quarters, "FALSE", {1, 2, 3, 0}, std::nullopt},
        {"rotation", rotate, 4, quarters, "NEW.rotation_quarters = 2", {1, 3, 0}, "Could not save this viewing rotation."},
        {"favorite", toggle, 10, mark, "FALSE", {1, 0, 1, 0, 1, 0, 1, 0, 1, 0}, std::nullopt},
        {"favorite", toggle, 3, mark, "NEW.is_favorite = 1 AND (SELECT count(*) FROM writes) = 0", {0, 1},
         "Could not save this favorite."},
    };
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(i);
        catalogPath_ = pathOf(QStringLiteral("%1.sqlite").arg(i));
        auto store = galleryStore({"a.jpg"});
        refuseWrites(row.refused);
        store->openViewer(store->items()->front());
        ASSERT_TRUE(drain());
        for (int time = 0; time < row.times; ++time) {
            const int version = store->itemsVersion();
            row.change(*store);
            EXPECT_EQ(store->itemsVersion(), version + 1);
            EXPECT_EQ(row.shown(store->items()->front()), row.shown(*store->viewerItem()));
        }
        EXPECT_EQ(store->pendingFavoriteWrites() + store->pendingRotationWrites(), 1);
        ASSERT_TRUE(drain());
        EXPECT_EQ(writes(row.column), row.saved);
        EXPECT_EQ(row.shown(*store->viewerItem()), row.saved.last());
        EXPECT_EQ(store->message(), row.message);
        EXPECT_EQ(store->pendingFavoriteWrites() + store->pendingRotationWrites(), 0);
    }
}

TEST_F(FavoritesTest, UnmarkingInTheFavouritesViewDropsTheItemWhileElsewhereOnlyTheMarkChanges)
{
    auto store = galleryStore({"a.jpg", "b.jpg"});
    const MediaItem b = store->items()->front();
    store->toggleFavorite(store->items()->back().id());
    store->toggleFavorite(b.id());
    ASSERT_TRUE(drain());
    store->selectFavorites();
    ASSERT_TRUE(drain());
    ASSERT_EQ(store->totalCount(), 2);
    store->toggleFavorite(b.id());
    ASSERT_EQ(store->items()->size(), 1u);
    EXPECT_EQ(store->items()->front().name(), "a.jpg");
    EXPECT_EQ(store->totalCount(), 1);

    // Shown in the viewer only: the gallery stays. Shown nowhere: nothing.
    store->openViewer(b, {b});
    ASSERT_TRUE(drain());
    const int version = store->itemsVersion();
    store->toggleFavorite(b.id());
    store->toggleFavorite(QStringLiteral("nowhere"));
    EXPECT_TRUE(store->viewerItem()->isFavorite());
    EXPECT_EQ(store->itemsVersion(), version);
    ASSERT_TRUE(drain());
    EXPECT_EQ(writes("favorite"), QList<int>({1, 1, 0, 1}));
}

// A mark or a turn made while a reload reads the whole list is saved after
// that read, and still shows once the reload publishes.
TEST_F(FavoritesTest, AnEditMadeWhileAReloadReadsTheListOutlastsThatReload)
{
    struct Row {
        bool inFavorites;
        std::function<void(LibraryStore&, const MediaItem&)> edit;
        std::function<bool(const MediaItem&)> edited;
        QStringList names;
    };
    const auto toggle = [](LibraryStore& store, const MediaItem& item) { store.toggleFavorite(item.id()); };
    const auto rotate = [](LibraryStore& store, const MediaItem&) { store.rotateViewer(1); };
    const QList<Row> rows = {
        {false, toggle, [](const MediaItem& item) { return item.isFavorite(); }, {"c.jpg", "b.jpg", "a.jpg"}},
        {true, toggle, nullptr, {"a.jpg"}},
        {false, rotate, [](const MediaItem& item) { return item.rotationQuarters() == 1; }, {"c.jpg", "b.jpg", "a.jpg"}},
    };
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(i);
        catalogPath_ = pathOf(QStringLiteral("%1.sqlite").arg(i));
        // The store's later catalog calls queue behind the whole list's read.
        test::StatementHold hold({"SELECT " + MediaCatalog::indexColumns().toStdString() + ",media.rowid FROM media"});
        auto store = galleryStore({"a.jpg", "b.jpg"});
        const MediaItem b = store->items()->front();
        if (row.inFavorites) {
            store->toggleFavorite(store->items()->back().id());
            store->toggleFavorite(b.id());
            ASSERT_TRUE(drain());
            store->selectFavorites();
        } else {
            store->openViewer(b);
        }
        ASSERT_TRUE(drain());

        // A new item written past the open catalog, as a scan would, so the
        // reload reads the list again.
        test::MediaRow newest = test::folderRow(source_.id, QStringLiteral("c.jpg"));
        newest.captured += 1000;
        newest.fileSize += 1000;
        test::MediaRowWriter(catalogPath_).insert(newest);
        hold.arm();
        startTask(store.get(), store->reload());
        EXPECT_TRUE(QTest::qWaitFor([&] { return hold.holding(); })); // released below even so
        row.edit(*store, b);
        hold.release();
        ASSERT_TRUE(drain());

        QStringList names;
        for (const MediaItem& item : *store->items()) {
            names.append(item.name());
            if (row.edited && item.id() == b.id()) {
                EXPECT_TRUE(row.edited(item));
            }
        }
        EXPECT_EQ(names, row.names);
        EXPECT_EQ(store->totalCount(), row.names.size());
    }
}

class RecordingClipboard : public Clipboard {
public:
    void putFiles(const QStringList& paths) override { puts.append(paths); }
    QList<QStringList> puts;
};

TEST_F(FavoritesTest, CopyPutsAnExistingFolderFileOnTheClipboardAndRefusesTheRest)
{
    const QString file = writeFile(QStringLiteral("a.jpg"), "jpeg");
    const QString device = QStringLiteral("pivra-camera://%1/7/a.jpg").arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
    RecordingClipboard clipboard;
    auto store = makeStore({.clipboard = &clipboard});
    ASSERT_TRUE(drain());
    for (const QString& path : {file, pathOf(QStringLiteral("missing.jpg")), device}) {
        store->setMessage(std::nullopt);
        clipboard.puts.clear();
        MediaItem item;
        item.setPath(path);
        store->copyItem(item);
        EXPECT_TRUE(clipboard.puts.isEmpty()) << "looked for off the GUI thread";
        ASSERT_TRUE(drain());
        const bool copied = path == file;
        EXPECT_EQ(clipboard.puts, copied ? QList<QStringList>{{path}} : QList<QStringList>{}) << path.toStdString();
        EXPECT_EQ(store->message(), copied ? std::nullopt : std::optional<QString>("This file is not available to copy."));
    }
    ASSERT_TRUE(drain());
}

} // namespace
} // namespace pivra
