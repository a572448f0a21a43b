#include "app/WindowTestKit.h"

#include "app/content/ContentColumn.h"
#include "app/header/LibraryHeader.h"
#include "app/header/PillTrack.h"
#include "map/LibraryMap.h"
#include "map/MapEmptyCard.h"
#include "map/view/MapView.h"
#include "map/photos/PhotoMap.h"
#include "map/basemap/RasterTiles.h"
#include "map/places/PlaceGrid.h"
#include "platform/geocoder/OfflineReverseGeocoder.h"
#include "store/places/PlaceNamer.h"
#include "platform/runtime/Drain.h"

#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

// A window over a catalog of 10,000 located photos in twenty places, named
// from the offline data, the map row picked.
class MapPaneTest : public test::ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        const LibrarySource trips = test::folderSource(QStringLiteral("Trips"), true);
        {
            const MediaCatalog schema(catalogPath_);
            test::MediaRowWriter writer(catalogPath_);
            writer.exec("BEGIN");
            for (int i = 0; i < photoCount; ++i) {
                test::MediaRow row = test::folderRow(trips.id, QStringLiteral("%1.jpg").arg(i));
                row.captured = 1.7e9 - i * 60.0;
                row.fileSize += i;
                // Photo 0 stands alone; the rest gather in twenty places.
                row.latitude = i == 0 ? -45.0 : 30 + (i % 20) + (i % 7) * 0.001;
                row.longitude = i == 0 ? 170.0 : -20 + (i % 20) * 3 + (i % 5) * 0.001;
                writer.insert(row);
            }
            writer.exec("COMMIT");
        }
        namer_ = std::make_unique<PlaceNamer>(std::make_unique<OfflineReverseGeocoder>(PlaceLanguage::english),
                                              PlaceNamer::Pause{}, nullptr, pathOf("places.json"));
        store_ = makeStore({.placeNamer = namer_.get()});
        ASSERT_TRUE(drain());
        store_->setSources({trips});
        ASSERT_TRUE(drain());
        window_ = makeWindow(*store_);
        window_->resize(1200, 760);
        window_->show();
        store_->selectMap();
        ASSERT_TRUE(drain());
        map_ = window_->content()->map();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return map_->photoMap()->photos().size() == std::size_t(photoCount); }, 30000))
            << map_->photoMap()->photos().size();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !map_->photoMap()->needsFit(); }, 30000));
    }
    void TearDown() override
    {
        window_.reset();
        store_.reset();
        namer_.reset();
        ViewTest::TearDown();
    }
    QPoint onPin(const PhotoMap::Pin& pin) const
    {
        return (map_->photoMap()->screenPlace(pin) - QPointF(0, 35)).toPoint();
    }

    static constexpr int photoCount = 10'000;
    std::unique_ptr<PlaceNamer> namer_;
    std::unique_ptr<LibraryWindow> window_;
    LibraryMap* map_ = nullptr;
};

TEST_F(MapPaneTest, LocatedPhotosClusterIntoPinsAndDraw)
{
    const auto& pins = map_->photoMap()->pins();
    ASSERT_FALSE(pins.isEmpty());
    std::size_t placed = 0;
    for (const auto& pin : pins) {
        placed += pin->members.size();
    }
    EXPECT_EQ(placed, std::size_t(photoCount)); // the fit shows every photo
    const QImage drawn = window_->grab().toImage();
    EXPECT_FALSE(drawn.isNull());
    EXPECT_FALSE(map_->emptyCard()->isVisible());
}

TEST_F(MapPaneTest, APinOfOnePhotoOpensItInTheViewerAndAGroupGoesToThePlaceGrid)
{
    PhotoMap& photos = *map_->photoMap();
    const MapPhoto& alone = photos.photos().front();
    std::shared_ptr<PhotoMap::Pin> single = photos.pins().value(alone.id());
    ASSERT_TRUE(single);
    ASSERT_EQ(single->members.size(), 1u);
    QTest::mouseClick(map_->mapView(), Qt::LeftButton, {}, onPin(*single));
    ASSERT_TRUE(drain());
    ASSERT_TRUE(QTest::qWaitFor([&] { return store_->viewerItem().has_value(); }, 30000));
    EXPECT_EQ(store_->viewerItem()->id(), alone.id());
    store_->closeViewer();

    std::shared_ptr<PhotoMap::Pin> group;
    for (const auto& pin : photos.pins()) {
        if (pin->members.size() > 1 && map_->mapView()->rect().contains(onPin(*pin))) {
            group = pin;
        }
    }
    ASSERT_TRUE(group);
    QTest::mouseClick(map_->mapView(), Qt::LeftButton, {}, onPin(*group));
    ASSERT_TRUE(window_->mapSelection().has_value());
    EXPECT_EQ(window_->mapSelection()->ids.size(), qsizetype(group->members.size()));
    EXPECT_GT(window_->mapSelection()->span, 0);
    EXPECT_EQ(window_->mapStyle(), QStringLiteral("grid"));
    EXPECT_FALSE(map_->isVisible());

    // The place grid shows only the group's photos; "show on map" goes back
    // to the map, and the selection bar's way out shows every place again.
    PlaceGrid* places = window_->content()->placeGrid();
    ASSERT_TRUE(places && places->isVisible());
    EXPECT_EQ(places->photos().size(), group->members.size());
    ASSERT_FALSE(places->groups().empty());
    Q_EMIT places->showOnMap(MapFocus{QUuid::createUuid(), MapRect{1e8, 1e8, 1e5, 1e5}});
    EXPECT_EQ(window_->mapStyle(), QStringLiteral("map"));
    EXPECT_TRUE(map_->isVisible());
    window_->setMapStyle(QStringLiteral("grid"));
    Q_EMIT places->showAll();
    EXPECT_FALSE(window_->mapSelection().has_value());
    EXPECT_EQ(places->photos().size(), std::size_t(photoCount));
}

TEST_F(MapPaneTest, TheStylePillsSwitchTheMapsLayers)
{
    AppSettings().setValue(LibraryMap::tileURLKey, QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    auto* header = window_->findChild<LibraryHeader*>();
    ASSERT_TRUE(header);
    header->setMapStyle(QStringLiteral("satellite"));
    EXPECT_EQ(map_->mapView()->rasterTiles(), nullptr); // no imagery server set
    EXPECT_TRUE(map_->isVisible());
    header->setMapStyle(QStringLiteral("map"));
    ASSERT_NE(map_->mapView()->rasterTiles(), nullptr);
    EXPECT_EQ(map_->mapView()->rasterTiles()->urlTemplate(), QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    header->setMapStyle(QStringLiteral("grid"));
    EXPECT_FALSE(map_->isVisible());
}

} // namespace
} // namespace pivra
