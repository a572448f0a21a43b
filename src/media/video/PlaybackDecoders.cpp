#include "media/video/PlaybackDecoders.h"

#include <gst/gst.h>

#include <cstring>
#include <mutex>

namespace pivra {
namespace {

// A frame thread more costs a picture or more held: for 4K HEVC about 35 MB
// each. With six, 4K HEVC played at its full rate on a machine busy with
// other work, and the process stayed near 510 MB; eight held 610 MB; four
// 440 MB, but fell behind now and then on the busy machine.
constexpr int mostDecoderThreads = 6;

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
// property; other elements are left as they are.
void elementMade(GstTracer*, GstClockTime, GstElement* element)
{
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
