#pragma once

#include <QImage>
#include <QSize>

namespace pivra {

// `image` drawn to exactly `size` (filling it, cropped to the centre when
// `fill`, else stretched) and blurred by about `radius` pixels: shrunk by
// the radius and smoothly enlarged again, which costs a few milliseconds
// whatever the radius, where a true Gaussian over a window-sized image would
// not. Opaque images stay opaque to the edges.
QImage softImage(const QImage& image, QSize size, double radius, bool fill);

} // namespace pivra
