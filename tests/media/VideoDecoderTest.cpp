#include "media/VideoDecoder.h"
#include "support/TempFolder.h"
#include "support/VideoMaker.h"

#include <QFile>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <vector>

namespace pivra {
namespace {

class VideoDecoderTest : public test::TempFolderTest {};

TEST_F(VideoDecoderTest, DecodesEveryFrameInOrderWithItsTimeAndRotation)
{
    for (const int rotation : {0, 90, 180, 270}) {
        const QString path = pathOf(QStringLiteral("clip%1.mov").arg(rotation));
        test::VideoFields fields;
        fields.frames = 10;
        fields.rotation = rotation;
        ASSERT_TRUE(test::makeVideo(path, fields));

        const std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(path);
        ASSERT_TRUE(decoder);
        EXPECT_EQ(decoder->naturalSize(), QSize(320, 240));
        EXPECT_EQ(decoder->rotation(), rotation);
        ASSERT_TRUE(decoder->duration());
        EXPECT_NEAR(*decoder->duration(), 0.4, 0.01);

        std::vector<double> times;
        double seconds = -1;
        while (const AVFrame* frame = decoder->nextFrame(seconds)) {
            EXPECT_EQ(frame->width, 320);
            times.push_back(seconds);
        }
        ASSERT_EQ(times.size(), 10U) << rotation;
        for (std::size_t at = 0; at < times.size(); ++at) {
            EXPECT_NEAR(times[at], at * 0.04, 1e-6);
        }
        ASSERT_TRUE(decoder->seek(0));
        ASSERT_TRUE(decoder->nextFrame(seconds)) << "a seek back starts over";
        EXPECT_NEAR(seconds, 0, 1e-6);
    }
}

TEST_F(VideoDecoderTest, FilesWithoutADecodableVideoTrackOpenNothing)
{
    test::VideoFields voice;
    voice.audioOnly = true;
    ASSERT_TRUE(test::makeVideo(pathOf(QStringLiteral("voice.mov")), voice));
    ASSERT_TRUE(test::makeVideo(pathOf(QStringLiteral("whole.mp4"))));
    QFile whole(pathOf(QStringLiteral("whole.mp4")));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    writeFile(QStringLiteral("truncated.mp4"), bytes.left(bytes.size() / 3));
    writeFile(QStringLiteral("noise.mp4"), QByteArray(4096, '\x5a'));

    EXPECT_FALSE(VideoDecoder::open(pathOf(QStringLiteral("voice.mov"))));
    EXPECT_FALSE(VideoDecoder::open(pathOf(QStringLiteral("noise.mp4"))));
    EXPECT_FALSE(VideoDecoder::open(pathOf(QStringLiteral("missing.mp4"))));
    if (const std::unique_ptr<VideoDecoder> truncated = VideoDecoder::open(pathOf(QStringLiteral("truncated.mp4")))) {
        double seconds = 0;
        while (truncated->nextFrame(seconds)) {
        }
    }
}

} // namespace
} // namespace pivra
