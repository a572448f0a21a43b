#include "media/thumbnails/cache/ThumbnailCache.h"

#include "catalog/model/Uuid.h"
#include "media/MediaFile.h"
#include "media/thumbnails/render/JpegPixels.h"
#include "media/thumbnails/MediaKey.h"
#include "platform/folders/FileNameText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QStandardPaths>

#include <filesystem>

namespace pivra {
namespace {

constexpr QLatin1StringView jpegSuffix(".jpg");

QString resolvedPath(const QString& path)
{
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(fileNameBytes(path).toStdString(), error);
    return error ? QString() : fileNameText(resolved.native());
}

bool writeAtomically(const QString& path, const std::function<bool(QIODevice&)>& write)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !write(file)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

ThumbnailLocations ThumbnailLocations::standard()
{
    return under(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                 QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
}

ThumbnailLocations ThumbnailLocations::under(const QString& dataFolder, const QString& cacheFolder)
{
    return {dataFolder + QStringLiteral("/Pivra/Thumbnails/v2"), cacheFolder + QStringLiteral("/Pivra/Thumbnails"),
            cacheFolder + QStringLiteral("/Pivra/ViewerPreviews"),
            cacheFolder + QStringLiteral("/Pivra/RenderAttempts")};
}

QString ThumbnailLocations::gridFile(const QString& key) const
{
    return fannedOutFile(assetDirectory, key, jpegSuffix);
}

QString ThumbnailLocations::viewerPreviewFile(const MediaItem& item, int pixels) const
{
    const QString name = digestText(item.id() + QLatin1Char(':') + timeText(item.modifiedAt()) + QLatin1Char(':') +
                                    QString::number(pixels));
    return viewerDirectory + QLatin1Char('/') + name + QStringLiteral(".jpg");
}

QString ThumbnailLocations::legacyCacheFile(const MediaItem& item) const
{
    const QString name = digestText(item.id() + QLatin1Char(':') + timeText(item.modifiedAt()) + QLatin1Char(':') +
                                    QString::number(gridPixels));
    return legacyDirectory + QLatin1Char('/') + name + QStringLiteral(".jpg");
}

std::optional<QString> oldPortableFile(const MediaItem& item, const QString& root)
{
    const QString rootPath = resolvedPath(root);
    const QString itemPath = resolvedPath(item.path());
    if (rootPath.isEmpty() || !itemPath.startsWith(rootPath + QLatin1Char('/'))) {
        return std::nullopt;
    }
    const QString relative = itemPath.mid(rootPath.size() + 1);
    const QString name = digestText(QStringLiteral("v1:") + relative + QLatin1Char(':') +
                                    QString::number(item.fileSize()) + QLatin1Char(':') + timeText(item.modifiedAt()) +
                                    QLatin1Char(':') + QString::number(gridPixels));
    return fannedOutFile(root + QStringLiteral("/.pivra/thumbnails/v1"), name, jpegSuffix);
}

bool persist(const QImage& image, const QString& path)
{
    if (image.isNull()) {
        return false;
    }
    return writeAtomically(path, [&image](QIODevice& device) {
        QImageWriter writer(&device, "jpeg");
        writer.setQuality(thumbnailJpegQuality);
        return writer.write(image);
    });
}

QImage loadCachedImage(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    if (QImage image = decodeJpegPixels(bytes); !image.isNull()) {
        return image;
    }
    // A file this program did not write (a copied older thumbnail in CMYK,
    // another format under the name) still shows, at Qt's four bytes a pixel.
    return QImage::fromData(bytes);
}

bool copyFirstUsableFile(const QStringList& candidates, const QString& destination)
{
    for (const QString& candidate : candidates) {
        // Inside a source folder, so anything may lie there under the name.
        const std::optional<MediaFile> file = MediaFile::open(candidate);
        if (!file) {
            continue;
        }
        const QByteArray bytes = file->read(0, file->size());
        if (bytes.isEmpty()) {
            continue;
        }
        return writeAtomically(destination,
                               [&bytes](QIODevice& device) { return device.write(bytes) == bytes.size(); });
    }
    return false;
}

} // namespace pivra
