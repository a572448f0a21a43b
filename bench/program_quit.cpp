// Quitting: the time from the quit (the end of the program's event loop) to
// the end of its process, as the shell that started it sees it. Each
// iteration starts this program again as the program it measures: its store
// on a catalog kept in the run's folder (parented to the application, as the
// program's is), its library window, and at the quit the program's own end,
// endWindow() and then the application's and the static objects'
// destruction. Offscreen, on a library of 20 photos and a 40-s 1280 × 720
// H.264 video with AAC sound, made once into /tmp/pivra-bench-quit (manual
// time per quit; the start of each program is not timed).
//   BM_Quit/0   the grid shown, nothing playing
//   BM_Quit/1   the video playing in the viewer for a second
#include "MediaBenchmarkMain.h"
#include "StoreSources.h"

#include "app/launch/ProgramEnd.h"
#include "app/window/LibraryWindow.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "support/JpegMaker.h"
#include "support/SettingsSandbox.h"
#include "support/VideoMaker.h"
#include "viewer/MediaViewer.h"
#include "viewer/video/VideoPlaybackModel.h"

#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-quit");
const QString videoName = QStringLiteral("trip.mp4");
constexpr char programFlag[] = "--quitting-program";

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

// The measured program: made as main() makes the program, it prints the
// moment it quits and ends as main() ends.
int runProgram(int argc, char** argv, const QString& folder, bool playing)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    initializeMediaLibraries();
    const test::SettingsSandbox settings(folder);
    const QDir run(folder);
    // Never destroyed, as the program's own are not.
    auto* thumbnails = new ThumbnailStore(ThumbnailLocations::under(run.filePath(QStringLiteral("data")),
                                                                    run.filePath(QStringLiteral("cache"))),
                                          std::make_shared<ThumbnailRenderer>());
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
    bench::waitForRun(*store, PivraProcess::Kind::indexing);

    auto window = std::make_unique<QMainWindow>();
    auto* library = new LibraryWindow(*store, *thumbnails, *clips);
    window->setCentralWidget(library);
    library->attachTo(window.get());
    window->resize(1280, 800);
    window->show();
    drain(-1);
    if (playing) {
        playTheVideo(*store, *library);
    }
    QTimer::singleShot(0, &app, [] {
        std::printf("quit %.6f\n", monotonicSeconds());
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    const int status = QApplication::exec();
    endWindow(std::move(window));
    return status;
}

void BM_Quit(benchmark::State& state)
{
    QTemporaryDir run;
    {
        const test::SettingsSandbox settings(run.path());
        bench::recordFolderSource(QStringLiteral("Trip"), fixtureFolder);
    }
    for (auto _ : state) {
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(),
                      {QString::fromLatin1(programFlag), run.path(), QString::number(state.range(0))});
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

BENCHMARK(BM_Quit)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], programFlag) == 0) {
        return runProgram(argc, argv, QString::fromLocal8Bit(argv[2]), std::strcmp(argv[3], "1") == 0);
    }
    return pivra::bench::runMediaBenchmarks(argc, argv, makeFixtures);
}
