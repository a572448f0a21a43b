#include "media/video/PlaybackDecoders.h"

#include <gst/gst.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace pivra {
namespace {

// The threads an FFmpeg decoder has when something in the process makes it
// by name, as a player's decodebin does, and, given `width` × `height`, once
// a stream of that size arrives at it; -1 when it cannot be made.
int decoderThreads(const char* factory, int width = 0, int height = 0)
{
    GstElement* decoder = gst_element_factory_make(factory, nullptr);
    if (!decoder) {
        return -1;
    }
    if (width > 0) {
        gst_element_set_state(decoder, GST_STATE_PAUSED);
        GstPad* input = gst_element_get_static_pad(decoder, "sink");
        gst_pad_send_event(input, gst_event_new_stream_start("test"));
        GstCaps* caps = gst_caps_new_simple("video/x-h265", "stream-format", G_TYPE_STRING, "byte-stream",
                                            "alignment", G_TYPE_STRING, "au", "width", G_TYPE_INT, width, "height",
                                            G_TYPE_INT, height, nullptr);
        gst_pad_send_event(input, gst_event_new_caps(caps));
        gst_caps_unref(caps);
        gst_object_unref(input);
    }
    gint threads = -1;
    g_object_get(decoder, "max-threads", &threads, nullptr);
    gst_element_set_state(decoder, GST_STATE_NULL);
    gst_object_unref(decoder);
    return threads;
}

TEST(PlaybackDecodersTest, EveryVideoDecoderMadeAfterwardsHasAtMostSixThreads)
{
    limitPlaybackDecoders();
    limitPlaybackDecoders(); // a second call adds nothing
    // 0 is the decoder's own choice, one thread a core: left alone where the
    // machine has no more cores than the bound.
    const int expected = g_get_num_processors() > 6 ? 6 : 0;
    for (const char* factory : {"avdec_h265", "avdec_h264", "avdec_vp9", "avdec_prores"}) {
        SCOPED_TRACE(factory);
        EXPECT_EQ(decoderThreads(factory), expected);
    }
}

// Each frame thread holds pictures of its own, so a large video gets fewer.
TEST(PlaybackDecodersTest, LargerPicturesGetFewerThreads)
{
    limitPlaybackDecoders();
    const struct {
        int width;
        int height;
        int threads;
    } sizes[] = {{1280, 720, 6}, {1920, 1080, 6}, {2560, 1440, 6}, {3840, 2160, 4}, {4096, 2160, 4}, {7680, 4320, 2}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
        EXPECT_EQ(decoderThreads("avdec_h265", size.width, size.height),
                  std::min(size.threads, int(g_get_num_processors())));
    }
}

} // namespace
} // namespace pivra
