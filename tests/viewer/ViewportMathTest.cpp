#include "viewer/photo/MediaFitting.h"
#include "viewer/photo/PhotoViewportTransform.h"
#include "viewer/controls/ViewerTopBar.h"
#include "viewer/controls/ZoomOverview.h"
#include "viewer/controls/ZoomSlider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace pivra {
namespace {

PhotoViewportTransform viewport(QSizeF area, QSizeF content)
{
    PhotoViewportTransform transform;
    transform.resize(area, content);
    return transform;
}

void expectRect(const QRectF& actual, const QRectF& expected)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-4);
    EXPECT_NEAR(actual.y(), expected.y(), 1e-4);
    EXPECT_NEAR(actual.width(), expected.width(), 1e-4);
    EXPECT_NEAR(actual.height(), expected.height(), 1e-4);
}

TEST(PhotoViewportTransformTest, ZoomKeepsThePointUnderTheAnchorAndShowsTheRegionAroundIt)
{
    PhotoViewportTransform transform = viewport({1000, 800}, {800, 600});
    const QPointF anchor(750, 400);
    // The photo point under the anchor, in unzoomed content coordinates.
    const auto photoPoint = [&] {
        return QPointF((anchor.x() - 500 - transform.offset.width()) / transform.zoom,
                       (anchor.y() - 400 - transform.offset.height()) / transform.zoom);
    };
    const QPointF before = photoPoint();
    transform.setZoom(2, anchor);
    EXPECT_EQ(transform.zoom, 2);
    EXPECT_EQ(transform.offset, QSizeF(-250, 0));
    EXPECT_EQ(photoPoint(), before);
    expectRect(transform.visibleRegion(), {0.34375, 1 / 6.0, 0.625, 2 / 3.0});

    // Panning stops at the edges (limits 300 across, 200 down).
    transform.pan({-400, 500});
    EXPECT_EQ(transform.offset, QSizeF(-300, 200));
    // Zooming back out always ends centred.
    transform.setZoom(3, std::nullopt);
    transform.setZoom(1, QPointF(10, 10));
    EXPECT_EQ(transform.offset, QSizeF(0, 0));
    transform.pan({50, 50});
    EXPECT_EQ(transform.offset, QSizeF(0, 0));
}

TEST(PhotoViewportTransformTest, ZoomStaysInItsRangeAndBadInputChangesNothing)
{
    struct Row {
        double from;
        double requested;
        double expected;
    };
    for (const Row& row : {Row{1, 7, 5}, Row{1, 0.5, 1}, Row{2, 1.25, 1.25},
                           Row{2, std::numeric_limits<double>::quiet_NaN(), 2},
                           Row{2, std::numeric_limits<double>::infinity(), 2}}) {
        PhotoViewportTransform transform = viewport({1000, 800}, {800, 600});
        transform.setZoom(row.from, std::nullopt);
        transform.setZoom(row.requested, QPointF(100, 100));
        EXPECT_EQ(transform.zoom, row.expected) << row.from << " to " << row.requested;
    }
}

TEST(PhotoViewportTransformTest, AResizeKeepsTheZoomAndPullsTheOffsetInside)
{
    PhotoViewportTransform transform = viewport({1000, 800}, {800, 600});
    transform.setZoom(2, QPointF(1000, 800));
    EXPECT_EQ(transform.offset, QSizeF(-300, -200));
    transform.resize({1200, 900}, {960, 720});
    EXPECT_EQ(transform.zoom, 2);
    EXPECT_EQ(transform.offset, QSizeF(-300, -200));
    transform.resize({1400, 1000}, {800, 600}); // tighter limits
    EXPECT_EQ(transform.offset, QSizeF(-100, -100));
    EXPECT_EQ(viewport({0, 0}, {0, 0}).visibleRegion(), QRectF(0, 0, 1, 1));
    EXPECT_EQ(viewport({100, 100}, {200, 0}).aspectRatio(), 1);
}

TEST(MediaFittingTest, TheTurnedFrameFitsTheArea)
{
    struct Row {
        int width, height, quarters;
        QSizeF frame, content;
    };
    const QSizeF area(1200, 800);
    for (const Row& row : {Row{3000, 4000, 0, {600, 800}, {600, 800}},
                           Row{3000, 4000, 1, {800, 1066.667}, {1066.667, 800}},
                           Row{3000, 4000, -1, {800, 1066.667}, {1066.667, 800}},
                           Row{3000, 4000, 2, {600, 800}, {600, 800}},
                           Row{0, 4000, 0, {800, 800}, {800, 800}},
                           Row{1, 100000, 0, {8, 800}, {8, 800}}}) {
        const MediaFitting fit = MediaFitting::of(row.width, row.height, row.quarters, area);
        EXPECT_NEAR(fit.frame.width(), row.frame.width(), 1e-3) << row.width << "x" << row.height << " q" << row.quarters;
        EXPECT_NEAR(fit.frame.height(), row.frame.height(), 1e-3);
        EXPECT_NEAR(fit.content.width(), row.content.width(), 1e-3);
        EXPECT_NEAR(fit.content.height(), row.content.height(), 1e-3);
    }
}

TEST(ZoomSliderMappingTest, TheKnobMovesEvenlyPerDoubling)
{
    struct Row {
        double zoom;
        double position;
    };
    for (const Row& row : {Row{1, 0}, Row{5, 1}, Row{std::sqrt(5.0), 0.5}, Row{0.5, 0}, Row{9, 1},
                           Row{std::numeric_limits<double>::quiet_NaN(), 0}}) {
        EXPECT_NEAR(ZoomSlider::position(row.zoom, 1, 5), row.position, 1e-9) << row.zoom;
    }
    EXPECT_NEAR(ZoomSlider::zoomAt(0.5, 1, 5), 2.2360679, 1e-6);
    EXPECT_EQ(ZoomSlider::zoomAt(-0.3, 1, 5), 1);
    EXPECT_EQ(ZoomSlider::zoomAt(std::numeric_limits<double>::quiet_NaN(), 1, 5), 1);
    EXPECT_EQ(ZoomSlider::zoomAt(1.7, 1, 5), 5);
    // An empty range has no position but its start.
    EXPECT_EQ(ZoomSlider::position(2, 2, 2), 0);
    EXPECT_EQ(ZoomSlider::zoomAt(0.5, 2, 2), 2);
}

TEST(ViewerTopBarTest, ThePercentageRoundsHalvesAwayFromZero)
{
    for (const auto& [zoom, text] : {std::pair{1.0, "100%"}, std::pair{1.006, "101%"}, std::pair{2.346, "235%"},
                                     std::pair{4.995, "500%"}}) {
        EXPECT_EQ(ViewerTopBar::percentText(zoom), QString::fromLatin1(text)) << zoom;
    }
}

TEST(ZoomOverviewTest, ThePictureFrameKeepsItsAspectWithAFloor)
{
    EXPECT_EQ(ZoomOverview::pictureFrame({64, 42}, 1), QRectF(11, 0, 42, 42));
    EXPECT_EQ(ZoomOverview::pictureFrame({64, 42}, 4), QRectF(0, 13, 64, 16));
    EXPECT_EQ(ZoomOverview::pictureFrame({64, 42}, 0.01), ZoomOverview::pictureFrame({64, 42}, 0.05));
    EXPECT_EQ(ZoomOverview::pictureFrame({64, 42}, -2), ZoomOverview::pictureFrame({64, 42}, 0.05));
}

} // namespace
} // namespace pivra
