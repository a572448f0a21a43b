#include "viewer/photo/SoftImage.h"

#include <algorithm>
#include <cmath>

namespace pivra {

QImage softImage(const QImage& image, QSize size, double radius, bool fill)
{
    if (image.isNull() || size.isEmpty()) {
        return {};
    }
    const QImage sized = image.scaled(size, fill ? Qt::KeepAspectRatioByExpanding : Qt::IgnoreAspectRatio,
                                      Qt::SmoothTransformation);
    const QImage cropped = sized.copy((sized.width() - size.width()) / 2, (sized.height() - size.height()) / 2,
                                      size.width(), size.height());
    const double shrink = std::max(1.0, radius / 2);
    const QSize small(std::max(1, int(std::lround(size.width() / shrink))),
                      std::max(1, int(std::lround(size.height() / shrink))));
    return cropped.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace pivra
