// What the program keeps resident while the library store brings a new
// folder up to date, and what it gives back once every pipeline is idle: a
// folder of 1,000 camera photos (4000 × 3000 JPEGs with Exif, a quarter with
// a GPS position) and 20 phone videos (4 seconds each, half 1080p H.264, half
// 4K HEVC, with sound and grain), indexed, thumbnailed, located and given
// their preview clips by the store itself, as after adding the folder.
//
// The fixtures are made once into /tmp/pivra-bench-store-memory and reused.
// Making them leaves heap behind that the measured run must not inherit, so a
// run that had to make them starts the program afresh before measuring.
//
// Counters (MB, from /proc/self/status):
//   start_rss_mb  resident before the store is made (Qt and the libraries)
//   peak_rss_mb   the most resident at any moment of the run (VmHWM)
//   idle_rss_mb   resident once every pipeline is idle and the heap trim the
//                 store starts then has run
//   heap_peak_mb, heap_idle_mb  bytes in live heap blocks, at the peak and
//                 at idle: the part of the resident figure that is data still
//                 held rather than freed memory the allocator kept
//   index_s, thumbnails_s, clips_s, locations_s  each pipeline's run, in
//                 seconds, from its process record
//
// idle_rss_mb stands for "a minute after the pipelines are idle": once they
// are, nothing in the process allocates or frees unless the user acts, and
// glibc returns nothing to the system by itself, so the figure after the trim
// is what the process holds a minute later (checked once by waiting 60 s:
// the figure moved by less than 1 MB).
#include "harness/HeapPeak.h"
#include "harness/MediaBenchmarkMain.h"
#include "harness/ResidentMemory.h"
#include "harness/StoreSources.h"

#include "catalog/MediaCatalog.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPosterFrames.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "store/LibraryStore.h"
#include "support/files/JpegMaker.h"
#include "support/system/SettingsSandbox.h"
#include "support/files/VideoMaker.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <vips/vips8>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

namespace {

using namespace pivra;
using namespace pivra::bench;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-store-memory");
constexpr int photoCount = 1'000;
constexpr int videoCount = 20;
// Distinct pictures the photos are copies of; each copy's Exif differs, and
// with it the file's content and media key.
constexpr int pictureCount = 10;
const QSize photoSize(4000, 3000);

QString photoPath(int serial)
{
    return QStringLiteral("%1/Photos/%2/IMG_%3.jpg")
        .arg(fixtureFolder)
        .arg(serial / 100, 2, 10, QLatin1Char('0'))
        .arg(serial, 4, 10, QLatin1Char('0'));
}

QString videoPath(int serial)
{
    return QStringLiteral("%1/Videos/VID_%2.mp4").arg(fixtureFolder).arg(serial, 2, 10, QLatin1Char('0'));
}

QString completeMark()
{
    return fixtureFolder + QStringLiteral("/complete");
}

// A picture with the detail of a photo and a camera file's size (4 MB at
// quality 90): soft shapes of every colour under a fine grain.
void makePicture(const QString& path, int seed)
{
    using vips::VImage;
    std::vector<VImage> bands;
    for (int band = 0; band < 3; ++band) {
        const VImage shapes = VImage::gaussnoise(40, 30, VImage::option()->set("sigma", 60.0)->set("mean", 128.0)
                                                             ->set("seed", seed * 3 + band))
                                  .resize(100, VImage::option()->set("kernel", VIPS_KERNEL_CUBIC));
        const VImage grain = VImage::gaussnoise(photoSize.width(), photoSize.height(),
                                                VImage::option()->set("sigma", 6.0)->set("mean", 0.0)->set("seed",
                                                                                                          seed + 99));
        bands.push_back((shapes + grain).cast(VIPS_FORMAT_UCHAR));
    }
    VImage::bandjoin(bands).jpegsave(QFile::encodeName(path).constData(), VImage::option()->set("Q", 90));
}

void makePhotos()
{
    for (int picture = 0; picture < pictureCount; ++picture) {
        makePicture(fixtureFolder + QStringLiteral("/picture-%1.jpg").arg(picture), picture);
    }
    for (int serial = 0; serial < photoCount; ++serial) {
        const QString path = photoPath(serial);
        QDir().mkpath(QFileInfo(path).path());
        test::ExifFields exif;
        exif.dateTimeOriginal = QStringLiteral("2022:%1:%2 10:%3:%4")
                                    .arg(serial / 100 + 1, 2, 10, QLatin1Char('0'))
                                    .arg(serial / 10 % 10 + 1, 2, 10, QLatin1Char('0'))
                                    .arg(serial / 60 % 60, 2, 10, QLatin1Char('0'))
                                    .arg(serial % 60, 2, 10, QLatin1Char('0'));
        exif.make = QStringLiteral("Canon");
        exif.model = QStringLiteral("Canon EOS R6");
        if (serial % 4 == 0) {
            exif.latitude = 41.0 + serial * 0.001;
            exif.longitude = 29.0 - serial * 0.001;
        }
        const QString picture = fixtureFolder + QStringLiteral("/picture-%1.jpg").arg(serial % pictureCount);
        if (!QFile::copy(picture, path) || !test::addExif(path, exif)) {
            qFatal("cannot make %s", qPrintable(path));
        }
    }
    for (int picture = 0; picture < pictureCount; ++picture) {
        QFile::remove(fixtureFolder + QStringLiteral("/picture-%1.jpg").arg(picture));
    }
}

void makeVideos()
{
    QDir().mkpath(fixtureFolder + QStringLiteral("/Videos"));
    for (int serial = 0; serial < videoCount; ++serial) {
        test::VideoFields fields;
        const bool large = serial % 2 == 1;
        fields.size = large ? QSize(3840, 2160) : QSize(1920, 1080);
        fields.codec = large ? test::VideoCodec::hevc : test::VideoCodec::h264;
        fields.frames = 100;
        fields.withAudio = true;
        fields.grain = true;
        fields.creationTime = QStringLiteral("2022-06-%1T12:00:00Z").arg(serial + 1, 2, 10, QLatin1Char('0'));
        if (!test::makeVideo(videoPath(serial), fields)) {
            qFatal("cannot make %s", qPrintable(videoPath(serial)));
        }
    }
}

// Makes the fixtures unless a complete set is there, then starts this program
// again with the same arguments, so that the run measured holds nothing of
// their making.
void makeFixtures(char** argv)
{
    if (QFileInfo::exists(completeMark())) {
        return;
    }
    QDir(fixtureFolder).removeRecursively();
    QDir().mkpath(fixtureFolder);
    makePhotos();
    makeVideos();
    QFile(completeMark()).open(QIODevice::WriteOnly);
    execv("/proc/self/exe", argv);
    qFatal("cannot start again");
}

// The counter of each pipeline's run time, in seconds.
const std::map<PivraProcess::Kind, std::string> runCounters{
    {PivraProcess::Kind::indexing, "index_s"},
    {PivraProcess::Kind::thumbnails, "thumbnails_s"},
    {PivraProcess::Kind::videoPreviews, "clips_s"},
    {PivraProcess::Kind::locations, "locations_s"},
};

double megabytes(std::int64_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Runs the event loop until indexing, thumbnails and preview clips have each
// ended a run and nothing is running, then until every job the runtime
// started (the idle heap trim among them) is done.
void waitUntilIdle(LibraryStore& store)
{
    const auto idle = [&store] {
        const ProcessMonitor& processes = store.processes();
        const auto ended = [&processes](PivraProcess::Kind kind) {
            return std::any_of(processes.finished().cbegin(), processes.finished().cend(),
                               [kind](const PivraProcess& process) { return process.kind == kind; });
        };
        return processes.running().isEmpty() && ended(PivraProcess::Kind::indexing)
            && ended(PivraProcess::Kind::thumbnails) && ended(PivraProcess::Kind::videoPreviews);
    };
    QEventLoop loop;
    const auto check = [&] {
        if (idle()) {
            loop.quit();
        }
    };
    QObject::connect(&store.processes(), &ProcessMonitor::runningChanged, &loop, check);
    QObject::connect(&store.processes(), &ProcessMonitor::finishedChanged, &loop, check);
    if (!idle()) {
        loop.exec();
    }
    drain(-1);
}

void BM_StoreMemoryThroughIndexingAndPreparation(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir run;
        const test::SettingsSandbox settings(run.path());
        const LibrarySource source = recordFolderSource(QStringLiteral("Camera"), fixtureFolder);

        bench::resetResidentPeak();
        resetHeapPeak();
        state.counters["start_rss_mb"] = bench::residentMegabytes("VmRSS:");
        const auto started = std::chrono::steady_clock::now();
        {
            ThumbnailStore thumbnails(ThumbnailLocations::under(run.filePath(QStringLiteral("data")),
                                                                run.filePath(QStringLiteral("cache"))),
                                      std::make_shared<ThumbnailRenderer>(std::make_shared<VideoPosterFrames>()));
            VideoPreviewStore previews(run.filePath(QStringLiteral("clips")));
            LibraryStore store(LibraryServices{
                .openCatalog = [path = run.filePath(QStringLiteral("Catalog.sqlite"))] {
                    return std::make_unique<MediaCatalog>(path);
                },
                .places = [](const QString&) -> std::optional<QStringList> { return std::nullopt; },
                .thumbnails = &thumbnails,
                .previews = &previews,
                .inspector = std::make_shared<MetadataInspector>(),
            });
            waitUntilIdle(store);
            state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            state.counters["peak_rss_mb"] = bench::residentMegabytes("VmHWM:");
            state.counters["idle_rss_mb"] = bench::residentMegabytes("VmRSS:");
            state.counters["heap_peak_mb"] = megabytes(heapPeak());
            state.counters["heap_idle_mb"] = megabytes(heapInUse());
            for (const PivraProcess& process : store.processes().finished()) {
                state.counters[runCounters.at(process.kind)] = process.finishedAt.value_or(0) - process.startedAt;
            }
            state.counters["thumbnails"] = store.thumbnailStatuses().value(source.id).ready;
            state.counters["clips"] = store.videoPreviewCompleted();
        }
    }
}
BENCHMARK(BM_StoreMemoryThroughIndexingAndPreparation)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    pivra::limitHeapRetention(); // as the program's main does
    return pivra::bench::runMediaBenchmarks(argc, argv, [argv] { makeFixtures(argv); });
}
