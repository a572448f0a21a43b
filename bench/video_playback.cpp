// The viewer's video: how soon the first picture shows after a load, how long
// a hover still of a new second takes (against the ffmpeg command line
// taking the same frame, in the same run), and how long the GUI thread is
// kept from its events while a 4K video plays.
//
// Fixtures (10 seconds at 25 frames per second with a key frame every second
// and grain: 1920 × 1080 H.264 and 3840 × 2160 HEVC) are made once into
// /tmp/pivra-bench-video-playback and reused.
//
//   BM_FirstFrame/0, /1   load() to the first frame painted, 1080p H.264 and
//                         4K HEVC (manual time per load)
//   BM_HoverFrame         one still of a new second of the 4K file
//   BM_HoverFrameFfmpeg   `ffmpeg -ss T -i file -frames:v 1` of the same frames
//   BM_GuiStall4K         10 s of 4K playback shown in a 1280 × 720 view:
//                         longest_stall_ms between two turns of the GUI
//                         thread's event loop, longest_busy_ms of the GUI
//                         thread's processor time within one such gap,
//                         frames_shown
#include "support/VideoMaker.h"
#include "viewer/video/HoverFrameGrabber.h"
#include "viewer/video/VideoLayerView.h"
#include "viewer/video/VideoPlaybackModel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include "MediaBenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-video-playback");
constexpr int seconds = 10;
constexpr int framesPerSecond = 25;

QString fixturePath(int set)
{
    return fixtureFolder + (set == 0 ? QStringLiteral("/1080p-h264.mp4") : QStringLiteral("/4k-hevc.mp4"));
}

void makeFixtures()
{
    QDir().mkpath(fixtureFolder);
    for (int set = 0; set < 2; ++set) {
        if (QFileInfo::exists(fixturePath(set))) {
            continue;
        }
        test::VideoFields fields;
        fields.size = set == 0 ? QSize(1920, 1080) : QSize(3840, 2160);
        fields.codec = set == 0 ? test::VideoCodec::h264 : test::VideoCodec::hevc;
        fields.frames = seconds * framesPerSecond;
        fields.framesPerSecond = framesPerSecond;
        fields.grain = true;
        if (!test::makeVideo(fixturePath(set), fields)) {
            qFatal("cannot make %s", qPrintable(fixturePath(set)));
        }
    }
}

// Runs the event loop until `done` holds, checked whenever `sender` emits
// `signal` (QTest::qWaitFor sleeps between its turns, which would be
// measured too); false after `limitMs`.
template <typename Sender, typename Signal, typename Done>
bool runUntil(const Sender* sender, Signal signal, Done done, int limitMs)
{
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(limitMs, &loop, [&] { loop.exit(1); });
    return done() || loop.exec() == 0;
}

qint64 threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The viewer's player and picture, shown at the size of a viewer window.
struct Viewer {
    Viewer()
    {
        view.resize(1280, 720);
        view.show();
    }

    VideoPlaybackModel model;
    VideoLayerView view{model};
};

void BM_FirstFrame(benchmark::State& state)
{
    Viewer viewer;
    const QUrl url = QUrl::fromLocalFile(fixturePath(int(state.range(0))));
    for (auto _ : state) {
        viewer.model.stop();
        QElapsedTimer clock;
        clock.start();
        viewer.model.load(url, std::nullopt, false);
        if (!runUntil(&viewer.view, &VideoLayerView::frameShown, [&] { return viewer.view.hasFrame(); }, 30000)) {
            state.SkipWithError("no frame");
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_FirstFrame)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_HoverFrame(benchmark::State& state)
{
    HoverFrameGrabber grabber(fixturePath(1));
    grabber.frame(0); // opened, as after the first hover
    int second = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(grabber.frame(second));
        second = second % (seconds - 1) + 1;
    }
}
BENCHMARK(BM_HoverFrame)->Unit(benchmark::kMillisecond)->Iterations(18);

void BM_HoverFrameFfmpeg(benchmark::State& state)
{
    int second = 1;
    for (auto _ : state) {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-ss"), QString::number(second),
                      QStringLiteral("-i"), fixturePath(1), QStringLiteral("-frames:v"), QStringLiteral("1"),
                      QStringLiteral("-vf"), QStringLiteral("scale=240:140:force_original_aspect_ratio=decrease"),
                      QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-y"), QStringLiteral("/dev/null")});
        if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        second = second % (seconds - 1) + 1;
    }
}
BENCHMARK(BM_HoverFrameFfmpeg)->Unit(benchmark::kMillisecond)->Iterations(18);

void BM_GuiStall4K(benchmark::State& state)
{
    for (auto _ : state) {
        Viewer viewer;
        int frames = 0;
        QObject::connect(&viewer.view, &VideoLayerView::frameShown, &viewer.view, [&] { ++frames; });
        viewer.model.load(QUrl::fromLocalFile(fixturePath(1)), std::nullopt, true);
        if (!QTest::qWaitFor([&] { return viewer.view.hasFrame() && viewer.model.isPlaying(); }, 30000)) {
            state.SkipWithError("no playback");
            return;
        }
        // A timer due every millisecond: the longest gap between two of its
        // firings is the longest time the GUI thread did not come back to
        // its event loop. On a loaded machine that includes time the thread
        // was not scheduled at all, so the processor time the thread spent
        // in the same gap is reported beside it: the longest piece of work.
        qint64 longest = 0;
        qint64 longestBusy = 0;
        QElapsedTimer since;
        since.start();
        qint64 busySince = threadCpuNanoseconds();
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
            const qint64 busy = threadCpuNanoseconds();
            longest = std::max(longest, since.nsecsElapsed());
            longestBusy = std::max(longestBusy, busy - busySince);
            since.restart();
            busySince = busy;
        });
        tick.start(1);
        QElapsedTimer playing;
        playing.start();
        runUntil(&viewer.model, &VideoPlaybackModel::isPlayingChanged, [&] { return !viewer.model.isPlaying(); },
                 (seconds + 5) * 1000);
        tick.stop();
        state.counters["longest_stall_ms"] = double(longest) / 1e6;
        state.counters["longest_busy_ms"] = double(longestBusy) / 1e6;
        state.counters["frames_shown"] = frames;
        state.counters["played_s"] = double(playing.elapsed()) / 1000;
    }
}
BENCHMARK(BM_GuiStall4K)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return bench::runMediaBenchmarks(argc, argv, makeFixtures);
}
