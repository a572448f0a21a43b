#include "viewer/video/hover/HoverFrameGrabber.h"

#include "media/video/VideoDecoder.h"

#include <QTransform>

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace pivra {
namespace {

// One frame is decoded per request, from its key frame: threads share the
// parts of each frame (slices, HEVC wavefronts) rather than wait for a run
// of frames.
constexpr int decodingThreads = 4;
// Frames decoded forward from the key frame at most, so a damaged index or a
// track whose times never advance cannot hold the worker.
constexpr int frameBudget = 600;

struct FrameRelease {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

int colourMatrix(const AVFrame& frame)
{
    return frame.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : int(frame.colorspace);
}

} // namespace

HoverFrameGrabber::HoverFrameGrabber(QString path)
    : path_(std::move(path))
    // A still a sixteenth of a 4K frame across: the fast filter's softness
    // does not show at that size.
    , scaler_(SWS_FAST_BILINEAR)
{
}

HoverFrameGrabber::~HoverFrameGrabber() = default;

void HoverFrameGrabber::release()
{
    decoder_.reset();
    opened_ = false;
}

QImage HoverFrameGrabber::frame(double seconds)
{
    if (!opened_) {
        opened_ = true;
        decoder_ = VideoDecoder::open(path_, decodingThreads, VideoDecoder::Threading::slices);
    }
    if (!decoder_) {
        return {};
    }
    double time = 0;
    // A key frame close enough is decoded alone: the frames after it, which
    // the decoder would read and keep to put pictures back in order, cost a
    // 4K video some 40 MB and twice the time.
    if (decoder_->seekToKeyFrameNear(seconds, tolerance)) {
        const AVFrame* key = decoder_->keyFrameAlone(time);
        if (key != nullptr && std::abs(time - seconds) <= tolerance) {
            return still(*key);
        }
    }
    if (!decoder_->seek(seconds)) {
        return {};
    }
    // Held by reference, as the decoder reuses its frame: past the end of
    // the track the last frame read stands.
    const std::unique_ptr<AVFrame, FrameRelease> kept(av_frame_alloc());
    bool any = false;
    for (int decoded = 0; kept && decoded < frameBudget; ++decoded) {
        const AVFrame* next = decoder_->nextFrame(time);
        if (next == nullptr) {
            break;
        }
        av_frame_unref(kept.get());
        any = av_frame_ref(kept.get(), next) == 0;
        if (!any || time >= seconds - tolerance) {
            break;
        }
    }
    return any ? still(*kept) : QImage();
}

QImage HoverFrameGrabber::still(const AVFrame& found)
{
    const int rotation = decoder_->rotation();
    const QSize stored(found.width, found.height);
    const bool turned = rotation % 180 != 0;
    const QSize fit = PictureScaler::fitted(turned ? stored.transposed() : stored, maxSize);
    PictureScaler::Picture picture;
    for (int plane = 0; plane < 4; ++plane) {
        picture.planes[plane] = found.data[plane];
        picture.strides[plane] = found.linesize[plane];
    }
    picture.size = stored;
    picture.format = AVPixelFormat(found.format);
    picture.matrix = colourMatrix(found);
    picture.fullRange = found.color_range == AVCOL_RANGE_JPEG;
    const QImage image = scaler_.scale(picture, turned ? fit.transposed() : fit);
    return rotation == 0 || image.isNull() ? image : image.transformed(QTransform().rotate(rotation));
}

} // namespace pivra
