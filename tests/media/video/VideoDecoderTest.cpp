#include "media/video/VideoDecoder.h"
#include "support/TempFolder.h"
#include "support/UndecodableVideos.h"
#include "support/VideoMaker.h"

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
    const QStringList paths = test::makeUndecodableVideos(root());
    ASSERT_FALSE(paths.isEmpty());
    for (const QString& path : paths) {
        EXPECT_FALSE(VideoDecoder::open(path)) << path.toStdString();
    }
}

} // namespace
} // namespace pivra
