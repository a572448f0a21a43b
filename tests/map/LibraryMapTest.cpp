#include "map/basemap/BaseMapRenderer.h"
#include "map/basemap/BaseMapTiles.h"
#include "map/LibraryMap.h"
#include "map/MapEmptyCard.h"
#include "map/view/MapView.h"
#include "map/photos/PhotoMap.h"
#include "map/basemap/RasterTiles.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/AppSettings.h"
#include "style/appearance/PivraAppearance.h"
#include "support/fakes/GalleryItems.h"
#include "support/desktop/Renders.h"
#include "support/system/SettingsSandbox.h"
#include "support/system/TempFolder.h"
#include "map/TileServerKit.h"

#include <QDir>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <optional>

namespace pivra::test {
namespace {

class LibraryMapTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        settings_.emplace(root());
    }
    void TearDown() override
    {
        map_.reset();
        settings_.reset();
    }
    void makeMap(QSize size = {900, 600})
    {
        map_ = std::make_unique<LibraryMap>(thumbnails_);
        map_->resize(size);
        map_->show();
    }
    // The map as drawn once every tile it shows is there: each drawing asks
    // for the tiles it lacks, and their arrival is an event.
    QImage drawn()
    {
        MapView* view = map_->mapView();
        for (;;) {
            QImage image = view->grab().toImage();
            if (!view->baseTiles()->hasPending() && (!view->rasterTiles() || !view->rasterTiles()->hasPending())) {
                return image;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    static int countOf(const QImage& image, QColor color)
    {
        int count = 0;
        for (int y = 0; y < image.height(); y += 3) {
            for (int x = 0; x < image.width(); x += 3) {
                count += image.pixelColor(x, y) == color;
            }
        }
        return count;
    }
    MapPhoto photo(int index, double latitude, double longitude) const
    {
        return {galleryPhoto(source_, index, {400, 300}, 1000 - index), latitude, longitude};
    }

    QUuid source_ = QUuid::createUuid();
    std::optional<SettingsSandbox> settings_;
    ThumbnailStore thumbnails_{ThumbnailLocations::under(pathOf(QStringLiteral("data")), pathOf(QStringLiteral("cache"))),
                               std::make_shared<ThumbnailRenderer>()};
    std::unique_ptr<LibraryMap> map_;
};

TEST_F(LibraryMapTest, TheCardSaysWhyTheMapIsEmptyAndSitsRightOfTheSidebar)
{
    makeMap();
    map_->setInsets(225, 56);
    MapEmptyCard* card = map_->emptyCard();
    map_->setReadingLocations(true);
    map_->setPhotos({});
    EXPECT_TRUE(card->isVisible());
    EXPECT_EQ(card->title(), QStringLiteral("Reading locations…"));
    EXPECT_NEAR(card->geometry().center().x(), 225 + (900 - 225) / 2, 1);
    EXPECT_NEAR(card->geometry().center().y(), 300, 1);
    map_->setReadingLocations(false);
    EXPECT_EQ(card->title(), QStringLiteral("No photos with a location yet"));
    map_->setInsets(0, 56);
    EXPECT_NEAR(card->geometry().center().x(), 450, 1);
    map_->setPhotos({photo(1, 41, 29)});
    EXPECT_FALSE(card->isVisible());
}

// Without a tile server and without a network the world is still drawn:
// land and sea in the scheme's colours.
TEST_F(LibraryMapTest, TheOfflineWorldIsDrawnInBothSchemesAndOnlySatelliteSaysImageryIsMissing)
{
    makeMap();
    for (const bool dark : {false, true}) {
        map_->setPalette(PivraAppearance::palette(dark));
        const QImage world = drawn();
        const BaseMapColors colors = BaseMapColors::forScheme(dark);
        EXPECT_GT(countOf(world, colors.land), 2000) << dark;
        EXPECT_GT(countOf(world, colors.ocean), 2000) << dark;
    }
    for (const QString& style : {QStringLiteral("map"), QStringLiteral("grid"), QStringLiteral("other")}) {
        map_->setMapStyle(style);
        EXPECT_EQ(map_->mapView()->rasterTiles(), nullptr);
        EXPECT_EQ(map_->mapView()->attribution(), QStringLiteral("Natural Earth · GeoNames"));
    }
    map_->setMapStyle(QStringLiteral("satellite"));
    EXPECT_EQ(map_->mapView()->rasterTiles(), nullptr);
    EXPECT_GT(countOf(drawn(), QColor(40, 40, 46)), 0); // the notice's text
}

// Tiles come from the configured server once, are kept on disk, and a later
// run draws them from there without asking again.
TEST_F(LibraryMapTest, ConfiguredTilesAreFetchedCachedOnDiskAndDrawn)
{
    const QColor imagery(0x20, 0xa0, 0x40);
    TileServer server(imagery);
    AppSettings().setValue(LibraryMap::satelliteURLKey, server.urlTemplate());
    const QString cache = RasterTiles::defaultCacheFolder();
    QDir(cache).removeRecursively();

    makeMap({512, 512});
    map_->setMapStyle(QStringLiteral("satellite"));
    map_->mapView()->setCamera({mapWorldSize / 2, mapWorldSize / 2}, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return countOf(drawn(), imagery) > 20000; }, 10000));
    EXPECT_TRUE(server.paths.contains(QStringLiteral("/tiles/1/0/0.png"))) << server.paths.join(u' ').toStdString();
    EXPECT_TRUE(server.paths.contains(QStringLiteral("/tiles/1/1/1.png")));
    EXPECT_TRUE(server.userAgents.value(0).startsWith("Pivra/"));
    EXPECT_TRUE(map_->mapView()->attribution().startsWith(QStringLiteral("Tiles: 127.0.0.1")));
    const qsizetype fetched = server.paths.size();

    map_.reset(); // the next run
    makeMap({512, 512});
    map_->setMapStyle(QStringLiteral("satellite"));
    map_->mapView()->setCamera({mapWorldSize / 2, mapWorldSize / 2}, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return countOf(drawn(), imagery) > 20000; }, 10000));
    EXPECT_EQ(server.paths.size(), fetched);
    QDir(cache).removeRecursively();
}

TEST_F(LibraryMapTest, RendersOfTheWorldWithPinsAtThreeZooms)
{
    makeMap({1000, 700});
    map_->setInsets(0, 56);
    std::vector<MapPhoto> photos;
    const struct {
        double latitude, longitude;
    } cities[] = {{41.01, 28.98}, {48.86, 2.35}, {40.71, -74.0}, {35.68, 139.69}, {-33.87, 151.21}, {-22.9, -43.2},
                  {51.5, -0.12}, {41.9, 12.5}, {38.42, 27.14}, {39.93, 32.86}};
    for (int i = 0; i < 400; ++i) {
        const auto& city = cities[i % 10];
        photos.push_back(photo(i, city.latitude + (i % 7) * 0.02, city.longitude + (i % 5) * 0.03));
    }
    map_->setPhotos(photos);
    for (const bool dark : {false, true}) {
        map_->setPalette(PivraAppearance::palette(dark));
        for (const auto& [name, center, zoom] :
             {std::tuple{"world", mapPointFor(20, 10), 2.0}, std::tuple{"europe", mapPointFor(45, 15), 4.5},
              std::tuple{"marmara", mapPointFor(40.3, 28.5), 7.0}}) {
            map_->mapView()->setCamera(center, zoom);
            const QImage image = drawn();
            EXPECT_FALSE(map_->photoMap()->pins().isEmpty()) << name;
            image.save(rendersFolder() + QStringLiteral("/map-%1-%2.png").arg(QLatin1String(name),
                                                                              dark ? u"dark" : u"light"));
        }
    }
}

} // namespace
} // namespace pivra::test
