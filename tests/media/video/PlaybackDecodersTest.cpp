#include "media/video/PlaybackDecoders.h"

#include <gst/gst.h>

#include <gtest/gtest.h>

namespace pivra {
namespace {

// The threads an FFmpeg decoder gets when something in the process makes it
// by name, as a player's decodebin does; -1 when it cannot be made.
int decoderThreads(const char* factory)
{
    GstElement* decoder = gst_element_factory_make(factory, nullptr);
    if (!decoder) {
        return -1;
    }
    gint threads = -1;
    g_object_get(decoder, "max-threads", &threads, nullptr);
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

} // namespace
} // namespace pivra
