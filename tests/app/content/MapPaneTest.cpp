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
#include "support/desktop/Renders.h"

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
    PillTrack* stylePills() const { return window_->findChild<LibraryHeader*>()->mapStylePills(); }
    QString pilled() const { return LibraryHeader::mapStyles.value(stylePills()->selected()); }
    void clickPill(const QString& style) const
    {
        PillTrack* pills = stylePills();
        QTest::mouseClick(pills, Qt::LeftButton, {}, pills->pillRect(int(LibraryHeader::mapStyles.indexOf(style))).center());
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
    EXPECT_EQ(pilled(), QStringLiteral("grid"));
    EXPECT_FALSE(map_->isVisible());

    // The place grid shows only the group's photos; "show on map" goes back
    // to the map, and the selection bar's way out shows every place again.
    PlaceGrid* places = window_->content()->placeGrid();
    ASSERT_TRUE(places && places->isVisible());
    EXPECT_EQ(places->photos().size(), group->members.size());
    ASSERT_FALSE(places->groups().empty());
    Q_EMIT places->showOnMap(MapFocus{QUuid::createUuid(), MapRect{1e8, 1e8, 1e5, 1e5}});
    EXPECT_EQ(window_->mapStyle(), QStringLiteral("map"));
    EXPECT_EQ(pilled(), QStringLiteral("map"));
    EXPECT_TRUE(map_->isVisible());
    // One click on "Grid" leads back to the places.
    clickPill(QStringLiteral("grid"));
    EXPECT_EQ(window_->mapStyle(), QStringLiteral("grid"));
    EXPECT_TRUE(places->isVisible());
    Q_EMIT places->showAll();
    EXPECT_FALSE(window_->mapSelection().has_value());
    EXPECT_EQ(places->photos().size(), std::size_t(photoCount));
}

TEST_F(MapPaneTest, TheStylePillsSwitchTheMapsLayers)
{
    AppSettings().setValue(LibraryMap::tileURLKey, QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    clickPill(QStringLiteral("satellite"));
    EXPECT_EQ(map_->mapView()->rasterTiles(), nullptr); // no imagery server set
    EXPECT_TRUE(map_->isVisible());
    clickPill(QStringLiteral("map"));
    ASSERT_NE(map_->mapView()->rasterTiles(), nullptr);
    EXPECT_EQ(map_->mapView()->rasterTiles()->urlTemplate(), QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    clickPill(QStringLiteral("grid"));
    EXPECT_FALSE(map_->isVisible());
}

// Whatever changes the style, the pills show it at once, and a click on
// another pill always switches in one go.
TEST_F(MapPaneTest, ThePillsFollowEveryChangeOfStyle)
{
    const QString map = QStringLiteral("map");
    const QString satellite = QStringLiteral("satellite");
    const QString grid = QStringLiteral("grid");
    PlaceGrid* places = nullptr;
    const std::function<void()> showOnMap = [&] {
        places = window_->content()->placeGrid();
        ASSERT_TRUE(places);
        Q_EMIT places->showOnMap(MapFocus{QUuid::createUuid(), MapRect{1e8, 1e8, 1e5, 1e5}});
    };
    const std::function<void()> pickGroup = [&] {
        Q_EMIT map_->selected(MapSelection{{map_->photoMap()->photos().front().id()}, -45, 170, 0});
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        QString style;
    };
    const Step steps[] = {
        {"grid pill", [&] { clickPill(grid); }, grid},
        {"show on the map", showOnMap, map},
        {"grid pill after show on the map", [&] { clickPill(grid); }, grid},
        {"map pill", [&] { clickPill(map); }, map},
        {"a picked pin", pickGroup, grid},
        {"satellite pill from the places", [&] { clickPill(satellite); }, satellite},
        {"a picked pin over satellite", pickGroup, grid},
        {"map pill from the places", [&] { clickPill(map); }, map},
        {"the window's own switch", [&] { window_->setMapStyle(grid); }, grid},
        {"show on the map again", showOnMap, map},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(window_->mapStyle().toStdString(), step.style.toStdString());
        EXPECT_EQ(pilled().toStdString(), step.style.toStdString());
        EXPECT_EQ(map_->isVisible(), step.style != grid);
    }
    window_->grab().save(test::rendersFolder() + QStringLiteral("/map-pane-pills-after-show-on-map.png"));
}

} // namespace
} // namespace pivra
