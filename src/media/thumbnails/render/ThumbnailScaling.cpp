#include "media/thumbnails/render/ThumbnailScaling.h"

#include <algorithm>

extern "C" {
#include <libswscale/swscale.h>
}

namespace pivra {

QImage fittedThumbnail(const PictureScaler::Picture& picture, int pixels)
{
    const bool gray = picture.format == AV_PIX_FMT_GRAY8;
    const QSize size = std::max(picture.size.width(), picture.size.height()) <= pixels
                           ? picture.size
                           : PictureScaler::fitted(picture.size, QSize(pixels, pixels));
    PictureScaler scaler(SWS_LANCZOS | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP);
    return scaler.scale(picture, size).convertToFormat(gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
}

QImage fittedThumbnail(const QImage& image, int pixels)
{
    if (image.isNull()) {
        return {};
    }
    const bool gray = image.format() == QImage::Format_Grayscale8;
    const QImage source = gray || image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_RGB888
                              ? image
                              : image.convertToFormat(QImage::Format_RGB888);
    if (std::max(source.width(), source.height()) <= pixels) {
        return source.convertToFormat(gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    }
    PictureScaler::Picture picture;
    picture.planes[0] = source.constBits();
    picture.strides[0] = int(source.bytesPerLine());
    picture.size = source.size();
    picture.format = gray                                          ? AV_PIX_FMT_GRAY8
                     : source.format() == QImage::Format_RGB888 ? AV_PIX_FMT_RGB24
                                                                 : AV_PIX_FMT_BGRA;
    picture.fullRange = true;
    return fittedThumbnail(picture, pixels);
}

} // namespace pivra
