#include "gallery/drag/MediaDragSurface.h"

#include "media/thumbnails/ThumbnailStore.h"
#include "platform/runtime/Drain.h"
#include "support/system/TempFolder.h"

#include <QApplication>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QWheelEvent>

namespace pivra::test {
namespace {

// A surface over a real file, every callback written down.
class MediaDragSurfaceTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        thumbnails = std::make_unique<ThumbnailStore>(ThumbnailLocations::under(pathOf("data"), pathOf("cache")),
                                                      std::make_shared<ThumbnailRenderer>());
        surface = std::make_unique<MediaDragSurface>(MediaPasteboard(), *thumbnails);
        surface->resize(400, 300);
        item.setPath(writeFile(QStringLiteral("photo.jpg"), "jpeg"));
        item.setName(QStringLiteral("photo.jpg"));
        surface->setItem(item);
        surface->setCallbacks({
            .onStart = [this](const MediaItem& started) { starts.push_back(started.path()); },
            .onEnd = [this] { ++ends; },
            .onPointerMove = [this](QPointF point) { pointer = point; },
            .onUnavailable = [this] { ++unavailable; },
            .onMagnify = [this](double delta, QPointF) { magnifications.push_back(delta); },
            .onPan = [this](QPointF delta) { pans.push_back(delta); },
        });
    }

    void mouse(QEvent::Type type, QPointF at)
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, surface->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(surface.get(), &event);
    }

    // A press at (100, 100) moved through `steps`, held until the pasteboard
    // has said what a drag carries, then released.
    void press(const std::vector<QPointF>& steps)
    {
        mouse(QEvent::MouseButtonPress, {100, 100});
        for (const QPointF& step : steps) {
            mouse(QEvent::MouseMove, QPointF(100, 100) + step);
        }
        EXPECT_TRUE(drain());
        mouse(QEvent::MouseButtonRelease, QPointF(100, 100) + steps.back());
    }

    std::unique_ptr<ThumbnailStore> thumbnails;
    std::unique_ptr<MediaDragSurface> surface;
    MediaItem item;
    std::vector<QString> starts;
    int ends = 0;
    int unavailable = 0;
    QPointF pointer;
    std::vector<double> magnifications;
    std::vector<QPointF> pans;
};

struct PressRow {
    const char* name;
    bool pan;
    bool fileThere;
    std::vector<QPointF> steps;
    std::size_t starts;
    int unavailable;
};

TEST_F(MediaDragSurfaceTest, APressDragsOutPansOrReportsTheOriginalMissing)
{
    const PressRow rows[] = {
        {"exactly 5 px is a click", false, true, {{3, 4}}, 0, 0},
        {"5.01 px drags out once", false, true, {{3, 4}, {5.01, 0}, {30, 0}}, 1, 0},
        {"panning never drags out", true, true, {{10, 0}, {40, 5}, {90, 12}}, 0, 0},
        {"a missing original is told once per press", false, false, {{6, 0}, {20, 0}, {40, 0}}, 0, 1},
    };
    for (const PressRow& row : rows) {
        SCOPED_TRACE(row.name);
        starts.clear();
        ends = unavailable = 0;
        pans.clear();
        surface->setPanEnabled(row.pan);
        if (!row.fileThere) {
            ASSERT_TRUE(QFile::remove(item.path()));
        }
        press(row.steps);
        EXPECT_EQ(starts.size(), row.starts);
        EXPECT_EQ(ends, int(row.starts)) << "each drag ends, here at once offscreen";
        EXPECT_EQ(unavailable, row.unavailable);
        if (row.pan) {
            ASSERT_EQ(pans.size(), row.steps.size());
            EXPECT_EQ(pans[0], QPointF(10, 0));
            EXPECT_EQ(pans[1], QPointF(30, 5));
            EXPECT_EQ(pans[2], QPointF(50, 7));
            EXPECT_EQ(surface->cursor().shape(), Qt::OpenHandCursor);
        } else {
            EXPECT_TRUE(pans.empty());
            EXPECT_EQ(surface->cursor().shape(), Qt::ArrowCursor);
        }
        EXPECT_FALSE(surface->isDragging());
    }
}

TEST_F(MediaDragSurfaceTest, ADragWhoseSurfaceGoesStillEnds)
{
    MediaDragSurface::Callbacks callbacks{
        .onStart = [this](const MediaItem&) { surface.reset(); },
        .onEnd = [this] { ++ends; },
    };
    surface->setCallbacks(std::move(callbacks));
    mouse(QEvent::MouseButtonPress, {100, 100});
    mouse(QEvent::MouseMove, {120, 100});
    ASSERT_TRUE(drain());
    EXPECT_FALSE(surface);
    EXPECT_EQ(ends, 1) << "whatever showed for the drag is taken down";
}

TEST_F(MediaDragSurfaceTest, PinchesAndCtrlWheelReportStepsAndThePointerItsPlace)
{
    const QPointingDevice* touchpad = QPointingDevice::primaryPointingDevice();
    for (int step = 0; step < 2; ++step) {
        QNativeGestureEvent pinch(Qt::ZoomNativeGesture, touchpad, 2, QPointF(50, 60), QPointF(50, 60), QPointF(), 0.1,
                                  QPointF(), 0);
        QApplication::sendEvent(surface.get(), &pinch);
    }
    QWheelEvent wheel(QPointF(50, 60), QPointF(), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(surface.get(), &wheel);
    QWheelEvent plainWheel(QPointF(50, 60), QPointF(), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                           Qt::NoScrollPhase, false);
    QApplication::sendEvent(surface.get(), &plainWheel);
    EXPECT_EQ(magnifications, (std::vector<double>{0.1, 0.1, 0.1})) << "each step its own change";
    EXPECT_FALSE(plainWheel.isAccepted()) << "a plain wheel goes on to the viewer";

    mouse(QEvent::MouseMove, {200, 0.4});
    EXPECT_EQ(pointer, QPointF(200, 0.4)) << "the top edge is y 0";
}

} // namespace
} // namespace pivra::test
