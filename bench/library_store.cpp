// A gallery reload of the library store over a catalog file of 300,000 items,
// each to another scope of the same photos (all media, then photos only), as
// a reload of the scope shown whose rows have not changed reads nothing:
// the whole wait, from the reload's start until all its rows are published, and
// how long publishing them kept the GUI thread from its events (the goal is
// under one frame, 16 ms). The rows are built on the catalog's
// thread; the GUI thread only takes them over.
#include "harness/MediaBenchmarkMain.h"

#include "catalog/MediaCatalog.h"
#include "catalog/MediaRowWriter.h"
#include "platform/runtime/Drain.h"
#include "store/LibraryStore.h"
#include "support/system/SettingsSandbox.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

namespace {

using namespace pivra;

constexpr int itemCount = 300'000;

const QUuid archive = QUuid::fromString(QStringLiteral("6F1C2A10-7D3B-4C55-9E0A-1B2C3D4E5F60"));

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString catalogPath()
{
    return folder().filePath(QStringLiteral("Catalog.sqlite"));
}

// Year and month folders, every item with a capture date and size of its own.
void writeCatalog()
{
    const MediaCatalog schema(catalogPath());
    test::MediaRowWriter writer(catalogPath());
    sqlite::Transaction transaction(writer.db());
    for (int serial = 0; serial < itemCount; ++serial) {
        const int month = serial / 3000;
        const QString relative = QStringLiteral("%1/%2/IMG_%3.HEIC")
                                     .arg(2000 + month / 12)
                                     .arg(month % 12 + 1, 2, 10, QLatin1Char('0'))
                                     .arg(serial, 6, 10, QLatin1Char('0'));
        test::MediaRow row = test::folderRow(archive, relative);
        row.captured = 946'684'800.0 + serial * 997.0;
        row.fileSize = 1'500'000 + serial;
        writer.insert(row);
    }
    transaction.commit();
    writer.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

void BM_StoreReload(benchmark::State& state)
{
    const test::SettingsSandbox settings(folder().path());
    LibraryServices services{
        .openCatalog = [] { return std::make_unique<MediaCatalog>(catalogPath()); },
        .places = [](const QString&) -> std::optional<QStringList> { return std::nullopt; },
    };
    LibraryStore store(std::move(services));
    LibrarySource source;
    source.id = archive;
    source.name = QStringLiteral("Archive");
    source.isOnline = true;
    // The archive has no folder on this machine: its media show as those of
    // a disconnected source do.
    store.setShowDisconnected(true);
    store.setSources({source});
    drain(-1);

    // A zero-interval timer fires once per pass of the event loop; the gap
    // between two of its shots is how long the GUI thread was held up. The
    // gap that spans the publication is the publication's cost; the longest
    // gap of the whole reload includes the event loop's own idle waits.
    QElapsedTimer sinceTick;
    qint64 longestStallNs = 0;
    qint64 publicationNs = 0;
    QEventLoop loop;
    bool published = false;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.nsecsElapsed();
        sinceTick.restart();
        longestStallNs = std::max(longestStallNs, gap);
        if (published) {
            publicationNs = std::max(publicationNs, gap);
            loop.quit();
        }
    });
    QElapsedTimer total;
    // A new scope's first screen comes first: the reload ends with the whole.
    QObject::connect(&store, &LibraryStore::itemsVersionChanged, [&] {
        if (store.items()->size() == std::size_t(itemCount)) {
            published = true;
            state.SetIterationTime(static_cast<double>(total.nsecsElapsed()) / 1e9);
        }
    });

    for (auto _ : state) {
        store.setFilter(store.filter() == MediaFilter::all ? MediaFilter::photos : MediaFilter::all);
        published = false;
        total.start();
        sinceTick.start();
        probe.start();
        startTask(&store, store.reload());
        loop.exec();
        probe.stop();
        drain(-1);
    }
    state.counters["items"] = static_cast<double>(store.items()->size());
    state.counters["publication_ms"] = static_cast<double>(publicationNs) / 1e6;
    state.counters["longest_stall_ms"] = static_cast<double>(longestStallNs) / 1e6;
}

BENCHMARK(BM_StoreReload)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    return bench::runMediaBenchmarks(argc, argv, writeCatalog);
}
