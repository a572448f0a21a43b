#pragma once

#include <QImage>
#include <QString>

namespace Exiv2 {
class ExifData;
}

namespace pivra {

// The Exif orientation (1 to 8) a photo's stored pixels are to be shown with,
// read as the inspection reads it, so a thumbnail always has the shape the
// catalog records for its item: the IFD0 orientation tag through exiv2, for
// every format alike (libvips would see a PNG's tag only in an eXIf chunk, not
// in the "Raw profile type exif" text chunk exiv2 and ImageMagick write).
//
// 1 when the file has no usable tag, and for HEIF, whose container transform
// libheif applies on decoding (the Exif tag there is only information).
int displayOrientation(const QString& path);

// The orientation the file's Exif records, HEIF included: what a thumbnail
// made from the stored pixels without their container (a device's) needs.
int recordedOrientation(const QString& path);

// `image` turned upright by `orientation` (Exif numbering).
QImage uprightImage(const QImage& image, int orientation);

// The IFD0 orientation tag of Exif already read; 1 when absent or out of range.
int exifOrientation(const Exiv2::ExifData& exif);

} // namespace pivra
