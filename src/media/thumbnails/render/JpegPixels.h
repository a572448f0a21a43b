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
// files), and, before anything is decoded, for a frame with a side over
// `mostSide` or beyond what a photo may declare or take (below).
struct JpegPixels {
    QImage image;
    // The header read, libjpeg warned of damage or stopped before the end:
    // the image, if any, holds only what it could make of the file.
    bool damaged = false;
};
JpegPixels decodeJpegPixels(const QByteArray& bytes, int mostSide);

// A photo's JPEG drawn as a thumbnail (or a viewer's preview) fitting
// `pixels`, on the calling thread alone: read from `file` and decoded at the
// smallest of libjpeg's scales (an eighth, a quarter, a half or the whole)
// that leaves the rest of the shrink at least a factor of two, or whole when
// smaller, then shrunk through a Lanczos filter (ThumbnailScaling.h), from
// the YCbCr planes themselves where libswscale takes their layout. Its colour
// profile and the orientation its Exif records (IFD0's tag, as the
// inspection reads it) come with it; neither is applied. Damage is passed
// over as above, so a file libvips would give up on (it fails one after a
// hundred damaged stretches, which a camera JPEG with restart markers reaches
// with a few damaged kilobytes) is drawn as far as it decodes. A frame
// declaring more pixels than any camera makes, or a decode larger than
// DecodeBudget.h allows, is refused before anything is decoded; a large one
// waits for its share of the budget in the order `urgency` gives it. A null
// image, not refused, for CMYK (drawn by libvips) and for a file with
// nothing decodable.
struct JpegPhoto {
    QImage image;
    QByteArray iccProfile;
    int orientation = 1; // Exif numbering
    bool refused = false;
};
JpegPhoto readJpegPhoto(const MediaFile& file, int pixels, DecodeUrgency urgency);

} // namespace pivra
