// The viewer with a video, as a user meets it: the source going and coming
// back leaves one of each layer, and neither a broken file opening nor a
// viewer closing holds up the window.
#include "ViewerTestKit.h"

#include "gallery/drag/MediaDragSurface.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "support/files/Bombs.h"
#include "support/files/DamagedVideos.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/desktop/Renders.h"
#include "support/files/UndecodableVideos.h"
#include "viewer/video/controls/VideoControls.h"
#include "viewer/video/hover/VideoHoverPreview.h"
#include "viewer/video/picture/VideoLayerView.h"
#include "viewer/video/playback/VideoPlaybackModel.h"
#include "viewer/video/controls/VideoScrubBar.h"

#include <QFile>
#include <QLabel>
#include <QVideoSink>

namespace pivra {
namespace {

constexpr int waitMs = 30000;
// A player that stalls is given up on after its limit of processor time
// given, which a busy machine stretches.
constexpr int stallWaitMs = 90000;

class MediaViewerVideoTest : public test::ViewerTest {
protected:
    // A file video as the catalog lists it.
    MediaItem videoItem(const QString& path, QSize size, double seconds)
    {
        MediaItem item;
        item.setID(QStringLiteral("clips:") + path);
        item.setKind(MediaKind::video);
        item.setPath(path);
        item.setName(QFileInfo(path).fileName());
        item.setWidth(size.width());
        item.setHeight(size.height());
        item.setDuration(seconds);
        item.setFileSize(QFile(path).size());
        return item;
    }

    // `seconds` of HEVC at 25 frames a second.
    MediaItem hevc(const QString& name, QSize size, int seconds)
    {
        test::VideoFields fields;
        fields.size = size;
        fields.codec = test::VideoCodec::hevc;
        fields.frames = seconds * 25;
        const QString path = pathOf(name);
        EXPECT_TRUE(test::makeVideo(path, fields));
        return videoItem(path, size, seconds);
    }

    static double bound(double milliseconds) { return milliseconds * test::EventLoopWatch::slowdown(); }
};

TEST_F(MediaViewerVideoTest, ASourceGoingAndComingBackLeavesOneOfEachLayer)
{
    const MediaItem item = hevc(QStringLiteral("clip.mp4"), {320, 240}, 2);
    LibrarySource online;
    online.id = QUuid::createUuid();
    online.name = QStringLiteral("Drive");
    online.isOnline = true;
    LibrarySource offline = online;
    offline.isOnline = false;
    MediaViewer& viewer = openViewer(item, online);
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.videoLayer()->hasFrame(); }, waitMs));
    for (int cycle = 0; cycle < 3; ++cycle) {
        viewer.setSource(offline);
        EXPECT_TRUE(viewer.findChildren<VideoLayerView*>().isEmpty()) << "no picture behind the card";
        EXPECT_TRUE(viewer.findChildren<MediaDragSurface*>().isEmpty());
        viewer.setSource(online);
        EXPECT_EQ(viewer.findChildren<VideoLayerView*>().size(), 1);
        EXPECT_EQ(viewer.findChildren<MediaDragSurface*>().size(), 1);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer.videoLayer()->hasFrame(); }, waitMs));
}

// A video that plays has its row along the bottom of the viewer, as tall as
// it asks to be, with the scrub bar and buttons inside it, with the
// information panel closed and open.
TEST_F(MediaViewerVideoTest, APlayingVideosRowLiesAlongTheBottomWithItsBarInside)
{
    const MediaItem item = hevc(QStringLiteral("clip.mp4"), {320, 240}, 2);
    for (const bool showInfo : {false, true}) {
        MediaViewer& viewer = openViewer(item, std::nullopt, false, {1200, 800}, showInfo);
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.videoLayer()->hasFrame(); }, waitMs));
        QCoreApplication::processEvents();
        const VideoControls& row = *viewer.videoControls();
        EXPECT_EQ(row.height(), row.sizeHint().height()) << showInfo;
        EXPECT_TRUE(viewer.rect().contains(row.geometry())) << showInfo;
        EXPECT_GE(row.geometry().bottom(), viewer.height() - 1 - 8) << showInfo;
        const QRect bar(row.scrubBar().mapTo(&row, QPoint()), row.scrubBar().size());
        EXPECT_GT(bar.height(), 0) << showInfo;
        EXPECT_TRUE(row.rect().contains(bar)) << showInfo;
        if (!showInfo) {
            render().save(test::rendersFolder() + QStringLiteral("/viewer-playing-video.png"));
        }
    }
}

// A 4K video's decoders need hundreds of MB: opening one lets go of the
// thumbnails the session keeps in memory; a smaller video leaves them.
TEST_F(MediaViewerVideoTest, A4KVideoOpeningGivesBackTheThumbnailsKeptInMemory)
{
    const struct {
        QSize size;
        bool released;
    } rows[] = {{{1920, 1080}, false}, {{3840, 2160}, true}, {{2160, 3840}, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.size.width() << "x" << row.size.height());
        QImage thumbnail(256, 192, QImage::Format_RGB888);
        thumbnail.fill(Qt::gray);
        thumbnails_.memory().insert(QStringLiteral("kept"), thumbnail);
        const MediaItem item
            = hevc(QStringLiteral("clip-%1x%2.mp4").arg(row.size.width()).arg(row.size.height()), row.size, 1);
        MediaViewer& viewer = openViewer(item, std::nullopt);
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.videoLayer()->hasFrame(); }, waitMs));
        EXPECT_EQ(thumbnails_.memory().image(QStringLiteral("kept")).isNull(), row.released);
        viewer_.reset();
    }
}

// A phone's 4K video (no wavefronts, a key frame starting afresh every
// second) holds no more once the pointer has left its bar, and after each
// click on the bar, than it did while it played. The still at the bar's end
// is decoded on from the last key frame, with the stream's pictures; the
// pointer leaves while it is being made.
TEST_F(MediaViewerVideoTest, AHoveredAndClicked4KVideoHoldsNoMoreThanWhileItPlayed)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator keeps what is freed in its quarantine";
#endif
    limitHeapRetention(); // as the program's main does
    test::VideoFields fields;
    fields.size = {3840, 2160};
    fields.codec = test::VideoCodec::hevc;
    fields.framesPerSecond = 30;
    fields.frames = 4 * fields.framesPerSecond;
    fields.wavefronts = false;
    fields.closedGops = true;
    fields.withAudio = true;
    const QString path = pathOf(QStringLiteral("phone.mp4"));
    ASSERT_TRUE(test::makeVideo(path, fields));
    MediaViewer& viewer = openViewer(videoItem(path, fields.size, 4), std::nullopt);
    VideoPlaybackModel& playback = *viewer.playback();
    playback.setLoops(true); // it plays on throughout
    ASSERT_TRUE(QTest::qWaitFor([&] { return playback.isPlaying() && viewer.videoLayer()->hasFrame(); }, waitMs));
    test::resetPeakMemory();
    ASSERT_TRUE(QTest::qWaitFor([&] { return playback.currentTime() >= 3.5; }, waitMs));
    // One 4K picture with its tables is some 16 MB; the end's still held 120.
    const std::int64_t played = test::peakMemory() + (std::int64_t(30) << 20);

    VideoScrubBar& bar = viewer.videoControls()->scrubBar();
    const VideoHoverPreview& hover = viewer.videoControls()->hoverPreview();
    const auto onBar = [&](double fraction) { return QPoint(int(bar.width() * fraction), bar.height() / 2); };
    QTest::mouseMove(&bar, onBar(0.5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !hover.image().isNull(); }, waitMs));
    QTest::mouseMove(&bar, onBar(0.995));
    ASSERT_TRUE(QTest::qWaitFor([&] { return hover.isDecoding(); }, waitMs));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&bar, &leave);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !hover.isDecoding() && !hover.holdsDecoder(); }, waitMs));
    EXPECT_LE(test::residentMemory(), played) << "once the pointer left";

    for (const double at : {0.25, 0.6}) {
        QTest::mouseClick(&bar, Qt::LeftButton, {}, onBar(at));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !playback.isSeeking(); }, waitMs));
        EXPECT_LE(test::residentMemory(), played) << "after a click at " << at;
    }
}

TEST_F(MediaViewerVideoTest, ABrokenVideoOpensWithoutHoldingUpTheWindow)
{
    const QStringList broken = test::makeUndecodableVideos(makeFolder(QStringLiteral("broken")));
    ASSERT_FALSE(broken.isEmpty());
    const QString truncated = broken.filter(QStringLiteral("truncated.mp4")).value(0);
    // The media framework is loaded once per process, as the program does
    // long before its first viewer; the player and its audio output are
    // this viewer's own and made on the player's thread.
    { QVideoSink framework; }
    test::EventLoopWatch watch;
    MediaViewer& viewer = openViewer(videoItem(truncated, {320, 240}, 3), std::nullopt);
    ASSERT_TRUE(watch.waitFor([&] { return viewer.playback()->error().has_value(); }, waitMs));
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer slows every allocation of the media framework several
    // times over, so the bound speaks only of an uninstrumented build.
    EXPECT_LT(watch.longestMs(), bound(100));
#endif
    // The message arrives after the viewer is laid out, and shows whole.
    QCoreApplication::processEvents();
    const QLabel& banner = viewer.videoControls()->errorBanner();
    ASSERT_TRUE(banner.isVisible());
    EXPECT_GE(banner.height(), banner.heightForWidth(banner.width()));
    EXPECT_GE(banner.width(), banner.minimumSizeHint().width());
    EXPECT_TRUE(viewer.rect().contains(QRect(banner.mapTo(&viewer, QPoint()), banner.size())));
    render().save(test::rendersFolder() + QStringLiteral("/viewer-broken-video.png"));
}

// Each damaged copy of an 8-second video is opened in a viewer right after
// the viewer of a playing video was closed, whose player is still being
// taken down: its row shows why it cannot play, never "0:00 / 0:08" alone,
// either the player's own word or, when the player only stops (a cut copy
// ends at its last whole picture, which it plays first) or never gets
// going, that the video could not be played. Twice over, since GStreamer
// loses the error of a file with no playable stream only now and then.
TEST_F(MediaViewerVideoTest, ADamagedVideoOpenedAfterAPlayingOneWasClosedSaysWhy)
{
    const std::vector<test::DamagedVideo> damaged = test::makeDamagedVideos(makeFolder(QStringLiteral("damaged")), 8);
    ASSERT_FALSE(damaged.empty());
    const MediaItem playing = hevc(QStringLiteral("playing.mp4"), {1280, 720}, 3);
    double furthest = 0; // told until the viewer goes, in the next round
    for (int round = 0; round < 2; ++round) {
        for (const test::DamagedVideo& video : damaged) {
            const std::string name = QFileInfo(video.path).fileName().toStdString();
            MediaViewer& before = openViewer(playing, std::nullopt);
            ASSERT_TRUE(QTest::qWaitFor([&] { return before.playback()->currentTime() > 0.2; }, waitMs));
            viewer_.reset();
            MediaViewer& viewer = openViewer(videoItem(video.path, {320, 240}, 8), std::nullopt);
            furthest = 0;
            QObject::connect(viewer.playback(), &VideoPlaybackModel::currentTimeChanged, &viewer,
                             [&](double seconds) { furthest = std::max(furthest, seconds); });
            ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.playback()->error().has_value(); }, stallWaitMs)) << name;
            QCoreApplication::processEvents();
            const QLabel& banner = viewer.videoControls()->errorBanner();
            EXPECT_TRUE(banner.isVisible()) << name;
            EXPECT_EQ(banner.text(), *viewer.playback()->error()) << name;
            EXPECT_FALSE(viewer.playback()->isPlaying()) << name;
            if (video.playsAPart) {
                EXPECT_EQ(banner.text(), QStringLiteral("This video could not be played.")) << name;
                // Also fails when no position was ever reported: furthest stays 0.
                EXPECT_GT(furthest, 0.1) << name << ": plays what it has first";
            }
            if (round == 0) {
                render().save(test::rendersFolder()
                              + QStringLiteral("/viewer-damaged-%1.png").arg(QFileInfo(video.path).baseName()));
            }
        }
    }
}

// Closing happens while the player decodes 4K, or while a still of it is
// being decoded for the bar's hover: neither is waited for. The player's
// threads are waited for a few milliseconds, some 50 on a loaded machine; a
// closing that waited out the still's decode held the window 150 ms or more.
TEST_F(MediaViewerVideoTest, ClosingNeverWaitsForThePlayerOrAStillBeingDecoded)
{
    const MediaItem item = hevc(QStringLiteral("large.mp4"), {3840, 2160}, 2);
    struct Case {
        const char* busyWith;
        std::function<bool(MediaViewer&)> start;
    };
    const Case cases[] = {
        {"playing",
         [](MediaViewer& viewer) {
             return QTest::qWaitFor([&] { return viewer.playback()->currentTime() > 0.2; }, waitMs);
         }},
        {"a hover still",
         [](MediaViewer& viewer) {
             VideoHoverPreview& hover = viewer.videoControls()->hoverPreview();
             hover.setRestDelay(std::chrono::milliseconds(0));
             hover.request(1.2);
             return QTest::qWaitFor([&] { return hover.isDecoding(); }, waitMs);
         }},
    };
    for (const Case& busy : cases) {
        MediaViewer& viewer = openViewer(item, std::nullopt);
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.videoLayer()->hasFrame(); }, waitMs)) << busy.busyWith;
        ASSERT_TRUE(busy.start(viewer)) << busy.busyWith;
        test::EventLoopWatch watch;
        bool closed = false;
        QTimer::singleShot(0, [&] {
            viewer_.reset();
            closed = true;
        });
        ASSERT_TRUE(watch.waitFor([&] { return closed; }, waitMs));
        const int ended = watch.ticks();
        ASSERT_TRUE(watch.waitFor([&] { return watch.ticks() > ended + 1; })); // the closing pass is measured
        EXPECT_LT(watch.longestMs(), bound(100)) << busy.busyWith;
    }
}

} // namespace
} // namespace pivra
