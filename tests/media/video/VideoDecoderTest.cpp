#include "media/video/VideoDecoder.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "support/files/Bombs.h"
#include "support/files/PictureSamples.h"
#include "support/files/UndecodableVideos.h"
#include "support/files/VideoMaker.h"
#include "support/system/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <cmath>
#include <optional>
#include <vector>

namespace pivra {
namespace {

class VideoDecoderTest : public test::TempFolderTest {
protected:
    // HEVC with B-frames, so its decoder puts frames back in order, and a key
    // frame every second: one that starts afresh (IDR), or one of an open
    // group as libx265 and phones make them, which names pictures before it.
    QString keyedClip(QSize size, int framesPerSecond, int frames, bool closedGops = true) const
    {
        const QString path = pathOf(QStringLiteral("keys-%1-%2.mp4").arg(size.width()).arg(closedGops));
        test::VideoFields fields;
        fields.codec = test::VideoCodec::hevc;
        fields.size = size;
        fields.framesPerSecond = framesPerSecond;
        fields.frames = frames;
        fields.closedGops = closedGops;
        return test::makeVideo(path, fields) ? path : QString();
    }
};

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

// Of the keys every second, the latest within the tolerance, before or after the time,
// decodes on its own and nothing follows it until the next seek.
TEST_F(VideoDecoderTest, AKeyFrameNearATimeDecodesAlone)
{
    const std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(keyedClip(QSize(320, 240), 10, 40));
    ASSERT_TRUE(decoder);
    const struct {
        double seconds;
        double tolerance;
        std::optional<double> key;
    } asks[] = {{2.0, 0.5, 2.0}, {2.4, 0.5, 2.0}, {2.6, 0.5, 3.0}, {0.1, 0.5, 0.0}, {1.5, 0.4, std::nullopt},
                {9.0, 0.5, std::nullopt}};
    for (const auto& ask : asks) {
        SCOPED_TRACE(testing::Message() << ask.seconds << " within " << ask.tolerance);
        ASSERT_EQ(decoder->seekToKeyFrameNear(ask.seconds, ask.tolerance), ask.key.has_value());
        if (!ask.key) {
            continue;
        }
        double seconds = -1;
        const AVFrame* frame = decoder->keyFrameAlone(seconds);
        ASSERT_TRUE(frame);
        EXPECT_TRUE(frame->key_frame);
        EXPECT_NEAR(seconds, *ask.key, 1e-6);
        EXPECT_FALSE(decoder->nextFrame(seconds)) << "nothing after it until the next seek";
    }
    ASSERT_TRUE(decoder->seek(1.2));
    double seconds = -1;
    ASSERT_TRUE(decoder->nextFrame(seconds)) << "a seek decodes onwards again";
    EXPECT_NEAR(seconds, 1.0, 1e-6);
}

// A 4K key frame alone holds its own picture, not the two more that its
// decoder would read to put frames back in order, nor the grey ones FFmpeg
// makes, with their motion tables, for the earlier pictures an open group's
// key frame names. The still
// is the key frame's own: grey, red on top, not the grey of a made-up picture
// nor the black of memory never written.
TEST_F(VideoDecoderTest, A4KKeyFrameAloneHoldsOnePicture)
{
    // Freed blocks given back as the program's allocator does, so that what
    // the encoder or one case freed is not taken again unseen by the next.
    limitHeapRetention();
    const QString clips[] = {keyedClip(QSize(3840, 2160), 5, 10, false), keyedClip(QSize(3840, 2160), 5, 10, true)};
    trimHeap();
    for (const QString& clip : clips) {
        SCOPED_TRACE(clip.toStdString());
        const std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(clip, 4, VideoDecoder::Threading::slices);
        ASSERT_TRUE(decoder);
        test::resetPeakMemory();
        [[maybe_unused]] const std::int64_t before = test::peakMemory();
        ASSERT_TRUE(decoder->seekToKeyFrameNear(1.0, 0.5));
        double seconds = -1;
        const AVFrame* key = decoder->keyFrameAlone(seconds);
        ASSERT_TRUE(key);
        EXPECT_NEAR(seconds, 1.0, 1e-6);
#if !defined(__SANITIZE_ADDRESS__) // whose shadow and kept-back freed blocks are resident too
        // One picture with its motion tables is about 21 MB, three about 63;
        // a grey one made up costs its motion tables, 6 MB.
        constexpr std::int64_t picture = std::int64_t(21) << 20;
        EXPECT_LT(test::peakMemory() - before, picture * 5 / 4);
#endif
        const auto luma = [&](int x, int y) { return int(key->data[0][std::ptrdiff_t(y) * key->linesize[0] + x]); };
        const auto redness = [&](int x, int y) {
            return int(key->data[2][std::ptrdiff_t(y / 2) * key->linesize[2] + x / 2]);
        };
        EXPECT_GT(redness(1920, 100), 160) << "red on top";
        EXPECT_NEAR(luma(100, 2000), 128, 40) << "grey below";

        // The frames after it refer to it, not to the made-up pictures.
        ASSERT_TRUE(decoder->seek(1.0));
        int frames = 0;
        while ((key = decoder->nextFrame(seconds)) != nullptr) {
            const QRect block = test::movingBlock(QSize(3840, 2160), int(std::lround(seconds * 5)));
            EXPECT_LT(luma(block.center().x(), block.center().y()), 40) << seconds;
            ++frames;
        }
        EXPECT_EQ(frames, 5);
    }
}

// The bytes of sample `index` of the clip at `path` wiped where the file
// holds them, as a copy whose data broke off there and went on.
bool wipeSample(const QString& path, int index)
{
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.toUtf8().constData(), nullptr, nullptr) < 0) {
        return false;
    }
    const AVIndexEntry* sample = avformat_index_get_entry(input->streams[0], index);
    const std::int64_t at = sample != nullptr ? sample->pos : -1;
    const int size = sample != nullptr ? sample->size : 0;
    avformat_close_input(&input);
    QFile file(path);
    return at >= 0 && file.open(QIODevice::ReadWrite) && file.seek(at) && file.write(QByteArray(size, 0)) == size;
}

// A picture of a damaged stream that names one the stream lost refers to
// the grey FFmpeg makes up for it, not to itself: an HEVC decoder that
// reads single frames, whose made-up pictures may share memory, decodes
// every picture as FFmpeg does with memory of their own.
TEST_F(VideoDecoderTest, APictureNamingALostOneDecodesAsWithoutSharedMemory)
{
    const QString path = pathOf(QStringLiteral("lost.mp4"));
    test::VideoFields fields;
    fields.codec = test::VideoCodec::hevc;
    fields.frames = 10;
    fields.framesPerSecond = 10;
    fields.x265Parameters = "bframes=0"; // each picture refers to the one before
    ASSERT_TRUE(test::makeVideo(path, fields));
    ASSERT_TRUE(wipeSample(path, 3));
    const auto pictures = [&path](int threads, VideoDecoder::Threading threading) {
        std::vector<QByteArray> decoded;
        const std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(path, threads, threading);
        double seconds = -1;
        while (const AVFrame* frame = decoder ? decoder->nextFrame(seconds) : nullptr) {
            decoded.push_back(test::samplesOf(*frame));
        }
        return decoded;
    };
    const std::vector<QByteArray> own = pictures(1, VideoDecoder::Threading::frames);
    EXPECT_EQ(own.size(), 9U) << "all but the lost one";
    EXPECT_TRUE(pictures(2, VideoDecoder::Threading::slices) == own) << "a picture referred to itself";
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
