// A real drag, through Qt's drag loop on a real X server: the test runs its
// own binary again under Xvfb and drags a tile of the grid onto a widget of
// its own that takes file drops.
#include "gallery/GalleryGrid.h"

#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "support/fakes/GalleryItems.h"
#include "support/system/TempFolder.h"
#include "support/desktop/XvfbChild.h"

#include <QDropEvent>
#include <QHBoxLayout>
#include <QMimeData>
#include <QTest>
#include <QTimer>

namespace pivra::test {
namespace {

// Takes any drag of files and keeps what was dropped.
class DropTarget : public QWidget {
public:
    DropTarget()
    {
        setAcceptDrops(true);
        setMinimumWidth(300);
    }

    int moves = 0;
    QList<QUrl> dropped;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        ++moves;
        event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override
    {
        dropped = event->mimeData()->urls();
        event->acceptProposedAction();
    }
};

class RealDragTest : public TempFolderTest {};

TEST_F(RealDragTest, ATileDraggedOntoAnotherWidgetDeliversItsOriginal)
{
    if (!isXvfbChild()) {
        const XvfbRun run = runUnderXvfb(QStringLiteral("RealDragTest.*"));
        if (!run.ran) {
            GTEST_SKIP() << "xvfb-run is not installed";
        }
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.output);
        return;
    }
    ThumbnailStore thumbnails(ThumbnailLocations::under(pathOf("data"), pathOf("cache")),
                              std::make_shared<ThumbnailRenderer>());
    VideoPreviewStore clips(pathOf("clips"));
    MediaItem photo = galleryPhoto(QUuid::createUuid(), 1, QSize(4000, 3000), 1.7e9);
    photo.setPath(writeFile(QStringLiteral("a photo.jpg"), "jpeg"));
    {
        QWidget window;
        auto* row = new QHBoxLayout(&window);
        auto* grid = new GalleryGrid(thumbnails, clips);
        auto* target = new DropTarget;
        row->addWidget(grid);
        row->addWidget(target);
        window.setGeometry(50, 50, 1000, 500);
        grid->setItems(std::make_shared<const std::vector<MediaItem>>(std::vector{photo}), 1);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QWindow* screen = window.windowHandle();
        const QPoint tile = grid->viewport()->mapTo(&window, grid->tileRect(0)->center().toPoint());
        const QPoint drop = target->mapTo(&window, target->rect().center());

        // The drag's loop runs inside the grid's move handler; the pointer is
        // moved over the target from within it until the target has seen
        // three positions (the source sends one only once the last was
        // answered, so the target's acceptance has come back), then released.
        int started = 0;
        int ended = 0;
        QObject::connect(grid, &GalleryGrid::dragStarted, [&] {
            ++started;
            QTimer::singleShot(0, [&] {
                int step = 0;
                EXPECT_TRUE(QTest::qWaitFor(
                    [&] {
                        QTest::mouseMove(screen, drop + QPoint(++step % 4, 0));
                        return target->moves > 2;
                    },
                    10000));
                QTest::mouseRelease(screen, Qt::LeftButton, {}, drop);
            });
        });
        QObject::connect(grid, &GalleryGrid::dragEnded, [&] { ++ended; });
        QTest::mousePress(screen, Qt::LeftButton, {}, tile);
        QTest::mouseMove(screen, tile + QPoint(8, 0));
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended == 1; }, 20000));
        EXPECT_EQ(started, 1);
        EXPECT_EQ(target->dropped, QList<QUrl>{QUrl::fromLocalFile(photo.path())});
    }
    EXPECT_TRUE(drain());
}

} // namespace
} // namespace pivra::test
