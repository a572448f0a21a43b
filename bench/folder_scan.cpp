// Folder scans of 10,000 photos: the first scan (every file inspected and
// written), an unchanged rescan (nothing opened, every row stamped), and the
// inspection alone for comparison, one file at a time and as many at a time
// as the scan reads in parallel.
//
// Fixtures, made once into /tmp/pivra-bench-scan and reused: 10,000 small
// JPEGs (160 × 120) in 20 folders, each with an Exif block of its own (date,
// camera, lens, GPS, Live Photo identifier).
//
// Counters: files_per_s (wall clock), files.
#include "catalog/CatalogExecutor.h"
#include "catalog/scan/FolderScan.h"
#include "media/MediaLibraries.h"
#include "media/MetadataInspector.h"
#include "platform/Drain.h"
#include "support/ExifBlock.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include "MediaBenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-scan");
constexpr int photoCount = 10000;
constexpr int folderCount = 20;

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

void writePhoto(const QByteArray& picture, int index)
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
    QFile file(photoPath(index));
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
        writePhoto(picture, index);
    }
    QFile(marker).open(QIODevice::WriteOnly);
}

struct ScanResult {
    int processed = 0;
    bool failed = false;
};

Task<> runScan(CatalogExecutor* catalog, std::shared_ptr<const MediaInspector> inspector, QUuid source,
               ScanResult* result)
{
    Task<ScanOutcome> scanning = scan(*catalog, std::move(inspector), source, fixtureFolder, std::nullopt,
                                      ScanProgress([](int) {}), CancelToken());
    try {
        result->processed = (co_await std::move(scanning)).processed;
    } catch (...) {
        result->failed = true;
    }
}

// One scan, timed on the wall clock.
double timedScan(CatalogExecutor& catalog, const QUuid& source, benchmark::State& state)
{
    QObject context;
    ScanResult result;
    QElapsedTimer timer;
    timer.start();
    startTask(&context, runScan(&catalog, std::make_shared<MetadataInspector>(), source, &result));
    drain(-1);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (result.failed || result.processed != photoCount) {
        state.SkipWithError("the scan did not index every photo");
    }
    return seconds;
}

void report(benchmark::State& state, double seconds, int files)
{
    state.SetIterationTime(seconds);
    state.counters["files"] = files;
    state.counters["files_per_s"] = files / seconds;
}

void BM_FirstScan(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir folder;
        CatalogExecutor catalog([path = folder.filePath(QStringLiteral("Catalog.sqlite"))] {
            return std::make_unique<MediaCatalog>(path);
        });
        report(state, timedScan(catalog, QUuid::createUuid(), state), photoCount);
    }
}

void BM_UnchangedRescan(benchmark::State& state)
{
    QTemporaryDir folder;
    CatalogExecutor catalog([path = folder.filePath(QStringLiteral("Catalog.sqlite"))] {
        return std::make_unique<MediaCatalog>(path);
    });
    const QUuid source = QUuid::createUuid();
    timedScan(catalog, source, state);
    for (auto _ : state) {
        report(state, timedScan(catalog, source, state), photoCount);
    }
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

} // namespace

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv, ensureFixtures);
}
