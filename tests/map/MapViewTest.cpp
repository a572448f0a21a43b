#include "map/view/MapView.h"

#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <functional>

namespace pivra {
namespace {

// A map at zoom 4 over the middle of the world, the top 56 pixels covered.
class MapViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view_.resize(800, 600);
        view_.show();
        view_.setCoveredInsets(QMargins(0, 56, 0, 0));
        view_.setCamera({mapWorldSize / 2, mapWorldSize / 2}, 4);
    }
    void wheel(QPoint at, int notches)
    {
        QWheelEvent event(at, view_.mapToGlobal(at), {}, {0, notches * 120}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&view_, &event);
    }

    MapView view_;
};

// Every way of zooming keeps the point under the pointer (the middle, for
// the buttons) in place, and reports the new region once.
TEST_F(MapViewTest, EachZoomKeepsThePointerPlaceAndReportsTheRegion)
{
    struct Row {
        const char* name;
        QPoint at;
        double zoom;
        bool settles; // reported after a pause rather than at once
        std::function<void()> act;
    };
    const QPoint pointer(600, 200);
    const QPoint middle(400, 300);
    const Row rows[] = {
        {"wheel in", pointer, 5, true, [&] { wheel(pointer, 2); }},
        {"wheel out", pointer, 3.5, true, [&] { wheel(pointer, -1); }},
        {"pinch", pointer, 5, true,
         [&] {
             QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, pointer,
                                       pointer, view_.mapToGlobal(QPointF(pointer)), 1.0, {});
             QCoreApplication::sendEvent(&view_, &pinch);
         }},
        {"double click", pointer, 5, false,
         [&] { QTest::mouseDClick(&view_, Qt::LeftButton, {}, pointer); }},
        {"button in", middle, 5, false, [this] { view_.zoomInButton()->click(); }},
        {"button out", middle, 3, false, [this] { view_.zoomOutButton()->click(); }},
    };
    for (const Row& row : rows) {
        view_.setCamera({mapWorldSize / 2, mapWorldSize / 2}, 4);
        const MapPoint under = view_.camera().toMap(row.at);
        QSignalSpy changed(&view_, &MapView::regionChanged);
        row.act();
        EXPECT_NEAR(view_.camera().zoom(), row.zoom, 1e-9) << row.name;
        EXPECT_NEAR(view_.camera().toMap(row.at).x, under.x, 1) << row.name;
        EXPECT_NEAR(view_.camera().toMap(row.at).y, under.y, 1) << row.name;
        EXPECT_EQ(changed.size(), row.settles ? 0 : 1) << row.name;
        if (row.settles) {
            EXPECT_TRUE(changed.wait()) << row.name;
        }
    }
}

TEST_F(MapViewTest, ADragMovesTheMapAndAThrowRunsOnBeforeReporting)
{
    QSignalSpy changed(&view_, &MapView::regionChanged);
    QSignalSpy clicked(&view_, &MapView::clicked);
    const MapPoint start = view_.camera().center();
    QTest::mousePress(&view_, Qt::LeftButton, {}, {400, 300});
    for (int x = 390; x >= 300; x -= 10) {
        QTest::mouseMove(&view_, {x, 300});
    }
    QTest::mouseRelease(&view_, Qt::LeftButton, {}, {300, 300});
    EXPECT_EQ(clicked.size(), 0);
    const double dragged = (view_.camera().center().x - start.x) * view_.camera().scale();
    EXPECT_NEAR(dragged, 100, 1);
    ASSERT_TRUE(changed.wait());
    EXPECT_EQ(changed.size(), 1);
    EXPECT_GT((view_.camera().center().x - start.x) * view_.camera().scale(), 100); // thrown further

    // A press in the covered strip is not the map's: no drag, no click.
    const MapPoint before = view_.camera().center();
    QTest::mousePress(&view_, Qt::LeftButton, {}, {400, 30});
    QTest::mouseMove(&view_, {300, 30});
    QTest::mouseRelease(&view_, Qt::LeftButton, {}, {300, 30});
    QTest::mouseClick(&view_, Qt::LeftButton, {}, {400, 40});
    EXPECT_EQ(view_.camera().center(), before);
    EXPECT_EQ(clicked.size(), 0);
    QTest::mouseClick(&view_, Qt::LeftButton, {}, {400, 60});
    EXPECT_EQ(clicked.size(), 1);
}

} // namespace
} // namespace pivra
