// The gallery of a library of hundreds or thousands of folder sources, some
// of them on unplugged disks and hidden, as the store reads it: the first
// screen (2,000 items), then the count and the whole index. Each run opens
// the catalog afresh, so the pages each read looks at are read from the file
// once, and counted. Shown sources hold 100 items each, hidden ones 400 (an
// unplugged archive is the larger part), over the same years; one item in
// twenty of a shown source has a copy on a hidden one.

#include "catalog/MediaCatalog.h"
#include "catalog/MediaRowWriter.h"
#include "catalog/PageReads.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace pivra;

constexpr int shownItems = 100;
constexpr int hiddenItems = 400;
constexpr int firstScreen = 2000;

// Writing the libraries takes a minute, so PIVRA_BENCH_SOURCES_FOLDER may
// name a folder that an earlier run filled and kept.
const QDir& folder()
{
    static QTemporaryDir made;
    static const QDir dir(qEnvironmentVariable("PIVRA_BENCH_SOURCES_FOLDER", made.path()));
    return dir;
}

QUuid sourceNumber(int number)
{
    return QUuid(static_cast<uint>(0x5000'0000 + number), 0x1234, 0x4321, 0x80, 0, 0, 0, 0, 0, 0, 1);
}

struct Library {
    QString path;
    QList<QUuid> hidden;
};

// The catalog of `shown` + `hidden` sources, written when missing.
Library library(int shown, int hidden)
{
    Library made{folder().filePath(QStringLiteral("sources-%1-%2.sqlite").arg(shown).arg(hidden)), {}};
    for (int number = shown; number < shown + hidden; ++number) {
        made.hidden.append(sourceNumber(number));
    }
    if (QFileInfo::exists(made.path)) {
        return made;
    }
    QDir().mkpath(folder().path());
    const MediaCatalog schema(made.path);
    test::MediaRowWriter writer(made.path);
    sqlite::Transaction transaction(writer.db());
    std::mt19937 random(static_cast<unsigned>(shown * 31 + hidden));
    std::uniform_real_distribution<double> date(1'100'000'000.0, 1'700'000'000.0);
    int serial = 0;
    for (int number = 0; number < shown + hidden; ++number) {
        const bool isShown = number < shown;
        for (int item = 0; item < (isShown ? shownItems : hiddenItems); ++item, ++serial) {
            test::MediaRow row = test::folderRow(sourceNumber(number), QStringLiteral("%1/IMG_%2.HEIC").arg(item / 50).arg(serial));
            row.captured = date(random);
            row.fileSize = 1'000'000 + serial;
            row.thumbnailKey = QStringLiteral("%1").arg(serial, 64, 16, QLatin1Char('0'));
            row.isFavorite = serial % 20 == 3;
            writer.insert(row);
            if (isShown && hidden > 0 && serial % 20 == 7) {
                test::MediaRow copy = row;
                copy.sourceID = uuidString(sourceNumber(shown + serial % hidden));
                copy.path = QStringLiteral("/backup/") + *row.relativePath + QString::number(serial);
                writer.insert(copy);
            }
        }
    }
    transaction.commit();
    writer.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    return made;
}

void BM_ManySourcesFirstScreen(benchmark::State& state)
{
    const Library made = library(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const GalleryScope scope{.excludedSources = made.hidden, .offlineSources = made.hidden};
    test::PageReads reads;
    double headMs = 0;
    double countMs = 0;
    double indexMs = 0;
    std::int64_t headPages = 0;
    std::int64_t countPages = 0;
    std::int64_t indexPages = 0;
    std::size_t items = 0;
    for (auto _ : state) {
        try {
            MediaCatalog catalog(made.path);
            reads.take();
            QElapsedTimer timer;
            timer.start();
            const std::vector<MediaItem> head = catalog.galleryHead(scope, firstScreen);
            headMs = timer.nsecsElapsed() / 1e6;
            headPages = reads.take();
            state.SetIterationTime(headMs / 1e3);
            timer.restart();
            benchmark::DoNotOptimize(catalog.galleryCount(scope));
            countMs = timer.nsecsElapsed() / 1e6;
            countPages = reads.take();
            timer.restart();
            items = catalog.galleryIndex(scope).size();
            indexMs = timer.nsecsElapsed() / 1e6;
            indexPages = reads.take();
            benchmark::DoNotOptimize(head.data());
        } catch (const CatalogError& error) {
            state.SkipWithError(error.what());
            return;
        }
    }
    state.counters["head_ms"] = headMs;
    state.counters["head_pages"] = double(headPages);
    state.counters["count_ms"] = countMs;
    state.counters["count_pages"] = double(countPages);
    state.counters["index_ms"] = indexMs;
    state.counters["index_pages"] = double(indexPages);
    state.counters["items"] = double(items);
}
BENCHMARK(BM_ManySourcesFirstScreen)
    ->ArgNames({"shown", "hidden"})
    ->Args({2000, 500})
    ->Args({300, 300})
    ->Args({400, 10})
    ->Args({50, 1500})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

} // namespace

BENCHMARK_MAIN();
