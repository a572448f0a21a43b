// The place grid's two hot paths over 50,000 generated located photos (about
// 3,300 places): cutting them into groups by place and time, and painting
// one viewport offscreen while the scroll position moves, reported as the
// median frame with its 95th percentile and the frames over 16 ms.

#include "harness/FrameTimes.h"
#include "harness/MediaBenchmarkMain.h"

#include "map/places/PlaceGrid.h"
#include "map/places/PlaceGroup.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/geocoder/ReverseGeocoder.h"
#include "store/places/PlaceNamer.h"
#include "support/fakes/GalleryItems.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>

#include <map>

namespace pivra {
namespace {

constexpr int photoCount = 50'000;
const QString thumbnailKey(64, u'b');

// Newest first: runs of one to thirty photos a few minutes apart at one
// place, then a jump to another place or a day further back.
const std::vector<MapPhoto>& generatedPhotos(int count = photoCount)
{
    static std::map<int, std::vector<MapPhoto>> made;
    std::vector<MapPhoto>& photos = made[count];
    if (photos.empty()) {
        std::vector<MapPhoto> list;
        list.reserve(std::size_t(count));
        QRandomGenerator random(7);
        const QUuid source = QUuid::createUuid();
        double date = 1.75e9;
        double latitude = 41;
        double longitude = 29;
        int left = 0;
        for (int i = 0; i < count; ++i) {
            if (left-- == 0) {
                left = int(random.bounded(30));
                latitude = -60 + random.bounded(120.0);
                longitude = -180 + random.bounded(360.0);
                date -= random.bounded(2) ? 86'400 : 600;
            }
            date -= 120;
            MediaItem item = test::galleryPhoto(source, i, QSize(4000, 3000), date);
            item.setThumbnailKey(thumbnailKey);
            list.emplace_back(item, latitude + random.bounded(0.01), longitude + random.bounded(0.01));
        }
        photos = std::move(list);
    }
    return photos;
}

void BM_GroupPhotos(benchmark::State& state)
{
    const auto& photos = generatedPhotos();
    std::size_t groups = 0;
    for (auto _ : state) {
        groups = PlaceGroup::make(photos, PlaceGrid::groupRadius, PlaceGrid::groupGap).size();
        benchmark::DoNotOptimize(groups);
    }
    state.counters["groups"] = double(groups);
}
BENCHMARK(BM_GroupPhotos)->Unit(benchmark::kMillisecond);

// Names nothing: the headers stay "Locating…", as they are before the names come.
struct SilentGeocoder : ReverseGeocoder {
    void reverseGeocode(double, double, QObject*, Completion) override {}
    std::chrono::milliseconds pauseBetweenLookups() const override { return std::chrono::milliseconds(0); }
};

void BM_PaintWhileScrolling(benchmark::State& state)
{
    QTemporaryDir folder;
    ThumbnailStore thumbnails{ThumbnailLocations::under(folder.filePath("data"), folder.filePath("cache")),
                              std::make_shared<ThumbnailRenderer>()};
    QImage thumbnail(420, 315, QImage::Format_RGB32);
    thumbnail.fill(Qt::darkCyan);
    thumbnails.memory().insert(thumbnailKey, thumbnail);
    PlaceNamer namer(std::make_unique<SilentGeocoder>(), {}, nullptr, folder.filePath("places.json"));
    PlaceGrid grid(namer, thumbnails);
    grid.resize(1400, 900);
    grid.setPhotos(generatedPhotos());
    grid.show();
    QImage frame(grid.viewport()->size(), QImage::Format_RGB32);
    QScrollBar* bar = grid.verticalScrollBar();
    std::vector<double> milliseconds;
    int position = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        position = (position + 53) % bar->maximum();
        bar->setValue(position);
        grid.viewport()->render(&frame);
        milliseconds.push_back(timer.nsecsElapsed() / 1e6);
    }
    state.counters["sections"] = double(grid.groups().size());
    bench::reportFrames(state, std::move(milliseconds));
}
BENCHMARK(BM_PaintWhileScrolling)->Iterations(2000)->Unit(benchmark::kMillisecond);

// A change of the store that leaves its located photos as published (a new
// gallery page, a count, a scan's progress) reaching the place grid with
// 100,000 photos: all of them, and a pin of several picked on the map.
void BM_UnchangedStoreSignal(benchmark::State& state)
{
    QTemporaryDir folder;
    ThumbnailStore thumbnails{ThumbnailLocations::under(folder.filePath("data"), folder.filePath("cache")),
                              std::make_shared<ThumbnailRenderer>()};
    PlaceNamer namer(std::make_unique<SilentGeocoder>(), {}, nullptr, folder.filePath("places.json"));
    PlaceGrid grid(namer, thumbnails);
    grid.resize(1400, 900);
    grid.show();
    const std::vector<MapPhoto>& located = generatedPhotos(100'000);
    if (state.range(0) == 1) {
        QSet<QString> ids;
        for (std::size_t i = 0; i < 500; ++i) {
            ids.insert(located[i * 7].id());
        }
        grid.setSelection(MapSelection{ids, located[0].latitude(), located[0].longitude(), 2000});
    }
    grid.showLocated(located, 1);
    for (auto _ : state) {
        grid.showLocated(located, 1);
    }
    state.counters["photos"] = double(grid.photos().size());
}
BENCHMARK(BM_UnchangedStoreSignal)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace pivra

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv);
}
