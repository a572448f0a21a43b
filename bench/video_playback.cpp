// The viewer's video: how soon the first picture shows after a load, how long
// a hover still of a new second takes (against the ffmpeg command line
// taking the same frame, in the same run), how a 4K video plays at zoom 1 and
// zoomed fivefold, and how long a drag over the bar keeps the GUI thread.
//
// Fixtures (10 seconds with a key frame every second and grain: 1920 × 1080
// H.264 and HEVC at 25 frames per second, 3840 × 2160 HEVC at 30, as phones
// record it) are made once into /tmp/pivra-bench-video-playback and reused.
//
//   BM_FirstFrame/0, /1   load() to the first frame painted, 1080p H.264 and
//                         4K HEVC (manual time per load)
//   BM_HoverFrame/fixture:1, /fixture:4
//                         one still of a new second of the 4K file with
//                         libx265's defaults (open groups of 250 frames:
//                         decoded onwards from a key frame) or as a phone
//                         records it (a key frame of an open group every
//                         second: that key frame alone); still_peak_mb, the
//                         resident memory the stills took at most above the
//                         open file
//   BM_HoverFrameFfmpeg   `ffmpeg -ss T -i file -frames:v 1` of the same frames
//   BM_Playback4K/zoom:1, /zoom:5, /fixture:1 (libx265 defaults) or 4 (as a
//                         phone records it, without wavefronts): 10 s of 4K
//                         playback in a 1280 × 720 view at zoom 1
//                         and 5: frames_per_s shown, longest_stall_ms between
//                         two turns of the GUI thread's event loop,
//                         longest_busy_ms of the GUI thread's processor time
//                         within one such gap, peak_rss_mb of the process
//                         while it plays, from the start of that case's
//                         load (each case's own: the high-water mark is
//                         started again, and the heap of the case before
//                         has been given back as the program gives it back),
//                         stopped_rss_mb resident once stop() and the heap
//                         trim it starts are done
//   BM_Scrub1080pHevc     50 seeks in a second over the 1080p HEVC file, as a
//                         drag over the bar makes them: longest_stall_ms,
//                         and ms until the last position shows
//   BM_ScrubDrag40s       a drag of 4 s over the whole bar of a 40-s 1080p
//                         HEVC video that plays, as the viewer opens it (a
//                         step every 20 ms): frames_shown while
//                         dragging, longest_blank_ms without a new frame
//                         after the first, settled_ms from the last step to
//                         its exact frame, longest_stall_ms and
//                         longest_busy_ms of the GUI thread meanwhile
//   BM_BrokenVideoOpen    a viewer opening a broken MP4 (cut short, its index
//                         lost) until it says why it cannot play:
//                         longest_stall_ms and longest_busy_ms of the GUI
//                         thread, the most of any open
//   BM_ViewerClose/busy:0, /busy:1
//                         closing the viewer of the 4K HEVC file while it
//                         plays, or while a still of it is being decoded
//                         for the bar's hover: longest_stall_ms and
//                         longest_busy_ms of the GUI thread from the close
//                         to its next turns, the most of any close
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPosterFrames.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "platform/runtime/threads/Pool.h"
#include "support/fakes/GalleryItems.h"
#include "support/files/UndecodableVideos.h"
#include "support/files/VideoMaker.h"
#include "viewer/MediaViewer.h"
#include "viewer/video/controls/VideoControls.h"
#include "viewer/video/hover/HoverFrameGrabber.h"
#include "viewer/video/hover/VideoHoverPreview.h"
#include "viewer/video/picture/VideoLayerView.h"
#include "viewer/video/playback/VideoPlaybackModel.h"

#include <QTransform>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QVideoSink>

#include "harness/MediaBenchmarkMain.h"
#include "harness/ResidentMemory.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <optional>

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-video-playback");
constexpr int seconds = 10;
constexpr int framesPerSecond = 25;
constexpr int largeFramesPerSecond = 30;

constexpr int longSeconds = 40;

enum Fixture { wideH264, largeHevc, wideHevc, longHevc, phoneHevc, fixtureCount };

QString fixturePath(int set)
{
    static const QString names[] = {QStringLiteral("/1080p-h264.mp4"), QStringLiteral("/4k-hevc-30fps.mp4"),
                                    QStringLiteral("/1080p-hevc.mp4"), QStringLiteral("/1080p-hevc-40s.mp4"),
                                    QStringLiteral("/4k-hevc-phone.mp4")};
    return fixtureFolder + names[set];
}

// A video cut short, its index lost, that a player must refuse.
QString brokenPath()
{
    return fixtureFolder + QStringLiteral("/broken/truncated.mp4");
}

void makeFixtures()
{
    QDir().mkpath(fixtureFolder);
    if (!QFileInfo::exists(brokenPath())) {
        const QString folder = QFileInfo(brokenPath()).path();
        if (!QDir().mkpath(folder) || test::makeUndecodableVideos(folder).isEmpty()) {
            qFatal("cannot make %s", qPrintable(brokenPath()));
        }
    }
    for (int set = 0; set < fixtureCount; ++set) {
        if (QFileInfo::exists(fixturePath(set))) {
            continue;
        }
        test::VideoFields fields;
        const bool large = set == largeHevc || set == phoneHevc;
        fields.size = large ? QSize(3840, 2160) : QSize(1920, 1080);
        fields.codec = set == wideH264 ? test::VideoCodec::h264 : test::VideoCodec::hevc;
        fields.framesPerSecond = large ? largeFramesPerSecond : framesPerSecond;
        fields.wavefronts = set != phoneHevc; // as a phone records it, a key frame every second
        fields.frames = (set == longHevc ? longSeconds : seconds) * fields.framesPerSecond;
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
    const QString path = fixturePath(int(state.range(0)));
    for (auto _ : state) {
        viewer.model.stop();
        QElapsedTimer clock;
        clock.start();
        viewer.model.load(path, std::nullopt, false);
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
    HoverFrameGrabber grabber(fixturePath(int(state.range(0))));
    grabber.frame(0); // opened, as after the first hover
    bench::resetResidentPeak();
    const double opened = bench::residentMegabytes("VmRSS:");
    int second = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(grabber.frame(second));
        second = second % (seconds - 1) + 1;
    }
    state.counters["still_peak_mb"] = bench::residentMegabytes("VmHWM:") - opened;
}
BENCHMARK(BM_HoverFrame)
    ->ArgName("fixture")
    ->Arg(largeHevc)
    ->Arg(phoneHevc)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(18);

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

// The longest time the GUI thread did not come back to its event loop while
// it is watched: a timer due every millisecond, and the longest gap between
// two of its firings. On a loaded machine that includes time the thread was
// not scheduled at all, so the processor time the thread spent in the same
// gap is kept beside it: the longest piece of work.
struct LoopWatch {
    LoopWatch()
    {
        since.start();
        busySince = threadCpuNanoseconds();
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, &tick, [this] {
            const qint64 busy = threadCpuNanoseconds();
            longest = std::max(longest, since.nsecsElapsed());
            longestBusy = std::max(longestBusy, busy - busySince);
            since.restart();
            busySince = busy;
        });
        tick.start(1);
    }

    void report(benchmark::State& state) const
    {
        state.counters["longest_stall_ms"] = double(longest) / 1e6;
        state.counters["longest_busy_ms"] = double(longestBusy) / 1e6;
    }

    QTimer tick;
    QElapsedTimer since;
    qint64 busySince = 0;
    qint64 longest = 0;
    qint64 longestBusy = 0;
};

void BM_Playback4K(benchmark::State& state)
{
    const double zoom = double(state.range(0));
    const int fixture = int(state.range(1));
    for (auto _ : state) {
        Viewer viewer;
        viewer.view.setPlacement(QTransform().translate(640, 360).scale(zoom, zoom), QSizeF(1280, 720));
        int frames = 0;
        QObject::connect(&viewer.view, &VideoLayerView::frameShown, &viewer.view, [&] { ++frames; });
        bench::resetResidentPeak();
        viewer.model.load(fixturePath(fixture), std::nullopt, true);
        if (!QTest::qWaitFor([&] { return viewer.view.hasFrame() && viewer.model.isPlaying(); }, 30000)) {
            state.SkipWithError("no playback");
            return;
        }
        frames = 0;
        LoopWatch watch;
        QElapsedTimer playing;
        playing.start();
        runUntil(&viewer.model, &VideoPlaybackModel::isPlayingChanged, [&] { return !viewer.model.isPlaying(); },
                 (seconds + 5) * 1000);
        watch.tick.stop();
        watch.report(state);
        state.counters["frames_per_s"] = frames / (double(playing.elapsed()) / 1000);
        state.counters["played_s"] = double(playing.elapsed()) / 1000;
        state.counters["peak_rss_mb"] = bench::residentMegabytes("VmHWM:");
        viewer.model.stop();
        viewer.model.playerRate(); // returns once the player thread has emptied the player
        threadPool(PoolPriority::utility)->waitForDone();
        state.counters["stopped_rss_mb"] = bench::residentMegabytes("VmRSS:");
    }
}
BENCHMARK(BM_Playback4K)
    ->ArgNames({"zoom", "fixture"})
    ->Args({1, largeHevc})
    ->Args({5, largeHevc})
    ->Args({1, phoneHevc})
    ->Args({5, phoneHevc})
    ->Unit(benchmark::kMillisecond)->Iterations(1);

// Drags over the bar as a pointer does, a step every `stepMs` to
// `target(step)` (`step` counts them), then waits until the picture of the
// last step has arrived: the milliseconds that took, or none after marking
// the case skipped.
std::optional<double> dragAndSettle(benchmark::State& state, Viewer& viewer, int steps, int stepMs,
                                    const std::function<double(int)>& target, int& step)
{
    QTimer drag;
    QObject::connect(&drag, &QTimer::timeout, &drag, [&] {
        viewer.model.seek(target(step));
        if (++step == steps) {
            drag.stop();
        }
    });
    drag.start(stepMs);
    if (!QTest::qWaitFor([&] { return step == steps; }, 60000)) {
        state.SkipWithError("the drag did not end");
        return std::nullopt;
    }
    QElapsedTimer settling;
    settling.start();
    if (!QTest::qWaitFor([&] { return !viewer.model.isSeeking(); }, 30000)) {
        state.SkipWithError("the last seek never ended");
        return std::nullopt;
    }
    return double(settling.elapsed());
}

// Opens a fixture, playing when `autoplay` as the viewer opens a video.
bool loadAndShow(benchmark::State& state, Viewer& viewer, int fixture, bool autoplay)
{
    viewer.model.load(fixturePath(fixture), std::nullopt, autoplay);
    if (!QTest::qWaitFor([&] { return viewer.view.hasFrame() && viewer.model.isReady(); }, 30000)) {
        state.SkipWithError("no picture");
        return false;
    }
    return true;
}

void BM_Scrub1080pHevc(benchmark::State& state)
{
    constexpr int steps = 50;
    for (auto _ : state) {
        Viewer viewer;
        if (!loadAndShow(state, viewer, wideHevc, false)) {
            return;
        }
        int step = 0;
        LoopWatch watch;
        const std::optional<double> settled = dragAndSettle(
            state, viewer, steps, 1000 / steps, [](int step) { return 0.5 + step * (8.0 / steps); }, step);
        if (!settled) {
            return;
        }
        watch.tick.stop();
        watch.report(state);
        state.counters["settled_ms"] = *settled;
    }
}
BENCHMARK(BM_Scrub1080pHevc)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ScrubDrag40s(benchmark::State& state)
{
    constexpr int stepMs = 20;
    constexpr int steps = 4000 / stepMs;
    for (auto _ : state) {
        Viewer viewer;
        if (!loadAndShow(state, viewer, longHevc, true)) {
            return;
        }
        int step = 0;
        int shown = 0;
        qint64 longestBlank = 0;
        QElapsedTimer sinceFrame;
        QObject::connect(&viewer.view, &VideoLayerView::frameShown, &viewer.view, [&] {
            if (step > 0 && step < steps) {
                longestBlank = shown > 0 ? std::max(longestBlank, sinceFrame.elapsed()) : 0;
                ++shown;
                sinceFrame.restart();
            }
        });
        LoopWatch watch;
        const std::optional<double> settled = dragAndSettle(
            state, viewer, steps, stepMs, [](int step) { return 0.5 + step * ((longSeconds - 1.0) / (steps - 1)); },
            step);
        if (!settled) {
            return;
        }
        watch.tick.stop();
        watch.report(state);
        state.counters["frames_shown"] = shown;
        state.counters["longest_blank_ms"] = double(longestBlank);
        state.counters["settled_ms"] = *settled;
    }
}
BENCHMARK(BM_ScrubDrag40s)->Unit(benchmark::kMillisecond)->Iterations(3);

// Viewers of file videos as the library window opens them, shown at the
// size of a window, over a thumbnail store of their own.
struct ViewerWindow {
    MediaViewer& open(const QString& path, QSize size, double seconds)
    {
        viewer = std::make_unique<MediaViewer>(test::fileVideo(path, size, seconds), std::nullopt, false, thumbnails,
                                               MediaPasteboard(), ViewerCallbacks{});
        viewer->resize(1280, 720);
        viewer->show();
        return *viewer;
    }

    QTemporaryDir run;
    ThumbnailStore thumbnails{ThumbnailLocations::under(run.filePath(QStringLiteral("data")),
                                                        run.filePath(QStringLiteral("cache"))),
                              std::make_shared<ThumbnailRenderer>(std::make_shared<VideoPosterFrames>())};
    std::unique_ptr<MediaViewer> viewer;
};

// The longest pass and the most processor time in one, over the watches of
// all iterations.
struct LongestPasses {
    void add(const LoopWatch& watch)
    {
        stallMs = std::max(stallMs, double(watch.longest) / 1e6);
        busyMs = std::max(busyMs, double(watch.longestBusy) / 1e6);
    }
    void report(benchmark::State& state) const
    {
        state.counters["longest_stall_ms"] = stallMs;
        state.counters["longest_busy_ms"] = busyMs;
    }

    double stallMs = 0;
    double busyMs = 0;
};

void BM_BrokenVideoOpen(benchmark::State& state)
{
    // The media framework is loaded once per process, as the program does
    // long before its first viewer.
    { QVideoSink framework; }
    ViewerWindow window;
    LongestPasses passes;
    for (auto _ : state) {
        LoopWatch watch;
        const VideoPlaybackModel& playback = *window.open(brokenPath(), QSize(320, 240), 3).playback();
        if (!runUntil(&playback, &VideoPlaybackModel::errorChanged, [&] { return playback.error().has_value(); },
                      30000)) {
            state.SkipWithError("no error");
            return;
        }
        passes.add(watch);
        window.viewer.reset();
    }
    passes.report(state);
}
BENCHMARK(BM_BrokenVideoOpen)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ViewerClose(benchmark::State& state)
{
    const bool still = state.range(0) == 1;
    ViewerWindow window;
    LongestPasses passes;
    for (auto _ : state) {
        MediaViewer& viewer = window.open(fixturePath(largeHevc), QSize(3840, 2160), seconds);
        if (!QTest::qWaitFor([&] { return viewer.playback()->currentTime() > 0.2; }, 30000)) {
            state.SkipWithError("no playback");
            return;
        }
        if (still) {
            VideoHoverPreview& hover = viewer.videoControls()->hoverPreview();
            hover.setRestDelay(std::chrono::milliseconds(0));
            hover.request(1.2);
            if (!QTest::qWaitFor([&] { return hover.isDecoding(); }, 30000)) {
                state.SkipWithError("no still decoded");
                return;
            }
        }
        LoopWatch watch;
        int ticks = 0;
        QObject::connect(&watch.tick, &QTimer::timeout, &watch.tick, [&] { ++ticks; });
        QTimer::singleShot(0, [&] { window.viewer.reset(); });
        // The closing pass is in once the timer has fired after it.
        runUntil(&watch.tick, &QTimer::timeout, [&] { return !window.viewer && ticks > 2; }, 30000);
        watch.tick.stop();
        passes.add(watch);
    }
    passes.report(state);
}
BENCHMARK(BM_ViewerClose)->ArgName("busy")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    // As the program's main sets it up.
    limitHeapRetention();
    return bench::runMediaBenchmarks(argc, argv, makeFixtures);
}
