// The photo map's hot paths over 100,000 generated located photos: grouping
// them into pins for one view (the bare clustering, and the whole pass that
// also keeps the pins), drawing one base-map tile off the GUI thread, one
// frame of moving the map over tiles already drawn, the map pane's first
// paint from the moment it is made, and the map back after a rest until
// every tile it shows is drawn.

#include "harness/MediaBenchmarkMain.h"

#include "map/basemap/BaseMapData.h"
#include "map/basemap/BaseMapRenderer.h"
#include "map/basemap/BaseMapTiles.h"
#include "map/LibraryMap.h"
#include "map/view/MapView.h"
#include "map/photos/PhotoClustering.h"
#include "map/photos/PhotoMap.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "support/fakes/GalleryItems.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

namespace pivra {
namespace {

constexpr int photoCount = 100'000;
const QSize window(1200, 760);

// Newest first, in a few hundred places over the world, each spread over a
// city's size.
const std::vector<MapPhoto>& generatedPhotos()
{
    static const std::vector<MapPhoto> photos = [] {
        QRandomGenerator random(7);
        std::vector<std::pair<double, double>> places;
        for (int i = 0; i < 300; ++i) {
            places.emplace_back(random.bounded(120.0) - 55, random.bounded(360.0) - 180);
        }
        std::vector<MapPhoto> list;
        list.reserve(photoCount);
        const QUuid source = QUuid::createUuid();
        double date = 1.75e9;
        for (int i = 0; i < photoCount; ++i) {
            const auto& [latitude, longitude] = places[random.bounded(int(places.size()))];
            date -= 600;
            list.emplace_back(test::galleryPhoto(source, i, {4000, 3000}, date),
                              latitude + random.bounded(0.4) - 0.2, longitude + random.bounded(0.4) - 0.2);
        }
        return list;
    }();
    return photos;
}

// Never destroyed, like the program's own: it must go on the GUI thread,
// which is gone once main returns.
ThumbnailStore& thumbnails()
{
    static QTemporaryDir folder;
    static auto* store = new ThumbnailStore(ThumbnailLocations::under(folder.filePath(QStringLiteral("data")),
                                                                      folder.filePath(QStringLiteral("cache"))),
                                            std::make_shared<ThumbnailRenderer>());
    return *store;
}

// Draws the view until every tile it shows is there.
void settle(QWidget& widget, MapView& view)
{
    QImage frame(widget.size(), QImage::Format_ARGB32_Premultiplied);
    for (;;) {
        widget.render(&frame);
        if (!view.baseTiles()->hasPending()) {
            return;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// Range 0: the whole world in view; 1: a region of Europe.
MapRect viewFor(int which)
{
    MapCamera camera;
    camera.setViewport(window);
    camera.setZoom(which == 0 ? 0 : 5);
    camera.setCenter(mapPointFor(48, 10));
    return camera.visibleRect();
}

void BM_ClusterPhotos(benchmark::State& state)
{
    std::vector<MapPoint> points;
    std::vector<double> dates;
    for (const MapPhoto& photo : generatedPhotos()) {
        points.push_back(mapPointFor(photo.latitude(), photo.longitude()));
        dates.push_back(photo.item().captureDate());
    }
    const MapRect visible = viewFor(int(state.range(0)));
    const double cellSize = 70 * visible.width / window.width();
    std::size_t pins = 0;
    for (auto _ : state) {
        pins = clusterPhotos(points, dates, visible, cellSize).size();
        benchmark::DoNotOptimize(pins);
    }
    state.counters["pins"] = double(pins);
}
BENCHMARK(BM_ClusterPhotos)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One base-map tile drawn on a worker, at the zoom of the range; names are
// placed for the whole world once per zoom, before the timing.
void BM_BaseMapTile(benchmark::State& state)
{
    static const std::shared_ptr<const BaseMapData> data = BaseMapData::load(BaseMapData::defaultPath());
    const BaseMapRenderer renderer(data);
    const int zoom = int(state.range(0));
    const MapPoint europe = mapPointFor(48, 10);
    const double tileSize = mapWorldSize / double(1 << zoom);
    const TileKey key{zoom, int(europe.x / tileSize), int(europe.y / tileSize), false};
    renderer.render(key, 1);
    int column = 0;
    for (auto _ : state) {
        // A neighbour each time, so no two frames are the same tile.
        const QImage tile = renderer.render({zoom, key.x + column++ % 4, key.y, false}, 1);
        benchmark::DoNotOptimize(tile.constBits());
    }
}
BENCHMARK(BM_BaseMapTile)->Arg(2)->Arg(5)->Arg(8)->Arg(12)->Unit(benchmark::kMillisecond);

// The whole pass after a move: clustering, keeping pins and updating them.
void BM_ReclusterPass(benchmark::State& state)
{
    MapView view;
    view.resize(window);
    view.show();
    PhotoMap photos(view, thumbnails());
    photos.setPhotos(generatedPhotos());
    const MapRect visible = viewFor(int(state.range(0)));
    view.setCamera(visible.center(), state.range(0) == 0 ? 0 : 5);
    for (auto _ : state) {
        photos.recluster();
    }
    state.counters["pins"] = double(photos.pins().size());
}
BENCHMARK(BM_ReclusterPass)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Frames of a drag over Europe at zoom 5, every tile drawn beforehand.
void BM_PanFrame(benchmark::State& state)
{
    LibraryMap map(thumbnails());
    map.resize(window);
    map.show();
    map.setPhotos(generatedPhotos());
    MapView& view = *map.mapView();
    constexpr int steps = 60;
    constexpr double step = 8;
    // The drag goes west and back; its whole way is drawn once first.
    view.setCamera(mapPointFor(48, 10), 5);
    for (int i = 0; i < steps; ++i) {
        view.panBy({-step, 0});
        settle(map, view);
    }
    view.setCamera(mapPointFor(48, 10), 5);
    settle(map, view);
    QImage frame(window, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> milliseconds;
    int moved = 0;
    for (auto _ : state) {
        const double direction = (moved++ / steps) % 2 == 0 ? -step : step;
        QElapsedTimer timer;
        timer.start();
        view.panBy({direction, 0});
        map.render(&frame);
        milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    state.counters["median_ms"] = milliseconds[milliseconds.size() / 2];
    state.counters["p95_ms"] = milliseconds[milliseconds.size() * 95 / 100];
    state.counters["pins"] = double(map.photoMap()->pins().size());
}
BENCHMARK(BM_PanFrame)->Unit(benchmark::kMillisecond);

// A pan round the world at zoom 4, a screen at a time with every screen
// drawn in full, at the pixel ratio of the range: what the drawn tiles then
// hold against their budget, and the time the whole way took.
void BM_WorldPanCache(benchmark::State& state)
{
    const double ratio = double(state.range(0));
    MapView view;
    view.resize(window);
    view.show();
    QImage frame(window * ratio, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(ratio);
    const auto drawAll = [&] {
        for (view.render(&frame); view.baseTiles()->hasPending(); view.render(&frame)) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    };
    for (auto _ : state) {
        view.setCamera(mapPointFor(20, -170), 4);
        for (double travelled = 0; travelled < 256 * 16; travelled += window.width()) {
            view.panBy({-double(window.width()), 0});
            drawAll();
        }
    }
    state.counters["cache_MiB"] = double(view.baseTiles()->bytes()) / (1 << 20);
    state.counters["budget_MiB"] = double(BaseMapTiles::keptBytes) / (1 << 20);
}
BENCHMARK(BM_WorldPanCache)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

// From making the pane to its first frame with every photo placed: the
// photos taken, the map fitted, the pins formed and drawn over whatever of
// the base map is ready (tiles arrive later, off this thread).
void BM_FirstPaint(benchmark::State& state)
{
    QImage frame(window, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        LibraryMap map(thumbnails());
        map.resize(window);
        map.show();
        map.setPhotos(generatedPhotos());
        map.photoMap()->fitAll();
        map.render(&frame);
        state.PauseTiming();
        benchmark::DoNotOptimize(frame.bits());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstPaint)->Unit(benchmark::kMillisecond)->Iterations(10);

// The map left (so it lets go of its data and placed names) and shown again
// a screen further on at the zoom of the range: the time until its first
// frame shows land where there is land (every tile drawn, names or not), and
// until every tile also has its names.
void BM_BackAfterRest(benchmark::State& state)
{
    const int zoom = int(state.range(0));
    LibraryMap map(thumbnails());
    map.resize(window);
    map.show();
    MapView& view = *map.mapView();
    QImage frame(window, QImage::Format_ARGB32_Premultiplied);
    const auto drawnAll = [&](bool named) {
        for (;;) {
            map.render(&frame);
            if (named ? !view.baseTiles()->hasPending() : view.baseTiles()->everyShownTileDrawn()) {
                return;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    };
    MapPoint center = mapPointFor(48, 10);
    std::vector<double> drawn;
    std::vector<double> named;
    for (auto _ : state) {
        state.PauseTiming();
        view.setCamera(center, zoom);
        drawnAll(true);
        map.hide();
        QCoreApplication::processEvents();
        center.x += window.width() / view.camera().scale();
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        map.show();
        view.setCamera(center, zoom);
        drawnAll(false);
        drawn.push_back(double(timer.nsecsElapsed()) / 1e6);
        drawnAll(true);
        named.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(drawn.begin(), drawn.end());
    std::sort(named.begin(), named.end());
    state.counters["drawn_ms"] = drawn[drawn.size() / 2];
    state.counters["named_ms"] = named[named.size() / 2];
}
BENCHMARK(BM_BackAfterRest)->Arg(3)->Arg(6)->Arg(11)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
} // namespace pivra

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv, [] { pivra::generatedPhotos(); });
}
