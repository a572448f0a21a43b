#include "gallery/preview/HoverVideoPlayer.h"

#include "style/Motion.h"
#include "media/thumbnails/MediaKey.h"
#include "media/video/VideoPreviewStore.h"
#include "support/SettingsSandbox.h"
#include "support/TempFolder.h"
#include "support/VideoMaker.h"

#include <QSignalSpy>
#include <QTest>

namespace pivra {
namespace {

// Real clips, encoded by the preview store from a generated video and
// decoded by Qt Multimedia's backend, played through the one grid player.
class HoverVideoPlayerTest : public test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        test::VideoFields fields;
        fields.frames = 10;
        fields.rotation = 90; // carried into the clip as its display matrix
        source = pathOf(QStringLiteral("source.mp4"));
        ASSERT_TRUE(test::makeVideo(source, fields));
        player.setDelay(delay);
    }

    // A video whose clip the store has made when `withClip`.
    MediaItem video(const QString& name, bool withClip = true)
    {
        MediaItem item;
        item.setKind(MediaKind::video);
        item.setPath(source);
        item.setID(name);
        item.setThumbnailKey(digestText(name));
        if (withClip) {
            EXPECT_TRUE(clips.makePreview(item));
        }
        return item;
    }

    bool playsWithFrames(const MediaItem& item) const
    {
        return QTest::qWaitFor([&] { return !player.currentFrame().isNull(); }, 20000)
            && player.playingItemID() == item.id();
    }

    // Nothing starts, even well after the delay.
    void expectIdleAfterDelay() const
    {
        QTest::qWait(delay * 3);
        EXPECT_EQ(player.playingItemID(), QString());
        EXPECT_TRUE(player.currentFrame().isNull());
        EXPECT_EQ(player.player().playbackState(), QMediaPlayer::StoppedState);
    }

    static constexpr int delay = 60;
    test::SettingsSandbox settings{pathOf(QStringLiteral("config"))};
    QString source;
    VideoPreviewStore clips{pathOf(QStringLiteral("clips"))};
    HoverVideoPlayer player{clips};
    const QRect tile{10, 20, 300, 200};
};

TEST_F(HoverVideoPlayerTest, StartsOnlyAfterTheDelayThenLoopsRealFrames)
{
    const MediaItem item = video(QStringLiteral("a"));
    QSignalSpy frames(&player, &HoverVideoPlayer::frameChanged);
    player.setDelay(400);
    player.hover(item, tile);
    player.hover(item, tile.translated(0, 50)); // moving within the tile restarts nothing
    QTest::qWait(200); // a timer never fires early
    EXPECT_EQ(player.playingItemID(), QString());
    EXPECT_EQ(player.player().playbackState(), QMediaPlayer::StoppedState);
    EXPECT_TRUE(frames.isEmpty());

    ASSERT_TRUE(playsWithFrames(item)) << player.player().errorString().toStdString();
    EXPECT_EQ(player.tile(), tile.translated(0, 50));
    // Frames come upright, display rotation applied: the tile turns them
    // only by the item's own quarter turns.
    const QImage frame = player.currentFrame();
    EXPECT_EQ(frame.size(), QSize(240, 320));
    EXPECT_GT(frame.pixelColor(frame.width() / 2, 2).red(), 200) << "red on top";
    // Ten frames at 25 per second: more than ten frames means it looped.
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames.count() > 25; }, 20000)) << frames.count();
}

TEST_F(HoverVideoPlayerTest, LeavingStopsPlaybackAndDropsThePendingStart)
{
    const MediaItem item = video(QStringLiteral("a"));
    player.hover(item, tile);
    ASSERT_TRUE(playsWithFrames(item));
    QSignalSpy frames(&player, &HoverVideoPlayer::frameChanged);
    player.stop(QStringLiteral("another item")); // not the hovered one: plays on
    EXPECT_EQ(player.playingItemID(), item.id());

    player.leave();
    EXPECT_EQ(frames.count(), 1) << "the tile repaints without the video";
    EXPECT_EQ(player.opacity(), 0.0);
    expectIdleAfterDelay();

    player.hover(item, tile);
    player.stop(item.id()); // leaving before the delay: no clip ever starts
    expectIdleAfterDelay();
}

TEST_F(HoverVideoPlayerTest, ASecondHoverSwitchesToItsItem)
{
    const MediaItem first = video(QStringLiteral("a"));
    const MediaItem second = video(QStringLiteral("b"));
    player.hover(first, tile);
    ASSERT_TRUE(playsWithFrames(first));

    player.hover(second, tile.translated(310, 0));
    EXPECT_EQ(player.playingItemID(), QString()) << "the first clip stops at once";
    EXPECT_TRUE(player.currentFrame().isNull());
    ASSERT_TRUE(playsWithFrames(second));
    EXPECT_EQ(player.player().source(), QUrl::fromLocalFile(*clips.preview(second)));
}

TEST_F(HoverVideoPlayerTest, NothingPlaysWithoutAClipForAPhotoOrWhileMotionIsReduced)
{
    MediaItem photo = video(QStringLiteral("photo"));
    photo.setKind(MediaKind::image);
    const MediaItem clipless = video(QStringLiteral("clipless"), false);
    for (const MediaItem& item : {photo, clipless}) {
        SCOPED_TRACE(item.id().toStdString());
        player.hover(item, tile);
        expectIdleAfterDelay();
    }

    Motion::shared().setOverride(true);
    player.hover(video(QStringLiteral("a")), tile);
    expectIdleAfterDelay();
    Motion::shared().setOverride(std::nullopt);
}

} // namespace
} // namespace pivra
