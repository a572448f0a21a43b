#include "ItemWritesTestKit.h"

#include <gtest/gtest.h>

#include <optional>

namespace pivra {
namespace {

class ViewerTest : public test::ItemWritesTest {
protected:
    static QString shownName(const LibraryStore& store)
    {
        return store.viewerItem() ? store.viewerItem()->name() : QString();
    }
};

TEST_F(ViewerTest, StepsFollowTheGalleryAsOpenedOrTheGivenListAndStopAtTheEnds)
{
    struct Row {
        std::optional<std::vector<int>> within; // gallery positions
        QList<int> steps;
        QStringList shown;
    };
    const QList<Row> rows = {
        {std::nullopt, {-1, 1, 1, 1, 1, -1}, {"d.jpg", "c.jpg", "b.jpg", "a.jpg", "a.jpg", "b.jpg"}},
        {std::vector<int>{2, 0, 3}, {1, 1, -1, -1, -1}, {"a.jpg", "a.jpg", "d.jpg", "b.jpg", "b.jpg"}},
    };
    auto store = galleryStore({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    const MediaItems gallery = store->items(); // d, c, b, a
    ASSERT_EQ(gallery->size(), 4u);
    for (const Row& row : rows) {
        if (row.within) {
            std::vector<MediaItem> listed;
            for (const int position : *row.within) {
                listed.push_back(gallery->at(position));
            }
            store->openViewer(gallery->front(), listed);
        } else {
            store->openViewer(gallery->front());
        }
        // Stepping keeps to what the gallery showed when the viewer opened.
        store->setSearch(QStringLiteral("nothing matches this"));
        ASSERT_TRUE(drain());
        EXPECT_EQ(shownName(*store), "d.jpg");
        for (qsizetype i = 0; i < row.steps.size(); ++i) {
            store->navigateViewer(row.steps[i]);
            store->navigateViewer(row.steps[i]); // refused while the first is under way
            ASSERT_TRUE(drain());
            EXPECT_EQ(shownName(*store), row.shown[i]) << "step " << i;
            EXPECT_FALSE(store->isNavigating());
        }
        store->setSearch(QString());
    }
}

TEST_F(ViewerTest, OnlyTheNewestOpeningShowsAndAReopeningKeepsTheArrowsWorking)
{
    auto store = galleryStore({"a.jpg", "b.jpg", "c.jpg"});
    const MediaItems gallery = store->items(); // c, b, a
    store->openViewer(gallery->at(0));
    store->closeViewer();
    ASSERT_TRUE(drain());
    EXPECT_FALSE(store->viewerItem().has_value());

    store->openViewer(gallery->at(0));
    store->openViewer(gallery->at(2));
    ASSERT_TRUE(drain());
    EXPECT_EQ(shownName(*store), "a.jpg");

    // A step under way when the viewer opens again is dropped, and does not
    // leave the next one refused.
    store->navigateViewer(-1);
    store->openViewer(gallery->at(0));
    ASSERT_TRUE(drain());
    EXPECT_FALSE(store->isNavigating());
    EXPECT_EQ(shownName(*store), "c.jpg");
    store->navigateViewer(1);
    ASSERT_TRUE(drain());
    EXPECT_EQ(shownName(*store), "b.jpg");

    store->removeSource(source_.id, {});
    EXPECT_FALSE(store->viewerItem().has_value());
    ASSERT_TRUE(drain());
}

} // namespace
} // namespace pivra
