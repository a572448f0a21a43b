#include "viewer/video/hover/VideoHoverPreview.h"

#include "viewer/video/hover/HoverFrameGrabber.h"
#include "viewer/video/VideoTestKit.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace pivra {
namespace {

constexpr int waitMs = 20000;
const QSize stored{320, 240};
constexpr int framesPerSecond = 5;

// Frames of real clips at five frames per second, so the moving block tells
// which fifth of a second a still shows.
class VideoHoverPreviewTest : public test::VideoFolderTest {
protected:
    void SetUp() override
    {
        VideoFolderTest::SetUp();
        first = clip(QStringLiteral("first.mp4"), 10, framesPerSecond);
        preview.setRestDelay(std::chrono::milliseconds(30));
    }

    // The second the still shows, from its moving block.
    static std::optional<double> secondShown(const QImage& still)
    {
        const std::optional<int> index = test::frameIndexShown(still, stored);
        return index ? std::optional(double(*index) / framesPerSecond) : std::nullopt;
    }

    bool shows(double second)
    {
        return QTest::qWaitFor(
            [&] {
                const std::optional<double> shown = secondShown(preview.image());
                return shown && std::abs(*shown - second) <= HoverFrameGrabber::tolerance;
            },
            waitMs);
    }

    QString first;
    VideoHoverPreview preview;
};

TEST_F(VideoHoverPreviewTest, RequestsAreKeyedByTheNearestWholeSecond)
{
    const std::pair<double, int> keys[] = {{4.4, 4}, {3.6, 4}, {4.5, 5}, {-0.4, 0}, {-3, 0}, {0.49, 0}};
    for (const auto& [seconds, key] : keys) {
        EXPECT_EQ(VideoHoverPreview::key(seconds), key) << seconds;
    }
}

TEST_F(VideoHoverPreviewTest, StillsShowTheAskedSecondSmallAndAreCachedBySecond)
{
    QSignalSpy changes(&preview, &VideoHoverPreview::imageChanged);
    preview.request(3);
    EXPECT_TRUE(changes.isEmpty()) << "unconfigured: nothing, not even a clearing";

    preview.configure(first);
    for (const double second : {3.0, 7.0, 0.0}) {
        preview.request(second);
        ASSERT_TRUE(shows(second)) << second;
        EXPECT_LE(preview.image().width(), 240);
        EXPECT_LE(preview.image().height(), 140);
    }
    EXPECT_EQ(preview.image().size(), QSize(187, 140));
    // Each answered with nothing newer asked for: the decoder and the
    // pictures it keeps go, and the next request opens the file again.
    EXPECT_FALSE(preview.holdsDecoder());

    // A cached second shows at once, without decoding.
    const int made = preview.jobsFinished();
    preview.request(6.6);
    preview.request(2.6);
    EXPECT_TRUE(shows(3.0));
    EXPECT_EQ(preview.jobsFinished(), made);

    preview.request(std::nan(""));
    EXPECT_FALSE(preview.image().isNull()) << "a time that is no number changes nothing";
}

TEST_F(VideoHoverPreviewTest, OnlyTheLatestRequestPaintsAndACancelledOneNever)
{
    preview.configure(first);
    preview.setRestDelay(std::chrono::milliseconds(0));
    std::vector<QImage> painted;
    QObject::connect(&preview, &VideoHoverPreview::imageChanged, &preview,
            [&](const QImage& image) { painted.push_back(image); });
    // Each request overtakes the one before while it waits or decodes.
    for (const double second : {1.0, 2.0, 5.0, 8.0}) {
        preview.request(second);
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(shows(8.0));
    for (const QImage& image : painted) {
        EXPECT_TRUE(image.isNull() || std::abs(*secondShown(image) - 8.0) <= HoverFrameGrabber::tolerance)
            << "a stale frame painted: " << *secondShown(image);
    }

    // Cancelled once on its way: its frame is neither shown nor kept.
    const int finished = preview.jobsFinished(); // the worker is serial: all before 8 are in
    preview.request(9);
    QCoreApplication::processEvents(); // the job is on its way
    preview.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview.jobsFinished() == finished + 1; }, waitMs));
    EXPECT_TRUE(preview.image().isNull());
    preview.request(9);
    EXPECT_TRUE(preview.image().isNull()) << "not cached: made again";
    EXPECT_TRUE(shows(9.0));
}

TEST_F(VideoHoverPreviewTest, AnotherVideoDropsTheFramesOfThePreviousOne)
{
    test::VideoFields fields;
    fields.rotation = 90;
    const QString second = clip(QStringLiteral("second.mp4"), 10, framesPerSecond, fields);
    preview.configure(first);
    preview.request(2);
    ASSERT_TRUE(shows(2.0));

    preview.configure(second);
    EXPECT_TRUE(preview.image().isNull());
    preview.request(2);
    EXPECT_TRUE(preview.image().isNull()) << "the first video's still is not served for the second";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !preview.image().isNull(); }, waitMs));
    const QImage upright = preview.image();
    EXPECT_EQ(upright.size(), QSize(105, 140)) << "turned by the display rotation, then fitted";
    EXPECT_GT(qRed(upright.pixel(52, 5)), 160) << "red on top";

    preview.unconfigure();
    EXPECT_TRUE(preview.image().isNull());
    preview.request(2);
    EXPECT_TRUE(preview.image().isNull()) << "a device video has no stills";
}

} // namespace
} // namespace pivra
