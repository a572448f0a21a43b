// The viewer over a library window, offscreen, on two 24-megapixel JPEGs
// (6000 × 4000, gradients with sensor-like noise, made once into
// /tmp/pivra-bench-viewer):
//   OpenCached     openViewer until the fitted photo is painted, its 3200-px
//                  preview already on disk (goal < 50 ms)
//   OpenUncached   the same with the preview rendered from the original
//                  (goal < 300 ms); vips_ms is `vipsthumbnail --size 3200`
//                  of the same file in the same run
//   PanAt3x        one pan step at 3× zoom and the paint that shows it
//                  (goal < 8 ms)
//   StepCached     a step to the neighbouring item, whose preview is cached,
//                  until it is painted (goal < 50 ms)
#include "harness/MediaBenchmarkMain.h"
#include "harness/NoisyPhoto.h"
#include "harness/StoreSources.h"

#include "app/window/LibraryWindow.h"
#include "catalog/MediaCatalog.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "store/LibraryStore.h"
#include "style/motion/Motion.h"
#include "support/system/SettingsSandbox.h"
#include "viewer/photo/MediaSurface.h"
#include "viewer/MediaViewer.h"
#include "viewer/photo/PhotoCanvas.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>


namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-viewer");

void makePhoto(const QString& path, double hue)
{
    if (QFileInfo::exists(path)) {
        return;
    }
    const QString part = path + QStringLiteral(".part");
    bench::writeNoisyPhoto(part, 6000, 4000, hue);
    QFile::rename(part, path);
}

// One library window on the two photos, made for the whole run.
struct Library {
    QTemporaryDir run;
    test::SettingsSandbox settings{run.path()};
    ThumbnailStore thumbnails{bench::runThumbnailLocations(run), std::make_shared<ThumbnailRenderer>()};
    VideoPreviewStore clips{run.filePath(QStringLiteral("clips"))};
    std::unique_ptr<LibraryStore> store;
    std::unique_ptr<LibraryWindow> window;

    Library()
    {
        bench::recordFolderSource(QStringLiteral("Photos"), fixtureFolder);
        store = std::make_unique<LibraryStore>(bench::folderStoreServices(run, thumbnails));
        bench::waitForRun(*store, PivraProcess::Kind::indexing);
        bench::waitForRun(*store, PivraProcess::Kind::thumbnails);
        drain(-1);
        window = std::make_unique<LibraryWindow>(*store, thumbnails, clips);
        window->resize(1280, 800);
        window->show();
        drain(-1);
    }

    const MediaItem& item(int index) const { return store->items()->at(std::size_t(index)); }
    QString previewFile(int index) const
    {
        return thumbnails.locations().viewerPreviewFile(item(index), PhotoCanvas::previewPixels);
    }

    // Until the viewer of `id` has its still and has painted it.
    MediaViewer& waitForPaintedViewer(const QString& id) const
    {
        for (;;) {
            MediaViewer* viewer = window->viewer();
            if (viewer && viewer->item().id() == id && viewer->photoCanvas()->isLoaded()) {
                viewer->mediaSurface()->repaint();
                return *viewer;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }

    double openAndPaint(int index) const
    {
        QElapsedTimer timer;
        timer.start();
        store->openViewer(item(index));
        waitForPaintedViewer(item(index).id());
        return timer.nsecsElapsed() / 1e9;
    }

    void close() const
    {
        store->closeViewer();
        drain(-1);
    }
};

// Made by the first benchmark that needs it, and torn down before the
// application.
std::unique_ptr<Library>& sharedLibrary()
{
    static std::unique_ptr<Library> shared;
    return shared;
}

Library& library()
{
    std::unique_ptr<Library>& shared = sharedLibrary();
    if (!shared) {
        shared = std::make_unique<Library>();
    }
    return *shared;
}

void BM_OpenCached(benchmark::State& state)
{
    Library& lib = library();
    lib.openAndPaint(0); // the preview is on disk from here on
    lib.close();
    for (auto _ : state) {
        state.SetIterationTime(lib.openAndPaint(0));
        lib.close();
    }
}

void BM_OpenUncached(benchmark::State& state)
{
    Library& lib = library();
    QTemporaryDir out;
    double vipsSeconds = 0;
    for (auto _ : state) {
        QFile::remove(lib.previewFile(1));
        state.SetIterationTime(lib.openAndPaint(1));
        lib.close();

        QElapsedTimer timer;
        timer.start();
        QProcess::execute(QStringLiteral("vipsthumbnail"),
                          {lib.item(1).path(), QStringLiteral("--size"), QStringLiteral("3200"), QStringLiteral("-o"),
                           out.filePath(QStringLiteral("%s.jpg"))});
        vipsSeconds += timer.nsecsElapsed() / 1e9;
    }
    state.counters["vips_ms"] = vipsSeconds * 1000 / double(state.iterations());
}

void BM_PanAt3x(benchmark::State& state)
{
    Library& lib = library();
    lib.openAndPaint(0);
    MediaViewer& viewer = *lib.window->viewer();
    viewer.zoomTo(3, false);
    while (viewer.mediaSurface()->isMoving()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    viewer.mediaSurface()->repaint();
    double direction = 1;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        viewer.panned({6 * direction, 4 * direction});
        viewer.mediaSurface()->repaint();
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        direction = -direction;
    }
    lib.close();
}

void BM_StepCached(benchmark::State& state)
{
    Library& lib = library();
    for (const int index : {0, 1}) {
        lib.openAndPaint(index);
        lib.close();
    }
    lib.openAndPaint(0);
    int shown = 0;
    for (auto _ : state) {
        const int next = 1 - shown;
        QElapsedTimer timer;
        timer.start();
        lib.store->navigateViewer(next > shown ? 1 : -1);
        lib.waitForPaintedViewer(lib.item(next).id());
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        shown = next;
    }
    lib.close();
}

BENCHMARK(BM_OpenCached)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_OpenUncached)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_PanAt3x)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_StepCached)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    return bench::runMediaBenchmarks(argc, argv, [] {
        Motion::shared().setOverride(true); // measure the work, not the fades
        QDir().mkpath(fixtureFolder);
        makePhoto(fixtureFolder + QStringLiteral("/photo-a.jpg"), 30);
        makePhoto(fixtureFolder + QStringLiteral("/photo-b.jpg"), 160);
    }, [] {
        sharedLibrary().reset();
        drain(-1);
    });
}
