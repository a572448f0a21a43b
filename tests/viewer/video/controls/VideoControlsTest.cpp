#include "viewer/video/controls/VideoControls.h"

#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "support/desktop/Renders.h"
#include "viewer/video/controls/TransportButton.h"
#include "viewer/video/hover/VideoHoverBubble.h"
#include "viewer/video/hover/VideoHoverPreview.h"
#include "viewer/video/playback/VideoPlaybackModel.h"
#include "viewer/video/controls/VideoScrubBar.h"
#include "viewer/video/VideoTestKit.h"

#include <QLabel>
#include <QSlider>
#include <QTest>

namespace pivra {
namespace {

constexpr int waitMs = 20000;

TEST(VideoControlsTextTest, TimesReadAsMinutesOrHours)
{
    const std::pair<double, const char*> times[] = {
        {0, "0:00"},   {59.9, "0:59"},      {754, "12:34"},         {3599.99, "59:59"},
        {3600, "1:00:00"}, {4000, "1:06:40"}, {-3, "0:00"}, {std::nan(""), "0:00"}, {INFINITY, "0:00"},
    };
    for (const auto& [seconds, text] : times) {
        EXPECT_EQ(VideoControls::timeLabel(seconds), QString::fromUtf8(text)) << seconds;
    }
    EXPECT_EQ(VideoControls::speedLabel(1.25f), QStringLiteral("1.25×"));
}

TEST(VideoControlsTextTest, TheBubbleKeepsClearOfTheBarsEnds)
{
    struct Case {
        double x;
        double width;
        double centre;
    };
    const Case cases[] = {{10, 600, 95}, {590, 600, 505}, {300, 600, 300}, {10, 150, 95}, {140, 150, 95}};
    for (const Case& bar : cases) {
        EXPECT_EQ(VideoScrubBar::bubbleCentre(bar.x, bar.width), bar.centre) << bar.x << " of " << bar.width;
    }
}

// The bar of a real video, in a host standing for the viewer, with motion
// reduced so every change shows at once.
class VideoControlsTest : public test::VideoFolderTest {
protected:
    void SetUp() override
    {
        VideoFolderTest::SetUp();
        Motion::shared().setOverride(true);
        video.setKind(MediaKind::video);
        video.setPath(clip(QStringLiteral("clip.mp4"), 8, 5));
        host.resize(800, 400);
        controls = new VideoControls(model, video, [this] { ++fullscreens; }, &host);
        controls->setGeometry(0, 260, 800, 140);
        host.show();
    }

    void TearDown() override { Motion::shared().setOverride(std::nullopt); }

    bool loaded()
    {
        model.load(video, false);
        return QTest::qWaitFor([&] { return model.isReady() && model.duration() > 7.9; }, waitMs);
    }

    QPoint onBar(double fraction) const
    {
        const VideoScrubBar& bar = controls->scrubBar();
        return {int(bar.width() * fraction), bar.height() / 2};
    }

    MediaItem video;
    QWidget host;
    VideoPlaybackModel model;
    VideoControls* controls = nullptr;
    int fullscreens = 0;
};

TEST_F(VideoControlsTest, AClickOnTheBarSeeksThereAndHoveringShowsTheFrameAndTime)
{
    ASSERT_TRUE(loaded());
    VideoScrubBar& bar = controls->scrubBar();
    QTest::mousePress(&bar, Qt::LeftButton, {}, onBar(0.25));
    EXPECT_TRUE(bar.isScrubbing());
    EXPECT_NEAR(model.currentTime(), 2.0, 0.02);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, onBar(0.25));
    EXPECT_FALSE(bar.isScrubbing());
    EXPECT_EQ(controls->timeText().text(), QStringLiteral("0:02 / 0:08"));
    EXPECT_NEAR(bar.shownProgress(), 0.25, 0.01);

    QTest::mouseMove(&bar, onBar(0.75));
    ASSERT_TRUE(bar.hoverTime());
    EXPECT_NEAR(*bar.hoverTime(), 6.0, 0.02);
    VideoHoverBubble& bubble = bar.bubble();
    EXPECT_EQ(bubble.parentWidget(), &host) << "it stands above the bar, in the viewer";
    EXPECT_EQ(bubble.time(), QStringLiteral("0:06"));
    EXPECT_EQ(bubble.centre(), bar.mapTo(&host, QPoint(onBar(0.75).x(), -66)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bubble.frame().isNull(); }, waitMs));
    EXPECT_TRUE(bubble.isVisible());

    QTest::mouseMove(&bar, onBar(0.01));
    EXPECT_EQ(bubble.centre().x(), bar.mapTo(&host, QPoint(95, 0)).x()) << "kept clear of the end";

    // Another video: hover and frames start afresh.
    MediaItem other = video;
    other.setPath(clip(QStringLiteral("other.mp4"), 2, 5));
    controls->setItem(other);
    EXPECT_FALSE(bar.hoverTime());
    EXPECT_TRUE(controls->hoverPreview().image().isNull());
}

TEST_F(VideoControlsTest, TheRowFollowsTheModelAndDrivesIt)
{
    ASSERT_TRUE(loaded());
    TransportButton& play = controls->playButton();
    EXPECT_EQ(play.symbol(), QStringLiteral("play.fill"));
    EXPECT_EQ(play.help(), QStringLiteral("Play (Space)"));
    play.click();
    EXPECT_TRUE(model.isPlaying());
    EXPECT_EQ(play.symbol(), QStringLiteral("pause.fill"));
    EXPECT_EQ(play.help(), QStringLiteral("Pause (Space)"));
    play.click();

    // The mute symbol only at a volume of exactly 0, the slider's end too.
    const std::pair<int, const char*> volumes[] = {
        {1, "speaker.wave.2.fill"}, {400, "speaker.wave.2.fill"}, {0, "speaker.slash.fill"}};
    for (const auto& [step, symbol] : volumes) {
        controls->volumeSlider().setValue(step);
        EXPECT_EQ(model.volume(), step / 1000.0);
        EXPECT_EQ(controls->muteButton().symbol(), QString::fromLatin1(symbol)) << step;
    }
    controls->muteButton().click();
    EXPECT_EQ(model.volume(), 0.4) << "unmuted to the last audible volume";
    EXPECT_EQ(controls->volumeSlider().value(), 400);

    model.setPlaybackSpeed(1.5f);
    EXPECT_EQ(controls->speedButton().help(), QStringLiteral("Playback speed: 1.5×"));

    EXPECT_FALSE(controls->errorBanner().isVisible());
    model.load(pathOf(QStringLiteral("gone.mp4")), std::nullopt, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return controls->errorBanner().isVisible(); }));
    EXPECT_EQ(controls->errorBanner().text(), QStringLiteral("This video is unavailable. Reconnect its folder or drive."));
}

TEST_F(VideoControlsTest, ADeviceVideoHasNoStillsAndAHiddenBarTakesNoClicks)
{
    MediaItem device = video;
    device.setPath(QStringLiteral("pivra-camera://source/1/IMG_0001.MOV"));
    controls->setItem(device);
    EXPECT_FALSE(controls->hoverPreview().isConfigured());
    controls->setItem(video);
    EXPECT_TRUE(controls->hoverPreview().isConfigured());

    controls->setRevealed(false);
    EXPECT_FALSE(controls->isVisible());
    controls->setRevealed(true);
    EXPECT_TRUE(controls->isVisible());

    // While it fades out it is still drawn, but a click goes through it.
    Motion::shared().setOverride(false);
    controls->setRevealed(false);
    ASSERT_TRUE(controls->isVisible());
    EXPECT_EQ(host.childAt(controls->playButton().mapTo(&host, controls->playButton().rect().center())), nullptr);
}

TEST_F(VideoControlsTest, TheBarIsDrawnInBothSchemes)
{
    ASSERT_TRUE(loaded());
    model.seek(3);
    QTest::mouseMove(&controls->scrubBar(), onBar(0.5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controls->scrubBar().bubble().frame().isNull(); }, waitMs));
    for (const bool dark : {false, true}) {
        host.setPalette(PivraAppearance::palette(dark));
        host.setAutoFillBackground(true);
        QPalette backdrop = host.palette();
        backdrop.setColor(QPalette::Window, QColor(90, 100, 110)); // a video's picture behind the bar
        host.setPalette(backdrop);
        const QImage frame = host.grab().toImage();
        frame.save(test::rendersFolder() + (dark ? u"/video-controls-dark.png" : u"/video-controls-light.png"));
        // The played part in the accent, the rest of the track a light grey.
        const QPoint bar = controls->scrubBar().mapTo(&host, QPoint(0, 13));
        EXPECT_GT(qRed(frame.pixel(bar.x() + 50, bar.y())), 200);
        EXPECT_LT(qGreen(frame.pixel(bar.x() + 50, bar.y())), 100);
        EXPECT_GT(qGray(frame.pixel(bar.x() + controls->scrubBar().width() - 50, bar.y())), 120);
        // Darker towards the bottom.
        EXPECT_LT(qGray(frame.pixel(400, 395)), qGray(frame.pixel(400, 262)));
    }
}

} // namespace
} // namespace pivra
