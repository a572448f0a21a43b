// A library of a million items, from launch to scrolling: the store starts on
// the catalog file, the gallery grid is bound to it and shown offscreen, and
// the time until the grid's first paint with the items is the launch. Then a
// user scrolls for a while at 60 ticks a second, flinging down and now and
// then dragging the knob elsewhere, while thumbnails load from the grid
// store on disk and the start-up rescan finds the library unchanged: every
// row's file is there (hard links to a few pictures), and its rows carry
// metadata text of the size real photos' do. Reported: the launch, when the
// rescan ended, the resident memory at first paint, after scrolling and at
// its peak (from /proc/self/status), and how long the GUI thread was held
// up: each pass of the event loop is timed, the passes that painted are the
// frames; the longest hold-up is also given less the time the thread waited
// for a processor, which on a busy machine is most of it. Launched with the
// sources online as the last run left them, and as a first run finds them:
// online only once the first access pass has answered, which starts the scan.

#include "harness/LaunchScaffold.h"
#include "harness/MediaBenchmarkMain.h"
#include "harness/ResidentMemory.h"
#include "harness/MillionCatalog.h"

#include "catalog/model/LibrarySource.h"
#include "catalog/model/Uuid.h"
#include "gallery/GalleryGrid.h"
#include "gallery/GalleryStoreBinding.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/AppSettings.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "store/LibraryStore.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/system/SettingsSandbox.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <malloc.h>
#include <unistd.h>

namespace {

using namespace pivra;

// The grid store on disk holds a thumbnail for every item (each its own
// key, so no two items are duplicates of each other), hard links to a few
// distinct pictures: far more than the memory cache holds, so that scrolling
// keeps loading them.
constexpr int pictureCount = 1500;
constexpr int tickMs = 16;
constexpr int scrollSeconds = 8;
constexpr int flingStep = 60;     // pixels a tick: 3,750 pixels a second
constexpr int knobDragTicks = 90; // every 1.5 s the knob is dragged to another year

// Writing the catalog and linking a million thumbnails takes minutes, so
// PIVRA_BENCH_LAUNCH_FOLDER may name a folder that an earlier run filled and
// kept; it is filled when it holds no catalog.
const QDir& folder()
{
    return bench::keptFolder("PIVRA_BENCH_LAUNCH_FOLDER");
}

QString catalogPath()
{
    return folder().filePath(QStringLiteral("Catalog.sqlite"));
}

ThumbnailLocations thumbnailLocations()
{
    return ThumbnailLocations::under(folder().filePath(QStringLiteral("data")),
                                     folder().filePath(QStringLiteral("cache")));
}

QString picturePath(int index)
{
    return folder().filePath(QStringLiteral("pictures/%1.jpg").arg(index));
}

// The date of every picture, a whole second, so that the rows record it exactly.
constexpr double pictureDate = 1'600'000'000;

// Pictures with some detail in them, so decoding costs what a photo's does;
// every third one is a portrait, as every third item is.
void writePictures()
{
    QDir().mkpath(folder().filePath(QStringLiteral("pictures")));
    QRandomGenerator random(3);
    for (int index = 0; index < pictureCount; ++index) {
        QImage image(index % 3 == 1 ? QSize(315, 420) : QSize(420, 315), QImage::Format_RGB32);
        image.fill(QColor::fromHsv(int(random.bounded(360)), 120, 200));
        QPainter painter(&image);
        for (int shape = 0; shape < 40; ++shape) {
            painter.fillRect(int(random.bounded(image.width())), int(random.bounded(image.height())), 60, 40,
                             QColor::fromRgb(random.generate()));
        }
        painter.end();
        persist(image, picturePath(index));
        const struct timespec dates[2] = {{std::time_t(pictureDate), 0}, {std::time_t(pictureDate), 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(picturePath(index)).constData(), dates, 0);
    }
}

QString sourceRoot(const QUuid& id)
{
    return folder().filePath(id.toString(QUuid::WithoutBraces));
}

// A row's file: a hard link to one of the pictures, so that a million files
// cost little disk.
bench::RowFile linkedRowFile(const QUuid& source, const QString& relativePath, int seed)
{
    static std::vector<std::int64_t> sizes;
    if (sizes.empty()) {
        for (int index = 0; index < pictureCount; ++index) {
            sizes.push_back(QFileInfo(picturePath(index)).size());
        }
    }
    const QString path = sourceRoot(source) + u'/' + relativePath;
    static QSet<QString> folders;
    const QString parent = QFileInfo(path).path();
    if (!folders.contains(parent)) {
        QDir().mkpath(parent);
        folders.insert(parent);
    }
    const int picture = ((seed % pictureCount) + pictureCount) % pictureCount;
    if (::link(QFile::encodeName(picturePath(picture)).constData(), QFile::encodeName(path).constData()) != 0) {
        qFatal("cannot link %s", qPrintable(path));
    }
    return {path, sizes[std::size_t(picture)], pictureDate};
}

// The key of the item the catalog writer numbers `seed`, with its thumbnail
// linked into the grid store.
QString linkedThumbnail(int seed)
{
    static const ThumbnailLocations locations = thumbnailLocations();
    const QString key =
        QString::fromLatin1(QCryptographicHash::hash(QByteArray::number(seed), QCryptographicHash::Sha256).toHex());
    const QString file = locations.gridFile(key);
    static QSet<QString> folders;
    const QString fanOut = QFileInfo(file).path();
    if (!folders.contains(fanOut)) {
        QDir().mkpath(fanOut);
        folders.insert(fanOut);
    }
    const int picture = ((seed % pictureCount) + pictureCount) % pictureCount;
    ::link(QFile::encodeName(picturePath(picture)).constData(), QFile::encodeName(file).constData());
    return key;
}

// Every source of the catalog as a folder that is there, so all are online;
// `knownOnline`: the last run found them so too, otherwise the first access
// pass brings them online.
void storeSources(bool knownOnline)
{
    QList<LibrarySource> sources;
    QStringList online;
    for (const QUuid& id : {bench::archiveSource, bench::backupSource, bench::phoneSource}) {
        const QString path = sourceRoot(id);
        QDir().mkpath(path);
        LibrarySource source;
        source.id = id;
        source.name = QStringLiteral("Photos");
        source.bookmark = FolderBookmark::make(path)->encode();
        source.lastKnownPath = path;
        sources.append(source);
        online.append(uuidString(id));
    }
    AppSettings settings;
    settings.setValue(LibraryStore::sourcesKey, encodeSources(sources));
    if (knownOnline) {
        online.sort();
        settings.setValue(LibraryStore::onlineSourcesKey, online);
    } else {
        settings.remove(LibraryStore::onlineSourcesKey);
    }
}

void prepare()
{
    if (QFileInfo::exists(catalogPath())) {
        return;
    }
    QDir().mkpath(folder().path());
    writePictures();
    bench::writeMillionCatalog(catalogPath(), &linkedThumbnail, &linkedRowFile);
    malloc_trim(0); // what writing left in the heap is not the program's
}

struct Percentiles {
    double median = 0;
    double p95 = 0;
    double max = 0;
};

Percentiles percentiles(std::vector<double> values)
{
    if (values.empty()) {
        return {};
    }
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values[values.size() * 95 / 100], values.back()};
}

// Times each pass of the event loop with a zero-interval timer, which fires
// once a pass; a pass that painted the grid is a frame.
class LoopProbe : public QObject {
public:
    explicit LoopProbe(QWidget& viewport)
    {
        viewport.installEventFilter(this);
        connect(&tick_, &QTimer::timeout, this, [this] {
            const double ms = sinceTick_.nsecsElapsed() / 1e6;
            sinceTick_.restart();
            longestPass = std::max(longestPass, ms);
            passesOver16ms += ms > 16 ? 1 : 0;
            if (painted_) {
                frames.push_back(ms);
                painted_ = false;
            }
        });
        tick_.setInterval(0);
        sinceTick_.start();
        tick_.start();
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        painted_ = painted_ || event->type() == QEvent::Paint;
        return false;
    }

    double longestPass = 0;
    int passesOver16ms = 0;
    std::vector<double> frames;

private:
    QTimer tick_;
    QElapsedTimer sinceTick_;
    bool painted_ = false;
};

void BM_MillionItemLaunchAndScroll(benchmark::State& state)
{
    const test::SettingsSandbox settings(folder().path());
    storeSources(state.range(0) != 0);
    bench::startLikeTheProgram();
    for (auto _ : state) {
        ThumbnailStore thumbnails(thumbnailLocations(), std::make_shared<ThumbnailRenderer>());
        VideoPreviewStore clips(folder().filePath(QStringLiteral("clips")));

        // Launch: from the store's start to the first paint of the grid with items.
        QElapsedTimer launch;
        launch.start();
        // The same hold-ups less the time a busy machine gave the GUI thread
        // no processor, from the launch on.
        const test::EventLoopWatch held;
        LibraryStore store(bench::launchServices(catalogPath(), thumbnails, clips));
        double publishedMs = 0;
        double rescannedMs = 0;
        bool rescanning = false;
        QObject::connect(&store, &LibraryStore::isScanningChanged, [&] {
            rescanning = rescanning || store.isScanning();
            if (rescanning && !store.isScanning() && rescannedMs == 0) {
                rescannedMs = launch.nsecsElapsed() / 1e6;
            }
        });
        QObject::connect(&store, &LibraryStore::itemsVersionChanged, [&] {
            if (publishedMs == 0 && !store.items()->empty()) {
                publishedMs = launch.nsecsElapsed() / 1e6;
            }
        });
        GalleryGrid grid(thumbnails, clips);
        grid.resize(1400, 900);
        bindGalleryToStore(grid, store);
        grid.show();
        const double firstPaintMs = bench::waitForFirstPaintWithItems(grid, launch);
        state.SetIterationTime(firstPaintMs / 1e3);
        state.counters["items"] = double(grid.items()->size());
        state.counters["first_paint_ms"] = firstPaintMs;
        state.counters["items_published_ms"] = publishedMs;
        state.counters["rss_first_paint_MB"] = bench::residentMegabytes("VmRSS:");

        // Scrolling.
        QEventLoop loop;
        QScrollBar* bar = grid.verticalScrollBar();
        QRandomGenerator random(5);
        int ticks = 0;
        QTimer scroll;
        scroll.setInterval(tickMs);
        QObject::connect(&scroll, &QTimer::timeout, [&] {
            ++ticks;
            if (ticks % knobDragTicks == 0) {
                bar->setValue(int(random.bounded(bar->maximum())));
            } else {
                bar->setValue(std::min(bar->value() + flingStep, bar->maximum()));
            }
            if (ticks >= scrollSeconds * 1000 / tickMs && rescannedMs > 0) {
                loop.quit();
            }
        });
        LoopProbe probe(*grid.viewport());
        scroll.start();
        loop.exec();
        scroll.stop();

        const Percentiles frames = percentiles(probe.frames);
        state.counters["frames"] = double(probe.frames.size());
        state.counters["frame_median_ms"] = frames.median;
        state.counters["frame_p95_ms"] = frames.p95;
        state.counters["longest_frame_ms"] = frames.max;
        state.counters["longest_stall_ms"] = probe.longestPass;
        state.counters["longest_stall_less_waits_ms"] = held.longestMs();
        state.counters["stalls_over_16ms"] = probe.passesOver16ms;
        state.counters["rescan_ended_ms"] = rescannedMs;
        state.counters["rss_scrolled_MB"] = bench::residentMegabytes("VmRSS:");
        state.counters["rss_peak_MB"] = bench::residentMegabytes("VmHWM:");
        grid.hide();
        // The thumbnails of the items without one are still being made; they
        // are not what is measured.
        store.cancelThumbnailPreparation();
        drain(-1);
    }
    drain(-1);
}
// With the sources' state left by the last run, and as a first run (or one
// after the disks were away) finds them.
BENCHMARK(BM_MillionItemLaunchAndScroll)
    ->ArgName("known_online")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    limitHeapRetention(); // as the program's main does, before any thread starts
    return bench::runMediaBenchmarks(argc, argv, prepare);
}
