// Grid thumbnails of large photos: our renderer on the preparation queue
// against `vipsthumbnail -s 420` on the same files, in the same run; large
// HEICs made side by side within the decode budget; and the loading of such
// thumbnails back from the store's files.
//
// Fixtures (500 JPEGs of 6000 × 4000, 100 HEICs of 4032 × 3024, 800 small
// JPEGs of 1600 × 1200 and 4 HEICs of 8064 × 6048, smooth gradients with
// sensor-like noise, so they decode like photographs rather than flat
// colour) are made once into
// /tmp/pivra-bench-thumbnails and reused.
//
// Arguments: {set, width}: set 0 is the JPEGs, 1 the HEICs, 2 the small
// JPEGs, where what a thumbnail costs beside its decode (libvips' set-up and
// its locks, the writing) weighs most; width 3 is the
// preparation queue as the program runs it, width 1 one thumbnail at a time
// (the renderer's own latency against vipsthumbnail's), and a width of one
// per core shows how far the renderer scales when every core has an image
// (a baseline JPEG decodes serially, so three at once keep about three cores
// busy, on either side); the small photos are also run 8 at a time against 8
// processes. Counters per run:
//   pivra_ms, vips_ms      wall time per image
//   ratio                  pivra_ms / vips_ms (the goal is at most 1.2)
//   pivra_cores, vips_cores  processor time / wall time: cores kept busy
#include "media/MediaLibraries.h"
#include "media/thumbnails/OperationQueue.h"
#include "media/thumbnails/cache/ThumbnailCache.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <QtConcurrent>

#include "harness/MediaBenchmarkMain.h"
#include "harness/NoisyPhoto.h"
#include "support/files/JpegMaker.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <vips/vips8>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-thumbnails");
constexpr int jpegCount = 500;
constexpr int heicCount = 100;
constexpr int smallCount = 800;
constexpr int largeHeicCount = 4;

struct FixtureSet {
    const char* name;
    int count;
    int width;
    int height;
    bool heic;
    const char* label;
};

constexpr FixtureSet fixtureSets[]{
    {"photo", jpegCount, 6000, 4000, false, "24 MP JPEG"},
    {"phone", heicCount, 4032, 3024, true, "12 MP HEIC"},
    {"small", smallCount, 1600, 1200, false, "2 MP JPEG"},
    {"large", largeHeicCount, 8064, 6048, true, "48 MP HEIC"},
};

QString fixturePath(int set, int index)
{
    const FixtureSet& fixture = fixtureSets[set];
    return QStringLiteral("%1/%2-%3.%4")
        .arg(fixtureFolder, QLatin1StringView(fixture.name))
        .arg(index, 3, 10, QLatin1Char('0'))
        .arg(fixture.heic ? QStringLiteral("heic") : QStringLiteral("jpg"));
}

// A diagonal gradient whose hue differs per file, with noise like a sensor's.
void makeFixture(int set, int index)
{
    const QString path = fixturePath(set, index);
    if (QFileInfo::exists(path)) {
        return;
    }
    const int width = fixtureSets[set].width;
    const int height = fixtureSets[set].height;
    using vips::VImage;
    VImage xy = VImage::xyz(width, height);
    VImage x = xy[0];
    VImage y = xy[1];
    const double shift = index * 7 % 255;
    VImage red = (x * (200.0 / width) + shift);
    VImage green = (y * (200.0 / height) + 255 - shift);
    VImage blue = ((x + y) * (120.0 / (width + height)) + shift / 2);
    VImage noise = VImage::gaussnoise(width, height, VImage::option()->set("sigma", 6.0));
    VImage image = red.bandjoin(green).bandjoin(blue) + noise;
    image = image.cast(VIPS_FORMAT_UCHAR).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    const QString temporary = path + QStringLiteral(".part");
    if (!fixtureSets[set].heic) {
        image.jpegsave(QFile::encodeName(temporary).constData(), VImage::option()->set("Q", 90));
    } else {
        image.heifsave(QFile::encodeName(temporary).constData(),
                       VImage::option()->set("Q", 50)->set("compression", VIPS_FOREIGN_HEIF_COMPRESSION_HEVC)->set("effort", 0));
    }
    QFile::rename(temporary, path);
}

// The files of one set, made the first time the set is asked for, so that a
// run of one case makes only what it reads.
QStringList fixtures(int set)
{
    static std::once_flag made[std::size(fixtureSets)];
    std::call_once(made[set], [set] {
        initializeMediaLibraries();
        QDir().mkpath(fixtureFolder);
        QList<int> wanted;
        for (int i = 0; i < fixtureSets[set].count; ++i) {
            wanted.append(i);
        }
        QtConcurrent::blockingMap(wanted, [set](int index) { makeFixture(set, index); });
    });
    QStringList paths;
    for (int i = 0; i < fixtureSets[set].count; ++i) {
        paths << fixturePath(set, i);
    }
    return paths;
}

double processorSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Measure {
    double wallSeconds = 0;
    double processorSeconds = 0;
};

// Each file rendered at 420 pixels and written as the grid store writes it,
// `width` at a time on a queue made like the preparation queue, or like the
// queue of visible tiles.
Measure renderWithPivra(const QStringList& paths, int width, const QString& output,
                        DecodeUrgency urgency = DecodeUrgency::background)
{
    const ThumbnailRenderer renderer;
    OperationQueue queue(QStringLiteral("Pivra thumbnails"), width,
                         urgency == DecodeUrgency::visible ? PoolPriority::userInitiated : PoolPriority::utility);
    std::mutex mutex;
    std::condition_variable finished;
    int remaining = int(paths.size());
    const double processorBefore = processorSeconds(RUSAGE_SELF);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < paths.size(); ++i) {
        queue.add([&, i] {
            MediaItem item;
            item.setPath(paths[i]);
            const Rendering rendering = renderer.render(item, gridPixels, urgency);
            if (rendering.image.isNull() || !persist(rendering.image, QStringLiteral("%1/%2.jpg").arg(output).arg(i))) {
                qFatal("a benchmark thumbnail failed: %s", qPrintable(paths[i]));
            }
            std::lock_guard lock(mutex);
            if (--remaining == 0) {
                finished.notify_all();
            }
        });
    }
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return remaining == 0; });
    return {clock.nsecsElapsed() / 1e9, processorSeconds(RUSAGE_SELF) - processorBefore};
}

// One vipsthumbnail process per `width`-th share of the files, all at once.
// With `downOnly`, as `-s 420x420>`: a file smaller than that is not enlarged.
// `niceness` is added to the processes' nice value, as the utility pool adds
// it to its lanes'.
Measure renderWithVipsthumbnail(const QStringList& paths, int width, const QString& output, bool downOnly = false,
                                int niceness = 0)
{
    const double processorBefore = processorSeconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int share = 0; share < width; ++share) {
        QStringList arguments{QStringLiteral("-s"), downOnly ? QStringLiteral("420x420>") : QStringLiteral("420"),
                              QStringLiteral("-o"),
                              output + QStringLiteral("/%s.jpg[Q=82]")};
        for (int i = share; i < paths.size(); i += width) {
            arguments << paths[i];
        }
        auto process = std::make_unique<QProcess>();
        if (niceness > 0) {
            process->start(QStringLiteral("nice"),
                           QStringList{QStringLiteral("-n"), QString::number(niceness), QStringLiteral("vipsthumbnail")}
                               + arguments);
        } else {
            process->start(QStringLiteral("vipsthumbnail"), arguments);
        }
        processes.push_back(std::move(process));
    }
    for (const auto& process : processes) {
        if (!process->waitForFinished(-1) || process->exitCode() != 0) {
            qFatal("vipsthumbnail failed: %s", process->readAllStandardError().constData());
        }
    }
    return {clock.nsecsElapsed() / 1e9, processorSeconds(RUSAGE_CHILDREN) - processorBefore};
}

void BM_ThumbnailsAgainstVipsthumbnail(benchmark::State& state)
{
    const int set = int(state.range(0));
    const int width = int(state.range(1));
    const QStringList paths = fixtures(set);
    for (const QString& path : paths) { // both sides start from the page cache
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        while (!file.read(1 << 20).isEmpty()) {
        }
    }
    Measure pivra;
    Measure vips;
    for (auto _ : state) {
        QTemporaryDir ours;
        QTemporaryDir theirs;
        vips = renderWithVipsthumbnail(paths, width, theirs.path());
        pivra = renderWithPivra(paths, width, ours.path());
        state.SetIterationTime(pivra.wallSeconds);
    }
    const double count = paths.size();
    state.counters["pivra_ms"] = pivra.wallSeconds * 1000 / count;
    state.counters["vips_ms"] = vips.wallSeconds * 1000 / count;
    state.counters["ratio"] = pivra.wallSeconds / vips.wallSeconds;
    state.counters["pivra_cores"] = pivra.processorSeconds / pivra.wallSeconds;
    state.counters["vips_cores"] = vips.processorSeconds / vips.wallSeconds;
    state.SetLabel(fixtureSets[set].label);
}

// Grid thumbnails loaded back from the store's files, as scrolling loads
// every tile that memory no longer holds: ours (three bytes a pixel) against
// Qt's reader (four), one at a time over the same files, 420 × 315 written
// as the store writes them. Counters: pivra_ms and qt_ms per thumbnail.
void BM_LoadStoredThumbnails(benchmark::State& state)
{
    QTemporaryDir folder;
    QStringList stored;
    for (const QString& path : fixtures(2)) {
        QImageReader reader(path);
        reader.setScaledSize(QSize(gridPixels, gridPixels * 3 / 4));
        stored.append(folder.filePath(QFileInfo(path).fileName()));
        if (!persist(reader.read().convertToFormat(QImage::Format_RGB888), stored.back())) {
            qFatal("cannot write %s", qPrintable(stored.back()));
        }
    }
    const auto timed = [&stored](const std::function<QImage(const QString&)>& load) {
        QElapsedTimer clock;
        clock.start();
        for (const QString& path : stored) {
            if (load(path).isNull()) {
                qFatal("cannot load %s", qPrintable(path));
            }
        }
        return clock.nsecsElapsed() / 1e6 / double(stored.size());
    };
    double pivraMs = 0;
    double qtMs = 0;
    for (auto _ : state) {
        qtMs = timed([](const QString& path) { return QImageReader(path).read(); });
        pivraMs = timed(&loadCachedImage);
        state.SetIterationTime(pivraMs * double(stored.size()) / 1e3);
    }
    state.counters["pivra_ms"] = pivraMs;
    state.counters["qt_ms"] = qtMs;
}
BENCHMARK(BM_LoadStoredThumbnails)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// Four 48-MP HEICs (8064 × 6048), each decode over the size from which
// decodes share the decode budget, as visible tiles: made one after another,
// then all four at once. Counters: in_a_row_ms and at_once_ms (wall time for
// the four), ratio (at once / in a row; the goal is under 0.6 on four cores
// or more), cores (processor time / wall time of the four at once: above one
// when they ran side by side), decodes_at_once (the most the budget let in
// together), budget_mib.
void BM_LargeHeicsSideBySide(benchmark::State& state)
{
    const QStringList paths = fixtures(3);
    Measure inARow;
    Measure atOnce;
    for (auto _ : state) {
        QTemporaryDir output;
        inARow = renderWithPivra(paths, 1, output.path(), DecodeUrgency::visible);
        atOnce = renderWithPivra(paths, largeHeicCount, output.path(), DecodeUrgency::visible);
        state.SetIterationTime(atOnce.wallSeconds);
    }
    const DecodeBudget& budget = DecodeBudget::shared();
    state.counters["in_a_row_ms"] = inARow.wallSeconds * 1000;
    state.counters["at_once_ms"] = atOnce.wallSeconds * 1000;
    state.counters["ratio"] = atOnce.wallSeconds / inARow.wallSeconds;
    state.counters["cores"] = atOnce.processorSeconds / atOnce.wallSeconds;
    state.counters["decodes_at_once"] = budget.usage().peakDecodes;
    state.counters["budget_mib"] = double(budget.capacity() >> 20);
    state.SetLabel(fixtureSets[3].label);
}
BENCHMARK(BM_LargeHeicsSideBySide)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Camera JPEGs of the sizes people keep (0.3 to 24 MP, ten sizes), each
// with the Exif a camera writes (make, model, date, an orientation; a quarter
// turned), some with an sRGB profile, at the qualities cameras use with
// chroma halved both ways: made once into the fixture folder.
constexpr QSize cameraSizes[]{{640, 480},   {1280, 960},  {1600, 1200}, {2048, 1536}, {2592, 1944},
                              {3264, 2448}, {4032, 3024}, {4608, 3456}, {5472, 3648}, {6000, 4000}};
constexpr int cameraJpegCount = 86;

QStringList cameraJpegs()
{
    static const QStringList paths = [] {
        initializeMediaLibraries();
        QDir().mkpath(fixtureFolder);
        QList<int> wanted;
        QStringList made;
        for (int i = 0; i < cameraJpegCount; ++i) {
            const QSize size = cameraSizes[i % std::size(cameraSizes)];
            made << QStringLiteral("%1/camera-%2-%3x%4.jpg")
                        .arg(fixtureFolder)
                        .arg(i, 2, 10, QLatin1Char('0'))
                        .arg(size.width())
                        .arg(size.height());
            wanted.append(i);
        }
        QtConcurrent::blockingMap(wanted, [&made](int i) {
            const QString& path = made[i];
            if (QFileInfo::exists(path)) {
                return;
            }
            const QSize size = cameraSizes[i % std::size(cameraSizes)];
            const QString temporary = path + QStringLiteral(".part.jpg");
            const int qualities[]{85, 92, 95};
            bench::writeNoisyPhoto(temporary, size.width(), size.height(), i * 23 % 200,
                                   {.grain = 10, .quality = qualities[i % 3], .halvedChroma = true, .srgbProfile = i % 4 == 1});
            constexpr int orientations[]{1, 6, 1, 8, 1, 3, 1, 1};
            test::ExifFields exif;
            exif.make = QStringLiteral("Camera Maker");
            exif.model = QStringLiteral("Model %1").arg(i % 5);
            exif.dateTimeOriginal = QStringLiteral("2023:05:%1 12:00:00").arg(i % 28 + 1, 2, 10, QLatin1Char('0'));
            exif.orientation = orientations[i % std::size(orientations)];
            if (!test::addExif(temporary, exif) || !QFile::rename(temporary, path)) {
                qFatal("cannot make %s", qPrintable(path));
            }
        });
        return made;
    }();
    return paths;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0).toDouble() : -1;
}

// The camera JPEGs made and written as the grid store does, against
// `vipsthumbnail -s 420x420>` (down only, as ours), one at a time (one queue
// lane, one process) and eight at once (eight lanes, eight processes), in
// five rounds alternating which goes first, over files in the page cache.
// The processes run at the nice value of the preparation queue's lanes (the
// utility pool's), so that a loaded machine weighs on both sides alike.
// Counters: pivra_ms, vips_ms (median wall time per image), ratio (of the
// medians; the goal is at most 1.0), load (the one-minute load average at
// the start).
void BM_CameraJpegsAgainstVipsthumbnail(benchmark::State& state)
{
    constexpr int utilityNiceness = 10;
    const int width = int(state.range(0));
    const QStringList paths = cameraJpegs();
    for (const QString& path : paths) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        while (!file.read(1 << 20).isEmpty()) {
        }
    }
    const double load = loadAverage();
    constexpr int rounds = 5;
    std::vector<double> ours;
    std::vector<double> theirs;
    for (auto _ : state) {
        for (int round = 0; round < rounds; ++round) {
            QTemporaryDir pivraOutput;
            QTemporaryDir vipsOutput;
            if (round % 2 == 0) {
                theirs.push_back(renderWithVipsthumbnail(paths, width, vipsOutput.path(), true, utilityNiceness).wallSeconds);
                ours.push_back(renderWithPivra(paths, width, pivraOutput.path()).wallSeconds);
            } else {
                ours.push_back(renderWithPivra(paths, width, pivraOutput.path()).wallSeconds);
                theirs.push_back(renderWithVipsthumbnail(paths, width, vipsOutput.path(), true, utilityNiceness).wallSeconds);
            }
        }
        state.SetIterationTime(median(ours));
    }
    const double count = paths.size();
    state.counters["pivra_ms"] = median(ours) * 1000 / count;
    state.counters["vips_ms"] = median(theirs) * 1000 / count;
    state.counters["ratio"] = median(ours) / median(theirs);
    state.counters["load"] = load;
    state.SetLabel("camera JPEGs, 0.3-24 MP");
}
BENCHMARK(BM_CameraJpegsAgainstVipsthumbnail)
    ->ArgName("width")
    ->Arg(1)
    ->Arg(8)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

const int allCores = QThread::idealThreadCount();

BENCHMARK(BM_ThumbnailsAgainstVipsthumbnail)
    ->ArgNames({"set", "width"})
    ->Args({0, 3})
    ->Args({1, 3})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, allCores})
    ->Args({1, allCores})
    ->Args({2, 8})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv);
}
