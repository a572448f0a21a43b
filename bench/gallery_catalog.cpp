// The gallery's two queries (count, then the whole index) over a catalog of a
// million items, the way the store runs them on every reload: all media, one
// source, one folder and a text search, and all media again right after a
// favourite is toggled and after a scan wrote a new file. Besides the time, each run reports the resident memory that the
// returned items take.
#include "harness/MillionCatalog.h"

#include "catalog/scan/ScanBatch.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <unordered_set>

namespace {

using namespace pivra;

const QUuid& archive = bench::archiveSource;

// The heap that a result holds: its array, and each item's text blocks as the
// allocator handed them out (a block that several items share counts once).
double resultMegabytes(const std::vector<MediaItem>& items)
{
    // glibc keeps a size word before each block it hands out.
    constexpr std::size_t blockHeader = sizeof(std::size_t);
    std::size_t bytes = items.capacity() * sizeof(MediaItem);
    std::unordered_set<const void*> counted;
    for (const MediaItem& item : items) {
        for (const void* block : item.text().heapBlocks()) {
            if (block != nullptr && counted.insert(block).second) {
                bytes += malloc_usable_size(const_cast<void*>(block)) + blockHeader;
            }
        }
    }
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

QString mediaKey(int seed)
{
    return QString::fromLatin1(QCryptographicHash::hash(QByteArray::number(seed), QCryptographicHash::Sha256).toHex());
}

// Writing the million rows takes minutes, so PIVRA_BENCH_CATALOG may name a
// catalog file that an earlier run wrote and kept; it is written when missing.
const QString& catalogPath()
{
    static QTemporaryDir folder;
    static const QString path = [] {
        const QString kept = qEnvironmentVariable("PIVRA_BENCH_CATALOG");
        const QString file = kept.isEmpty() ? folder.filePath(QStringLiteral("Catalog.sqlite")) : kept;
        if (!QFileInfo::exists(file)) {
            bench::writeMillionCatalog(file, &mediaKey);
        }
        return file;
    }();
    return path;
}

MediaCatalog& sharedCatalog()
{
    static MediaCatalog catalog(catalogPath());
    return catalog;
}

// What is written to the catalog before each reload (untimed).
enum class Change {
    none,      // reloads of an unchanged catalog, as search, filters and selections make them
    favorite,  // a favourite toggled, as the user does between reloads
    scanned,   // a scan finds a copy of a photo in the archive: a new twin, without its key yet
};

// The file a scan finds in the archive: the `serial`th copy of `original`.
ScanBatch scannedCopy(const MediaItem& original, int serial)
{
    const QString relative = QStringLiteral("Copies/%1-%2").arg(serial).arg(original.name());
    MediaItem copy = original;
    copy.setPath(QStringLiteral("/media/user/Photos/") + relative);
    copy.setID(MediaItem::makeID(original.sourceID(), copy.path()));
    copy.setFavorite(false);
    copy.setThumbnailKey(std::nullopt);
    ScanBatch batch;
    batch.changed.push_back({copy, relative});
    return batch;
}

// A reload: the count, then the index, of one scope, after `change`; the
// catalog brings its duplicate candidates up to date for a change. Besides
// the time, each run reports the rows the duplicate candidates read for a
// reload: a pass over the catalog reads three times as many as it holds.
void runGallery(benchmark::State& state, const GalleryScope& scope, Change change = Change::none)
{
    MediaCatalog& catalog = sharedCatalog();
    std::vector<MediaItem> index = catalog.galleryIndex(scope);
    const MediaItem changed = index.empty() ? MediaItem() : index.front();
    std::int64_t count = 0;
    bool favorite = false;
    int copies = 0;
    const std::int64_t candidateRowsBefore = catalog.duplicateCandidateRowsRead();
    for (auto _ : state) {
        // The store frees the previous items on its own thread once the new
        // ones are published; that is not part of a reload's wait.
        state.PauseTiming();
        index = {};
        if (change == Change::favorite) {
            favorite = !favorite;
            catalog.setFavorite(favorite, changed.id());
        } else if (change == Change::scanned) {
            catalog.apply(scannedCopy(changed, ++copies), QStringLiteral("bench-rescan"));
        }
        state.ResumeTiming();
        count = catalog.galleryCount(scope);
        index = catalog.galleryIndex(scope);
        benchmark::DoNotOptimize(index.data());
    }
    state.counters["candidate_rows_read"] =
        static_cast<double>(catalog.duplicateCandidateRowsRead() - candidateRowsBefore) / double(state.iterations());
    state.counters["count"] = static_cast<double>(count);
    state.counters["items"] = static_cast<double>(index.size());
    state.counters["result_MB"] = resultMegabytes(index);
}

void BM_GalleryAllMedia(benchmark::State& state)
{
    runGallery(state, {});
}

void BM_GalleryAllMediaAfterChange(benchmark::State& state)
{
    runGallery(state, {}, Change::favorite);
}

void BM_GalleryAllMediaAfterScan(benchmark::State& state)
{
    runGallery(state, {}, Change::scanned);
}

void BM_GalleryOneSource(benchmark::State& state)
{
    runGallery(state, {.sourceID = archive});
}

void BM_GalleryFolder(benchmark::State& state)
{
    runGallery(state, {.sourceID = archive, .folder = QStringLiteral("2010")});
}

void BM_GallerySearch(benchmark::State& state)
{
    SearchQuery search;
    search.terms = {QStringLiteral("canon")};
    search.from = 1'200'000'000.0;
    runGallery(state, {.search = search});
}

BENCHMARK(BM_GalleryAllMedia)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GalleryAllMediaAfterChange)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GalleryAllMediaAfterScan)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GalleryOneSource)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GalleryFolder)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GallerySearch)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
