#include "media/pictures/LatestFrameSink.h"

#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <QMediaPlayer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <thread>

namespace pivra {
namespace {

using LatestFrameSinkTest = test::TempFolderTest;

// Qt's GStreamer renderer hands each frame to the sink's thread and waits
// for it there, 300 ms at most; a frame still being taken when the wait ends
// counts as a failed one and ends playback ("Internal data stream error").
// A busy machine can keep the frame thread from a processor that long, or a
// 4K frame take that long to convert: the player only drops frames then.
TEST_F(LatestFrameSinkTest, AConversionSlowerThanTheRenderersWaitCostsFramesNotPlayback)
{
    const QString clip = pathOf(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(test::makeVideo(clip, {.frames = 20, .framesPerSecond = 10, .codec = test::VideoCodec::h264}));
    QThread frameThread;
    frameThread.start();
    std::atomic<int> converted = 0;
    int delivered = 0;
    {
        LatestFrameSink frames(frameThread, [&converted](const QVideoFrame&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            ++converted;
            return ConvertedFrame{.image = QImage(8, 8, QImage::Format_RGB32)};
        });
        QObject::connect(&frames, &LatestFrameSink::frameReady, &frames, [&delivered] { ++delivered; });
        QMediaPlayer player;
        QSignalSpy errors(&player, &QMediaPlayer::errorOccurred);
        player.setVideoSink(frames.sink());
        player.setSource(QUrl::fromLocalFile(clip));
        player.play();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return player.mediaStatus() == QMediaPlayer::EndOfMedia || !errors.isEmpty(); }, 60000));
        EXPECT_TRUE(errors.isEmpty()) << player.errorString().toStdString();
        EXPECT_EQ(player.mediaStatus(), QMediaPlayer::EndOfMedia);
        EXPECT_TRUE(QTest::qWaitFor([&] { return delivered > 0; }, 5000)) << converted << " converted";
        player.setVideoSink(nullptr);
    }
    frameThread.quit();
    frameThread.wait();
}

} // namespace
} // namespace pivra
