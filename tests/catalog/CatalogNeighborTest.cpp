#include "catalog/CatalogTest.h"

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

using CatalogNeighbor = CatalogTest;

// Capture dates with ties and differences far below a millisecond, so a walk
// that rounded dates or broke ties wrongly would skip or repeat items.
TEST_F(CatalogNeighbor, WalkVisitsEveryItemOnceEachWay)
{
    const QUuid source = QUuid::createUuid();
    const QList<double> dates = {1'600'000'000.0, 1'600'000'000.0, 1'600'000'000.0000002, 1'600'000'000.0000001,
                                 1'599'999'999.9999999, 1'600'000'000.0000002, 1'500'000'000.5, 1'600'000'000.0};
    for (int index = 0; index < dates.size(); ++index) {
        MediaRow row = folderRow(source, QStringLiteral("f%1.jpg").arg(index));
        row.captured = dates[index];
        row.fileSize = index; // no two rows are the same file
        rows().insert(row);
    }
    const std::vector<MediaItem> order = catalog().galleryIndex({});
    ASSERT_EQ(order.size(), static_cast<std::size_t>(dates.size()));

    std::vector<MediaItem> forward{order.front()};
    while (std::optional<MediaItem> next = catalog().neighbor(forward.back(), 1, {})) {
        forward.push_back(*next);
        ASSERT_LE(forward.size(), order.size()) << "the walk repeats items";
    }
    EXPECT_EQ(idsOf(forward), idsOf(order));

    std::vector<MediaItem> backward{order.back()};
    while (std::optional<MediaItem> previous = catalog().neighbor(backward.back(), 0, {})) {
        backward.push_back(*previous);
        ASSERT_LE(backward.size(), order.size()) << "the walk repeats items";
    }
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(idsOf(backward), idsOf(order));

    EXPECT_FALSE(catalog().neighbor(order.front(), -1, {}));
    EXPECT_FALSE(catalog().neighbor(order.back(), 2, {}));
}

TEST_F(CatalogNeighbor, StepsWithinTheScopeFromAnItemOutsideIt)
{
    const QUuid source = QUuid::createUuid();
    MediaRow newest = folderRow(source, QStringLiteral("a.jpg"));
    newest.captured = 3000;
    MediaRow middle = folderRow(source, QStringLiteral("b.mov"), QStringLiteral("video"));
    middle.captured = 2000;
    MediaRow oldest = folderRow(source, QStringLiteral("c.jpg"));
    oldest.captured = 1000;
    oldest.camera = QStringLiteral("Canon");
    for (const MediaRow& row : {newest, middle, oldest}) {
        rows().insert(row);
    }
    const GalleryScope photos{.filter = MediaFilter::photos};
    const std::optional<MediaItem> video = catalog().item(middle.itemID());
    ASSERT_TRUE(video);
    const std::optional<MediaItem> next = catalog().neighbor(*video, 1, photos);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->id(), oldest.itemID());
    EXPECT_EQ(next->camera(), oldest.camera) << "the neighbour is read with every column";
    EXPECT_EQ(catalog().neighbor(*video, 0, photos)->id(), newest.itemID());
}

} // namespace
} // namespace pivra::test
