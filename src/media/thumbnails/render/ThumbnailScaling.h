#pragma once

#include "media/pictures/PictureScaler.h"

#include <QImage>

namespace pivra {

// A decoded picture shrunk to fit `pixels` on its longer side (never
// enlarged) through a Lanczos filter, as libvips shrinks the photos it
// draws, converted from the picture's own pixel format by libswscale in the
// same pass, on the calling thread alone (Qt's smooth scaling hands rows to
// its global pool and waits). Three bytes a pixel, one for grey; null when
// libswscale takes no such picture.
QImage fittedThumbnail(const PictureScaler::Picture& picture, int pixels);

// The same of an image Qt holds (three-byte RGB, 32-bit RGB or grey; others
// are converted to three-byte RGB first).
QImage fittedThumbnail(const QImage& image, int pixels);

} // namespace pivra
