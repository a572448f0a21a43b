#include "media/metadata/ImageOrientation.h"

#include "media/metadata/properties/ExivImage.h"
#include "media/formats/PixelHeader.h"

#include <QTransform>

namespace pivra {

int displayOrientation(const QString& path)
{
    return isHeifFile(path) ? 1 : recordedOrientation(path);
}

int recordedOrientation(const QString& path)
{
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

QImage uprightImage(const QImage& image, int orientation)
{
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        return image.mirrored(true, true);
    case 4:
        return image.mirrored(false, true);
    case 5:
        return image.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6:
        return image.transformed(QTransform().rotate(90));
    case 7:
        return image.transformed(QTransform().rotate(90)).mirrored(false, true);
    case 8:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
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
