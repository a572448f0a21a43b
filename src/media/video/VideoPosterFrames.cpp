#include "media/video/VideoPosterFrames.h"

#include "media/pictures/PictureScaler.h"
#include "media/video/VideoDecoder.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace pivra {
namespace {

constexpr double latestPosterSeconds = 1.0;
// A poster is mostly one frame, the key frame at or before its time: two
// threads share that frame's parts where the encoder split it (an HEVC
// poster at 4K in 30% less time), and frame threads would only decode the
// frames after it while the first waits. More gain little, with several
// posters made at once.
constexpr int decodingThreads = 2;
constexpr auto threading = VideoDecoder::Threading::slices;
// Frames read looking for the poster at most: more than a second of any real
// track holds (slow motion runs at 240 frames per second), so a track whose
// frame times never advance cannot make a poster read the whole file.
constexpr int frameBudget = 480;
// Frame times are rounded to the track's time base.
constexpr double timeSlack = 1e-3;

struct Release {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
template <typename Type>
using Owned = std::unique_ptr<Type, Release>;

// The first frame at or after `target`, else the last one the track gives;
// null when it gives none. `late` tells whether the first frame came after
// the target.
Owned<AVFrame> decodeUpTo(VideoDecoder& decoder, double target, bool& late)
{
    Owned<AVFrame> kept(av_frame_alloc());
    bool any = false;
    double seconds = 0;
    for (int decoded = 0; kept && decoded < frameBudget; ++decoded) {
        const AVFrame* frame = decoder.nextFrame(seconds);
        if (frame == nullptr) {
            break;
        }
        if (!any) {
            late = seconds > target + timeSlack;
        }
        av_frame_unref(kept.get());
        if (av_frame_ref(kept.get(), frame) < 0) {
            return nullptr;
        }
        any = true;
        if (seconds >= target - timeSlack) {
            break;
        }
    }
    return any ? std::move(kept) : nullptr;
}

// The poster frame and the decoder that gave it, whose track describes it.
struct Poster {
    std::unique_ptr<VideoDecoder> decoder;
    Owned<AVFrame> frame;
};

Poster decodePoster(const QString& path)
{
    Poster poster{VideoDecoder::open(path, decodingThreads, threading), nullptr};
    if (!poster.decoder) {
        return poster;
    }
    const double target = posterFrameSeconds(poster.decoder->duration());
    bool late = false;
    if (target > 0 && poster.decoder->seek(target)) {
        poster.frame = decodeUpTo(*poster.decoder, target, late);
        if (poster.frame && !late) {
            return poster;
        }
        // The index sent the seek astray: read from the start, in a fresh
        // decoder, since a seek back may follow the same index.
        poster = {VideoDecoder::open(path, decodingThreads, threading), nullptr};
        if (!poster.decoder) {
            return poster;
        }
    }
    poster.frame = decodeUpTo(*poster.decoder, target, late);
    return poster;
}

// The picture's size as the catalog gives the item before its rotation (the
// stored width times the sample aspect ratio, by the stored height), scaled
// down so that its longer side is at most `pixels`.
QSize scaledSize(const AVFrame& frame, AVRational aspect, int pixels)
{
    double width = frame.width;
    const double height = frame.height;
    if (aspect.num > 0 && aspect.den > 0) {
        width = width * aspect.num / aspect.den;
    }
    const double scale = std::min(1.0, pixels / std::max(width, height));
    return {std::max(1, int(std::lround(width * scale))), std::max(1, int(std::lround(height * scale)))};
}

// Scales and converts the frame to 8-bit RGB in one pass, with the frame's
// own colour matrix and range.
QImage scaled(const AVFrame& frame, QSize size)
{
    const Owned<SwsContext> scaler(sws_getContext(frame.width, frame.height, AVPixelFormat(frame.format),
                                                  size.width(), size.height(), AV_PIX_FMT_RGB24, SWS_BICUBIC,
                                                  nullptr, nullptr, nullptr));
    if (!scaler) {
        return {};
    }
    const int matrix = frame.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : frame.colorspace;
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(matrix), frame.color_range == AVCOL_RANGE_JPEG,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    QImage image = PictureScaler::outputImage(size, QImage::Format_RGB888);
    if (image.isNull()) {
        return {};
    }
    std::uint8_t* const planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) != size.height()) {
        return {};
    }
    return image;
}

} // namespace

double posterFrameSeconds(std::optional<double> duration)
{
    if (!duration || !std::isfinite(*duration) || *duration <= 0) {
        return 0;
    }
    return std::min(latestPosterSeconds, *duration / 2);
}

QImage VideoPosterFrames::frame(const QString& path, int pixels) const
{
    if (pixels <= 0) {
        return {};
    }
    const Poster poster = decodePoster(path);
    if (!poster.frame) {
        return {};
    }
    // The container's sample aspect ratio before the bitstream's, as the
    // catalog reads it; FFmpeg only reads the stream here.
    const AVRational aspect
        = av_guess_sample_aspect_ratio(nullptr, const_cast<AVStream*>(poster.decoder->stream()), nullptr);
    const QImage image = scaled(*poster.frame, scaledSize(*poster.frame, aspect, pixels));
    const int rotation = poster.decoder->rotation();
    return rotation == 0 || image.isNull() ? image : image.transformed(QTransform().rotate(rotation));
}

} // namespace pivra
