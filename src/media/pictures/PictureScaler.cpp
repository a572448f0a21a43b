#include "media/pictures/PictureScaler.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>

extern "C" {
#include <libswscale/swscale.h>
}

namespace pivra {
namespace {

// The widest block libswscale's vector code writes, in bytes (16 pixels of
// 32 bits), which is also the alignment its rows and buffers like best.
constexpr qsizetype outputBlock = 64;

qsizetype roundedUp(qsizetype bytes)
{
    return (bytes + outputBlock - 1) / outputBlock * outputBlock;
}

} // namespace

void PictureScaler::Release::operator()(SwsContext* context) const
{
    sws_freeContext(context);
}

PictureScaler::PictureScaler(int filter)
    : filter_(filter)
{
}

PictureScaler::~PictureScaler() = default;

QSize PictureScaler::fitted(QSize picture, QSize box)
{
    if (picture.isEmpty() || box.isEmpty()) {
        return {1, 1};
    }
    const double scale = std::min(double(box.width()) / picture.width(), double(box.height()) / picture.height());
    return {std::max(1, int(std::lround(picture.width() * scale))),
            std::max(1, int(std::lround(picture.height() * scale)))};
}

QImage PictureScaler::outputImage(QSize size, QImage::Format format)
{
    if (size.isEmpty()) {
        return {};
    }
    const qsizetype stride = roundedUp(qsizetype(size.width()) * QImage::toPixelFormat(format).bitsPerPixel() / 8);
    void* bytes = std::aligned_alloc(outputBlock, stride * size.height() + outputBlock);
    if (bytes == nullptr) {
        return {};
    }
    return QImage(static_cast<uchar*>(bytes), size.width(), size.height(), stride, format,
                  [](void* memory) { std::free(memory); }, bytes);
}

// An image of `size` that only this scaler holds, else a new one kept in
// place of the oldest.
QImage& PictureScaler::freeImage(QSize size)
{
    for (QImage& image : images_) {
        if (image.size() == size && image.isDetached()) {
            // The thread that let go of the image last (the GUI thread, done
            // painting it) read its pixels before it dropped its reference:
            // those reads come before the writes to come.
            std::atomic_thread_fence(std::memory_order_acquire);
            return image;
        }
    }
    QImage& replaced = images_[nextReplaced_];
    nextReplaced_ = (nextReplaced_ + 1) % images_.size();
    replaced = outputImage(size, QImage::Format_RGB32);
    return replaced;
}

QImage PictureScaler::scale(const Picture& picture, QSize to)
{
    if (picture.size.isEmpty() || to.isEmpty()) {
        return {};
    }
    context_.reset(sws_getCachedContext(context_.release(), picture.size.width(), picture.size.height(),
                                        picture.format, to.width(), to.height(), AV_PIX_FMT_BGRA, filter_,
                                        nullptr, nullptr, nullptr));
    QImage& image = freeImage(to);
    if (!context_ || image.isNull()) {
        return {};
    }
    sws_setColorspaceDetails(context_.get(), sws_getCoefficients(picture.matrix == 0 ? SWS_CS_DEFAULT : picture.matrix),
                             picture.fullRange, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    std::uint8_t* const out[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int outStrides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(context_.get(), picture.planes, picture.strides, 0, picture.size.height(), out,
                               outStrides);
    return rows == to.height() ? image : QImage();
}

} // namespace pivra
