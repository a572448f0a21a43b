// Hashing and equality of gallery-sized item lists (the grid diffs them on every
// reload) and the JSON coding of the stored source list.
#include "catalog/model/LibrarySource.h"
#include "catalog/model/MediaItem.h"

#include <QSet>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

using namespace pivra;

std::vector<MediaItem> makeItems(int count)
{
    const QUuid source = QUuid::createUuid();
    std::vector<MediaItem> items;
    items.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        const QString path = QStringLiteral("/media/disk/Photos/%1/%2/IMG_%3.JPG")
                                 .arg(2000 + index % 25)
                                 .arg(index % 12 + 1, 2, 10, QLatin1Char('0'))
                                 .arg(index, 6, 10, QLatin1Char('0'));
        const Timestamp captured = 1.0e9 + index * 37.25;
        items.emplace_back(MediaItem::makeID(source, path), source, path, path.section(u'/', -1), MediaKind::image,
                           captured, u"EXIF capture", 4032, 3024, std::nullopt, std::nullopt,
                           index % 10 == 0 ? std::optional(12.5) : std::nullopt, 2'000'000 + index, captured + 5,
                           std::nullopt, 0, false, std::nullopt, std::nullopt, std::nullopt);
    }
    return items;
}

void BM_HashMillionItems(benchmark::State& state)
{
    const auto items = makeItems(1'000'000);
    for (auto _ : state) {
        std::size_t sum = 0;
        for (const MediaItem& item : items) {
            sum += qHash(item);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(items.size()));
}
BENCHMARK(BM_HashMillionItems)->Unit(benchmark::kMillisecond);

void BM_CompareMillionItems(benchmark::State& state)
{
    const auto items = makeItems(1'000'000);
    const auto copies = items;
    for (auto _ : state) {
        benchmark::DoNotOptimize(items == copies);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(items.size()));
}
BENCHMARK(BM_CompareMillionItems)->Unit(benchmark::kMillisecond);

void BM_SourcesJsonRoundTrip(benchmark::State& state)
{
    QList<LibrarySource> sources;
    for (int index = 0; index < 1000; ++index) {
        LibrarySource source;
        source.id = QUuid::createUuid();
        source.name = QStringLiteral("Folder %1").arg(index);
        source.bookmark = QByteArray(200, 'b');
        source.lastKnownPath = QStringLiteral("/media/disk/Folder %1").arg(index);
        source.volumePath = QStringLiteral("/media/disk");
        source.volumeCapacity = std::int64_t{2'000'398'934'016};
        sources.append(source);
    }
    for (auto _ : state) {
        const auto decoded = decodeSources(encodeSources(sources));
        benchmark::DoNotOptimize(decoded.sources.size());
    }
    state.SetItemsProcessed(state.iterations() * sources.size());
}
BENCHMARK(BM_SourcesJsonRoundTrip)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
