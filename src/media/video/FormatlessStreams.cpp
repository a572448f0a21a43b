#include "media/video/FormatlessStreams.h"

#include <gst/gst.h>

#include <cstring>

namespace pivra {
namespace {

void streamAdded(GstElement* bin, GstPad* stream, gpointer)
{
    if (!gst_pad_has_current_caps(stream)) {
        g_signal_stop_emission_by_name(bin, "pad-added");
    }
}

} // namespace

void holdBackFormatlessStreams(GstElement* element)
{
    // By type: the element's factory is not yet known while the first of
    // its kind is being made.
    if (std::strcmp(G_OBJECT_TYPE_NAME(element), "GstURIDecodeBin") == 0) {
        g_signal_connect(element, "pad-added", G_CALLBACK(streamAdded), nullptr);
    }
}

} // namespace pivra
