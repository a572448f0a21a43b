#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>

namespace pivra {

// Scales a thumbnail into a tile's picture on the thread that asks, with no
// help from another: Qt's smooth scaling and its painting of three-byte
// pixels hand their rows to Qt's global thread pool and wait for it, and
// while every processor indexes a library that wait is what holds up the
// GUI thread.

// Whether scaleOpaqueInto() takes `image` as it is: an image without alpha
// in three-byte RGB, 32-bit RGB or 8-bit grey.
bool scalesOpaque(const QImage& image);

// Writes `source` (one scalesOpaque() takes) scaled to `size` and turned
// `quarters` quarter turns clockwise into `target`, a 32-bit RGB or
// premultiplied ARGB image, with the turned picture's top left at `at`; the
// turned picture must lie inside `target`. Smooth: every pixel is the
// average of the source area it covers, or, along a side that grows, the
// blend of its two nearest source pixels; rough: the nearest source pixel.
void scaleOpaqueInto(const QImage& source, QSize size, int quarters, bool smooth, QImage& target, QPoint at);

} // namespace pivra
