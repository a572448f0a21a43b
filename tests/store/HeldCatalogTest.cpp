#include "StoreTestKit.h"

#include "platform/runtime/Drain.h"
#include "support/system/HeldLock.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace pivra {
namespace {

using test::folderSource;

class HeldCatalogTest : public test::StoreTest {};

// A catalog another program holds for longer than the store waits, as
// another session's copy does: the store says it could not open the catalog,
// once, whatever asked the catalog while it waited, and runs without one.
TEST_F(HeldCatalogTest, ACatalogHeldForLongerThanTheWaitIsRefusedWithOneMessage)
{
    const LibrarySource trip = folderSource(QStringLiteral("Trip"), false);
    writeRows(trip, {QStringLiteral("2020/a.jpg")});
    storeSources(encodeSources({trip}));
    test::HeldLock other(catalogPath_ + QStringLiteral(".lock"));
    ASSERT_TRUE(other.isHeld());

    auto store = makeStore({.openCatalog = [path = catalogPath_] {
        return std::make_unique<MediaCatalog>(path, CatalogTuning{.lockFileWaitMilliseconds = 1000});
    }});
    QSignalSpy messages(store.get(), &LibraryStore::messageChanged);
    // Made without waiting, the store is asked for the gallery meanwhile.
    EXPECT_TRUE(store->hasCatalog());
    EXPECT_FALSE(store->message().has_value());
    store->setShowDisconnected(true);

    ASSERT_TRUE(drain());
    EXPECT_FALSE(store->hasCatalog());
    EXPECT_EQ(store->message(), QStringLiteral("Could not open the local media catalog."));
    EXPECT_EQ(messages.count(), 1);
    EXPECT_EQ(store->scanGeneration(), 1);
    EXPECT_TRUE(store->items()->empty());
}

} // namespace
} // namespace pivra
