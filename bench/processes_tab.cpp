// The Processes tab on screen while the library store indexes a new folder
// of 5,000 photos and prepares their thumbnails: the GUI time the tab spends
// on each publication of the process monitor. `update_ms` is the tab's own
// work on the change (rows found by id, texts set in place); `paint_ms`
// adds the repaint it caused, flushed at once instead of on the next turn of
// the event loop (with whatever else was waiting to be painted). Medians,
// 95th percentiles and maxima over every publication of the run.
#include "harness/CameraPhotos.h"
#include "harness/MediaBenchmarkMain.h"
#include "harness/StoreSources.h"

#include "catalog/MediaCatalog.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "settings/PivraPreferences.h"
#include "store/LibraryStore.h"
#include "support/system/SettingsSandbox.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace {

using namespace pivra;

constexpr int photoCount = 5'000;

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

void BM_ProcessesTabDuringIndexingAndThumbnails(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir run;
        const test::SettingsSandbox settings(run.path());
        bench::recordFolderSource(QStringLiteral("Photos"), bench::cameraPhotoFolder());
        ThumbnailStore thumbnails(ThumbnailLocations::under(run.filePath(QStringLiteral("data")),
                                                            run.filePath(QStringLiteral("cache"))),
                                  std::make_shared<ThumbnailRenderer>());
        VideoPreviewStore clips(run.filePath(QStringLiteral("clips")));
        LibraryStore store(LibraryServices{
            .openCatalog = [path = run.filePath(QStringLiteral("Catalog.sqlite"))] {
                return std::make_unique<MediaCatalog>(path);
            },
            .places = [](const QString&) -> std::optional<QStringList> { return std::nullopt; },
            .thumbnails = &thumbnails,
            .previews = &clips,
            .inspector = std::make_shared<MetadataInspector>(),
        });

        // Connected around the tab's own slots, which run between them.
        QElapsedTimer clock;
        std::vector<double> update;
        std::vector<double> paint;
        const auto started = [&clock] { clock.start(); };
        for (const auto changed : {&ProcessMonitor::runningChanged, &ProcessMonitor::finishedChanged}) {
            QObject::connect(&store.processes(), changed, &store, started);
        }
        PreferencesServices services;
        services.storage = {thumbnails.assetDirectory(), clips.directory()};
        PreferencesRouter router;
        PivraPreferences sheet(PreferencesRouter::Pane::processes, store, services, router);
        sheet.show();
        const auto ended = [&] {
            update.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            QCoreApplication::sendPostedEvents(&sheet, QEvent::UpdateRequest);
            paint.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        };
        for (const auto changed : {&ProcessMonitor::runningChanged, &ProcessMonitor::finishedChanged}) {
            QObject::connect(&store.processes(), changed, &store, ended);
        }

        bench::waitForRun(store, PivraProcess::Kind::indexing);
        bench::waitForRun(store, PivraProcess::Kind::thumbnails);
        drain(-1);

        state.counters["publications"] = static_cast<double>(update.size());
        state.counters["update_ms_median"] = percentile(update, 0.5);
        state.counters["update_ms_p95"] = percentile(update, 0.95);
        state.counters["update_ms_max"] = percentile(update, 1);
        state.counters["paint_ms_median"] = percentile(paint, 0.5);
        state.counters["paint_ms_p95"] = percentile(paint, 0.95);
        state.counters["paint_ms_max"] = percentile(paint, 1);
    }
}
BENCHMARK(BM_ProcessesTabDuringIndexingAndThumbnails)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv, [] {
        bench::makeCameraPhotos(bench::cameraPhotoFolder(), photoCount, QSize(1024, 768));
    });
}
