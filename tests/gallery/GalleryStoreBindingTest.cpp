#include "gallery/GalleryGrid.h"
#include "gallery/GalleryStoreBinding.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "store/ItemWritesTestKit.h"

#include <QMenu>
#include <QTest>

namespace pivra {
namespace {

class GalleryStoreBindingTest : public test::ItemWritesTest {};

// The grid shows the store's gallery, a click opens the viewer on the
// clicked item, and a favourite toggled from the menu reloads the grid.
TEST_F(GalleryStoreBindingTest, ClicksAndMenusReachTheStore)
{
    auto store = galleryStore({"a.jpg", "b.jpg", "c.jpg"});
    ThumbnailStore thumbnails(ThumbnailLocations::under(pathOf("data"), pathOf("cache")),
                              std::make_shared<ThumbnailRenderer>());
    VideoPreviewStore clips(pathOf("clips"));
    GalleryGrid grid(thumbnails, clips);
    grid.resize(800, 600);
    bindGalleryToStore(grid, *store);
    grid.show();
    ASSERT_EQ(grid.items()->size(), 3u);

    const MediaItem second = grid.items()->at(1);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.tileRect(1)->center().toPoint());
    ASSERT_TRUE(drain());
    ASSERT_TRUE(store->viewerItem());
    EXPECT_EQ(store->viewerItem()->id(), second.id());

    std::unique_ptr<QMenu> menu(grid.menuFor(1));
    menu->actions()[3]->trigger();
    EXPECT_TRUE(grid.items()->at(1).isFavorite());
    ASSERT_TRUE(drain());
}

} // namespace
} // namespace pivra
