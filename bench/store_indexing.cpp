// The library store bringing a new folder of 5,000 photos up to date on its
// own, as at the first start after the folder was added: the wall time of the
// indexing run (walk, inspection, catalog writes) and of the thumbnail run
// that follows it (rendering and writing every grid thumbnail, recording the
// keys), each measured from the store's own process records.
#include "harness/CameraPhotos.h"
#include "harness/MediaBenchmarkMain.h"
#include "harness/StoreSources.h"

#include "catalog/MediaCatalog.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/runtime/Drain.h"
#include "store/LibraryStore.h"
#include "support/system/SettingsSandbox.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

using namespace pivra;

constexpr int photoCount = 5'000;

void makePhotos()
{
    bench::makeCameraPhotos(bench::cameraPhotoFolder(), photoCount, QSize(1024, 768));
}

void BM_StoreIndexesAndThumbnailsANewFolder(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir run;
        const test::SettingsSandbox settings(run.path());
        const LibrarySource source = bench::recordFolderSource(QStringLiteral("Photos"), bench::cameraPhotoFolder());
        ThumbnailStore thumbnails(bench::runThumbnailLocations(run), std::make_shared<ThumbnailRenderer>());

        const auto started = std::chrono::steady_clock::now();
        LibraryStore store(bench::folderStoreServices(run, thumbnails));
        bench::waitForRun(store, PivraProcess::Kind::indexing);
        const auto indexed = std::chrono::steady_clock::now();
        bench::waitForRun(store, PivraProcess::Kind::thumbnails);
        const auto thumbnailed = std::chrono::steady_clock::now();
        drain(-1);

        const auto seconds = [](auto duration) { return std::chrono::duration<double>(duration).count(); };
        state.SetIterationTime(seconds(thumbnailed - started));
        state.counters["index_s"] = seconds(indexed - started);
        state.counters["thumbnails_s"] = seconds(thumbnailed - indexed);
        state.counters["items"] = static_cast<double>(store.thumbnailStatuses().value(source.id).ready);
    }
}
BENCHMARK(BM_StoreIndexesAndThumbnailsANewFolder)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv, makePhotos);
}
