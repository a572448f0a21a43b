#include "media/ThumbnailRendererRawPreview.h"

#include "media/ExivImage.h"
#include "media/ImageOrientation.h"

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

std::optional<RawPreview> largestRawPreview(const QString& path)
{
    try {
        const auto image = openExivImage(path);
        if (!image.get()) {
            return std::nullopt;
        }
        image->readMetadata();
        Exiv2::PreviewManager previews(*image);
        const Exiv2::PreviewPropertiesList list = previews.getPreviewProperties();
        if (list.empty()) {
            return std::nullopt;
        }
        // The list is sorted by size, smallest first.
        const Exiv2::PreviewImage preview = previews.getPreviewImage(list.back());
        RawPreview result;
        result.encoded = QByteArray(reinterpret_cast<const char*>(preview.pData()), int(preview.size()));
        result.orientation = exifOrientation(image->exifData());
        return result;
    } catch (const Exiv2::AnyError&) {
        return std::nullopt;
    }
}

} // namespace pivra
