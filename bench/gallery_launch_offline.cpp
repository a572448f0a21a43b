// A library of a million items whose disks are unplugged, beside two thousand
// photos on the home disk: the launch, from the store's start to the first
// paint of the gallery grid with items, as in the million-item launch
// benchmark, and how much of the catalog file it read until then. The home
// photos were taken over the same years as the archive's, so a read led by
// the capture order of the whole catalog meets them among the unplugged rows.
// Launched with the catalog file in the system's file cache, and with it
// dropped from there, so that its pages come from the disk as after a
// reboot; the count of pages read covers every connection of the catalog.
// And launched with the home folder's first probe answering only after the
// first access pass gave up waiting for it, as a busy machine's first pass
// may, so that the home photos come with a later pass: the first screen must
// not wait for what the start-up reads meanwhile.

#include "harness/LaunchScaffold.h"
#include "harness/MediaBenchmarkMain.h"
#include "harness/MillionCatalog.h"
#include "harness/ResidentMemory.h"

#include "catalog/PageReads.h"
#include "catalog/model/LibrarySource.h"
#include "gallery/GalleryGrid.h"
#include "gallery/GalleryStoreBinding.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/AppSettings.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "store/FolderProbe.h"
#include "store/LibraryStore.h"
#include "support/system/SettingsSandbox.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <malloc.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace pivra;

const QUuid homeSource = QUuid::fromString(QStringLiteral("3C4D5E6F-7A8B-4C9D-8E0F-1A2B3C4D5E6F"));
constexpr int homePhotos = 2000;

// Writing a million rows takes minutes, so PIVRA_BENCH_OFFLINE_FOLDER may
// name a folder that an earlier run filled and kept.
const QDir& folder()
{
    return bench::keptFolder("PIVRA_BENCH_OFFLINE_FOLDER");
}

QString catalogPath()
{
    return folder().filePath(QStringLiteral("Catalog.sqlite"));
}

QString homeRoot()
{
    return folder().filePath(QStringLiteral("home"));
}

QString mediaKey(int seed)
{
    return QString::fromLatin1(QCryptographicHash::hash(QByteArray::number(seed), QCryptographicHash::Sha256).toHex());
}

// The home photos, each a picture of its own, their rows written as a
// finished scan leaves them and spread over the archive's years. Their files
// carry a whole second as their date, which the rows record exactly, so the
// start-up rescan finds them unchanged.
void writeHomePhotos()
{
    QDir().mkpath(homeRoot());
    constexpr double fileDate = 1'600'000'000;
    const struct timespec dates[2] = {{std::time_t(fileDate), 0}, {std::time_t(fileDate), 0}};
    QRandomGenerator random(11);
    test::MediaRowWriter writer(catalogPath());
    sqlite::Transaction transaction(writer.db());
    for (int index = 0; index < homePhotos; ++index) {
        const QString relative = QStringLiteral("IMG_%1.JPG").arg(index, 4, 10, QLatin1Char('0'));
        const QString path = homeRoot() + u'/' + relative;
        QImage image(index % 3 == 1 ? QSize(120, 160) : QSize(160, 120), QImage::Format_RGB32);
        image.fill(QColor::fromHsv(int(random.bounded(360)), 140, 210));
        QPainter painter(&image);
        for (int shape = 0; shape < 6; ++shape) {
            painter.fillRect(int(random.bounded(image.width())), int(random.bounded(image.height())), 30, 20,
                             QColor::fromRgb(random.generate()));
        }
        painter.end();
        image.save(path);
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), dates, 0);
        test::MediaRow row = test::folderRow(homeSource, relative);
        row.path = path;
        row.fileSize = QFileInfo(path).size();
        row.modified = fileDate;
        row.width = image.width();
        row.height = image.height();
        row.captured = 1'072'915'200.0 + index * (640'000'000.0 / homePhotos);
        writer.insert(row);
    }
    const QByteArray scanned = "UPDATE media SET inspection_version=1,live_checked=1,location_checked=1 WHERE source_id='"
                             + uuidString(homeSource).toLatin1() + "'";
    writer.exec(scanned.constData());
    transaction.commit();
    writer.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

// The archive's three sources lie on a disk that is not plugged in: their
// bookmarks name a filesystem that no mount holds, so they are offline from
// the start. The home folder is there.
void storeSources()
{
    QList<LibrarySource> sources;
    const auto add = [&](const QUuid& id, const QString& path, const QByteArray& bookmark) {
        LibrarySource source;
        source.id = id;
        source.name = QFileInfo(path).fileName();
        source.bookmark = bookmark;
        source.lastKnownPath = path;
        sources.append(source);
    };
    int inode = 12;
    for (const QUuid& id : {bench::archiveSource, bench::backupSource, bench::phoneSource}) {
        const QString path = QStringLiteral("/media/user/") + id.toString(QUuid::WithoutBraces);
        const QJsonObject unplugged{{"version", 1},
                                    {"path", path},
                                    {"filesystem", QStringLiteral("5B1A3C2D-0000-4000-8000-00000000DEAD")},
                                    {"relativePath", QFileInfo(path).fileName()},
                                    {"device", QStringLiteral("2049")},
                                    {"inode", QString::number(inode++)}};
        add(id, path, QJsonDocument(unplugged).toJson(QJsonDocument::Compact));
    }
    add(homeSource, homeRoot(), FolderBookmark::make(homeRoot())->encode());
    AppSettings().setValue(LibraryStore::sourcesKey, encodeSources(sources));
}

void prepare()
{
    if (!QFileInfo::exists(catalogPath())) {
        QDir().mkpath(folder().path());
        bench::writeMillionCatalog(catalogPath(), &mediaKey);
    }
    if (!QFileInfo::exists(homeRoot())) {
        writeHomePhotos();
    }
    malloc_trim(0); // what writing left in the heap is not the program's
}

// Drops the catalog's pages from the system's file cache (only this file's).
void evictCatalog()
{
    for (const QString& path : {catalogPath(), QString(catalogPath() + QStringLiteral("-wal"))}) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

std::int64_t catalogPages()
{
    return QFileInfo(catalogPath()).size() / 4096;
}

void BM_LaunchWithAMillionOfflineRows(benchmark::State& state)
{
    const test::SettingsSandbox settings(folder().path());
    storeSources();
    bench::startLikeTheProgram();
    for (auto _ : state) {
        ThumbnailStore thumbnails(ThumbnailLocations::under(folder().filePath(QStringLiteral("data")),
                                                            folder().filePath(QStringLiteral("cache"))),
                                  std::make_shared<ThumbnailRenderer>());
        VideoPreviewStore clips(folder().filePath(QStringLiteral("clips")));
        if (state.range(0) != 0) {
            evictCatalog();
        }
        test::PageReads reads;

        QElapsedTimer launch;
        launch.start();
        LibraryServices services = bench::launchServices(catalogPath(), thumbnails, clips);
        if (state.range(1) != 0) {
            services.probeTimeLimit = std::chrono::milliseconds(300);
            services.probeFolder = [late = std::make_shared<std::atomic<bool>>(true)](const LibrarySource& source) {
                if (source.id == homeSource && late->exchange(false)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(600));
                }
                return probeFolder(source);
            };
        }
        LibraryStore store(std::move(services));
        double publishedMs = 0;
        QObject::connect(&store, &LibraryStore::itemsVersionChanged, [&] {
            if (publishedMs == 0 && !store.items()->empty()) {
                publishedMs = launch.nsecsElapsed() / 1e6;
            }
        });
        bool rescanning = false;
        bool rescanned = false;
        QObject::connect(&store, &LibraryStore::isScanningChanged, [&] {
            rescanning = rescanning || store.isScanning();
            rescanned = rescanned || (rescanning && !store.isScanning());
        });
        GalleryGrid grid(thumbnails, clips);
        grid.resize(1400, 900);
        bindGalleryToStore(grid, store);
        grid.show();
        const double firstPaintMs = bench::waitForFirstPaintWithItems(grid, launch);
        const std::int64_t pages = reads.take();
        state.SetIterationTime(firstPaintMs / 1e3);
        state.counters["first_paint_ms"] = firstPaintMs;
        state.counters["items_published_ms"] = publishedMs;
        state.counters["items_at_first_paint"] = double(grid.items()->size());
        state.counters["pages_read_to_first_paint"] = double(pages);
        state.counters["rows_worth_read"] = double(pages) * (bench::millionItems + homePhotos) / double(catalogPages());
        state.counters["rss_first_paint_MB"] = bench::residentMegabytes("VmRSS:");

        // The count and the whole list of the connected photos follow.
        while (store.totalCount() == 0 || std::int64_t(store.items()->size()) < store.totalCount()) {
            drain(10);
        }
        state.counters["whole_list_ms"] = launch.nsecsElapsed() / 1e6;
        state.counters["items_in_whole_list"] = double(store.items()->size());
        state.counters["pages_read_to_whole_list"] = double(pages + reads.take());
        // The start-up rescan of the home folder is not measured; it ends
        // before the store goes.
        while (!rescanned) {
            drain(50);
        }
        grid.hide();
        store.cancelThumbnailPreparation();
        drain(-1);
    }
    drain(-1);
}
// With the catalog in the system's file cache, read from the disk, and with
// the home folder answering late.
BENCHMARK(BM_LaunchWithAMillionOfflineRows)
    ->ArgNames({"cold", "late"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    limitHeapRetention(); // as the program's main does, before any thread starts
    return bench::runMediaBenchmarks(argc, argv, prepare);
}
