// Metadata inspection of a folder's worth of files, as the scan runs it: our
// inspect() against `exiv2 -pa` run on the same files in the same run.
//
// Fixtures, made once into /tmp/pivra-bench-metadata and reused: 2,000 JPEGs
// of 4032 × 3024 (one photograph-like picture encoded once with libvips, each
// copy with an Exif block of its own: date, camera, lens, orientation, GPS,
// Apple maker note), 200 clips (1280 × 720, half QuickTime with iPhone
// metadata and a quarter turn, half MP4) and 100 HEICs of 4032 × 3024 with
// the same Exif, a third turned by the container, as phones write them.
//
// Arguments: {set, width}: set 0 is the photos, 1 the clips, 2 the HEICs; width 1 is one
// file at a time, width N as many workers as the machine has cores; exiv2
// runs as N processes at once for the same width. Counters per run:
//   files_per_s         our files per second (wall clock)
//   pivra_ms, exiv2_ms  wall time per file
//   ratio               pivra_ms / exiv2_ms (the goal is below 1)
#include "media/MediaLibraries.h"
#include "media/metadata/MediaMetadata.h"
#include "support/files/ExifBlock.h"
#include "support/files/HeicMaker.h"
#include "support/files/VideoMaker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include "harness/MediaBenchmarkMain.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vips/vips8>

#include <atomic>
#include <thread>

extern char** environ;

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-metadata");
constexpr int photoCount = 2000;
constexpr int clipCount = 200;
constexpr int heicCount = 100;

QString photoPath(int index)
{
    return QStringLiteral("%1/IMG_%2.JPG").arg(fixtureFolder).arg(index, 4, 10, QLatin1Char('0'));
}

QString clipPath(int index)
{
    return QStringLiteral("%1/CLIP_%2.%3")
        .arg(fixtureFolder)
        .arg(index, 4, 10, QLatin1Char('0'))
        .arg(index % 2 == 0 ? QStringLiteral("MOV") : QStringLiteral("mp4"));
}

QString heicPath(int index)
{
    return QStringLiteral("%1/IMG_%2.HEIC").arg(fixtureFolder).arg(index, 4, 10, QLatin1Char('0'));
}

// A smooth gradient with sensor-like noise, so that the file has the size and
// structure of a photograph (about 3 MB) rather than of a flat colour.
QByteArray encodedPicture()
{
    using vips::VImage;
    const VImage xyz = VImage::xyz(4032, 3024);
    const VImage gradient = (xyz[0] * (200.0 / 4032) + xyz[1] * (40.0 / 3024)).bandjoin(xyz[1] * (220.0 / 3024))
                                .bandjoin(xyz[0] * (120.0 / 4032) + 60);
    const VImage noisy = (gradient + VImage::gaussnoise(4032, 3024, VImage::option()->set("sigma", 6.0)) - 128)
                             .cast(VIPS_FORMAT_UCHAR)
                             .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    void* buffer = nullptr;
    size_t size = 0;
    noisy.write_to_buffer(".jpg", &buffer, &size, VImage::option()->set("Q", 85)->set("strip", true));
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(size));
    g_free(buffer);
    return bytes;
}

// The encoded picture with an APP1 Exif segment of this file's own right
// after the start-of-image marker, as a camera writes it.
test::ExifFields phoneExif(int index)
{
    test::ExifFields fields;
    fields.dateTimeOriginal = QStringLiteral("2023:%1:%2 %3:05:09")
                                  .arg(index % 12 + 1, 2, 10, QLatin1Char('0'))
                                  .arg(index % 28 + 1, 2, 10, QLatin1Char('0'))
                                  .arg(index % 24, 2, 10, QLatin1Char('0'));
    fields.make = QStringLiteral("Apple");
    fields.model = QStringLiteral("iPhone 13 Pro");
    fields.lensModel = QStringLiteral("iPhone 13 Pro back triple camera 5.7mm f/1.5");
    fields.orientation = index % 3 == 0 ? 6 : 1;
    fields.latitude = 41.0 + index / 10000.0;
    fields.longitude = 28.9 - index / 10000.0;
    fields.liveIdentifier = QStringLiteral("LIVE-%1").arg(index);
    return fields;
}

void writePhoto(int index, const QByteArray& picture)
{
    const QByteArray block = test::exifBlock(phoneExif(index)).value_or(QByteArray());
    const QByteArray payload = QByteArray("Exif\0\0", 6) + block;
    const int segmentLength = int(payload.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char(segmentLength >> 8)).append(char(segmentLength & 0xff)).append(payload);
    QFile file(photoPath(index));
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(file.fileName()));
    }
    file.write(picture.first(2) + segment + picture.sliced(2));
}

void writeHeic(int index)
{
    test::HeicFields fields;
    fields.exif = phoneExif(index);
    fields.containerOrientation = fields.exif.orientation.value_or(1);
    if (!test::makeHeic(heicPath(index), QSize(4032, 3024), fields)) {
        qFatal("cannot write %s", qPrintable(heicPath(index)));
    }
}

void writeClip(int index)
{
    test::VideoFields fields;
    fields.size = QSize(1280, 720);
    fields.frames = 10;
    if (index % 2 == 0) {
        fields.rotation = 90;
        fields.make = QStringLiteral("Apple");
        fields.model = QStringLiteral("iPhone 13 Pro");
        fields.location = QStringLiteral("+41.0082+028.9784+040.000/");
        fields.contentIdentifier = QStringLiteral("LIVE-%1").arg(index);
        fields.creationDate = QStringLiteral("2023-07-14T18:05:09+0300");
    } else {
        fields.creationTime = QStringLiteral("2023-07-14T15:05:09Z");
    }
    if (!test::makeVideo(clipPath(index), fields)) {
        qFatal("cannot write %s", qPrintable(clipPath(index)));
    }
}

QStringList fixtures(int set)
{
    QDir().mkpath(fixtureFolder);
    QStringList paths;
    QByteArray picture;
    const int count = set == 0 ? photoCount : set == 1 ? clipCount : heicCount;
    for (int index = 0; index < count; ++index) {
        const QString path = set == 0 ? photoPath(index) : set == 1 ? clipPath(index) : heicPath(index);
        if (!QFileInfo::exists(path)) {
            if (set == 0 && picture.isEmpty()) {
                picture = encodedPicture();
            }
            set == 0 ? writePhoto(index, picture) : set == 1 ? writeClip(index) : writeHeic(index);
        }
        paths.append(path);
    }
    return paths;
}

// Runs `work` over every path on `width` threads; gives the wall time.
template<typename Work>
double overAll(const QStringList& paths, int width, Work work)
{
    std::atomic<qsizetype> next{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> workers;
    for (int worker = 0; worker < width; ++worker) {
        workers.emplace_back([&] {
            for (qsizetype index = next++; index < paths.size(); index = next++) {
                work(paths[index]);
            }
        });
    }
    for (std::thread& thread : workers) {
        thread.join();
    }
    return clock.nsecsElapsed() / 1e9;
}

void inspectWithPivra(const QString& path)
{
    const MediaKind kind = MediaMetadata::kind(path).value_or(MediaKind::image);
    MediaItem item = MediaMetadata::inspect(path, QUuid(), FileValues{1.0, 1.0, 1}, kind);
    benchmark::DoNotOptimize(item);
}

// posix_spawn rather than QProcess, so that the command line pays only for
// its own start-up and work, not for Qt's process plumbing.
void inspectWithExiv2(const QString& path)
{
    const QByteArray file = QFile::encodeName(path);
    char* arguments[] = {const_cast<char*>("exiv2"), const_cast<char*>("-pa"), const_cast<char*>(file.constData()),
                         nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    if (posix_spawnp(&child, "exiv2", &actions, nullptr, arguments, environ) != 0) {
        qFatal("cannot start exiv2");
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(child, &status, 0);
}

void BM_InspectAgainstExiv2(benchmark::State& state)
{
    const int set = int(state.range(0));
    const int width = int(state.range(1));
    const QStringList paths = fixtures(set);
    overAll(paths, width, inspectWithPivra); // both sides start from the page cache
    double pivra = 0;
    double exiv2 = 0;
    for (auto _ : state) {
        exiv2 = overAll(paths, width, inspectWithExiv2);
        pivra = overAll(paths, width, inspectWithPivra);
        state.SetIterationTime(pivra);
    }
    const double count = paths.size();
    state.counters["files_per_s"] = count / pivra;
    state.counters["pivra_ms"] = pivra * 1000 / count;
    state.counters["exiv2_ms"] = exiv2 * 1000 / count;
    state.counters["ratio"] = pivra / exiv2;
    state.SetLabel(set == 0 ? "12 MP JPEG" : set == 1 ? "720p MOV/MP4" : "12 MP HEIC");
}

const int allCores = int(std::max(1u, std::thread::hardware_concurrency()));

BENCHMARK(BM_InspectAgainstExiv2)
    ->ArgNames({"set", "width"})
    ->Args({0, 1})
    ->Args({0, allCores})
    ->Args({1, 1})
    ->Args({1, allCores})
    ->Args({2, 1})
    ->Args({2, allCores})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv);
}
