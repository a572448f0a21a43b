#pragma once

#include <QByteArray>
#include <QImage>

namespace pivra {

// Decodes a JPEG straight into three bytes a pixel (QImage::Format_RGB888),
// or one for a grayscale file (Format_Grayscale8). Thumbnails have no alpha,
// and the grid's memory cache holds hundreds of them: a fourth byte a pixel
// would be a quarter of it spent on nothing. No four-byte copy is made on
// the way, since libjpeg writes each row into the image itself.
//
// A null image for bytes that are no JPEG, are damaged before the first row,
// or hold CMYK pixels (never written by this program's thumbnail files).
QImage decodeJpegPixels(const QByteArray& bytes);

} // namespace pivra
