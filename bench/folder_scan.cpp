// Folder scans of 10,000 photos: the first scan (every file inspected and
// written), an unchanged rescan (nothing opened, every row stamped), and the
// inspection alone for comparison, one file at a time and as many at a time
// as the scan reads in parallel. Then an unchanged rescan of a large source,
// where what the scan holds per file outweighs its fixed costs (the SQLite
// page cache, the thread pools), to measure its heap.
//
// Fixtures, made once and reused: 10,000 small JPEGs (160 × 120) in 20
// folders of /tmp/pivra-bench-scan, each with an Exif block of its own (date,
// camera, lens, GPS, Live Photo identifier); and 200,000 names in 200 folders
// of /tmp/pivra-bench-rescan, each folder's names hard links to one such
// photo, so that the large source costs little disk. Its first scan, which
// builds the catalog, is not timed.
//
// Counters: files_per_s (wall clock), files, and for rescans
// peak_heap_B_per_file: the most heap in use during the scan beyond what was
// in use right before it, per file (see HeapPeak.h for what counts).
#include "catalog/CatalogExecutor.h"
#include "catalog/scan/FolderScan.h"
#include "media/MediaLibraries.h"
#include "media/metadata/MetadataInspector.h"
#include "platform/runtime/Drain.h"
#include "support/ExifBlock.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include "HeapPeak.h"
#include "MediaBenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include <unistd.h>

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-scan");
constexpr int photoCount = 10000;
constexpr int folderCount = 20;

const QString largeFolder = QStringLiteral("/tmp/pivra-bench-rescan");
constexpr int largeCount = 200000;
// Names per photo in the large source, well below ext4's 65,000 links a file.
constexpr int namesPerPhoto = 1000;

QString photoPath(int index)
{
    return QStringLiteral("%1/%2/IMG_%3.JPG")
        .arg(fixtureFolder)
        .arg(index % folderCount, 2, 10, QLatin1Char('0'))
        .arg(index, 5, 10, QLatin1Char('0'));
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

void writePhoto(const QByteArray& picture, int index, const QString& path)
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
    const QByteArray payload = QByteArray("Exif\0\0", 6) + test::exifBlock(fields).value_or(QByteArray());
    const int segmentLength = int(payload.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char(segmentLength >> 8)).append(char(segmentLength & 0xff)).append(payload);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(file.fileName()));
    }
    file.write(picture.first(2) + segment + picture.sliced(2));
}

void ensureFixtures()
{
    const QString marker = fixtureFolder + QStringLiteral("/.complete-%1").arg(photoCount);
    if (QFile::exists(marker)) {
        return;
    }
    QDir(fixtureFolder).removeRecursively();
    for (int folder = 0; folder < folderCount; ++folder) {
        QDir().mkpath(QStringLiteral("%1/%2").arg(fixtureFolder).arg(folder, 2, 10, QLatin1Char('0')));
    }
    const QByteArray picture = smallJpeg();
    for (int index = 0; index < photoCount; ++index) {
        writePhoto(picture, index, photoPath(index));
    }
    QFile(marker).open(QIODevice::WriteOnly);
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
    Task<ScanOutcome> scanning = scan(*catalog, std::move(inspector), source, std::move(root), std::nullopt,
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

// What one scan took: wall-clock time, and the most heap it held at once.
struct ScanCost {
    double seconds = 0;
    std::int64_t peakHeap = 0;
};

ScanCost measuredScan(CatalogExecutor& catalog, const QUuid& source, const Source& folder, benchmark::State& state)
{
    QObject context;
    ScanResult result;
    auto inspector = std::make_shared<MetadataInspector>();
    const std::int64_t heapBefore = bench::resetHeapPeak();
    QElapsedTimer timer;
    timer.start();
    startTask(&context, runScan(&catalog, std::move(inspector), source, folder.root, &result));
    drain(-1);
    const ScanCost cost{timer.nsecsElapsed() / 1e9, bench::heapPeak() - heapBefore};
    if (result.failed || result.processed != folder.files) {
        state.SkipWithError("the scan did not index every photo");
    }
    return cost;
}

void report(benchmark::State& state, double seconds, int files)
{
    state.SetIterationTime(seconds);
    state.counters["files"] = files;
    state.counters["files_per_s"] = files / seconds;
}

// Rescans of a folder that has not changed since its first scan.
void unchangedRescans(benchmark::State& state, const Source& folder)
{
    QTemporaryDir catalogFolder;
    CatalogExecutor catalog([path = catalogFolder.filePath(QStringLiteral("Catalog.sqlite"))] {
        return std::make_unique<MediaCatalog>(path);
    });
    const QUuid source = QUuid::createUuid();
    measuredScan(catalog, source, folder, state);
    for (auto _ : state) {
        const ScanCost cost = measuredScan(catalog, source, folder, state);
        report(state, cost.seconds, folder.files);
        state.counters["peak_heap_B_per_file"] = static_cast<double>(cost.peakHeap) / folder.files;
    }
}

void BM_FirstScan(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir folder;
        CatalogExecutor catalog([path = folder.filePath(QStringLiteral("Catalog.sqlite"))] {
            return std::make_unique<MediaCatalog>(path);
        });
        report(state, measuredScan(catalog, QUuid::createUuid(), {fixtureFolder, photoCount}, state).seconds,
               photoCount);
    }
}

void BM_UnchangedRescan(benchmark::State& state)
{
    unchangedRescans(state, {fixtureFolder, photoCount});
}

void BM_LargeUnchangedRescan(benchmark::State& state)
{
    ensureLargeFixture();
    unchangedRescans(state, {largeFolder, largeCount});
}

// Inspection alone over the same files, on `width` threads.
void BM_InspectionOnly(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const MetadataInspector inspector;
    const QUuid source = QUuid::createUuid();
    for (auto _ : state) {
        std::atomic<int> next{0};
        QElapsedTimer timer;
        timer.start();
        auto worker = [&] {
            for (int index = next++; index < photoCount; index = next++) {
                const QString path = photoPath(index);
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
        report(state, timer.nsecsElapsed() / 1e9, photoCount);
    }
}

BENCHMARK(BM_FirstScan)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnchangedRescan)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InspectionOnly)->Arg(1)->Arg(4)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeUnchangedRescan)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv, ensureFixtures);
}
