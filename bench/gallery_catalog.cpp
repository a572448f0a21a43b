// The gallery's two queries (count, then the whole index) over a catalog of a
// million items, the way the store runs them on every reload: all media, one
// source, one folder and a text search, and all media again right after a
// write. Besides the time, each run reports the resident memory that the
// returned items take.
#include "catalog/MediaCatalog.h"
#include "catalog/MediaRowWriter.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <unordered_set>

namespace {

using namespace pivra;

constexpr int itemCount = 1'000'000;

const QUuid archive = QUuid::fromString(QStringLiteral("6F1C2A10-7D3B-4C55-9E0A-1B2C3D4E5F60"));
const QUuid backup = QUuid::fromString(QStringLiteral("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF"));
const QUuid phone = QUuid::fromString(QStringLiteral("0D9E8F7A-6B5C-4D3E-8F2A-1B0C9D8E7F6A"));

// The heap that a result holds: its array, and each item's text block as the
// allocator handed it out (a block that several items share counts once).
double resultMegabytes(const std::vector<MediaItem>& items)
{
    // glibc keeps a size word before each block it hands out.
    constexpr std::size_t blockHeader = sizeof(std::size_t);
    std::size_t bytes = items.capacity() * sizeof(MediaItem);
    std::unordered_set<const void*> counted;
    for (const MediaItem& item : items) {
        const void* block = item.text().block();
        if (block != nullptr && counted.insert(block).second) {
            bytes += malloc_usable_size(const_cast<void*>(block)) + blockHeader;
        }
    }
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

QString mediaKey(int seed)
{
    return QString::fromLatin1(QCryptographicHash::hash(QByteArray::number(seed), QCryptographicHash::Sha256).toHex());
}

// Folders by year and month as a scan would meet them; 5% of the items have a
// copy on a backup disk (same content and key), 2% are Live Photos whose
// motion video sits beside the still, and some photos have an edited copy.
void writeCatalog(const QString& path)
{
    const MediaCatalog schema(path);
    test::MediaRowWriter writer(path);
    sqlite::Transaction transaction(writer.db());
    std::mt19937 random(7);
    std::uniform_real_distribution<double> withinMonth(0.0, 30.0 * 86400.0);
    const QStringList cameras = {"iPhone 12 Pro", "Canon EOS R6", "FC3170", "Pixel 7"};

    int written = 0;
    int serial = 0;
    while (written < itemCount) {
        const int month = serial / 4000;
        const int year = 2004 + month / 12;
        const QString folder = QStringLiteral("%1/%2").arg(year).arg(month % 12 + 1, 2, 10, QLatin1Char('0'));
        const QUuid source = (serial % 10 == 9) ? phone : archive;
        const bool video = serial % 12 == 0;
        const QString name = QStringLiteral("IMG_%1.%2").arg(serial % 10000, 4, 10, QLatin1Char('0'))
                                 .arg(video ? QStringLiteral("MOV") : QStringLiteral("HEIC"));
        test::MediaRow row = test::folderRow(source, folder + u'/' + QString::number(serial / 10000) + u'/' + name,
                                             video ? QStringLiteral("video") : QStringLiteral("image"));
        row.path = QStringLiteral("/media/user/Photos/") + *row.relativePath;
        row.captured = 1'072'915'200.0 + month * 30.0 * 86400.0 + withinMonth(random);
        row.modified = row.captured + 60;
        row.fileSize = 1'500'000 + serial * 13 % 4'000'000;
        row.camera = cameras[serial % cameras.size()];
        row.metadataJSON = QStringLiteral(R"({"{TIFF}":{"Model":"%1"}})").arg(*row.camera);
        if (serial % 10 != 3) {
            row.thumbnailKey = mediaKey(serial); // most items have their thumbnail already
        }
        const bool live = !video && serial % 50 == 1;
        if (live) {
            row.liveIdentifier = QStringLiteral("LIVE-%1").arg(serial);
        }
        writer.insert(row);
        ++written;

        if (live) {
            test::MediaRow motion = row;
            motion.path.replace(QStringLiteral(".HEIC"), QStringLiteral(".MOV"));
            motion.relativePath->replace(QStringLiteral(".HEIC"), QStringLiteral(".MOV"));
            motion.name->replace(QStringLiteral(".HEIC"), QStringLiteral(".MOV"));
            motion.kind = QStringLiteral("video");
            motion.duration = 2.9;
            motion.fileSize += 7;
            motion.thumbnailKey = mediaKey(-serial);
            writer.insert(motion);
            ++written;
        }
        if (serial % 20 == 7) {
            test::MediaRow copy = row;
            copy.sourceID = uuidString(backup);
            copy.path = QStringLiteral("/media/user/Backup/") + *row.relativePath;
            writer.insert(copy);
            ++written;
        }
        if (!video && serial % 100 == 5) {
            test::MediaRow edited = row;
            const QString editedName = u"IMG_E" + row.name->mid(4);
            edited.relativePath = row.relativePath->left(row.relativePath->size() - row.name->size()) + editedName;
            edited.path = QStringLiteral("/media/user/Photos/") + *edited.relativePath;
            edited.name = editedName;
            edited.fileSize += 11;
            edited.thumbnailKey = mediaKey(serial + 50'000'000);
            writer.insert(edited);
            ++written;
        }
        ++serial;
    }
    transaction.commit();
    writer.exec("PRAGMA wal_checkpoint(TRUNCATE)");
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
            writeCatalog(file);
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

// A reload: the count, then the index, of one scope. The catalog finds its
// duplicate candidates again after every change, so `afterChange` writes
// to it before each run (untimed), as a scan or a favourite does; otherwise
// the runs are reloads of an unchanged catalog, as search, filters and
// selections make them.
void runGallery(benchmark::State& state, const GalleryScope& scope, bool afterChange = false)
{
    MediaCatalog& catalog = sharedCatalog();
    std::vector<MediaItem> index = catalog.galleryIndex(scope);
    const QString changed = index.empty() ? QString() : index.front().id();
    std::int64_t count = 0;
    bool favorite = false;
    for (auto _ : state) {
        // The store frees the previous items on its own thread once the new
        // ones are published; that is not part of a reload's wait.
        state.PauseTiming();
        index = {};
        if (afterChange) {
            favorite = !favorite;
            catalog.setFavorite(favorite, changed);
        }
        state.ResumeTiming();
        count = catalog.galleryCount(scope);
        index = catalog.galleryIndex(scope);
        benchmark::DoNotOptimize(index.data());
    }
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
    runGallery(state, {}, true);
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
BENCHMARK(BM_GalleryOneSource)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GalleryFolder)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GallerySearch)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
