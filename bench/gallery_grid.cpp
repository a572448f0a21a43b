// The gallery's two hot paths over 100,000 generated items: laying out the
// rows (at three widths, and the reload work around it: aspects and month
// markers), and painting one viewport of the grid offscreen while the scroll
// position moves, reported as the median frame with its 95th percentile and
// the frames over 16 ms. Also the longest pass of the GUI thread while a
// million items arrive, whose rows are laid out on the pool.

#include "harness/FrameTimes.h"
#include "harness/MediaBenchmarkMain.h"

#include "style/motion/Motion.h"
#include "gallery/GalleryGrid.h"
#include "gallery/GalleryMonths.h"
#include "gallery/preview/RotatablePreviewView.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/fakes/GalleryItems.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>

namespace pivra {
namespace {

constexpr int itemCount = 100'000;
const QString thumbnailKey(64, u'a');

// Newest first; most months hold a few hundred items, one holds 70,000 (a
// phone's whole roll imported with one date).
const std::vector<MediaItem>& generatedItems()
{
    static const std::vector<MediaItem> items = [] {
        std::vector<MediaItem> list;
        list.reserve(itemCount);
        QRandomGenerator random(11);
        const QUuid source = QUuid::createUuid();
        double date = 1.75e9;
        for (int i = 0; i < itemCount; ++i) {
            const bool portrait = random.bounded(3) == 0;
            date -= (i >= 10'000 && i < 80'000) ? 0.01 : 20'000;
            MediaItem item = test::galleryPhoto(
                source, i, portrait ? QSize(3000, 4000) : QSize(4000 + random.bounded(4000), 3000), date);
            item.setThumbnailKey(thumbnailKey);
            list.push_back(item);
        }
        return list;
    }();
    return items;
}

void BM_LayoutRows(benchmark::State& state)
{
    const auto& items = generatedItems();
    JustifiedGalleryLayout layout;
    layout.setMonths(monthMarkers(items));
    const std::vector<double> aspects = itemAspects(items);
    for (auto _ : state) {
        layout.setAspects(aspects); // a new revision: the rows are computed again
        layout.prepare(double(state.range(0)), 800);
        benchmark::DoNotOptimize(layout.rowCount());
    }
    state.counters["rows"] = layout.rowCount();
}
BENCHMARK(BM_LayoutRows)->Arg(800)->Arg(1200)->Arg(2400)->Unit(benchmark::kMillisecond);

// What a reload adds to the rows: the aspects and the month markers.
void BM_ReloadGeometry(benchmark::State& state)
{
    const auto& items = generatedItems();
    for (auto _ : state) {
        JustifiedGalleryLayout layout;
        layout.setAspects(itemAspects(items));
        layout.setMonths(monthMarkers(items));
        layout.prepare(1200, 800);
        benchmark::DoNotOptimize(layout.rowCount());
    }
}
BENCHMARK(BM_ReloadGeometry)->Unit(benchmark::kMillisecond);

void BM_MillionItemsArrive(benchmark::State& state)
{
    auto items = std::make_shared<std::vector<MediaItem>>();
    for (int copy = 0; copy < 10; ++copy) {
        items->insert(items->end(), generatedItems().begin(), generatedItems().end());
    }
    const MediaItems million(std::move(items));
    QTemporaryDir folder;
    ThumbnailStore thumbnails{ThumbnailLocations::under(folder.filePath("data"), folder.filePath("cache")),
                              std::make_shared<ThumbnailRenderer>()};
    VideoPreviewStore clips{folder.filePath("clips")};
    GalleryGrid grid{thumbnails, clips};
    grid.resize(1400, 900);
    grid.show();
    int version = 0;
    double longestMs = 0;
    double longestBusyMs = 0;
    for (auto _ : state) {
        grid.setItems(std::make_shared<const std::vector<MediaItem>>(), ++version);
        const test::EventLoopWatch watch;
        grid.setItems(million, ++version);
        while (grid.items() != million) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        for (const int shown = watch.ticks(); watch.ticks() < shown + 2;) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        longestMs = std::max(longestMs, watch.longestMs());
        longestBusyMs = std::max(longestBusyMs, watch.longestBusyMs());
    }
    state.counters["longest_pass_less_waits_ms"] = longestMs;
    state.counters["longest_busy_pass_ms"] = longestBusyMs;
}
BENCHMARK(BM_MillionItemsArrive)->Iterations(5)->Unit(benchmark::kMillisecond);

// A grid of the generated items, every thumbnail in memory.
struct PaintedGrid {
    QTemporaryDir folder;
    ThumbnailStore thumbnails{ThumbnailLocations::under(folder.filePath("data"), folder.filePath("cache")),
                              std::make_shared<ThumbnailRenderer>()};
    VideoPreviewStore clips{folder.filePath("clips")};
    GalleryGrid grid{thumbnails, clips};
    QImage frame;

    explicit PaintedGrid(QSize size = QSize(1400, 900))
    {
        QImage thumbnail(420, 315, QImage::Format_RGB888); // as the store decodes them
        thumbnail.fill(Qt::darkCyan);
        thumbnails.memory().insert(thumbnailKey, thumbnail);
        grid.resize(size);
        grid.setItems(std::make_shared<const std::vector<MediaItem>>(generatedItems()), 1);
        grid.show();
        // The list's shape is worked out on the pool; the rows come after it.
        while (grid.verticalScrollBar()->maximum() == 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        frame = QImage(grid.viewport()->size(), QImage::Format_RGB32);
    }

    double paint()
    {
        QElapsedTimer timer;
        timer.start();
        grid.viewport()->render(&frame);
        return timer.nsecsElapsed() / 1e6;
    }
};

void BM_PaintWhileScrolling(benchmark::State& state)
{
    PaintedGrid painted;
    QScrollBar* bar = painted.grid.verticalScrollBar();
    std::vector<double> milliseconds;
    int position = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        position = (position + 53) % bar->maximum();
        bar->setValue(position);
        painted.paint();
        milliseconds.push_back(timer.nsecsElapsed() / 1e6);
    }
    bench::reportFrames(state, std::move(milliseconds));
}
BENCHMARK(BM_PaintWhileScrolling)->Iterations(2000)->Unit(benchmark::kMillisecond);

// The frames of animated row-height changes between the two smallest
// densities on a large screen (about a hundred tiles in view), painted as
// fast as they can be while each animation runs, and then those that follow
// until every tile is rescaled for its new size.
void BM_PaintRowHeightChange(benchmark::State& state)
{
    PaintedGrid painted(QSize(1920, 1080));
    GalleryGrid& grid = painted.grid;
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum() / 3);
    const auto inView = [&grid] {
        return grid.layout().tilesIn(
            QRectF(QPointF(0, grid.verticalScrollBar()->value()), QSizeF(grid.viewport()->size())));
    };
    // How many times the tiles in view were rescaled so far.
    const auto rescales = [&grid, &inView] {
        int count = 0;
        for (const TileFrame& tile : inView()) {
            const RotatablePreviewView* preview = grid.preview(tile.index);
            count += preview ? preview->rescaleCount() : 0;
        }
        return count;
    };
    Motion::shared().setOverride(false);
    std::vector<double> milliseconds;
    double tiles = 0;
    bool taller = false;
    for (auto _ : state) {
        taller = !taller;
        tiles = std::max(tiles, double(inView().size()));
        grid.setRowHeight(taller ? 140 : 110);
        while (grid.isAnimatingRowHeight()) {
            QCoreApplication::processEvents();
            milliseconds.push_back(painted.paint());
        }
        for (int before = -1; before != rescales();) {
            before = rescales();
            QCoreApplication::processEvents();
            milliseconds.push_back(painted.paint());
        }
    }
    Motion::shared().setOverride(true);
    state.counters["tiles"] = tiles;
    bench::reportFrames(state, std::move(milliseconds));
}
BENCHMARK(BM_PaintRowHeightChange)->Iterations(6)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pivra

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv, [] { pivra::Motion::shared().setOverride(true); });
}
