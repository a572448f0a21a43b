#include "media/pictures/PictureScaler.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libswscale/swscale.h>
}

namespace pivra {

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

// An image of `size` that only this scaler holds, else a new one kept in
// place of the oldest.
QImage& PictureScaler::freeImage(QSize size)
{
    for (QImage& image : images_) {
        if (image.size() == size && image.isDetached()) {
            return image;
        }
    }
    QImage& replaced = images_[nextReplaced_];
    nextReplaced_ = (nextReplaced_ + 1) % images_.size();
    replaced = QImage(size, QImage::Format_RGB32);
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
