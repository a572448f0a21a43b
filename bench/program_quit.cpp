// Quitting: the time from the quit (the end of the program's event loop) to
// the end of its process, as the shell that started it sees it. Each
// iteration starts this program again as the program it measures: its store
// on a catalog kept in the run's folder (parented to the application, as the
// program's is), its library window, and at the quit the program's own end,
// endWindow(), endLibrary(), the application's destruction and
// leaveProgram(). Offscreen,
// on a library of 20 photos and a 40-s 1280 × 720 H.264 video with AAC
// sound, made once into /tmp/pivra-bench-quit (manual time per quit; the
// start of each program is not timed).
//   BM_Quit/0   the grid shown, nothing playing
//   BM_Quit/1   the video playing in the viewer for a second
// and, with work in flight, on a library met for the first time (a fresh
// catalog and caches each quit) of 300 camera-sized photos and three 10-s
// 1920 × 1080 videos, made once into /tmp/pivra-bench-quit-busy:
//   BM_Quit/2   quit while the first scan indexes, the grid asking for thumbnails
//   BM_Quit/3   quit while thumbnails are prepared
//   BM_Quit/4   quit while preview clips are encoded (the videos' folder
//               alone, so that the clips start without waiting for the photos)
#include "harness/CameraPhotos.h"
#include "harness/MediaBenchmarkMain.h"
#include "harness/StoreSources.h"

#include "app/launch/ProgramEnd.h"
#include "app/launch/SingleInstance.h"
#include "app/window/LibraryWindow.h"
#include "media/video/VideoPosterFrames.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "support/files/JpegMaker.h"
#include "support/system/SettingsSandbox.h"
#include "support/files/VideoMaker.h"
#include "viewer/MediaViewer.h"
#include "viewer/video/playback/VideoPlaybackModel.h"

#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-quit");
const QString busyFolder = QStringLiteral("/tmp/pivra-bench-quit-busy");
const QString busyVideoFolder = busyFolder + QStringLiteral("/Videos");
const QString videoName = QStringLiteral("trip.mp4");
constexpr char programFlag[] = "--quitting-program";
constexpr int busyPhotos = 300;
constexpr int busyVideos = 3;

// What the program is doing when it quits.
enum class Moment { idle, playing, indexing, thumbnails, clips };

double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void makeFixtures()
{
    QDir().mkpath(fixtureFolder);
    for (int index = 0; index < 20; ++index) {
        const QString path = fixtureFolder + QStringLiteral("/photo-%1.jpg").arg(index);
        if (!QFileInfo::exists(path) && !test::makeJpeg(path, {1600, 1200}, {}, QColor::fromHsv(index * 18, 200, 200))) {
            qFatal("cannot make %s", qPrintable(path));
        }
    }
    const QString video = fixtureFolder + u'/' + videoName;
    test::VideoFields fields;
    fields.size = {1280, 720};
    fields.codec = test::VideoCodec::h264;
    fields.framesPerSecond = 30;
    fields.frames = 40 * fields.framesPerSecond;
    fields.grain = true;
    fields.withAudio = true;
    if (!QFileInfo::exists(video) && !test::makeVideo(video, fields)) {
        qFatal("cannot make %s", qPrintable(video));
    }
    const QString photos = busyFolder + QStringLiteral("/Photos");
    if (!QFileInfo::exists(photos)) {
        bench::makeCameraPhotos(photos + QStringLiteral(".part"), busyPhotos, {3000, 2000});
        QDir().rename(photos + QStringLiteral(".part"), photos);
    }
    fields.size = {1920, 1080};
    fields.frames = 10 * fields.framesPerSecond;
    QDir().mkpath(busyVideoFolder);
    for (int index = 0; index < busyVideos; ++index) {
        const QString clip = busyVideoFolder + QStringLiteral("/clip-%1.mp4").arg(index);
        if (!QFileInfo::exists(clip) && !test::makeVideo(clip, fields)) {
            qFatal("cannot make %s", qPrintable(clip));
        }
    }
}

// Until the viewer has played the video for a second: its pipeline, sound
// and frame thread all running.
void playTheVideo(LibraryStore& store, LibraryWindow& library)
{
    const MediaItems items = store.items();
    const auto video =
        std::find_if(items->begin(), items->end(), [](const MediaItem& item) { return item.name() == videoName; });
    if (video == items->end()) {
        qFatal("the video was not indexed");
    }
    store.openViewer(*video);
    while (!library.viewer() || !library.viewer()->playback()->isPlaying()
           || library.viewer()->playback()->currentTime() < 1) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// Until a run of `kind` is under way with at least `done` items behind it.
void waitForWork(LibraryStore& store, PivraProcess::Kind kind, int done)
{
    const auto underWay = [&] {
        const QList<PivraProcess>& running = store.processes().running();
        return std::any_of(running.cbegin(), running.cend(), [&](const PivraProcess& process) {
            return process.kind == kind && process.completed >= done;
        });
    };
    while (!underWay()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// The measured program: made as main() makes the program, it prints the
// moment it quits and ends as main() ends.
int runProgram(int argc, char** argv, const QString& folder, Moment moment)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    initializeMediaLibraries();
    const test::SettingsSandbox settings(folder);
    const QDir run(folder);
    // Never destroyed, as the program's own are not.
    auto* thumbnails = new ThumbnailStore(ThumbnailLocations::under(run.filePath(QStringLiteral("data")),
                                                                    run.filePath(QStringLiteral("cache"))),
                                          std::make_shared<ThumbnailRenderer>(std::make_shared<VideoPosterFrames>()));
    auto* clips = new VideoPreviewStore(run.filePath(QStringLiteral("clips")));
    auto* store = new LibraryStore(
        LibraryServices{
            .openCatalog = [path = run.filePath(QStringLiteral("Catalog.sqlite"))] {
                return std::make_unique<MediaCatalog>(path);
            },
            .places = [](const QString&) -> std::optional<QStringList> { return std::nullopt; },
            .thumbnails = thumbnails,
            .previews = clips,
            .inspector = std::make_shared<MetadataInspector>(),
        },
        &app);
    if (moment == Moment::idle || moment == Moment::playing) {
        bench::waitForRun(*store, PivraProcess::Kind::indexing);
    }

    auto window = std::make_unique<QMainWindow>();
    auto* library = new LibraryWindow(*store, *thumbnails, *clips);
    window->setCentralWidget(library);
    library->attachTo(window.get());
    window->resize(1280, 800);
    window->show();
    switch (moment) {
    case Moment::idle:
        drain(-1);
        break;
    case Moment::playing:
        drain(-1);
        playTheVideo(*store, *library);
        break;
    case Moment::indexing:
        waitForWork(*store, PivraProcess::Kind::indexing, 1);
        break;
    case Moment::thumbnails:
        waitForWork(*store, PivraProcess::Kind::thumbnails, 10);
        break;
    case Moment::clips:
        waitForWork(*store, PivraProcess::Kind::videoPreviews, 0);
        break;
    }
    QTimer::singleShot(0, &app, [] {
        std::printf("quit %.6f\n", monotonicSeconds());
        std::fflush(stdout);
        quitProgram();
    });
    const int status = QApplication::exec();
    // Not listening: a benchmark's copy takes no later launches.
    SingleInstance instance(QStringLiteral("pivra-quit-bench-%1").arg(QCoreApplication::applicationPid()));
    endWindow(std::move(window), instance);
    endLibrary(*store);
    return status;
}

// A folder for one program: its settings name the library's folder.
std::unique_ptr<QTemporaryDir> runFolder(const QString& library)
{
    auto run = std::make_unique<QTemporaryDir>();
    const test::SettingsSandbox settings(run->path());
    bench::recordFolderSource(QStringLiteral("Library"), library);
    return run;
}

void BM_Quit(benchmark::State& state)
{
    const auto moment = static_cast<Moment>(state.range(0));
    const bool busy = moment != Moment::idle && moment != Moment::playing;
    const QString library = moment == Moment::clips ? busyVideoFolder : busy ? busyFolder : fixtureFolder;
    std::unique_ptr<QTemporaryDir> run = runFolder(library);
    for (auto _ : state) {
        if (busy) {
            run = runFolder(library); // met for the first time
        }
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(),
                      {QString::fromLatin1(programFlag), run->path(), QString::number(state.range(0))});
        QByteArray line;
        while (!line.endsWith('\n') && program.waitForReadyRead(-1)) {
            line += program.readAll();
        }
        if (!line.startsWith("quit ")) {
            state.SkipWithError("the program did not start");
            return;
        }
        const double quitAt = line.mid(5).trimmed().toDouble();
        program.waitForFinished(-1);
        const double endedAt = monotonicSeconds();
        if (program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0) {
            state.SkipWithError("the program did not end cleanly");
            return;
        }
        state.SetIterationTime(endedAt - quitAt);
    }
}

} // namespace

BENCHMARK(BM_Quit)->DenseRange(0, 4)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], programFlag) == 0) {
        leaveProgram(runProgram(argc, argv, QString::fromLocal8Bit(argv[2]), static_cast<Moment>(std::atoi(argv[3]))));
    }
    return pivra::bench::runMediaBenchmarks(argc, argv, makeFixtures);
}
