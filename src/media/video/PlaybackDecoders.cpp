#include "media/video/PlaybackDecoders.h"

#include "media/formats/coding/HevcConfiguration.h"
#include "media/video/FormatlessStreams.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace pivra {
namespace {

// A frame thread more costs a picture or more held, with its motion tables,
// and a copy of the decoder's own state. Six play 1080p and smaller at their
// full rate on a machine busy with other work.
constexpr int mostDecoderThreads = 6;
// What the frame threads' own pictures of a large video may take: four
// threads for 4K, whose pictures take 16 MB each with their tables. Four
// played 4K HEVC at 30 frames a second on a machine busy with other work and
// held 440 MB while it played, against 520 to 600 MB with six. Fewer fall
// behind: a 4K HEVC without wavefronts (as phones record it) played 28.5
// frames a second of its 30 with three and 26 with two.
constexpr std::int64_t threadPictureBytes = std::int64_t(72) << 20;
constexpr int fewestDecoderThreads = 2;
// gst-libav's thread-type for the parts of one picture at a time. Where a
// stream allows it (HEVC in wavefronts) its threads decode the rows of one
// picture side by side, as fast as frame threads and holding only the
// pictures the stream refers back to: a 4K video plays in about 130 MB less.
constexpr int sliceThreads = 2;

// The threads a decoder gets for pictures of `width` × `height`: 8-bit 4:2:0
// samples, and a third again for motion tables and the decoder's state. A
// 10-bit picture takes twice that, but gets as many threads, as it needs them
// all to keep up.
int threadsFor(int width, int height)
{
    const std::int64_t pictureBytes = std::int64_t(width) * height * 3 / 2 * 4 / 3;
    const std::int64_t fitting = pictureBytes > 0 ? threadPictureBytes / pictureBytes : mostDecoderThreads;
    return int(std::clamp<std::int64_t>(fitting, fewestDecoderThreads, mostDecoderThreads));
}

// An HEVC stream coded in wavefronts whose configuration comes with its
// format (MP4 and MOV tracks). A stream in the clear, whose parameter sets
// come with its pictures, is taken as not coded so.
bool codedInWavefronts(const GstStructure& format)
{
    if (!gst_structure_has_name(&format, "video/x-h265")) {
        return false;
    }
    const GValue* data = gst_structure_get_value(&format, "codec_data");
    GstBuffer* record = data && G_VALUE_HOLDS(data, GST_TYPE_BUFFER) ? gst_value_get_buffer(data) : nullptr;
    GstMapInfo map;
    if (!record || !gst_buffer_map(record, &map, GST_MAP_READ)) {
        return false;
    }
    const bool wavefronts
        = hevcCodedInWavefronts(QByteArrayView(reinterpret_cast<const char*>(map.data), qsizetype(map.size)));
    gst_buffer_unmap(record, &map);
    return wavefronts;
}

// The decoder opens its codec with the threads it has when the stream's
// format reaches it, so they are set from the format on its way in.
GstPadProbeReturn formatArriving(GstPad*, GstPadProbeInfo* info, gpointer element)
{
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) {
        return GST_PAD_PROBE_OK;
    }
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    const GstStructure* format = caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    if (format && codedInWavefronts(*format)) {
        g_object_set(element, "thread-type", sliceThreads, "max-threads",
                     std::min(mostDecoderThreads, int(g_get_num_processors())), nullptr);
        return GST_PAD_PROBE_OK;
    }
    gint width = 0;
    gint height = 0;
    if (format && gst_structure_get_int(format, "width", &width) && gst_structure_get_int(format, "height", &height)) {
        const int threads = std::min(threadsFor(width, height), int(g_get_num_processors()));
        g_object_set(element, "max-threads", threads, nullptr);
    }
    return GST_PAD_PROBE_OK;
}

// A tracer is GStreamer's one public way to see every element as it is made.
struct DecoderTracer {
    GstTracer parent;
};

struct DecoderTracerClass {
    GstTracerClass parent;
};

GType decoderTracerType();

void decoderTracerClassInit(gpointer, gpointer) {}
void decoderTracerInit(GTypeInstance*, gpointer) {}

GType decoderTracerType()
{
    static const GType type = [] {
        const GTypeInfo info{sizeof(DecoderTracerClass), nullptr, nullptr, decoderTracerClassInit, nullptr, nullptr,
                             sizeof(DecoderTracer), 0, decoderTracerInit, nullptr};
        return g_type_register_static(GST_TYPE_TRACER, "PivraDecoderTracer", &info, GTypeFlags(0));
    }();
    return type;
}

// The FFmpeg video decoders of gst-libav are named avdec_ and have this
// property; other elements are left as they are, but for the streams a
// decoding bin hands the player, which this hook is the one place to reach.
void elementMade(GstTracer*, GstClockTime, GstElement* element)
{
    holdBackFormatlessStreams(element);
    GstElementFactory* factory = gst_element_get_factory(element);
    const gchar* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : nullptr;
    if (!name || std::strncmp(name, "avdec_", 6) != 0
        || !g_object_class_find_property(G_OBJECT_GET_CLASS(element), "max-threads")) {
        return;
    }
    // On fewer cores the decoder's own choice (one a core) is smaller still.
    const int cores = int(g_get_num_processors());
    if (cores > mostDecoderThreads) {
        g_object_set(element, "max-threads", mostDecoderThreads, nullptr);
    }
    if (GstPad* input = gst_element_get_static_pad(element, "sink")) {
        gst_pad_add_probe(input, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, formatArriving, element, nullptr);
        gst_object_unref(input);
    }
}

} // namespace

void limitPlaybackDecoders()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        // Kept for the process's life: GStreamer holds the hook until exit.
        auto* tracer = static_cast<GstTracer*>(g_object_new(decoderTracerType(), nullptr));
        gst_tracing_register_hook(tracer, "element-new", G_CALLBACK(elementMade));
    });
}

} // namespace pivra
