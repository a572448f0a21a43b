#include "media/video/PlaybackDecoders.h"

#include <gst/gst.h>

#include "support/system/TempFolder.h"
#include "media/video/HevcRecord.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace pivra {
namespace {

using PlaybackDecodersTest = test::TempFolderTest;


struct DecoderThreads {
    int count = -1;
    int type = -1; // gst-libav's thread-type: 0 its own choice, 2 the parts of one picture
};

// The threads an FFmpeg decoder has when something in the process makes it
// by name, as a player's decodebin does, and, given `width` × `height`, once
// a stream of that size arrives at it, with `record` as its codec data when
// there is one; count -1 when it cannot be made.
DecoderThreads decoderThreads(const char* factory, int width = 0, int height = 0, const QByteArray& record = {})
{
    GstElement* decoder = gst_element_factory_make(factory, nullptr);
    if (!decoder) {
        return {};
    }
    if (width > 0) {
        gst_element_set_state(decoder, GST_STATE_PAUSED);
        GstPad* input = gst_element_get_static_pad(decoder, "sink");
        gst_pad_send_event(input, gst_event_new_stream_start("test"));
        GstCaps* caps = gst_caps_new_simple("video/x-h265", "stream-format", G_TYPE_STRING,
                                            record.isEmpty() ? "byte-stream" : "hvc1", "alignment", G_TYPE_STRING,
                                            "au", "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
        if (!record.isEmpty()) {
            GstBuffer* data = gst_buffer_new_memdup(record.constData(), gsize(record.size()));
            gst_caps_set_simple(caps, "codec_data", GST_TYPE_BUFFER, data, nullptr);
            gst_buffer_unref(data);
        }
        gst_pad_send_event(input, gst_event_new_caps(caps));
        gst_caps_unref(caps);
        gst_object_unref(input);
    }
    DecoderThreads threads;
    g_object_get(decoder, "max-threads", &threads.count, "thread-type", &threads.type, nullptr);
    gst_element_set_state(decoder, GST_STATE_NULL);
    gst_object_unref(decoder);
    return threads;
}

TEST_F(PlaybackDecodersTest, EveryVideoDecoderMadeAfterwardsHasAtMostSixThreads)
{
    limitPlaybackDecoders();
    limitPlaybackDecoders(); // a second call adds nothing
    // 0 is the decoder's own choice, one thread a core: left alone where the
    // machine has no more cores than the bound.
    const int expected = g_get_num_processors() > 6 ? 6 : 0;
    for (const char* factory : {"avdec_h265", "avdec_h264", "avdec_vp9", "avdec_prores"}) {
        SCOPED_TRACE(factory);
        EXPECT_EQ(decoderThreads(factory).count, expected);
    }
}

// Each frame thread holds pictures of its own, so a large video gets fewer.
TEST_F(PlaybackDecodersTest, LargerPicturesGetFewerThreads)
{
    limitPlaybackDecoders();
    const struct {
        int width;
        int height;
        int threads;
    } sizes[] = {{1280, 720, 6}, {1920, 1080, 6}, {2560, 1440, 6}, {3840, 2160, 4}, {4096, 2160, 4}, {7680, 4320, 2}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
        EXPECT_EQ(decoderThreads("avdec_h265", size.width, size.height).count,
                  std::min(size.threads, int(g_get_num_processors())));
    }
}

// A stream coded in wavefronts decodes the rows of one picture side by side,
// holding no picture of each thread's own, whatever its size; one coded
// otherwise, or whose configuration comes later with its pictures, keeps
// frame threads bounded by its size.
TEST_F(PlaybackDecodersTest, AStreamCodedInWavefrontsIsDecodedAPictureAtATime)
{
    limitPlaybackDecoders();
    const int cores = int(g_get_num_processors());
    const struct {
        bool wavefronts;
        bool withRecord;
        int width;
        int height;
        DecoderThreads expected;
    } streams[] = {
        {true, true, 3840, 2160, {std::min(6, cores), 2}},
        {true, true, 7680, 4320, {std::min(6, cores), 2}},
        {true, true, 1920, 1080, {std::min(6, cores), 2}},
        {false, true, 3840, 2160, {std::min(4, cores), 0}},
        {true, false, 3840, 2160, {std::min(4, cores), 0}},
    };
    for (const auto& stream : streams) {
        SCOPED_TRACE(testing::Message() << stream.width << "x" << stream.height << " wavefronts " << stream.wavefronts
                                        << " record " << stream.withRecord);
        const QString path = pathOf(stream.wavefronts ? QStringLiteral("rows.mp4") : QStringLiteral("whole.mp4"));
        const QByteArray record = test::hevcRecord(path, stream.wavefronts);
        ASSERT_FALSE(record.isEmpty());
        const DecoderThreads threads
            = decoderThreads("avdec_h265", stream.width, stream.height, stream.withRecord ? record : QByteArray());
        EXPECT_EQ(threads.count, stream.expected.count);
        EXPECT_EQ(threads.type, stream.expected.type);
    }
}

} // namespace
} // namespace pivra
