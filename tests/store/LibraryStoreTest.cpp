#include "store/LibraryStore.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace pivra {
namespace {

TEST(LibraryStoreTest, EveryWriteIsAnnouncedEvenWhenUnchanged)
{
    LibraryStore store;
    QSignalSpy changed(&store, &LibraryStore::searchQueryChanged);
    store.setSearchQuery(QStringLiteral("beach"));
    store.setSearchQuery(QStringLiteral("beach"));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(store.searchQuery(), QStringLiteral("beach"));
}

} // namespace
} // namespace pivra
