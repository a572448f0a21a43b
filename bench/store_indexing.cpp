// The library store bringing a new folder of 5,000 photos up to date on its
// own, as at the first start after the folder was added: the wall time of the
// indexing run (walk, inspection, catalog writes) and of the thumbnail run
// that follows it (rendering and writing every grid thumbnail, recording the
// keys), each measured from the store's own process records.
#include "MediaBenchmarkMain.h"
#include "StoreSources.h"

#include "catalog/MediaCatalog.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/runtime/Drain.h"
#include "store/LibraryStore.h"
#include "support/JpegMaker.h"
#include "support/SettingsSandbox.h"

#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>

namespace {

using namespace pivra;

constexpr int photoCount = 5'000;

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString photoFolder()
{
    return folder().filePath(QStringLiteral("Photos"));
}

// Camera-like pictures with capture dates, 50 to a day folder.
void makePhotos()
{
    QDir().mkpath(photoFolder());
    for (int serial = 0; serial < photoCount; ++serial) {
        const QString day = photoFolder() + QStringLiteral("/%1").arg(serial / 50, 3, 10, QLatin1Char('0'));
        QDir().mkpath(day);
        test::ExifFields exif;
        exif.dateTimeOriginal = QStringLiteral("2021:%1:%2 10:%3:00")
                                    .arg(serial / 500 + 1, 2, 10, QLatin1Char('0'))
                                    .arg(serial / 50 % 10 + 1, 2, 10, QLatin1Char('0'))
                                    .arg(serial % 50, 2, 10, QLatin1Char('0'));
        const QColor color = QColor::fromHsv(serial * 37 % 360, 160, 200);
        test::makeJpeg(day + QStringLiteral("/IMG_%1.jpg").arg(serial, 4, 10, QLatin1Char('0')), QSize(1024, 768),
                       exif, color);
    }
}

// Runs the event loop until a run of `kind` has ended.
void waitForRun(LibraryStore& store, PivraProcess::Kind kind)
{
    const auto ended = [&store, kind] {
        const QList<PivraProcess>& finished = store.processes().finished();
        return std::any_of(finished.cbegin(), finished.cend(),
                           [kind](const PivraProcess& process) { return process.kind == kind; });
    };
    QEventLoop loop;
    QObject::connect(&store.processes(), &ProcessMonitor::finishedChanged, &loop, [&] {
        if (ended()) {
            loop.quit();
        }
    });
    if (!ended()) {
        loop.exec();
    }
}

void BM_StoreIndexesAndThumbnailsANewFolder(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir run;
        const test::SettingsSandbox settings(run.path());
        const LibrarySource source = bench::recordFolderSource(QStringLiteral("Photos"), photoFolder());
        ThumbnailStore thumbnails(ThumbnailLocations::under(run.filePath(QStringLiteral("data")),
                                                            run.filePath(QStringLiteral("cache"))),
                                  std::make_shared<ThumbnailRenderer>());

        const auto started = std::chrono::steady_clock::now();
        LibraryStore store(LibraryServices{
            .openCatalog = [path = run.filePath(QStringLiteral("Catalog.sqlite"))] {
                return std::make_unique<MediaCatalog>(path);
            },
            .places = [](const QString&) -> std::optional<QStringList> { return std::nullopt; },
            .thumbnails = &thumbnails,
            .inspector = std::make_shared<MetadataInspector>(),
        });
        waitForRun(store, PivraProcess::Kind::indexing);
        const auto indexed = std::chrono::steady_clock::now();
        waitForRun(store, PivraProcess::Kind::thumbnails);
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
