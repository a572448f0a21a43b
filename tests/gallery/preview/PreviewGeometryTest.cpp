#include "gallery/preview/PreviewGeometry.h"

#include <gtest/gtest.h>

namespace pivra {
namespace {

TEST(PreviewGeometryTest, SkeletonBarsSitNearTheBottomEdge)
{
    struct Row {
        QSizeF tile;
        QRectF shortBar;
        QRectF longBar;
    };
    const Row rows[] = {
        {{100, 100}, {8, 82, 40, 10}, {8, 64, 62, 10}},
        {{400, 300}, {15, 273, 177, 12}, {15, 253, 265, 12}},
        {{0, 0}, {0, 0, 0, 0}, {0, -8, 0, 0}},
    };
    for (const Row& row : rows) {
        const auto bars = skeletonBars(row.tile);
        EXPECT_EQ(bars[0], row.shortBar) << row.tile.width();
        EXPECT_EQ(bars[1], row.longBar) << row.tile.width();
    }
}

TEST(PreviewGeometryTest, ImagesFitWholeOnceTurned)
{
    struct Row {
        QSize image;
        int quarters;
        QSizeF drawn;
    };
    const Row rows[] = {
        {{4000, 3000}, 1, {200, 150}},  // laid out as 3000 × 4000
        {{4000, 3000}, -1, {200, 150}}, // counter-clockwise fits the same way
        {{4000, 3000}, 4, {266.6666666666667, 200}},
        {{100, 100}, 0, {200, 200}}, // centred with bands beside it
        {{0, 300}, 0, {}},
    };
    for (const Row& row : rows) {
        const QSizeF drawn = fittedImageSize({300, 200}, row.image, row.quarters);
        EXPECT_NEAR(drawn.width(), row.drawn.width(), 1e-9) << row.quarters;
        EXPECT_NEAR(drawn.height(), row.drawn.height(), 1e-9) << row.quarters;
    }
}

TEST(PreviewGeometryTest, VideoFramesAreCutToTheTilesAspect)
{
    EXPECT_EQ(aspectFillSource({640, 360}, {200, 200}), QRectF(140, 0, 360, 360));
    EXPECT_EQ(aspectFillSource({360, 640}, {300, 150}), QRectF(0, 230, 360, 180));
    EXPECT_EQ(aspectFillSource({}, {300, 150}), QRectF());
}

} // namespace
} // namespace pivra
