#include "media/metadata/ImageOrientation.h"

#include "media/metadata/ExivImage.h"
#include "media/metadata/PixelHeader.h"

namespace pivra {

int displayOrientation(const QString& path)
{
    if (isHeifFile(path)) {
        return 1;
    }
    try {
        const ExivImage opened = openExivImage(path);
        if (!opened.image) {
            return 1;
        }
        opened.image->readMetadata();
        return exifOrientation(opened.image->exifData());
    } catch (...) {
        // Damaged files: exiv2 throws its own errors and, deeper down,
        // standard ones. The inspection reads them as holding no tag too.
        return 1;
    }
}

int exifOrientation(const Exiv2::ExifData& exif)
{
    const auto found = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (found == exif.end() || found->count() == 0) {
        return 1;
    }
    const long value = found->toLong();
    return value >= 1 && value <= 8 ? int(value) : 1;
}

} // namespace pivra
