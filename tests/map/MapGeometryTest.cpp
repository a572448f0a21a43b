#include "map/view/MapCamera.h"
#include "map/MapGeometry.h"

#include <gtest/gtest.h>

namespace pivra {
namespace {

TEST(MapGeometryTest, CoordinatesRoundTripThroughMapPoints)
{
    struct Row {
        double latitude;
        double longitude;
    };
    for (const Row row : {Row{41.0082, 28.9784}, Row{-33.8688, 151.2093}, Row{64.1466, -21.9426}, Row{0, -180},
                          Row{-85, 179.999}, Row{0.000001, 0.000001}}) {
        const MapCoordinate back = coordinateFor(mapPointFor(row.latitude, row.longitude));
        EXPECT_NEAR(back.latitude, row.latitude, 1e-9) << row.latitude << "," << row.longitude;
        EXPECT_NEAR(back.longitude, row.longitude, 1e-9) << row.latitude << "," << row.longitude;
    }
}

TEST(MapGeometryTest, TheWorldAndItsScaleHaveTheirKnownValues)
{
    EXPECT_EQ(mapPointFor(0, 0), (MapPoint{mapWorldSize / 2, mapWorldSize / 2}));
    const MapPoint corner = mapPointFor(mapMaxLatitude, 180);
    EXPECT_NEAR(corner.x, mapWorldSize, 1e-6);
    EXPECT_NEAR(corner.y, 0, 1e-3);
    EXPECT_NEAR(mapPointFor(-90, -180).y, mapWorldSize, 1e-3); // beyond the edge is held at it
    // 2^28 over the equator's 40,075,016.686 m, twice that at 60°.
    EXPECT_NEAR(mapPointsPerMeter(0), 6.698324, 1e-6);
    EXPECT_NEAR(mapPointsPerMeter(60), 2 * 6.698324, 1e-5);
    EXPECT_NEAR(mapPointsPerMeter(-60), mapPointsPerMeter(60), 1e-12);
}

TEST(MapGeometryTest, RectanglesUniteFromNullAndGrowToAMinimumSide)
{
    MapRect all;
    EXPECT_TRUE(all.isNull());
    all = all.united(MapRect::at({10, 20})).united(MapRect::at({30, 5}));
    EXPECT_EQ(all, (MapRect{10, 5, 20, 15}));
    EXPECT_EQ(withMinimumSide(all, 18), (MapRect{10, 3.5, 20, 18}));
    EXPECT_EQ(withMinimumSide(MapRect::at({100, 100}), 50), (MapRect{75, 75, 50, 50}));
}

// The camera shows a rectangle as large as fits inside the padding, with
// its middle in the middle of what the padding leaves.
class MapCameraTest : public ::testing::Test {
protected:
    void SetUp() override { camera_.setViewport({1000, 800}); }

    MapCamera camera_;
};

TEST_F(MapCameraTest, ShowingFitsTheRectangleInsideThePadding)
{
    const QMarginsF padding(70, 136, 70, 70); // left 70, top 56 + 80: the first fit's room
    struct Row {
        MapRect rect;
        bool heightDecides;
    };
    const double side = 4000 * mapPointsPerMeter(41);
    const MapPoint istanbul = mapPointFor(41, 29);
    const MapRect pair = MapRect::at(istanbul).united(MapRect::at(mapPointFor(41.9, 29)));
    for (const Row row : {Row{withMinimumSide(MapRect::at(istanbul), side), true},
                          Row{withMinimumSide(pair, side), true},
                          Row{MapRect{istanbul.x, istanbul.y, 3 * side, side}, false}}) {
        camera_.show(row.rect, padding);
        const QPointF topLeft = camera_.toScreen({row.rect.x, row.rect.y});
        const QPointF bottomRight = camera_.toScreen({row.rect.maxX(), row.rect.maxY()});
        EXPECT_NEAR((topLeft.x() + bottomRight.x()) / 2, 70 + 860 / 2.0, 1e-6);
        EXPECT_NEAR((topLeft.y() + bottomRight.y()) / 2, 136 + 594 / 2.0, 1e-6);
        if (row.heightDecides) {
            EXPECT_NEAR(bottomRight.y() - topLeft.y(), 594, 1e-6);
            EXPECT_LE(bottomRight.x() - topLeft.x(), 860 + 1e-6);
        } else {
            EXPECT_NEAR(bottomRight.x() - topLeft.x(), 860, 1e-6);
        }
    }
    // The pair keeps its full 100 km height and is 4000 m wide.
    const MapRect fitted = withMinimumSide(pair, side);
    EXPECT_DOUBLE_EQ(fitted.width, side);
    EXPECT_DOUBLE_EQ(fitted.height, pair.height);
}

TEST_F(MapCameraTest, ZoomKeepsThePointUnderThePointerAndTheWorldCoversTheView)
{
    camera_.setZoom(5);
    const MapPoint under = camera_.toMap({200, 300});
    camera_.zoomAbout({200, 300}, 7.5);
    EXPECT_NEAR(camera_.toMap({200, 300}).x, under.x, 1e-3);
    EXPECT_NEAR(camera_.toMap({200, 300}).y, under.y, 1e-3);

    camera_.setZoom(-3);
    EXPECT_DOUBLE_EQ(camera_.zoom(), camera_.minimumZoom());
    EXPECT_GE(camera_.visibleRect().y, 0);
    EXPECT_LE(camera_.visibleRect().maxY(), mapWorldSize + 1e-6);

    // Panning west past the antimeridian comes back round from the east.
    camera_.setZoom(3);
    camera_.setCenter({10, mapWorldSize / 2});
    camera_.panBy({500, 0});
    EXPECT_GT(camera_.center().x, mapWorldSize / 2);
}

} // namespace
} // namespace pivra
