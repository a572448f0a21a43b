#pragma once

typedef struct _GstElement GstElement;

namespace pivra {

// Keeps a stream that leaves a player's decoding bin without a format from
// Qt's player.
//
// Why: for a video whose data cannot be decoded (zeroed, cut short),
// uridecodebin still hands out its streams when the data ends, before any
// format was found. Qt's GStreamer player reads the format of each new
// stream without looking whether there is one, and GStreamer logs two
// criticals each time; then it passes the stream over, as it does any
// stream it cannot show or sound. Stopped before Qt's handler, the stream
// is passed over all the same, without the criticals.
//
// Called for each element GStreamer makes in this process, before anyone
// connects to it; acts on uridecodebins only.
void holdBackFormatlessStreams(GstElement* element);

} // namespace pivra
