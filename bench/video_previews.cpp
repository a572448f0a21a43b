// Posters and preview clips of phone-sized videos: ours against the ffmpeg
// command line doing the same work, in the same run.
//
// Fixtures (20 clips of 10 seconds at 25 frames per second with AAC sound, 10
// at 1920 × 1080 and 10 at 3840 × 2160, each half H.264 and half HEVC, with a
// key frame every second and grain that keeps them at the bit rates of
// filmed clips) are made once into /tmp/pivra-bench-video-previews and
// reused.
//
// Arguments: {set, width}: set 0 is the 1080p clips, 1 the 4K ones; width 1
// is one file at a time (latency), 4 the visible-thumbnail queue's width, so
// four files at once on both sides. Counters per run:
//   ms_per_file   wall time per file
//   cores         processor time / wall time: cores kept busy
#include "media/video/PreviewClip.h"
#include "media/video/VideoDecoder.h"
#include "media/video/VideoError.h"
#include "media/video/VideoPosterFrames.h"
#include "support/files/VideoMaker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "harness/MediaBenchmarkMain.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-video-previews");
constexpr int clipsPerSet = 10;
constexpr int gridPixels = 420;

QString fixturePath(int set, int index)
{
    return QStringLiteral("%1/%2-%3-%4.mp4")
        .arg(fixtureFolder, set == 0 ? QStringLiteral("1080p") : QStringLiteral("4k"),
             index % 2 == 0 ? QStringLiteral("h264") : QStringLiteral("hevc"))
        .arg(index, 2, 10, QLatin1Char('0'));
}

void makeFixtures()
{
    QDir().mkpath(fixtureFolder);
    for (int set = 0; set < 2; ++set) {
        for (int index = 0; index < clipsPerSet; ++index) {
            const QString path = fixturePath(set, index);
            if (QFileInfo::exists(path)) {
                continue;
            }
            test::VideoFields fields;
            fields.size = set == 0 ? QSize(1920, 1080) : QSize(3840, 2160);
            fields.frames = 250;
            fields.codec = index % 2 == 0 ? test::VideoCodec::h264 : test::VideoCodec::hevc;
            fields.withAudio = true;
            fields.grain = true;
            const QString temporary = path + QStringLiteral(".part.mp4");
            if (!test::makeVideo(temporary, fields) || !QFile::rename(temporary, path)) {
                qFatal("cannot make %s", qPrintable(path));
            }
        }
    }
}

// A fixture and what the command lines must be told to do our work.
struct Fixture {
    QString path;
    double posterSeconds = 0;
    QSize posterSize; // upright
    QSize clipSize;
};

const std::vector<Fixture>& fixtures(int set)
{
    static std::vector<Fixture> sets[2];
    static std::once_flag planned[2];
    std::call_once(planned[set], [set] {
        for (int index = 0; index < clipsPerSet; ++index) {
            Fixture fixture{fixturePath(set, index)};
            const std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(fixture.path);
            fixture.posterSeconds = posterFrameSeconds(decoder->duration());
            fixture.posterSize = VideoPosterFrames().frame(fixture.path, gridPixels).size();
            fixture.clipSize = previewClipSize(decoder->naturalSize());
            sets[set].push_back(fixture);
        }
    });
    for (const Fixture& fixture : sets[set]) { // both sides start from the page cache
        QFile file(fixture.path);
        file.open(QIODevice::ReadOnly);
        while (!file.read(1 << 20).isEmpty()) {
        }
    }
    return sets[set];
}

double processorSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs `work` on every file, `width` files at a time, and reports the wall
// time per file and the cores the process (or its children, for the command
// line) kept busy.
void measure(benchmark::State& state, const std::function<void(const Fixture& file, const QString& output)>& work,
             bool children)
{
    const std::vector<Fixture>& files = fixtures(int(state.range(0)));
    const int width = int(state.range(1));
    const int who = children ? RUSAGE_CHILDREN : RUSAGE_SELF;
    double wall = 0;
    double processor = 0;
    for (auto _ : state) {
        QTemporaryDir output;
        std::atomic<std::size_t> next{0};
        const double before = processorSeconds(who);
        QElapsedTimer clock;
        clock.start();
        std::vector<std::thread> workers;
        for (int worker = 0; worker < width; ++worker) {
            workers.emplace_back([&] {
                for (std::size_t index = next++; index < files.size(); index = next++) {
                    work(files[index], output.filePath(QString::number(index)));
                }
            });
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
        const double seconds = clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        wall += seconds;
        processor += processorSeconds(who) - before;
    }
    state.counters["ms_per_file"] = wall * 1000 / (double(state.iterations()) * files.size());
    state.counters["cores"] = processor / wall;
    state.SetLabel(state.range(0) == 0 ? "1080p" : "4K");
}

void runFfmpeg(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-v"), QStringLiteral("error")} + arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        qFatal("ffmpeg failed: %s", process.readAllStandardError().constData());
    }
}

QString sizeArgument(QSize size)
{
    return QStringLiteral("scale=%1:%2").arg(size.width()).arg(size.height());
}

void BM_PosterFrame(benchmark::State& state)
{
    measure(state, [](const Fixture& file, const QString&) {
        if (VideoPosterFrames().frame(file.path, gridPixels).isNull()) {
            qFatal("no poster for %s", qPrintable(file.path));
        }
    }, false);
}

// The same frame at the same size, from ffmpeg's accurate seek, as a JPEG.
void BM_PosterFrameFfmpeg(benchmark::State& state)
{
    measure(state, [](const Fixture& file, const QString& output) {
        runFfmpeg({QStringLiteral("-ss"), QString::number(file.posterSeconds), QStringLiteral("-i"), file.path,
                   QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-vf"),
                   sizeArgument(file.posterSize), QStringLiteral("-y"), output + QStringLiteral(".jpg")});
    }, true);
}

void BM_PreviewClip(benchmark::State& state)
{
    measure(state, [](const Fixture& file, const QString& output) {
        try {
            encodePreviewClip(file.path, output + QStringLiteral(".mp4"));
        } catch (const VideoError&) {
            qFatal("no preview clip for %s", qPrintable(file.path));
        }
    }, false);
}

// The clip's settings as the encoder makes them: the first 3 seconds without
// sound, x265 at 450 kbit/s with its preset and thread limits, a key frame
// every second (25 frames here), 'hvc1', the index in front.
void BM_PreviewClipFfmpeg(benchmark::State& state)
{
    measure(state, [](const Fixture& file, const QString& output) {
        runFfmpeg({QStringLiteral("-i"), file.path, QStringLiteral("-t"), QStringLiteral("3"), QStringLiteral("-an"),
                   QStringLiteral("-vf"), sizeArgument(file.clipSize), QStringLiteral("-c:v"),
                   QStringLiteral("libx265"), QStringLiteral("-preset"), QStringLiteral("veryfast"),
                   QStringLiteral("-b:v"), QStringLiteral("450k"), QStringLiteral("-g"), QStringLiteral("25"),
                   QStringLiteral("-keyint_min"), QStringLiteral("25"), QStringLiteral("-x265-params"),
                   QStringLiteral("log-level=error:open-gop=0:pools=2:frame-threads=1"), QStringLiteral("-tag:v"),
                   QStringLiteral("hvc1"), QStringLiteral("-movflags"), QStringLiteral("+faststart"),
                   QStringLiteral("-y"), output + QStringLiteral(".mp4")});
    }, true);
}

void fileArguments(benchmark::internal::Benchmark* benchmark)
{
    benchmark->ArgNames({"set", "width"})
        ->Args({0, 1})
        ->Args({1, 1})
        ->Args({0, 4})
        ->Args({1, 4})
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_PosterFrame)->Apply(fileArguments)->Iterations(3);
BENCHMARK(BM_PosterFrameFfmpeg)->Apply(fileArguments)->Iterations(3);
BENCHMARK(BM_PreviewClip)->Apply(fileArguments)->Iterations(1);
BENCHMARK(BM_PreviewClipFfmpeg)->Apply(fileArguments)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv, makeFixtures);
}
