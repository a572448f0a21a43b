#pragma once

extern "C" {
struct AVCodecContext;
struct AVFrame;
}

namespace pivra {

// Lends the pictures FFmpeg's HEVC decoder makes up the memory of the picture
// it is decoding.
//
// A key frame of an open group (as libx265 and phones code them) names
// pictures from before it, which only the leading frames a decoder starting
// there skips would refer to. FFmpeg makes each one a full picture all the
// same and fills it with grey: four or five pictures, 60 MB, for one 4K still.
// Within one call into the decoder it asks for the coded picture first and
// for the made-up ones after, before a sample of the coded picture is
// written; the key frame, intra coded, then overwrites the grey wherever it
// lies. So in a call that sends a key frame the first picture asked for is
// allocated, and each later one of the same size and format shares its
// buffers. Other pictures refer to earlier ones and never share: a damaged
// stream whose picture names a missing one gets grey to refer to, as before.
//
// A key frame decoded alone is first rewritten as a refresh
// (hevcOpenKeyFrameAsIdr), which names nothing; this covers the key frame a
// decoder starts from when it decodes on, and the files that rewrite cannot
// read. For decoders that read single frames from a key frame, on the calling
// thread: with frame threads pictures are asked for on the decoder's own
// threads, in no order the caller could mark.
class MadeUpPictures {
public:
    // Installs on `decoder`, before it is opened; `decoder` must outlive this.
    explicit MadeUpPictures(AVCodecContext& decoder);
    ~MadeUpPictures();

    MadeUpPictures(const MadeUpPictures&) = delete;
    MadeUpPictures& operator=(const MadeUpPictures&) = delete;

    // Marks a new call into the decoder (sending a packet, receiving a
    // frame): the next picture asked for is a coded one, whose buffers the
    // pictures made up after it share when the call sends a key frame.
    void nextCall(bool sendsKeyFrame);

private:
    static int picture(AVCodecContext* decoder, AVFrame* frame, int flags);

    AVFrame* coded_; // the first picture asked for in this call, once there is one
    bool lends_ = false; // this call sends a key frame
};

} // namespace pivra
