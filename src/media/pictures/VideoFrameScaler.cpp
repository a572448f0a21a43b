#include "media/pictures/VideoFrameScaler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

extern "C" {
#include <libavutil/pixdesc.h>
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

// A unit rectangle turned clockwise by a quarter multiple.
QRectF turned(const QRectF& r, int turn)
{
    switch (((turn % 360) + 360) % 360) {
    case 90:
        return {1 - r.y() - r.height(), r.x(), r.height(), r.width()};
    case 180:
        return {1 - r.x() - r.width(), 1 - r.y() - r.height(), r.width(), r.height()};
    case 270:
        return {r.y(), 1 - r.x() - r.width(), r.height(), r.width()};
    default:
        return r;
    }
}

QRectF mirroredPart(const QRectF& r)
{
    return {1 - r.x() - r.width(), r.y(), r.width(), r.height()};
}

QRectF unitOf(const QRect& pixels, QSize picture)
{
    return {double(pixels.x()) / picture.width(), double(pixels.y()) / picture.height(),
            double(pixels.width()) / picture.width(), double(pixels.height()) / picture.height()};
}

// How far into each plane the pixel at `origin` lies, for the planes of
// `format`: a subsampled chroma plane counts in its own samples.
std::array<std::ptrdiff_t, 4> planeOffsets(const AVPixFmtDescriptor& format, QPoint origin, const int strides[4])
{
    std::array<std::ptrdiff_t, 4> offsets{};
    const bool rgb = (format.flags & AV_PIX_FMT_FLAG_RGB) != 0;
    for (int plane = 0; plane < 4; ++plane) {
        int step = 0;
        bool chroma = false;
        for (int component = 0; component < format.nb_components; ++component) {
            const AVComponentDescriptor& descriptor = format.comp[component];
            if (descriptor.plane == plane && (step == 0 || descriptor.step < step)) {
                step = descriptor.step;
                chroma = !rgb && (component == 1 || component == 2);
            }
        }
        const int x = chroma ? origin.x() >> format.log2_chroma_w : origin.x();
        const int y = chroma ? origin.y() >> format.log2_chroma_h : origin.y();
        offsets[plane] = std::ptrdiff_t(y) * strides[plane] + std::ptrdiff_t(x) * step;
    }
    return offsets;
}

QSize atScale(QSize pixels, double scale)
{
    return {std::max(1, int(std::lround(pixels.width() * scale))),
            std::max(1, int(std::lround(pixels.height() * scale)))};
}

} // namespace

VideoFrameScaler::VideoFrameScaler()
    : scaler_(SWS_BILINEAR)
{
}

VideoFrameScaler::~VideoFrameScaler() = default;

void VideoFrameScaler::setTarget(const Target& target)
{
    std::lock_guard guard(lock_);
    target_ = target;
}

VideoFrameScaler::Target VideoFrameScaler::target() const
{
    std::lock_guard guard(lock_);
    return target_;
}

QRect VideoFrameScaler::pixelRect(const QRectF& part, QSize picture, QSize align)
{
    const auto down = [](double value, int step) { return int(std::floor(value / step)) * step; };
    const auto up = [](double value, int step) { return int(std::ceil(value / step)) * step; };
    const int left = std::clamp(down(part.left() * picture.width(), align.width()), 0, picture.width() - 1);
    const int top = std::clamp(down(part.top() * picture.height(), align.height()), 0, picture.height() - 1);
    const int right = std::clamp(up(part.right() * picture.width(), align.width()), left + 1, picture.width());
    const int bottom = std::clamp(up(part.bottom() * picture.height(), align.height()), top + 1, picture.height());
    return {left, top, right - left, bottom - top};
}

QRectF VideoFrameScaler::uprightPart(const QRectF& stored, int turn, bool mirrored)
{
    const QRectF upright = turned(stored, turn);
    return mirrored ? mirroredPart(upright) : upright;
}

QRectF VideoFrameScaler::storedPart(const QRectF& upright, int turn, bool mirrored)
{
    return turned(mirrored ? mirroredPart(upright) : upright, 360 - turn);
}

ConvertedFrame VideoFrameScaler::convert(const QVideoFrame& frame)
{
    const Target wanted = target();
    if (wanted.shown.isEmpty() || wanted.part.isEmpty() || !frame.isValid()) {
        return {};
    }
    const int turn = int(frame.rotationAngle());
    const bool mirrored = frame.mirrored();
    const QSize stored = frame.size();
    const QSize upright = turn % 180 != 0 ? stored.transposed() : stored;
    // Never more pixels than the video has: beyond them the painter enlarges.
    const double scale = std::min({1.0, wanted.shown.width() / upright.width(), wanted.shown.height() / upright.height()});

    const std::optional<AVPixelFormat> format = pixelFormat(frame.pixelFormat());
    if (!format) {
        const QImage whole = frame.toImage(); // upright already
        if (whole.isNull()) {
            return {};
        }
        const QRect cut = pixelRect(wanted.part, whole.size(), {1, 1});
        return {.image = whole.copy(cut).scaled(atScale(cut.size(), scale), Qt::IgnoreAspectRatio,
                                                Qt::SmoothTransformation),
                .part = unitOf(cut, whole.size()),
                .whole = whole.size()};
    }

    const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(*format);
    const bool rgb = (layout->flags & AV_PIX_FMT_FLAG_RGB) != 0;
    const QSize align = rgb ? QSize(1, 1) : QSize(1 << layout->log2_chroma_w, 1 << layout->log2_chroma_h);
    const QRect cut = pixelRect(storedPart(wanted.part, turn, mirrored), stored, align);

    QVideoFrame mapped(frame);
    if (!mapped.map(QVideoFrame::ReadOnly)) {
        return {};
    }
    const QVideoFrameFormat surface = frame.surfaceFormat();
    PictureScaler::Picture picture;
    picture.size = cut.size();
    picture.format = *format;
    picture.matrix = colourMatrix(surface.colorSpace());
    picture.fullRange = surface.colorRange() == QVideoFrameFormat::ColorRange_Full;
    const std::uint8_t* planes[4] = {};
    for (int plane = 0; plane < std::min(mapped.planeCount(), 4); ++plane) {
        planes[plane] = mapped.bits(plane);
        picture.strides[plane] = mapped.bytesPerLine(plane);
    }
    if (frame.pixelFormat() == QVideoFrameFormat::Format_YV12) {
        std::swap(planes[1], planes[2]);
        std::swap(picture.strides[1], picture.strides[2]);
    }
    const std::array<std::ptrdiff_t, 4> offsets = planeOffsets(*layout, cut.topLeft(), picture.strides);
    for (int plane = 0; plane < 4; ++plane) {
        picture.planes[plane] = planes[plane] ? planes[plane] + offsets[plane] : nullptr;
    }
    QImage image = scaler_.scale(picture, atScale(cut.size(), scale));
    mapped.unmap();
    return {.image = std::move(image),
            .part = uprightPart(unitOf(cut, stored), turn, mirrored),
            .whole = upright,
            .turn = turn,
            .mirrored = mirrored};
}

} // namespace pivra
