#include "media/camera/CameraCatalogItems.h"

#include "catalog/model/Timestamp.h"
#include "media/camera/CameraItemPaths.h"
#include "media/metadata/MediaMetadata.h"

namespace pivra {

QString cameraFileName(const CameraFileInfo& file)
{
    if (file.originalFilename && !file.originalFilename->isEmpty()) {
        return safeCameraFileName(*file.originalFilename);
    }
    return safeCameraFileName(file.name);
}

std::optional<MediaKind> cameraFileKind(const CameraFileInfo& file)
{
    if (const std::optional<MediaKind> byName = MediaMetadata::kind(cameraFileName(file))) {
        return byName;
    }
    if (file.mimeType.startsWith(u"image/")) {
        return MediaKind::image;
    }
    if (file.mimeType.startsWith(u"video/")) {
        return MediaKind::video;
    }
    return std::nullopt;
}

MediaItem cameraMediaItem(const QUuid& sourceID, const QString& path, const CameraFileInfo& file, MediaKind kind,
                          const std::optional<QString>& deviceName)
{
    const Timestamp captureDate =
        file.exifCreationDate.value_or(file.creationDate.value_or(file.fileCreationDate.value_or(distantPast)));
    const std::optional<QAnyStringView> camera = deviceName ? std::optional<QAnyStringView>(*deviceName) : std::nullopt;
    return MediaItem(MediaItem::makeID(sourceID, path), sourceID, path, cameraFileName(file), kind, captureDate,
                     u"iPhone", file.width, file.height, camera, std::nullopt,
                     kind == MediaKind::video ? file.duration : std::nullopt, file.knownSize().value_or(0),
                     file.modificationDate.value_or(captureDate), std::nullopt, 0, false, std::nullopt, std::nullopt,
                     std::nullopt);
}

} // namespace pivra
