// What the library window keeps resident once the user has browsed a large
// gallery and left it alone: 2,000 photos (1600 × 1200 and 1200 × 1600 JPEGs
// over 24 months, made once into /tmp/pivra-bench-gallery-memory), indexed
// and thumbnailed by the store, then shown in a 1280 × 800 window whose grid
// is scrolled from the top to the bottom a view at a time, each view waited
// on until every tile in it has its thumbnail.
//
// Counters (MB, from /proc/self/status and mallinfo2):
//   browsed_rss_mb  resident right after the last view is shown
//   idle_rss_mb     resident once the window has gone idle and given back
//                   what it gives back then
//   idle_heap_mb    bytes in live heap blocks at idle (all arenas and
//                   mapped blocks): the data still held, apart from freed
//                   memory the allocator kept
//   cached_mb       decoded thumbnails the store still keeps in memory
#include "harness/HeapPeak.h"
#include "harness/MediaBenchmarkMain.h"
#include "harness/ResidentMemory.h"
#include "harness/StoreSources.h"

#include "app/content/ContentColumn.h"
#include "app/window/LibraryWindow.h"
#include "gallery/GalleryGrid.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "platform/runtime/threads/Pool.h"
#include "store/LibraryStore.h"
#include "support/files/JpegMaker.h"
#include "support/system/SettingsSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-gallery-memory");
constexpr int photoCount = 2000;

void makeFixtures()
{
    QDir().mkpath(fixtureFolder);
    for (int index = 0; index < photoCount; ++index) {
        const QString path = fixtureFolder + QStringLiteral("/photo-%1.jpg").arg(index, 4, 10, QLatin1Char('0'));
        if (QFileInfo::exists(path)) {
            continue;
        }
        test::ExifFields exif;
        exif.dateTimeOriginal =
            QStringLiteral("2024:%1:%2 12:00:00").arg(index % 12 + 1, 2, 10, QLatin1Char('0')).arg(index % 28 + 1, 2, 10, QLatin1Char('0'));
        const QSize size = index % 3 == 0 ? QSize(1200, 1600) : QSize(1600, 1200);
        if (!test::makeJpeg(path, size, exif, QColor::fromHsv(index * 37 % 360, 160, 200))) {
            qFatal("cannot make %s", qPrintable(path));
        }
    }
}

// True once every tile inside the grid's view shows its thumbnail.
bool viewShown(const GalleryGrid& grid)
{
    const QRectF view = grid.viewport()->rect();
    for (int index = 0; index < int(grid.items()->size()); ++index) {
        const std::optional<QRectF> tile = grid.tileRect(index);
        if (tile && tile->intersects(view)) {
            const RotatablePreviewView* preview = grid.preview(index);
            if (!preview || preview->image().isNull()) {
                return false;
            }
        }
    }
    return true;
}

void BM_IdleAfterBrowsing(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir run;
        test::SettingsSandbox settings{run.path()};
        ThumbnailStore thumbnails{bench::runThumbnailLocations(run), std::make_shared<ThumbnailRenderer>()};
        VideoPreviewStore clips{run.filePath(QStringLiteral("clips"))};
        bench::recordFolderSource(QStringLiteral("Photos"), fixtureFolder);
        LibraryStore store(bench::folderStoreServices(run, thumbnails));
        bench::waitForRun(store, PivraProcess::Kind::indexing);
        bench::waitForRun(store, PivraProcess::Kind::thumbnails);
        drain(-1);
        // The preparation's own memory is given back as the program does once
        // its pipelines rest; what follows is the browsing alone.
        trimHeap();

        LibraryWindow window(store, thumbnails, clips);
        window.resize(1280, 800);
        window.show();
        drain(-1);
        GalleryGrid& grid = *window.content()->grid();
        QScrollBar& bar = *grid.verticalScrollBar();
        for (int position = 0;; position = std::min(position + grid.viewport()->height(), bar.maximum())) {
            bar.setValue(position);
            if (!QTest::qWaitFor([&] { return viewShown(grid); }, 30000)) {
                state.SkipWithError("a view's thumbnails never came");
                return;
            }
            if (position == bar.maximum()) {
                break;
            }
        }
        state.counters["browsed_rss_mb"] = bench::residentMegabytes("VmRSS:");

        // The grid rests once its view has held still a while, and the heap
        // trim it starts then runs on the pool.
        if (!QTest::qWaitFor([&] { return thumbnails.memory().totalCost() <= ThumbnailStoreLimits().restingMemoryCost; },
                             30000)) {
            state.SkipWithError("the grid never rested");
            return;
        }
        threadPool(PoolPriority::utility)->waitForDone();
        state.counters["idle_rss_mb"] = bench::residentMegabytes("VmRSS:");
        state.counters["idle_heap_mb"] = double(bench::heapInUse()) / (1024 * 1024);
        state.counters["cached_mb"] = double(thumbnails.memory().totalCost()) / (1024 * 1024);
    }
}
BENCHMARK(BM_IdleAfterBrowsing)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    // As the program's main sets it up.
    limitHeapRetention();
    return bench::runMediaBenchmarks(argc, argv, makeFixtures);
}
