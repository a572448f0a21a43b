// A user's session, in one process as the program runs it, and the memory a
// 4K video takes on top of it. The library window is shown offscreen at
// 1600 × 1000 over a library of 2,000 photos and twenty videos, with the
// services the program gives its store (place names, mounts, cameras, preview
// clips); the catalog, grid store and clips are kept from an earlier run, as a
// second launch finds them. First the session is warmed as half an hour of use
// warms it:
//   1. the grid is scrolled to its end and back, a screen at a time, each
//      step waiting for the tiles on screen;
//   2. the pointer rests on each of sixteen short videos at the top of the
//      grid until its preview clip plays;
//   3. fifty photos are opened in the viewer one after the other (the first
//      by a click, the others by the next arrow), their 3200-px previews made
//      afresh from 12-megapixel originals;
//   4. the two 1080p videos play in the viewer for three seconds each;
//   5. the map is shown, zoomed in and panned about, then the place grid,
//      and the window goes back to the gallery.
// Then a 4K HEVC video (3840 × 2160 at 30 frames a second, with sound) is
// opened and used: two seconds plain, the pointer moved along the scrub bar
// (a still of the hovered second in its bubble), then to the bar's end,
// whose still is decoded on from the last key frame, and off the bar while
// that still is being made, two clicks on the bar a second apart, zoomed in
// by Ctrl and the wheel in six steps while it plays, paused for a second and
// zoomed three steps more, played again to its end, and the viewer closed;
// the window is then left alone for 15 s. The 4K video is, by the benchmark's name, one coded as
// libx265 codes by default (wavefronts, a key frame every 250 frames, 10 s)
// or as a phone records it (12 s at 40 Mb/s, no wavefronts, a key frame
// starting afresh every second).
// Reported: warmed_rss_mb, resident as the 4K video opens; peak_rss_mb, the
// highest resident memory of the session (from the start of step 1);
// playback_peak_rss_mb, the highest from the opening of the 4K video to a
// second after its viewer closed, and the highest of each part of it
// (playing_, hovering_ up to the bar's end, hover_end_ to a second after the
// pointer left, clicked_, zooming_, paused_, resumed_, closing_peak_rss_mb),
// with the first four's cost over warmed_rss_mb (playing_cost_mb…);
// playback_cost_mb, the playback peak above warmed_rss_mb; played_to_end, 0
// when the 4K video never reached its end after the seeks and the pauses;
// clips_played, the clips of step 2 that showed a frame within 10 s;
// idle_rss_mb, resident at the end; and the resident memory after each step
// (_rss_mb). Beside them, what `mpv --hwdec=no` takes over its own idle
// (mpv_idle_rss_mb) on the same 4K file in a window as large: to two
// seconds into it (mpv_playing_cost_mb) and over two exact seeks
// (mpv_seeking_cost_mb).
//
// Fixtures are made once into /tmp/pivra-bench-session; the library (catalog,
// settings, thumbnails) lives in its `library` folder and is made by the
// first run, whose indexing is not part of the session. The viewer's previews
// are removed at every start.

#include "harness/MediaBenchmarkMain.h"
#include "harness/MpvPeaks.h"
#include "harness/NoisyPhoto.h"
#include "harness/ResidentMemory.h"

#include "app/content/ContentColumn.h"
#include "app/window/LibraryWindow.h"
#include "catalog/MediaCatalog.h"
#include "catalog/model/LibrarySource.h"
#include "gallery/GalleryGrid.h"
#include "gallery/drag/MediaDragSurface.h"
#include "gallery/preview/HoverVideoPlayer.h"
#include "gallery/preview/RotatablePreviewView.h"
#include "map/LibraryMap.h"
#include "map/basemap/BaseMapTiles.h"
#include "map/view/MapView.h"
#include "media/camera/CameraSourceManager.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPosterFrames.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/AppSettings.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/folders/MountMonitor.h"
#include "platform/geocoder/OfflineReverseGeocoder.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "store/LibraryStore.h"
#include "store/places/PlaceNamer.h"
#include "style/appearance/PivraStyle.h"
#include "style/assets/PivraFonts.h"
#include "support/files/JpegMaker.h"
#include "support/system/SettingsSandbox.h"
#include "support/files/VideoMaker.h"
#include "viewer/MediaViewer.h"
#include "viewer/photo/PhotoCanvas.h"
#include "viewer/video/controls/VideoControls.h"
#include "viewer/video/controls/VideoScrubBar.h"
#include "viewer/video/picture/VideoLayerView.h"
#include "viewer/video/playback/VideoPlaybackModel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <map>
#include <optional>
#include <string>

namespace {

using namespace pivra;

const QString fixtureFolder = QStringLiteral("/tmp/pivra-bench-session");
constexpr int smallPhotos = 1940; // 1600 × 1200, as exported or downscaled
constexpr int largePhotos = 60;   // 4032 × 3024, the newest, where the viewer opens
constexpr int viewerOpens = 50;
constexpr int videoSeconds = 10;
constexpr int phoneSeconds = 12;
constexpr int clips = 16; // short 1080p videos, the newest of the library
constexpr int clipSeconds = 3;
constexpr int restSeconds = 15;

QString photosFolder()
{
    return fixtureFolder + QStringLiteral("/photos");
}

QString libraryFolder()
{
    return fixtureFolder + QStringLiteral("/library");
}

enum Video { wideH264, wideHevc, largeHevc, phoneHevc, firstClip, videoCount = firstClip + clips };

QString videoPath(int video)
{
    static const char* const names[] = {"1080p-h264.mp4", "1080p-hevc.mp4", "4k-hevc.mp4", "4k-phone-40mbps.mp4"};
    return photosFolder() + QLatin1Char('/')
           + (video < firstClip ? QLatin1String(names[video]) : QStringLiteral("clip-%1.mp4").arg(video - firstClip));
}

test::VideoFields videoFields(int video)
{
    test::VideoFields fields;
    const bool large = video == largeHevc || video == phoneHevc;
    fields.size = large ? QSize(3840, 2160) : QSize(1920, 1080);
    fields.codec = video == wideH264 || video >= firstClip ? test::VideoCodec::h264 : test::VideoCodec::hevc;
    fields.framesPerSecond = large ? 30 : 25; // a key frame every second
    fields.frames = (video >= firstClip ? clipSeconds : video == phoneHevc ? phoneSeconds : videoSeconds)
                    * fields.framesPerSecond;
    fields.wavefronts = video != phoneHevc;
    if (video == phoneHevc) {
        fields.closedGops = true;
        fields.x265Parameters = "bitrate=40000:vbv-maxrate=48000:vbv-bufsize=80000";
    }
    fields.grain = true;
    fields.withAudio = true;
    fields.creationTime = video < firstClip ? QStringLiteral("2024-05-0%1T10:00:00Z").arg(video + 1)
                                            : QStringLiteral("2024-04-%1T10:00:00Z").arg(video - firstClip + 10);
    return fields;
}

// Photos taken with a phone over three years around Europe, a quarter with a
// place.
test::ExifFields photoFields(int index)
{
    QRandomGenerator random(quint32(index) + 11);
    test::ExifFields fields;
    fields.make = QStringLiteral("Apple");
    fields.model = QStringLiteral("iPhone 13");
    const QDateTime taken = QDateTime(QDate(2021, 1, 1), QTime(9, 0), Qt::UTC).addSecs(qint64(index) * 47'000);
    fields.dateTimeOriginal = taken.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (index % 4 == 0) {
        fields.latitude = 38 + random.bounded(16.0);
        fields.longitude = -8 + random.bounded(34.0);
    }
    return fields;
}

void makeSmallPhoto(const QString& path, int index)
{
    QRandomGenerator random(quint32(index) + 1);
    QImage image(index % 3 == 1 ? QSize(1200, 1600) : QSize(1600, 1200), QImage::Format_RGB32);
    image.fill(QColor::fromHsv(int(random.bounded(360)), 110, 190));
    QPainter painter(&image);
    for (int shape = 0; shape < 60; ++shape) {
        painter.fillRect(int(random.bounded(image.width())), int(random.bounded(image.height())), 220, 140,
                         QColor::fromRgb(random.generate()));
    }
    painter.end();
    if (!image.save(path, "JPEG", 88) || !test::addExif(path, photoFields(index))) {
        qFatal("cannot make %s", qPrintable(path));
    }
}

void makeLargePhoto(const QString& path, int index)
{
    bench::writeNoisyPhoto(path, 4032, 3024, (index * 37) % 200);
    if (!test::addExif(path, photoFields(smallPhotos + index))) {
        qFatal("cannot date %s", qPrintable(path));
    }
}

void makeFixtures()
{
    QDir().mkpath(photosFolder());
    // The phone video of earlier runs, coded at a lower rate in open groups.
    QFile::remove(photosFolder() + QStringLiteral("/4k-phone.mp4"));
    for (int index = 0; index < smallPhotos + largePhotos; ++index) {
        const QString path = photosFolder() + QStringLiteral("/%1.jpg").arg(index, 4, 10, QLatin1Char('0'));
        if (QFileInfo::exists(path)) {
            continue;
        }
        const QString part = photosFolder() + QStringLiteral("/.part.jpg");
        if (index < smallPhotos) {
            makeSmallPhoto(part, index);
        } else {
            makeLargePhoto(part, index - smallPhotos);
        }
        QFile::rename(part, path);
    }
    for (int video = 0; video < videoCount; ++video) {
        if (QFileInfo::exists(videoPath(video))) {
            continue;
        }
        const QString part = photosFolder() + QStringLiteral("/.part.mp4");
        if (!test::makeVideo(part, videoFields(video))) {
            qFatal("cannot make %s", qPrintable(videoPath(video)));
        }
        QFile::rename(part, videoPath(video));
    }
}

// Runs the event loop until `done` holds, looking every 10 ms.
template <typename Done>
void waitUntil(Done done)
{
    while (!done()) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void runFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The program's store and window over the fixture library.
struct Session {
    test::SettingsSandbox settings{libraryFolder()};
    CameraSourceManager& cameras = CameraSourceManager::shared();
    MountMonitor mounts;
    PlaceNamer namer{std::make_unique<OfflineReverseGeocoder>(PlaceLanguage::english), {}, nullptr,
                     libraryFolder() + QStringLiteral("/places.json")};
    ThumbnailStore thumbnails{
        ThumbnailLocations::under(libraryFolder() + QStringLiteral("/data"), libraryFolder() + QStringLiteral("/cache")),
        std::make_shared<ThumbnailRenderer>(std::make_shared<VideoPosterFrames>())};
    VideoPreviewStore clips{libraryFolder() + QStringLiteral("/clips")};
    std::unique_ptr<LibraryStore> store;
    std::unique_ptr<LibraryWindow> window;

    Session()
    {
        QDir(thumbnails.locations().viewerDirectory).removeRecursively();
        if (!AppSettings().contains(LibraryStore::sourcesKey)) {
            LibrarySource source;
            source.id = QUuid::createUuid();
            source.name = QStringLiteral("Photos");
            source.bookmark = FolderBookmark::make(photosFolder())->encode();
            source.lastKnownPath = photosFolder();
            AppSettings().setValue(LibraryStore::sourcesKey, encodeSources({source}));
        }
        thumbnails.setCameraSourceManager(&cameras);
        store = std::make_unique<LibraryStore>(LibraryServices{
            .openCatalog = [] { return std::make_unique<MediaCatalog>(libraryFolder() + QStringLiteral("/Catalog.sqlite")); },
            .cameras = &cameras,
            .mounts = &mounts,
            .places = [this](const QString& text) { return namer.cells(text); },
            .placeNamer = &namer,
            .thumbnails = &thumbnails,
            .previews = &clips,
            .inspector = std::make_shared<MetadataInspector>(),
        });
        window = std::make_unique<LibraryWindow>(*store, thumbnails, clips);
        window->resize(1600, 1000);
        window->show();
        // Until every pipeline of the launch has ended: the first run indexes
        // the library, makes its thumbnails, clips and places.
        waitUntil([&] { return store->items()->size() == std::size_t(smallPhotos + largePhotos + videoCount); });
        waitUntil([&] { return store->processes().running().isEmpty() && !store->isScanning(); });
        runFor(3000);
    }

    ~Session()
    {
        window.reset();
        store.reset();
        drain(-1);
    }

    GalleryGrid& grid() const { return *window->content()->grid(); }

    // Until the tiles on screen have their thumbnails.
    void waitForTiles() const
    {
        const QRectF screen = grid().viewport()->rect();
        waitUntil([&] {
            for (int index = 0; index < int(grid().items()->size()); ++index) {
                const std::optional<QRectF> tile = grid().tileRect(index);
                const RotatablePreviewView* preview = grid().preview(index);
                if (tile && tile->intersects(screen) && (!preview || preview->showsSkeleton())) {
                    return false;
                }
            }
            return true;
        });
    }

    void scrollEndToEnd() const
    {
        QScrollBar* bar = grid().verticalScrollBar();
        const int step = bar->pageStep();
        while (bar->value() < bar->maximum()) {
            bar->setValue(std::min(bar->value() + step, bar->maximum()));
            waitForTiles();
        }
        while (bar->value() > 0) {
            bar->setValue(std::max(bar->value() - step, 0));
            waitForTiles();
        }
    }

    // Rests the pointer on each short video at the top of the grid until its
    // clip plays, for a second and a half; answers the clips that played.
    int hoverClips() const
    {
        int played = 0;
        grid().verticalScrollBar()->setValue(0);
        waitForTiles();
        QWidget& surface = *grid().viewport();
        for (int video = firstClip; video < videoCount; ++video) {
            const QString id = itemAt(videoPath(video)).id();
            const auto& items = *grid().items();
            const int index = int(std::find_if(items.begin(), items.end(),
                                               [&](const MediaItem& item) { return item.id() == id; })
                                  - items.begin());
            std::optional<QRectF> tile = grid().tileRect(index);
            if (!tile || !surface.rect().contains(tile->toAlignedRect())) {
                QScrollBar* bar = grid().verticalScrollBar();
                bar->setValue(bar->value() + int(tile ? tile->top() : 0) - 100);
                waitForTiles();
                tile = grid().tileRect(index);
            }
            const QPointF middle = tile->center();
            QMouseEvent move(QEvent::MouseMove, middle, surface.mapToGlobal(middle), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(&surface, &move);
            HoverVideoPlayer& player = grid().hoverPlayer();
            // A clip that never shows a frame is passed over, and counted.
            QElapsedTimer waited;
            waited.start();
            const auto playing = [&] { return player.playingItemID() == id && !player.currentFrame().isNull(); };
            waitUntil([&] { return playing() || waited.hasExpired(10'000); });
            played += playing() ? 1 : 0;
            runFor(1500);
        }
        grid().hoverPlayer().leave();
        return played;
    }

    const MediaItem& itemAt(const QString& path) const
    {
        const auto& items = *store->items();
        return *std::find_if(items.begin(), items.end(), [&](const MediaItem& item) { return item.path() == path; });
    }

    MediaViewer& waitForViewer(const QString& id) const
    {
        waitUntil([&] { return window->viewer() && window->viewer()->item().id() == id; });
        return *window->viewer();
    }

    void stepThroughPhotos() const
    {
        const auto& items = *store->items();
        store->openViewer(*std::find_if(items.begin(), items.end(),
                                        [](const MediaItem& item) { return item.kind() == MediaKind::image; }));
        for (int open = 1;; ++open) {
            waitUntil([&] { return window->viewer() && window->viewer()->photoCanvas()->isLoaded(); });
            if (open == viewerOpens) {
                break;
            }
            const QString shown = window->viewer()->item().id();
            store->navigateViewer(1);
            waitUntil([&] { return window->viewer() && window->viewer()->item().id() != shown; });
        }
        window->closeViewer();
        drain(-1);
    }

    // Zooms in on the photos' part of the world and pans across it, each
    // view drawn before the next.
    void lookAroundTheMap() const
    {
        MapView& map = *window->content()->map()->mapView();
        const auto drawn = [&map] {
            map.repaint();
            return !map.baseTiles()->hasPending();
        };
        map.setCamera(map.camera().center(), 4);
        waitUntil(drawn);
        for (int step = 0; step < 12; ++step) {
            map.panBy(QPointF(step % 4 < 2 ? 600 : -600, step % 2 ? 300 : -300));
            waitUntil(drawn);
        }
    }

    // Opens the video in the viewer, which plays it at once, and lets it play
    // for `seconds`, or to its end without them; answers the peak resident
    // memory by then.
    double play(int video, std::optional<int> seconds = std::nullopt) const
    {
        const MediaItem& item = itemAt(videoPath(video));
        store->openViewer(item);
        MediaViewer& viewer = waitForViewer(item.id());
        waitUntil([&] { return viewer.playback() && viewer.playback()->isPlaying() && viewer.videoLayer()->hasFrame(); });
        if (seconds) {
            runFor(*seconds * 1000);
        } else {
            waitUntil([&] { return !viewer.playback()->isPlaying(); });
        }
        const double peak = bench::residentMegabytes("VmHWM:");
        window->closeViewer();
        drain(-1);
        return peak;
    }

    // Turns the wheel over the middle of the picture with Ctrl held, three
    // notches a step, each step shown before the next.
    static void zoomIn(MediaViewer& viewer, int steps)
    {
        QWidget& surface = *viewer.dragSurface();
        const QPointF middle = QRectF(surface.rect()).center();
        for (int step = 0; step < steps; ++step) {
            QWheelEvent wheel(middle, surface.mapToGlobal(middle), QPoint(), QPoint(0, 3 * 120), Qt::NoButton,
                              Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&surface, &wheel);
            runFor(250);
        }
    }

    // Sends the pointer's `type` event at `at` along the scrub bar.
    static void pointAt(MediaViewer& viewer, QEvent::Type type, double at)
    {
        VideoScrubBar& bar = viewer.videoControls()->scrubBar();
        const QPointF point(bar.width() * at, bar.height() / 2.0);
        const bool move = type == QEvent::MouseMove;
        QMouseEvent event(type, point, bar.mapToGlobal(point), move ? Qt::NoButton : Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&bar, &event);
    }

    // Moves the pointer along the scrub bar, resting long enough at each
    // step for its still to be asked for.
    static void hover(MediaViewer& viewer)
    {
        constexpr int steps = 20;
        for (int step = 0; step < steps; ++step) {
            pointAt(viewer, QEvent::MouseMove, 0.05 + 0.9 * step / steps);
            runFor(200);
        }
    }

    // Moves the pointer on to the bar's end, whose second is past the last
    // key frame, and off the bar while that still is being made, as a
    // pointer sweeping past the end does.
    static void hoverTheEndAndLeave(MediaViewer& viewer)
    {
        pointAt(viewer, QEvent::MouseMove, 0.995);
        runFor(300);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&viewer.videoControls()->scrubBar(), &leave);
        runFor(1500);
    }

    static void click(MediaViewer& viewer, double at)
    {
        pointAt(viewer, QEvent::MouseButtonPress, at);
        pointAt(viewer, QEvent::MouseButtonRelease, at);
        runFor(1000);
    }

    // The highest resident memory of each part of a user's time with the 4K
    // video: it plays, its scrub bar is hovered and clicked, it is zoomed
    // while it plays, is paused and zoomed further, plays to its end and is
    // closed.
    std::map<std::string, double> playZoomedAndClose(int video) const
    {
        std::map<std::string, double> peaks;
        const auto part = [&peaks](const char* name) {
            peaks[name] = bench::residentMegabytes("VmHWM:");
            bench::resetResidentPeak();
        };
        const MediaItem& item = itemAt(videoPath(video));
        store->openViewer(item);
        MediaViewer& viewer = waitForViewer(item.id());
        waitUntil([&] { return viewer.playback() && viewer.playback()->isPlaying() && viewer.videoLayer()->hasFrame(); });
        runFor(2000);
        part("playing");
        hover(viewer);
        part("hovering");
        hoverTheEndAndLeave(viewer);
        part("hover_end");
        click(viewer, 0.25);
        click(viewer, 0.6);
        part("clicked");
        zoomIn(viewer, 6);
        part("zooming");
        viewer.togglePlayback();
        runFor(1000);
        zoomIn(viewer, 3);
        runFor(500);
        part("paused");
        viewer.togglePlayback();
        // A player that stalls after the seek and the pauses never reaches
        // the end: the part ends a minute on all the same, and says so.
        QElapsedTimer resumed;
        resumed.start();
        waitUntil([&] { return !viewer.playback()->isPlaying() || resumed.hasExpired(60'000); });
        peaks["played_to_end"] = viewer.playback()->isPlaying() ? 0 : 1;
        part("resumed");
        window->closeViewer();
        drain(-1);
        runFor(1000);
        part("closing");
        return peaks;
    }
};

// Grows the session's caches as half an hour of use over a few hundred items
// grows them: answers the peak resident memory by then.
double warm(Session& session, benchmark::State& state)
{
    session.scrollEndToEnd();
    state.counters["scrolled_rss_mb"] = bench::residentMegabytes("VmRSS:");
    state.counters["clips_played"] = session.hoverClips();
    state.counters["clips_rss_mb"] = bench::residentMegabytes("VmRSS:");
    session.stepThroughPhotos();
    state.counters["viewer_rss_mb"] = bench::residentMegabytes("VmRSS:");
    session.play(wideH264, 3);
    session.play(wideHevc, 3);
    session.store->selectMap();
    runFor(3000);
    session.lookAroundTheMap();
    session.window->setMapStyle(QStringLiteral("grid"));
    runFor(3000);
    state.counters["places_rss_mb"] = bench::residentMegabytes("VmRSS:");
    session.window->setMapStyle(QStringLiteral("map"));
    session.store->selectSource(std::nullopt);
    runFor(3000);
    return bench::residentMegabytes("VmHWM:");
}

void BM_Session(benchmark::State& state, Video video)
{
    for (auto _ : state) {
        Session session;
        state.counters["launched_rss_mb"] = bench::residentMegabytes("VmRSS:");
        bench::resetResidentPeak();

        const double warmingPeak = warm(session, state);
        const double warmed = bench::residentMegabytes("VmRSS:");
        state.counters["warmed_rss_mb"] = warmed;
        bench::resetResidentPeak();
        double playbackPeak = 0;
        std::map<std::string, double> parts = session.playZoomedAndClose(video);
        state.counters["played_to_end"] = parts.extract("played_to_end").mapped();
        for (const auto& [part, peak] : parts) {
            state.counters[part + "_peak_rss_mb"] = peak;
            playbackPeak = std::max(playbackPeak, peak);
        }
        for (const char* part : {"playing", "hovering", "hover_end", "clicked"}) {
            state.counters[std::string(part) + "_cost_mb"] = parts[part] - warmed;
        }
        state.counters["playback_peak_rss_mb"] = playbackPeak;
        state.counters["playback_cost_mb"] = playbackPeak - warmed;
        state.counters["played_rss_mb"] = bench::residentMegabytes("VmRSS:");

        runFor(restSeconds * 1000);
        state.counters["idle_rss_mb"] = bench::residentMegabytes("VmRSS:");
        state.counters["peak_rss_mb"] = std::max({warmingPeak, playbackPeak, bench::residentMegabytes("VmHWM:")});

        const test::VideoFields fields = videoFields(video);
        const double length = double(fields.frames) / fields.framesPerSecond;
        const std::optional<bench::MpvPeaks> mpv
            = bench::measureMpv(videoPath(video), session.window->size(), 2, 0.25 * length, 0.6 * length);
        if (!mpv) {
            state.SkipWithError("mpv could not be run");
            continue;
        }
        state.counters["mpv_idle_rss_mb"] = mpv->idleMegabytes;
        state.counters["mpv_playing_cost_mb"] = mpv->playingMegabytes - mpv->idleMegabytes;
        state.counters["mpv_seeking_cost_mb"] = mpv->seekingMegabytes - mpv->idleMegabytes;
    }
}
BENCHMARK_CAPTURE(BM_Session, wavefronts, largeHevc)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_Session, phone, phoneHevc)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    limitHeapRetention(); // as the program's main does, before any thread starts
    return bench::runMediaBenchmarks(argc, argv, [] {
        PivraFonts::registerDisplayFont();
        QApplication::setStyle(new PivraStyle);
        makeFixtures();
    });
}
