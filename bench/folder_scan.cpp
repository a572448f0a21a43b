// Folder scans of generated camera photos: the first scan (every file
// inspected and written) of 10,000 and of 100,000 photos, each beside
// `exiv2 -pa` reading the same files in 8 processes, the yardstick of what
// reading their metadata costs; the same for 100,000 photos as cameras and
// editors leave them; an unchanged rescan (nothing opened); the inspection
// alone, one file at a time and on every core; and an unchanged rescan of a
// source of 1,000,000 names, where what the scan holds per file outweighs its
// fixed costs (the SQLite page cache, the thread pools), to measure its speed
// and heap.
//
// Fixtures, made once and reused: small JPEGs (160 × 120) in folders of 500
// under /tmp/pivra-bench-scan-<count>, each with an Exif block of its own
// (date, camera, lens, GPS, Live Photo identifier); camera photos in folders
// of 500 under /tmp/pivra-bench-camera-<count>, hard links to 200 JPEGs of
// 4032 × 3024 that exiv2 gave an Exif block with an Apple maker note, IPTC
// places and an XMP packet as an editor writes it; and 1,000,000 names in
// 1,000 folders of /tmp/pivra-bench-rescan, each folder's names hard links to
// one such photo, so that the large source costs little disk. The first scan
// of a rescanned folder builds its catalog and is not timed; it reads one
// photo and stamps its metadata on every file (StampingInspector).
//
// Counters: files_per_s (wall clock), files, cpu_s (processor time of this
// process, or of the exiv2 processes) and cores (cpu_s over the wall clock);
// for rescans peak_heap_B_per_file: the most heap in use during the scan
// beyond what was in use right before it, per file (see HeapPeak.h for what
// counts).
#include "catalog/CatalogExecutor.h"
#include "catalog/scan/FolderScan.h"
#include "media/MediaLibraries.h"
#include "media/metadata/MetadataInspector.h"
#include "platform/runtime/Drain.h"
#include "support/files/ExifBlock.h"
#include "support/files/JpegMaker.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include "harness/HeapPeak.h"
#include "harness/MediaBenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace pivra;

constexpr int photosPerFolder = 500;

const QString largeFolder = QStringLiteral("/tmp/pivra-bench-rescan");
constexpr int largeCount = 1000000;
// Names per photo in the large source, well below ext4's 65,000 links a file.
constexpr int namesPerPhoto = 1000;

// Processes that read the same photos with exiv2, one per core of the
// machine the goal was set on.
constexpr int exiv2Processes = 8;

// Which photos a first scan reads: small generated ones, or camera photos
// with an XMP packet.
enum class Photos { generated, camera };

QString photoFolder(int count, Photos photos = Photos::generated)
{
    return QStringLiteral("/tmp/pivra-bench-%1-%2")
        .arg(photos == Photos::camera ? QStringLiteral("camera") : QStringLiteral("scan"))
        .arg(count);
}

QString photoPath(int count, int index, Photos photos = Photos::generated)
{
    return QStringLiteral("%1/%2/IMG_%3.JPG")
        .arg(photoFolder(count, photos))
        .arg(index / photosPerFolder, 3, 10, QLatin1Char('0'))
        .arg(index, 6, 10, QLatin1Char('0'));
}

QByteArray smallJpeg()
{
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(QColor(40, 110, 140));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return bytes;
}

QString largeSourcePath(int index)
{
    return QStringLiteral("%1/%2/IMG_%3.JPG")
        .arg(largeFolder)
        .arg(index / namesPerPhoto, 3, 10, QLatin1Char('0'))
        .arg(index, 6, 10, QLatin1Char('0'));
}

// What a phone writes of photo `index`: date, camera, lens, GPS, Live Photo identifier.
test::ExifFields phoneExif(int index)
{
    test::ExifFields fields;
    fields.dateTimeOriginal = QStringLiteral("2022:%1:%2 %3:15:30")
                                  .arg(index % 12 + 1, 2, 10, QLatin1Char('0'))
                                  .arg(index % 28 + 1, 2, 10, QLatin1Char('0'))
                                  .arg(index % 24, 2, 10, QLatin1Char('0'));
    fields.make = QStringLiteral("Apple");
    fields.model = QStringLiteral("iPhone 13 Pro");
    fields.lensModel = QStringLiteral("iPhone 13 Pro back triple camera 5.7mm f/1.5");
    fields.latitude = 41.0 + index / 10000.0;
    fields.longitude = 28.9 - index / 10000.0;
    fields.liveIdentifier = QStringLiteral("LIVE-%1").arg(index);
    return fields;
}

void writePhoto(const QByteArray& picture, int index, const QString& path)
{
    const QByteArray payload = QByteArray("Exif\0\0", 6) + test::exifBlock(phoneExif(index)).value_or(QByteArray());
    const int segmentLength = int(payload.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char(segmentLength >> 8)).append(char(segmentLength & 0xff)).append(payload);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(file.fileName()));
    }
    file.write(picture.first(2) + segment + picture.sliced(2));
}

void ensurePhotos(int count)
{
    const QString marker = photoFolder(count) + QStringLiteral("/.complete");
    if (QFile::exists(marker)) {
        return;
    }
    QDir(photoFolder(count)).removeRecursively();
    const QByteArray picture = smallJpeg();
    for (int index = 0; index < count; ++index) {
        if (index % photosPerFolder == 0) {
            QDir().mkpath(QFileInfo(photoPath(count, index)).path());
        }
        writePhoto(picture, index, photoPath(count, index));
    }
    QFile(marker).open(QIODevice::WriteOnly);
}

constexpr int cameraOriginals = 200;
const QString cameraOriginalsFolder = QStringLiteral("/tmp/pivra-bench-camera-originals");

// A photo as a phone takes it and an editor tags it: Exif with a maker note,
// IPTC places, and an XMP packet beside them.
void writeCameraPhoto(int index, const QString& path)
{
    test::ExifFields exif = phoneExif(index);
    exif.orientation = index % 4 == 0 ? 6 : 1;
    exif.dotsPerInch = 72;
    test::IptcFields iptc;
    iptc.city = QStringLiteral("Lyon");
    iptc.country = QStringLiteral("France");
    iptc.keywords = {QStringLiteral("river"), QStringLiteral("bridge")};
    const QList<std::pair<QString, QString>> xmp{
        {QStringLiteral("Xmp.xmp.CreatorTool"), QStringLiteral("Photo Editor 7.2")},
        {QStringLiteral("Xmp.xmp.Rating"), QString::number(index % 6)},
        {QStringLiteral("Xmp.xmp.CreateDate"), QStringLiteral("2022-06-01T09:15:30")},
        {QStringLiteral("Xmp.xmp.ModifyDate"), QStringLiteral("2022-06-02T18:40:00")},
        {QStringLiteral("Xmp.photoshop.DateCreated"), QStringLiteral("2022-06-01T09:15:30")},
        {QStringLiteral("Xmp.photoshop.City"), QStringLiteral("Lyon")},
        {QStringLiteral("Xmp.dc.description"), QStringLiteral("lang=\"x-default\" Along the Saône at dawn")},
        {QStringLiteral("Xmp.xmpMM.DocumentID"), QStringLiteral("xmp.did:%1").arg(index)},
        {QStringLiteral("Xmp.xmpMM.InstanceID"), QStringLiteral("xmp.iid:%1").arg(index)},
        {QStringLiteral("Xmp.exif.DateTimeOriginal"), QStringLiteral("2022-06-01T09:15:30")},
        {QStringLiteral("Xmp.tiff.Make"), QStringLiteral("Apple")},
        {QStringLiteral("Xmp.tiff.Model"), QStringLiteral("iPhone 13 Pro")},
    };
    const QColor color = QColor::fromHsv(index * 37 % 360, 140, 190);
    if (!test::makeJpeg(path, QSize(4032, 3024), exif, color) || !test::addIptc(path, iptc)
        || !test::addXmp(path, xmp)) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

void ensureCameraPhotos(int count)
{
    const QString marker = photoFolder(count, Photos::camera) + QStringLiteral("/.complete");
    if (QFile::exists(marker)) {
        return;
    }
    if (!QFile::exists(cameraOriginalsFolder + QStringLiteral("/.complete"))) {
        QDir(cameraOriginalsFolder).removeRecursively();
        QDir().mkpath(cameraOriginalsFolder);
        for (int index = 0; index < cameraOriginals; ++index) {
            writeCameraPhoto(index, cameraOriginalsFolder + QStringLiteral("/%1.jpg").arg(index));
        }
        QFile(cameraOriginalsFolder + QStringLiteral("/.complete")).open(QIODevice::WriteOnly);
    }
    QDir(photoFolder(count, Photos::camera)).removeRecursively();
    for (int index = 0; index < count; ++index) {
        const QString path = photoPath(count, index, Photos::camera);
        if (index % photosPerFolder == 0) {
            QDir().mkpath(QFileInfo(path).path());
        }
        const QString original = cameraOriginalsFolder + QStringLiteral("/%1.jpg").arg(index % cameraOriginals);
        if (link(QFile::encodeName(original).constData(), QFile::encodeName(path).constData()) != 0) {
            qFatal("cannot link %s", qPrintable(path));
        }
    }
    QFile(marker).open(QIODevice::WriteOnly);
}

void ensurePhotos(int count, Photos photos)
{
    if (photos == Photos::camera) {
        ensureCameraPhotos(count);
    } else {
        ensurePhotos(count);
    }
}

void ensureLargeFixture()
{
    const QString marker = largeFolder + QStringLiteral("/.complete-%1").arg(largeCount);
    if (QFile::exists(marker)) {
        return;
    }
    QDir(largeFolder).removeRecursively();
    const QByteArray picture = smallJpeg();
    for (int first = 0; first < largeCount; first += namesPerPhoto) {
        QDir().mkpath(QFileInfo(largeSourcePath(first)).path());
        writePhoto(picture, first, largeSourcePath(first));
        const QByteArray original = QFile::encodeName(largeSourcePath(first));
        for (int index = first + 1; index < first + namesPerPhoto; ++index) {
            if (link(original.constData(), QFile::encodeName(largeSourcePath(index)).constData()) != 0) {
                qFatal("cannot link %s", qPrintable(largeSourcePath(index)));
            }
        }
    }
    QFile(marker).open(QIODevice::WriteOnly);
}

struct ScanResult {
    int processed = 0;
    bool failed = false;
};

Task<> runScan(CatalogExecutor* catalog, std::shared_ptr<const MediaInspector> inspector, QUuid source, QString root,
               ScanResult* result)
{
    Task<ScanOutcome> scanning = scan(*catalog, std::move(inspector), source, std::move(root), SourceFolder{},
                                      ScanProgress([](int) {}), CancelToken());
    try {
        result->processed = (co_await std::move(scanning)).processed;
    } catch (...) {
        result->failed = true;
    }
}

// A folder of photos to scan.
struct Source {
    QString root;
    int files = 0;
};

double processorSeconds(int who)
{
    struct rusage usage {};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Wall-clock and processor time of one measured run, of this process or of
// the children it waited for (RUSAGE_SELF or RUSAGE_CHILDREN).
class RunClock {
public:
    explicit RunClock(int who) : who_(who), processorStart_(processorSeconds(who)) { timer_.start(); }

    void report(benchmark::State& state, int files) const
    {
        const double seconds = timer_.nsecsElapsed() / 1e9;
        const double processor = processorSeconds(who_) - processorStart_;
        state.SetIterationTime(seconds);
        state.counters["files"] = files;
        state.counters["files_per_s"] = files / seconds;
        state.counters["cpu_s"] = processor;
        state.counters["cores"] = processor / seconds;
    }

private:
    int who_;
    double processorStart_;
    QElapsedTimer timer_;
};

void scanOnce(CatalogExecutor& catalog, std::shared_ptr<const MediaInspector> inspector, const QUuid& source,
              const Source& folder, benchmark::State& state)
{
    QObject context;
    ScanResult result;
    startTask(&context, runScan(&catalog, std::move(inspector), source, folder.root, &result));
    drain(-1);
    if (result.failed || result.processed != folder.files) {
        state.SkipWithError("the scan did not index every photo");
    }
}

// Scans `folder` once, reporting its times and answering the most heap it held at once.
std::int64_t measuredScan(CatalogExecutor& catalog, const QUuid& source, const Source& folder,
                          benchmark::State& state)
{
    const std::int64_t heapBefore = bench::resetHeapPeak();
    const RunClock clock(RUSAGE_SELF);
    scanOnce(catalog, std::make_shared<MetadataInspector>(), source, folder, state);
    clock.report(state, folder.files);
    return bench::heapPeak() - heapBefore;
}

// Reads the first photo it is given for real and gives every other file the
// same metadata under its own name, date and size: the large source's names
// are links to a few photos, and reading each of a million names would time
// a first scan, not build the catalog a rescan finds.
class StampingInspector final : public MediaInspector {
public:
    std::optional<MediaKind> kind(const QString& path) const override { return real_.kind(path); }
    std::optional<MediaKind> kindOfExtension(std::string_view extension) const override
    {
        return real_.kindOfExtension(extension);
    }

    Inspection inspect(const QString& path, const QUuid& sourceID, const FileValues& values,
                       MediaKind kind) const override
    {
        std::call_once(first_, [&] { stamp_ = real_.inspect(path, sourceID, values, kind); });
        Inspection inspection = stamp_;
        inspection.item.setID(MediaItem::makeID(sourceID, path));
        inspection.item.setPath(path);
        inspection.item.setName(QFileInfo(path).fileName());
        inspection.item.setModifiedAt(values.contentModificationDate.value_or(distantPast));
        inspection.item.setFileSize(values.fileSize.value_or(0));
        return inspection;
    }

    std::optional<QString> livePhotoIdentifier(const QString& path, MediaKind kind) const override
    {
        return real_.livePhotoIdentifier(path, kind);
    }

private:
    MetadataInspector real_;
    mutable std::once_flag first_;
    mutable Inspection stamp_;
};

std::unique_ptr<CatalogExecutor> catalogIn(const QTemporaryDir& folder)
{
    return std::make_unique<CatalogExecutor>([path = folder.filePath(QStringLiteral("Catalog.sqlite"))] {
        return std::make_unique<MediaCatalog>(path);
    });
}

// Rescans of a folder that has not changed since its first scan.
void unchangedRescans(benchmark::State& state, const Source& folder)
{
    QTemporaryDir catalogFolder;
    const std::unique_ptr<CatalogExecutor> catalog = catalogIn(catalogFolder);
    const QUuid source = QUuid::createUuid();
    scanOnce(*catalog, std::make_shared<StampingInspector>(), source, folder, state);
    for (auto _ : state) {
        const std::int64_t peakHeap = measuredScan(*catalog, source, folder, state);
        state.counters["peak_heap_B_per_file"] = static_cast<double>(peakHeap) / folder.files;
    }
}

void BM_FirstScan(benchmark::State& state, Photos photos)
{
    const int count = static_cast<int>(state.range(0));
    ensurePhotos(count, photos);
    for (auto _ : state) {
        QTemporaryDir folder;
        measuredScan(*catalogIn(folder), QUuid::createUuid(), {photoFolder(count, photos), count}, state);
    }
}

// Runs `exiv2 -pa` over `paths`, a few thousand at a time, its output discarded.
void readWithExiv2(const std::vector<QByteArray>& paths)
{
    constexpr std::size_t filesPerRun = 2000;
    for (std::size_t first = 0; first < paths.size(); first += filesPerRun) {
        std::vector<char*> arguments{const_cast<char*>("exiv2"), const_cast<char*>("-pa")};
        for (std::size_t index = first; index < std::min(paths.size(), first + filesPerRun); ++index) {
            arguments.push_back(const_cast<char*>(paths[index].constData()));
        }
        arguments.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t child = 0;
        if (posix_spawnp(&child, "exiv2", &actions, nullptr, arguments.data(), environ) == 0) {
            int status = 0;
            waitpid(child, &status, 0);
        }
        posix_spawn_file_actions_destroy(&actions);
    }
}

// The same photos as BM_FirstScan read by exiv2 in 8 processes at a time.
void BM_Exiv2Processes(benchmark::State& state, Photos photos)
{
    const int count = static_cast<int>(state.range(0));
    ensurePhotos(count, photos);
    std::vector<std::vector<QByteArray>> shares(exiv2Processes);
    for (int index = 0; index < count; ++index) {
        shares[static_cast<std::size_t>(index * exiv2Processes / count)].push_back(
            QFile::encodeName(photoPath(count, index, photos)));
    }
    for (auto _ : state) {
        const RunClock clock(RUSAGE_CHILDREN);
        {
            std::vector<std::jthread> readers;
            for (const std::vector<QByteArray>& share : shares) {
                readers.emplace_back([&share] { readWithExiv2(share); });
            }
        }
        clock.report(state, count);
    }
}

void BM_UnchangedRescan(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    ensurePhotos(count);
    unchangedRescans(state, {photoFolder(count), count});
}

void BM_LargeUnchangedRescan(benchmark::State& state)
{
    ensureLargeFixture();
    unchangedRescans(state, {largeFolder, largeCount});
}

// Inspection alone over the same files, on `width` threads.
void BM_InspectionOnly(benchmark::State& state)
{
    constexpr int count = 10000;
    ensurePhotos(count);
    const int width = static_cast<int>(state.range(0));
    const MetadataInspector inspector;
    const QUuid source = QUuid::createUuid();
    for (auto _ : state) {
        std::atomic<int> next{0};
        const RunClock clock(RUSAGE_SELF);
        auto worker = [&] {
            for (int index = next++; index < count; index = next++) {
                const QString path = photoPath(count, index);
                FileValues values;
                values.fileSize = QFileInfo(path).size();
                benchmark::DoNotOptimize(inspector.inspect(path, source, values, MediaKind::image));
            }
        };
        std::vector<std::jthread> threads;
        for (int thread = 1; thread < width; ++thread) {
            threads.emplace_back(worker);
        }
        worker();
        threads.clear();
        clock.report(state, count);
    }
}

BENCHMARK_CAPTURE(BM_FirstScan, generated, Photos::generated)
    ->Arg(10000)->Arg(100000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Exiv2Processes, generated, Photos::generated)
    ->Arg(10000)->Arg(100000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FirstScan, camera_xmp, Photos::camera)
    ->Arg(100000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Exiv2Processes, camera_xmp, Photos::camera)
    ->Arg(100000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnchangedRescan)->Arg(10000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InspectionOnly)->Arg(1)->Arg(8)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeUnchangedRescan)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv);
}
