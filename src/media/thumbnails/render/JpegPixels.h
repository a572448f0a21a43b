#pragma once

#include "media/thumbnails/render/DecodeBudget.h"

#include <QByteArray>
#include <QImage>

namespace pivra {

class MediaFile;

// Decodes a JPEG straight into three bytes a pixel (QImage::Format_RGB888),
// or one for a grayscale file (Format_Grayscale8). Thumbnails have no alpha,
// and the grid's memory cache holds hundreds of them: a fourth byte a pixel
// would be a quarter of it spent on nothing. No four-byte copy is made on
// the way, since libjpeg writes each row into the image itself.
//
// Damage is passed over as libjpeg passes it: a stretch it cannot decode is
// skipped to the next restart marker, and where it stops with an error, the
// rows decoded before stay and the rest are mid grey, as a file cut short
// shows. A null image for bytes that are no JPEG, are damaged before the
// first row, or hold CMYK pixels (never written by this program's thumbnail
// files).
struct JpegPixels {
    QImage image;
    // The header read, libjpeg warned of damage or stopped before the end:
    // the image, if any, holds only what it could make of the file.
    bool damaged = false;
};
JpegPixels decodeJpegPixels(const QByteArray& bytes);

// The same for a photo that libvips gave up on (it fails a file after a
// hundred damaged stretches, which a camera JPEG with restart markers reaches
// with a few damaged kilobytes), read from `file` and decoded at the smallest
// of libjpeg's scales (an eighth, a quarter, a half or the whole) whose
// longer side is at least `longerSide`, or the whole image when it is
// smaller. Its colour profile, if it has one, comes with it. A decode larger
// than DecodeBudget.h allows gives nothing; a large one waits for its share
// of the budget in the order `urgency` gives it.
struct SalvagedJpeg {
    QImage image;
    QByteArray iccProfile;
};
SalvagedJpeg salvageJpeg(const MediaFile& file, int longerSide, DecodeUrgency urgency);

} // namespace pivra
