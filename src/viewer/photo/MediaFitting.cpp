#include "viewer/photo/MediaFitting.h"

#include <algorithm>

namespace pivra {

MediaFitting MediaFitting::of(int width, int height, int quarters, QSizeF area)
{
    // A box 1000 wide of the item's aspect, swapped for odd turns; only its
    // proportions matter.
    const double aspect = width >= 1 && height >= 1 ? std::max(double(width) / height, 0.01) : 1.0;
    const double unrotatedWidth = 1000;
    const double unrotatedHeight = 1000 / aspect;
    const bool sideways = quarters % 2 != 0;
    const QSizeF box = sideways ? QSizeF(unrotatedHeight, unrotatedWidth) : QSizeF(unrotatedWidth, unrotatedHeight);
    const double scale = std::min(area.width() / box.width(), area.height() / box.height());
    const QSizeF frame(std::max(unrotatedWidth * scale, 1.0), std::max(unrotatedHeight * scale, 1.0));
    const QSizeF fitted(unrotatedWidth * scale, unrotatedHeight * scale);
    return {frame, sideways ? fitted.transposed() : fitted};
}

} // namespace pivra
