// The map's tile layers as a user moving the map meets them: imagery that
// comes back after it left memory, after the server failed or hung, and
// drawn base-map tiles that stay within their byte budget.

#include "map/MapSettle.h"
#include "map/TileServerKit.h"
#include "map/basemap/BaseMapData.h"
#include "map/basemap/BaseMapRenderer.h"
#include "map/basemap/BaseMapTiles.h"
#include "map/basemap/RasterTiles.h"
#include "map/view/MapView.h"
#include "platform/runtime/Drain.h"
#include "support/files/Bombs.h"
#include "support/desktop/Renders.h"
#include "support/system/TempFolder.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <malloc.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace pivra::test {
namespace {

using namespace std::chrono_literals;

class RasterTilesTest : public TempFolderTest {
protected:
    // Asks for tiles (9, x, 0) over [from, to) until all are shown, a batch
    // the size of the wish list at a time, as a view drawing them would.
    void showRow(RasterTiles& tiles, int from, int to)
    {
        for (int start = from; start < to; start += RasterTiles::keptWishes) {
            const int end = std::min(to, start + RasterTiles::keptWishes);
            const auto allShown = [&] {
                bool all = true;
                for (int x = start; x < end; ++x) {
                    all = tiles.tile(9, x, 0) != nullptr && all;
                }
                return all;
            };
            ASSERT_TRUE(QTest::qWaitFor([&] { return allShown(); }, 20000));
        }
    }

    TileServer server_{QColor(0x20, 0xa0, 0x40)};
};

// 320 tiles do not fit the memory budget: the first ones are pushed out,
// and scrolling back shows them again from the disk cache or the server.
TEST_F(RasterTilesTest, ATilePushedOutOfMemoryIsShownAgain)
{
    RasterTiles tiles(server_.urlTemplate(), pathOf(QStringLiteral("tiles")));
    showRow(tiles, 0, 320);
    EXPECT_LE(tiles.bytes(), RasterTiles::keptBytes);
    EXPECT_EQ(tiles.tile(9, 0, 0), nullptr) << "the first tile should have left memory";
    showRow(tiles, 0, 20);
}

// A failed tile is asked again on its own once a short delay has passed,
// and shows once the server is back; the view hears when to draw again.
TEST_F(RasterTilesTest, AFailedTileIsShownAfterTheServerRecovers)
{
    RasterTiles tiles(server_.urlTemplate(), pathOf(QStringLiteral("tiles")));
    server_.failing = true;
    EXPECT_EQ(tiles.tile(3, 1, 1), nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return server_.paths.contains(QStringLiteral("/tiles/3/1/1.png")) && !tiles.hasPending(); }));
    EXPECT_EQ(tiles.tile(3, 1, 1), nullptr);
    EXPECT_FALSE(tiles.hasPending()) << "asked again at once";

    server_.failing = false;
    QSignalSpy drawAgain(&tiles, &RasterTiles::tileReady);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !drawAgain.isEmpty(); }, 4 * int(RasterTiles::firstRetryDelay.count())));
    EXPECT_EQ(tiles.tile(3, 1, 1), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tiles.tile(3, 1, 1) != nullptr; }, 30000));
}

// Requests the server never answers time out and free their slots.
TEST_F(RasterTilesTest, AServerThatNeverAnswersDoesNotStopLaterTiles)
{
    RasterTiles tiles(server_.urlTemplate(), pathOf(QStringLiteral("tiles")), nullptr, 500ms);
    server_.silentPaths = {QStringLiteral("/tiles/5/0/0.png"), QStringLiteral("/tiles/5/1/0.png")};
    tiles.tile(5, 0, 0);
    tiles.tile(5, 1, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server_.paths.size() == 2; }, 30000)) << server_.paths.size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tiles.tile(5, 2, 0) != nullptr; }, 10000));
}

// A tile is drawn from a PNG or a JPEG alone: an SVG is not, so that the
// pictures it names on this disk are never read and shown on the map.
TEST_F(RasterTilesTest, ATileThatIsNoPngOrJpegIsNotDrawn)
{
    QImage picture(256, 256, QImage::Format_RGB32);
    picture.fill(Qt::magenta);
    const QString picturePath = pathOf(QStringLiteral("picture.png"));
    ASSERT_TRUE(picture.save(picturePath, "PNG"));
    server_.bodies[QStringLiteral("/tiles/4/0/0.png")] = svgReading(picturePath);
    RasterTiles tiles(server_.urlTemplate(), pathOf(QStringLiteral("tiles")));
    tiles.tile(4, 0, 0);
    tiles.tile(4, 1, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tiles.tile(4, 1, 0) != nullptr && !tiles.hasPending(); }, 30000));
    EXPECT_EQ(tiles.tile(4, 0, 0), nullptr);
}

// What the heap holds for live blocks, mapped ones included. Resident size
// would also count freed pages an arena keeps, which depends on how many
// drawing threads happened to run at once on a busy machine.
qint64 liveHeapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

// 30 zoom-ins and 40 pans at ratio 1 and at 2, each drawn in full: the drawn
// tiles stay within their budget, and once zoomed out again the heap, less
// the drawn tiles, holds about as much as before.
TEST(BaseMapTilesTest, MovingTheMapKeepsItsTilesWithinTheirBudget)
{
#if defined(__SANITIZE_ADDRESS__)
    // Instrumented drawing is many times slower; fewer moves still fill and
    // turn over the tile cache.
    constexpr int zoomIns = 10;
    constexpr int pans = 12;
#else
    constexpr int zoomIns = 30;
    constexpr int pans = 40;
#endif
    MapView view;
    view.resize(560, 400);
    view.show();
    const MapPoint start = mapPointFor(45, 10);
    view.setCamera(start, 2);
    settledFrame(view, 1);
    settledFrame(view, 2);
    [[maybe_unused]] const qint64 before = liveHeapBytes() - view.baseTiles()->bytes();

    for (const double ratio : {1.0, 2.0}) {
        view.setCamera(start, 2);
        for (int step = 0; step < zoomIns; ++step) {
            view.setCamera(view.camera().center(), view.camera().zoom() + 0.5);
            settledFrame(view, ratio);
        }
        for (int step = 0; step < pans; ++step) {
            view.panBy(QPointF(step % 2 ? 0 : 500, step % 2 ? 350 : 0));
            settledFrame(view, ratio);
            ASSERT_LE(view.baseTiles()->bytes(), BaseMapTiles::keptBytes);
        }

    }
    view.setCamera(start, 2);
    settledFrame(view, 1);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(liveHeapBytes() - view.baseTiles()->bytes() - before, qint64(8) << 20);
#endif
}

// Moved about, the map keeps several screens of tiles; once the user has
// left it, only those it showed last, which it shows again at once, and
// not the data it drew them from.
TEST(BaseMapTilesTest, AMapOffScreenKeepsOnlyTheTilesItShowedLastAndNotItsData)
{
    MapView view;
    view.resize(560, 400);
    view.show();
    view.setCamera(mapPointFor(45, 10), 4);
    for (int step = 0; step < 8; ++step) {
        view.panBy(QPointF(500, 0));
        settledFrame(view);
    }
    const qsizetype moved = view.baseTiles()->bytes();
    const QImage shown = settledFrame(view);

    view.hide();
    // A screenful: the tiles cut by its edges, at most a tile more each way.
    const qsizetype screenful = qsizetype(560 / 256 + 2) * (400 / 256 + 2) * 256 * 256 * 4;
    EXPECT_LE(view.baseTiles()->bytes(), screenful);
    EXPECT_LT(view.baseTiles()->bytes(), moved / 2);

    // Nothing holds the data the tiles were drawn from once they are done:
    // asked for now, it is read afresh and held by the asker alone.
    drain(-1);
    EXPECT_EQ(BaseMapData::shared().use_count(), 1);

    view.show();
    QImage back(view.size(), QImage::Format_ARGB32_Premultiplied);
    view.render(&back);
    EXPECT_FALSE(view.baseTiles()->hasPending()) << "a tile it showed had to be drawn again";
    EXPECT_EQ(back, shown);
    // Moved on, it draws new tiles from data read again.
    view.panBy(QPointF(500, 0));
    EXPECT_NE(settledFrame(view), shown);
}

// A map that goes while one of its tiles is being drawn returns at once: the
// drawing goes on without it and its tile is dropped.
TEST(BaseMapTilesTest, AMapGoingAwayWaitsForNoTileBeingDrawn)
{
    // Shared with the worker, which may still be drawing when the test ends.
    struct Gate {
        std::mutex lock;
        std::condition_variable changed;
        bool drawing = false;
        bool mayDraw = false;
        bool mapGone = false;
    };
    const auto gate = std::make_shared<Gate>();
    auto tiles = std::make_unique<BaseMapTiles>(
        [gate, renderer = std::make_shared<const BaseMapRenderer>(BaseMapData::shared())] {
            std::unique_lock held(gate->lock);
            gate->drawing = true;
            gate->changed.notify_all();
            gate->changed.wait(held, [&] { return gate->mayDraw; });
            return renderer;
        });
    EXPECT_EQ(tiles->tile({3, 4, 2, false}, 1), nullptr);
    {
        std::unique_lock held(gate->lock);
        ASSERT_TRUE(gate->changed.wait_for(held, 30s, [&] { return gate->drawing; }));
    }

    // Should the map wait for the drawing, the drawing is let go on only
    // after a minute, and the map is seen to have gone after it.
    bool goneWhileDrawing = false;
    std::thread letGo([&] {
        std::unique_lock held(gate->lock);
        goneWhileDrawing = gate->changed.wait_for(held, 60s, [&] { return gate->mapGone; });
        gate->mayDraw = true;
        gate->changed.notify_all();
    });
    tiles.reset();
    {
        const std::lock_guard held(gate->lock);
        gate->mapGone = true;
    }
    gate->changed.notify_all();
    letGo.join();
    EXPECT_TRUE(goneWhileDrawing);
}

// Far in, before a tile of the new zoom is drawn, no tile of the world view
// stretched a few hundred times stands in: one of its pixels, sea at the
// coast, covered the land north of Lisbon. The map shows a colour that is
// neither land nor sea until its own tiles come, names and all. A step in,
// the tiles just drawn stand in, twice their size.
TEST(BaseMapTilesTest, OnlyATileAFewZoomsOutStandsInForOneNotDrawnYet)
{
    MapView view;
    view.resize(800, 600);
    view.show();
    view.setCamera(mapPointFor(30, 0), 2);
    settledFrame(view);
    const BaseMapColors colors = BaseMapColors::forScheme(false);
    const MapPoint northOfLisbon = mapPointFor(38.85, -9.2);
    const auto pixelsOf = [](const QImage& frame, const std::function<bool(const QColor&)>& counted) {
        int count = 0;
        // Clear of the attribution and the zoom buttons.
        for (int y = 0; y < frame.height() - 80; y += 4) {
            for (int x = 0; x < frame.width(); x += 4) {
                count += counted(frame.pixelColor(x, y));
            }
        }
        return count;
    };
    const auto frameNow = [&] {
        QImage frame(view.size(), QImage::Format_ARGB32_Premultiplied);
        view.render(&frame);
        return frame;
    };

    view.setCamera(northOfLisbon, 11);
    const QImage far = frameNow();
    far.save(rendersFolder() + QStringLiteral("/basemap-lisbon-z11-first-frame.png"));
    EXPECT_EQ(pixelsOf(far, [&](const QColor& pixel) { return pixel != colors.pending; }), 0);
    const QImage settled = settledFrame(view);
    settled.save(rendersFolder() + QStringLiteral("/basemap-lisbon-z11.png"));
    EXPECT_GT(pixelsOf(settled, [&](const QColor& pixel) { return pixel == colors.land; }), 5000);
    EXPECT_GT(pixelsOf(settled, [&](const QColor& pixel) { return pixel == colors.label; }), 0)
        << "the tiles drawn first without names were not drawn again with them";

    view.setCamera(northOfLisbon, 12);
    EXPECT_EQ(pixelsOf(frameNow(), [&](const QColor& pixel) { return pixel == colors.pending; }), 0);
}

} // namespace
} // namespace pivra::test
