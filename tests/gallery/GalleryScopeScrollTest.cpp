#include "gallery/GalleryGrid.h"
#include "gallery/GalleryStoreBinding.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/Task.h"
#include "store/StoreTestKit.h"
#include "support/files/JpegMaker.h"
#include "support/files/VideoMaker.h"

#include <QScrollBar>

#include <functional>

namespace pivra {
namespace {

// A grid bound to a store over one real folder: ten photos of May 2024 in
// "Photos", then eight clips of April 2024 in "Clips", every clip a
// favourite and in the album "Clips". Each of those lists is taller than
// the view, so a place kept from another list would show.
class GalleryScopeScrollTest : public test::StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        makeFolder(QStringLiteral("Trip/Photos"));
        makeFolder(QStringLiteral("Trip/Clips"));
        for (int day = 1; day <= 10; ++day) {
            addPhoto(QStringLiteral("Photos/IMG_%1.jpg").arg(day),
                     QStringLiteral("2024:05:%1 10:00:00").arg(day, 2, 10, QChar(u'0')));
        }
        for (int day = 1; day <= 8; ++day) {
            test::VideoFields fields;
            fields.creationTime = QStringLiteral("2024-04-%1T10:00:00Z").arg(day, 2, 10, QChar(u'0'));
            ASSERT_TRUE(test::makeVideo(pathOf(QStringLiteral("Trip/Clips/CLIP_%1.mp4").arg(day)), fields));
        }
        source_ = test::folderSourceAt(pathOf(QStringLiteral("Trip")));
        storeSources(encodeSources({source_}));
        LibraryServices services;
        services.inspector = std::make_shared<MetadataInspector>();
        store_ = makeStore(std::move(services));
        ASSERT_TRUE(drain());
        ASSERT_EQ(store_->items()->size(), 18u);

        QStringList clips;
        for (const MediaItem& item : *store_->items()) {
            if (item.kind() == MediaKind::video) {
                clips.append(item.id());
            }
        }
        store_->createAlbum(QStringLiteral("Clips"), clips.front());
        ASSERT_TRUE(drain());
        for (const QString& clip : clips) {
            store_->toggleFavorite(clip);
            store_->addToAlbum(store_->albums().front().id, clip);
        }
        ASSERT_TRUE(drain());

        thumbnails_ = std::make_unique<ThumbnailStore>(ThumbnailLocations::under(pathOf("data"), pathOf("cache")),
                                                       std::make_shared<ThumbnailRenderer>());
        previews_ = std::make_unique<VideoPreviewStore>(pathOf("clips"));
        grid_ = std::make_unique<GalleryGrid>(*thumbnails_, *previews_);
        grid_->setTopInset(10);
        grid_->resize(400, 300);
        bindGalleryToStore(*grid_, *store_);
        grid_->show();
    }

    void TearDown() override
    {
        grid_.reset();
        store_.reset();
        StoreTest::TearDown();
    }

    void addPhoto(const QString& relative, const QString& taken)
    {
        test::ExifFields exif;
        exif.dateTimeOriginal = taken;
        ASSERT_TRUE(test::makeJpeg(pathOf(u"Trip/" + relative), QSize(64, 48), exif));
    }

    // Asks for the list again as the header does after a filter or a search.
    void reloadGallery() { startTask(store_.get(), store_->reload()); }

    LibrarySource source_;
    std::unique_ptr<LibraryStore> store_;
    std::unique_ptr<ThumbnailStore> thumbnails_;
    std::unique_ptr<VideoPreviewStore> previews_;
    std::unique_ptr<GalleryGrid> grid_;
};

// Scrolled halfway down All media, another scope opens at its top whatever
// its length; the same scope reloaded stays where the user was.
TEST_F(GalleryScopeScrollTest, AnotherScopeOpensAtTheTopAndTheSameScopeKeepsThePlace)
{
    struct Row {
        const char* name;
        std::function<void()> change;
        size_t items;
        bool atTop;
    };
    const std::vector<Row> rows{
        {"a source", [&] { store_->selectSource(source_.id); }, 18, true},
        {"a folder", [&] { store_->selectFolder(source_.id, QStringLiteral("Clips")); }, 8, true},
        {"Favorites", [&] { store_->selectFavorites(); }, 8, true},
        {"the Videos pill",
         [&] {
             store_->setFilter(MediaFilter::videos);
             reloadGallery();
         },
         8, true},
        {"a search",
         [&] {
             store_->setSearch(QStringLiteral("IMG"));
             reloadGallery();
         },
         10, true},
        {"an album", [&] { store_->selectAlbum(store_->albums().front().id); }, 8, true},
        {"a favourite toggled", [&] { store_->toggleFavorite(store_->items()->at(3).id()); }, 18, false},
        {"a rescan finding an older photo",
         [&] {
             addPhoto(QStringLiteral("Photos/IMG_old.jpg"), QStringLiteral("2019:01:01 10:00:00"));
             store_->rescan();
         },
         19, false},
    };

    QScrollBar* bar = grid_->verticalScrollBar();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        store_->setFilter(MediaFilter::all);
        store_->setSearch(QString());
        store_->selectSource(std::nullopt);
        ASSERT_TRUE(drain());
        bar->setValue(bar->maximum() / 2);
        const int place = bar->value();
        ASSERT_GT(place, 0);
        const int version = store_->itemsVersion();

        row.change();
        ASSERT_TRUE(drain());
        ASSERT_GT(store_->itemsVersion(), version);
        ASSERT_EQ(grid_->items()->size(), row.items);
        ASSERT_GT(bar->maximum(), 0) << "a list that fits the view would be at its top anyway";
        EXPECT_EQ(bar->value(), row.atTop ? 0 : place);
    }
}

} // namespace
} // namespace pivra
