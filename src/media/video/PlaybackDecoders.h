#pragma once

namespace pivra {

// Bounds what the players' video decoders hold in memory.
//
// Qt Multimedia plays through GStreamer, whose FFmpeg decoders run one frame
// thread per core by default, and every frame thread keeps a whole decoded
// picture of its own besides the pictures the stream refers back to: for 4K
// HEVC on eight cores about twenty 12-MB pictures in the decoder's pool and
// 600 MB resident while it plays, for a video that plays in real time with a
// fraction of those threads. The player object offers no way into its
// pipeline, so every FFmpeg video decoder GStreamer makes in this process is
// given at most a few threads as it is made, and fewer still once the size of
// its pictures arrives: four for 4K, two for 8K. An HEVC stream coded in
// wavefronts is decoded a picture at a time instead, its rows side by side,
// which holds no picture beyond those the stream refers back to.
//
// Called by each player before it makes anything, on the player's own
// thread: loading GStreamer's registry there keeps it off the window's start.
// Later calls do nothing.
void limitPlaybackDecoders();

} // namespace pivra
