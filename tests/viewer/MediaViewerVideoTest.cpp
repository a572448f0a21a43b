// The viewer with a video, as a user meets it: the source going and coming
// back leaves one of each layer, and neither a broken file opening nor a
// viewer closing holds up the window.
#include "ViewerTestKit.h"

#include "gallery/drag/MediaDragSurface.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "platform/runtime/threads/FileCallsInFlight.h"
#include "support/files/Bombs.h"
#include "support/files/DamagedVideos.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/desktop/Renders.h"
#include "support/fakes/GalleryItems.h"
#include "support/files/UndecodableVideos.h"
#include "support/system/TestMounts.h"
#include "viewer/video/controls/VideoControls.h"
#include "viewer/video/hover/VideoHoverPreview.h"
#include "viewer/video/picture/VideoLayerView.h"
#include "viewer/video/playback/VideoPlaybackModel.h"
#include "viewer/video/controls/VideoScrubBar.h"

#include <QFileInfo>
#include <QLabel>
#include <QTimer>

#include <limits>
#include <optional>

namespace pivra {
namespace {

constexpr int waitMs = 30000;
// A player that stalls is given up on after its limit of processor time
// given, which a busy machine stretches.
constexpr int stallWaitMs = 90000;

class MediaViewerVideoTest : public test::ViewerTest {
protected:
    // `seconds` of HEVC at 25 frames a second.
    MediaItem hevc(const QString& name, QSize size, int seconds)
    {
        test::VideoFields fields;
        fields.size = size;
        fields.codec = test::VideoCodec::hevc;
        fields.frames = seconds * 25;
        const QString path = pathOf(name);
        EXPECT_TRUE(test::makeVideo(path, fields));
        return test::fileVideo(path, size, seconds);
    }

    // The folder `disk` shown through FUSE at a folder of its own, as a
    // share is; empty where this machine cannot mount.
    QString shareOf(const QString& disk)
    {
        const QString share = makeFolder(QStringLiteral("share"));
        return mounts_.bindThroughFuse(disk, share) ? share : QString();
    }

    // Turns the event loop for half a second's worth of millisecond ticks
    // while the share at `share` does not answer: whether the GUI thread did
    // so without its answer, which only the share's own timer would have
    // given.
    bool turnsWithout(const QString& share)
    {
        test::EventLoopWatch watch;
        return watch.waitFor([&] { return watch.ticks() > 500; }, waitMs) && !mounts_.resumedByItself(share);
    }

    static bool heldOn(const QString& path) { return fileCallInFlight({fileNameBytes(path)}); }

    // How long a share held by a test answers nothing at most: far longer
    // than the turns a test waits for, however busy the machine.
    static constexpr std::chrono::seconds hangLimit{60};
    test::TestMounts mounts_;
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
//
// What a playing video holds is read between its pictures: each 4K picture
// (some 12 MB) is mapped as it is decoded and unmapped once shown, so the
// memory at any one moment rises and falls by the pictures in flight, more
// of them the later a busy machine runs the threads that take them. The
// least over a stretch of pictures is what stays.
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
    MediaViewer& viewer = openViewer(test::fileVideo(path, fields.size, 4), std::nullopt);
    VideoPlaybackModel& playback = *viewer.playback();
    playback.setLoops(true); // it plays on throughout
    ASSERT_TRUE(QTest::qWaitFor([&] { return playback.isPlaying() && viewer.videoLayer()->hasFrame(); }, waitMs));
    // The least memory over ten pictures shown, sampled as each shows and
    // every few milliseconds between; none when they do not come.
    const auto held = [&] {
        std::int64_t least = std::numeric_limits<std::int64_t>::max();
        int shown = 0;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] { least = std::min(least, test::anonymousMemory()); });
        const QMetaObject::Connection pictures
            = QObject::connect(viewer.videoLayer(), &VideoLayerView::frameShown, [&] {
                  least = std::min(least, test::anonymousMemory());
                  ++shown;
              });
        sampler.start(2);
        const bool came = QTest::qWaitFor([&] { return shown >= 10; }, waitMs);
        QObject::disconnect(pictures);
        return came ? std::optional(least) : std::nullopt;
    };
    // The most held over a whole pass of the video, as each part of it asks
    // for its own pictures. One 4K picture with its tables is some 16 MB;
    // the end's still held 120.
    std::int64_t played = 0;
    for (int stretch = 0; stretch < fields.frames / 10; ++stretch) {
        const std::optional<std::int64_t> stretchHeld = held();
        ASSERT_TRUE(stretchHeld);
        played = std::max(played, *stretchHeld);
    }
    played += std::int64_t(30) << 20;

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
    EXPECT_LE(held().value_or(std::numeric_limits<std::int64_t>::max()), played) << "once the pointer left";

    for (const double at : {0.25, 0.6}) {
        QTest::mouseClick(&bar, Qt::LeftButton, {}, onBar(at));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !playback.isSeeking(); }, waitMs));
        EXPECT_LE(held().value_or(std::numeric_limits<std::int64_t>::max()), played) << "after a click at " << at;
    }
}

// Everything the opening of a video does with its file, the player's own
// work on it included, is done off the GUI thread: a broken video whose
// share stops answering as the viewer opens leaves the window turning while
// a thread waits for the file, and says why it cannot play once the share
// answers (bench_video_playback times the window's passes while a broken
// video opens).
TEST_F(MediaViewerVideoTest, ABrokenVideoOpensWithoutHoldingUpTheWindow)
{
    const QString disk = makeFolder(QStringLiteral("broken"));
    const QStringList broken = test::makeUndecodableVideos(disk);
    const QString name = QFileInfo(broken.filter(QStringLiteral("truncated.mp4")).value(0)).fileName();
    ASSERT_FALSE(name.isEmpty());
    // Listed from the disk, so that nothing has looked the file up through
    // the share yet.
    MediaItem item = test::fileVideo(disk + u'/' + name, {320, 240}, 3);
    const QString share = shareOf(disk);
    if (share.isEmpty()) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts_.failure());
    }
    item.setPath(share + u'/' + name);
    ASSERT_TRUE(mounts_.hang(share, hangLimit));
    MediaViewer& viewer = openViewer(item, std::nullopt);
    ASSERT_FALSE(mounts_.resumedByItself(share)) << "the GUI thread waited for the file";
    ASSERT_TRUE(QTest::qWaitFor([&] { return heldOn(item.path()); }, waitMs)) << "the open asks the share";
    EXPECT_TRUE(turnsWithout(share)) << "the GUI thread waited for the file";
    EXPECT_FALSE(viewer.playback()->error()) << "a file still coming is not broken";

    mounts_.resume(share);
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.playback()->error().has_value(); }, waitMs));
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
            MediaViewer& viewer = openViewer(test::fileVideo(video.path, {320, 240}, 8), std::nullopt);
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

// Closing never waits for the player or for a still being made for the
// bar's hover. The video lies on a share that stops answering while the
// player reads on as it plays, or as the still's decoder opens the file
// (the player paused): the viewer closes and the window turns on without
// the share's answer, for which the thread held there would wait
// (bench_video_playback times the closing pass).
TEST_F(MediaViewerVideoTest, ClosingNeverWaitsForThePlayerOrAStillBeingDecoded)
{
    const QString disk = makeFolder(QStringLiteral("disk"));
    test::VideoFields fields;
    fields.size = {640, 360};
    fields.codec = test::VideoCodec::h264;
    fields.frames = 20 * fields.framesPerSecond;
    fields.grain = true; // as large as a filmed video: playing reads on
    fields.withAudio = true;
    ASSERT_TRUE(test::makeVideo(disk + QStringLiteral("/large.mp4"), fields));
    MediaItem item = test::fileVideo(disk + QStringLiteral("/large.mp4"), fields.size, 20);
    const QString share = shareOf(disk);
    if (share.isEmpty()) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts_.failure());
    }
    item.setPath(share + QStringLiteral("/large.mp4"));
    struct Case {
        const char* busyWith;
        std::function<bool(MediaViewer&)> start; // with the share answering nothing
    };
    const Case cases[] = {
        {"playing", [&](MediaViewer&) { return mounts_.hang(share, hangLimit); }},
        {"a hover still",
         [&](MediaViewer& viewer) {
             viewer.playback()->toggle();
             VideoHoverPreview& hover = viewer.videoControls()->hoverPreview();
             hover.setRestDelay(std::chrono::milliseconds(0));
             if (!mounts_.hang(share, hangLimit)) {
                 return false;
             }
             hover.request(12);
             return QTest::qWaitFor([&] { return hover.isDecoding(); }, waitMs);
         }},
    };
    for (const Case& busy : cases) {
        MediaViewer& viewer = openViewer(item, std::nullopt);
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.playback()->currentTime() > 0.5; }, waitMs)) << busy.busyWith;
        ASSERT_TRUE(busy.start(viewer)) << busy.busyWith;
        ASSERT_TRUE(QTest::qWaitFor([&] { return heldOn(item.path()); }, waitMs)) << busy.busyWith;
        viewer_.reset();
        EXPECT_TRUE(turnsWithout(share)) << busy.busyWith << ": closing waited for the share";
        mounts_.resume(share);
    }
}

} // namespace
} // namespace pivra
