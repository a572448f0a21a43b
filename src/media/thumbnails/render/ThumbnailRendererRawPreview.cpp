#include "media/thumbnails/render/ThumbnailRendererRawPreview.h"

#include "media/metadata/properties/ExivImage.h"
#include "media/metadata/ImageOrientation.h"

#include <QFileInfo>
#include <QSet>

#include <exiv2/exiv2.hpp>

namespace pivra {

bool isRawFile(const QString& path)
{
    // The camera formats among the image extensions the catalog indexes.
    static const QSet<QString> rawExtensions{
        QStringLiteral("dng"), QStringLiteral("cr2"), QStringLiteral("cr3"), QStringLiteral("nef"),
        QStringLiteral("arw"), QStringLiteral("raf"), QStringLiteral("orf"), QStringLiteral("rw2"),
        QStringLiteral("pef"), QStringLiteral("srw"),
    };
    return rawExtensions.contains(QFileInfo(path).suffix().toLower());
}

QImage decodeRawPreview(const QString& path, const std::function<QImage(const RawPreview&)>& decode)
{
    try {
        const ExivImage opened = openExivImage(path);
        if (!opened.image) {
            return {};
        }
        Exiv2::Image* image = opened.image.get();
        image->readMetadata();
        Exiv2::PreviewManager previews(*image);
        const Exiv2::PreviewPropertiesList list = previews.getPreviewProperties(); // smallest first
        const int orientation = exifOrientation(image->exifData());
        for (auto properties = list.rbegin(); properties != list.rend(); ++properties) {
            const Exiv2::PreviewImage preview = previews.getPreviewImage(*properties);
            const RawPreview candidate{
                QByteArray(reinterpret_cast<const char*>(preview.pData()), int(preview.size())), orientation};
            if (QImage decoded = decode(candidate); !decoded.isNull()) {
                return decoded;
            }
        }
    } catch (...) {
        // Damaged files: exiv2 throws its own errors and, deeper down,
        // standard ones (bad_alloc, out_of_range).
    }
    return {};
}

} // namespace pivra
