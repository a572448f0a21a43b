#pragma once

#include "media/MediaFile.h"

#include <QString>
#include <QVariantMap>
#include <optional>

namespace pivra {

// The property dictionary of a file's first image, shaped as the platform's
// image-property reader gives it, so that stored metadata texts read the same
// everywhere: top-level "PixelWidth", "PixelHeight", "Orientation", "DPIWidth"
// and "DPIHeight" (only when the file holds a resolution), "Depth",
// "ColorModel", "HasAlpha", and the groups "{TIFF}",
// "{Exif}", "{GPS}", "{IPTC}", "{MakerApple}" (see PropertyGroups.h).
//
// Pixels are never decoded: the size comes from libheif (HEIF), exiv2 (camera
// RAW, whose first directory is a small preview), the frame marker found while
// exiv2's bytes are gathered (the common JPEG), or the libvips header
// (everything else). For HEIF the size is the displayed one, with the
// container's rotation applied, and the top-level Orientation is 1, so that
// nothing rotates it a second time; "{TIFF}" keeps the Exif tag as stored.
//
// Nothing when neither exiv2 nor a header reader can make sense of the file.
// Never throws.
std::optional<QVariantMap> readImageProperties(const QString& path);
// The same for the file at `path` that the caller has opened already.
std::optional<QVariantMap> readImageProperties(const QString& path, const MediaFile& file);

} // namespace pivra
