#include "viewer/video/VideoFrameScaler.h"

#include <QTransform>

#include <algorithm>
#include <optional>

extern "C" {
#include <libswscale/swscale.h>
}

namespace pivra {
namespace {

// The layout of the frame's planes as libswscale names it; YV12 is I420 with
// its chroma planes swapped, which the caller undoes.
std::optional<AVPixelFormat> pixelFormat(QVideoFrameFormat::PixelFormat format)
{
    switch (format) {
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
        return AV_PIX_FMT_YUV420P;
    case QVideoFrameFormat::Format_YUV422P:
        return AV_PIX_FMT_YUV422P;
    case QVideoFrameFormat::Format_YUV420P10:
        return AV_PIX_FMT_YUV420P10LE;
    case QVideoFrameFormat::Format_NV12:
        return AV_PIX_FMT_NV12;
    case QVideoFrameFormat::Format_NV21:
        return AV_PIX_FMT_NV21;
    case QVideoFrameFormat::Format_P010:
        return AV_PIX_FMT_P010LE;
    case QVideoFrameFormat::Format_P016:
        return AV_PIX_FMT_P016LE;
    case QVideoFrameFormat::Format_UYVY:
        return AV_PIX_FMT_UYVY422;
    case QVideoFrameFormat::Format_YUYV:
        return AV_PIX_FMT_YUYV422;
    case QVideoFrameFormat::Format_Y8:
        return AV_PIX_FMT_GRAY8;
    case QVideoFrameFormat::Format_Y16:
        return AV_PIX_FMT_GRAY16LE;
    case QVideoFrameFormat::Format_BGRA8888:
    case QVideoFrameFormat::Format_BGRA8888_Premultiplied:
    case QVideoFrameFormat::Format_BGRX8888:
        return AV_PIX_FMT_BGRA;
    case QVideoFrameFormat::Format_ARGB8888:
    case QVideoFrameFormat::Format_ARGB8888_Premultiplied:
    case QVideoFrameFormat::Format_XRGB8888:
        return AV_PIX_FMT_ARGB;
    case QVideoFrameFormat::Format_RGBA8888:
    case QVideoFrameFormat::Format_RGBX8888:
        return AV_PIX_FMT_RGBA;
    case QVideoFrameFormat::Format_ABGR8888:
    case QVideoFrameFormat::Format_XBGR8888:
        return AV_PIX_FMT_ABGR;
    default:
        return std::nullopt;
    }
}

int colourMatrix(QVideoFrameFormat::ColorSpace space)
{
    switch (space) {
    case QVideoFrameFormat::ColorSpace_BT709:
        return SWS_CS_ITU709;
    case QVideoFrameFormat::ColorSpace_BT2020:
        return SWS_CS_BT2020;
    case QVideoFrameFormat::ColorSpace_BT601:
        return SWS_CS_ITU601;
    default:
        return SWS_CS_DEFAULT;
    }
}

bool quarterTurned(QVideoFrame::RotationAngle angle)
{
    return angle == QVideoFrame::Rotation90 || angle == QVideoFrame::Rotation270;
}

// Upright: the display rotation, then the mirroring the frame asks for.
QImage upright(QImage image, const QVideoFrame& frame)
{
    if (frame.rotationAngle() != QVideoFrame::Rotation0) {
        image = image.transformed(QTransform().rotate(int(frame.rotationAngle())));
    }
    return frame.mirrored() ? image.mirrored(true, false) : image;
}

} // namespace

VideoFrameScaler::VideoFrameScaler()
    : scaler_(SWS_BILINEAR)
{
}

VideoFrameScaler::~VideoFrameScaler() = default;

void VideoFrameScaler::setTarget(QSize box)
{
    std::lock_guard guard(lock_);
    target_ = box;
}

QSize VideoFrameScaler::target() const
{
    std::lock_guard guard(lock_);
    return target_;
}

QImage VideoFrameScaler::convert(const QVideoFrame& frame)
{
    const QSize box = target();
    if (box.isEmpty() || !frame.isValid()) {
        return {};
    }
    const bool turned = quarterTurned(frame.rotationAngle());
    const QSize stored = frame.size();
    const QSize uprightSize = turned ? stored.transposed() : stored;
    const QSize fit = PictureScaler::fitted(uprightSize, box);
    const QSize scaledStored = turned ? fit.transposed() : fit;

    const std::optional<AVPixelFormat> format = pixelFormat(frame.pixelFormat());
    if (!format) {
        const QImage converted = frame.toImage(); // upright already
        return converted.isNull() ? converted : converted.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }

    QVideoFrame mapped(frame);
    if (!mapped.map(QVideoFrame::ReadOnly)) {
        return {};
    }
    const QVideoFrameFormat surface = frame.surfaceFormat();
    PictureScaler::Picture picture;
    picture.size = stored;
    picture.format = *format;
    picture.matrix = colourMatrix(surface.colorSpace());
    picture.fullRange = surface.colorRange() == QVideoFrameFormat::ColorRange_Full;
    for (int plane = 0; plane < std::min(mapped.planeCount(), 4); ++plane) {
        picture.planes[plane] = mapped.bits(plane);
        picture.strides[plane] = mapped.bytesPerLine(plane);
    }
    if (frame.pixelFormat() == QVideoFrameFormat::Format_YV12) {
        std::swap(picture.planes[1], picture.planes[2]);
        std::swap(picture.strides[1], picture.strides[2]);
    }
    QImage image = scaler_.scale(picture, scaledStored);
    mapped.unmap();
    return image.isNull() ? image : upright(std::move(image), frame);
}

} // namespace pivra
