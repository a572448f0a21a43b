// The program's one camera source manager, over libgphoto2, and what the
// device layer needs of the media code: pixel sizes from file headers and
// thumbnails drawn from copies of files that the device has none for.
#include "media/camera/CameraFileHelpers.h"

#include "media/camera/CameraCatalogItems.h"
#include "media/camera/CameraSourceManager.h"
#include "media/metadata/PixelHeader.h"
#include "media/thumbnails/ThumbnailRenderer.h"
#include "media/video/VideoPosterFrames.h"
#include "media/video/VideoProperties.h"
#include "platform/cameras/GPhotoBackend.h"
#include "platform/runtime/MainThread.h"

#include <QBuffer>

namespace pivra {
namespace {

std::optional<QSize> headerPixelSize(const QString& path, const CameraFileInfo& file)
{
    const std::optional<MediaKind> kind = cameraFileKind(file);
    if (kind == MediaKind::video) {
        const std::optional<VideoProperties> video = readVideoProperties(path);
        return video && video->width > 0 ? std::optional(QSize(video->width, video->height)) : std::nullopt;
    }
    if (kind == MediaKind::image) {
        const std::optional<PixelHeader> header = isHeifFile(path) ? readHeifHeader(path) : readImageHeader(path);
        return header && header->width > 0 ? std::optional(QSize(header->width, header->height)) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<QByteArray> drawnThumbnail(const ThumbnailRenderer& renderer, const QString& path,
                                         const CameraFileInfo& file, int maxPixels)
{
    const std::optional<MediaKind> kind = cameraFileKind(file);
    if (!kind) {
        return std::nullopt;
    }
    const QImage image = renderer.render(cameraMediaItem({}, path, file, *kind, std::nullopt), maxPixels).image;
    QByteArray encoded;
    QBuffer buffer(&encoded);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "JPEG", 85)) {
        return std::nullopt;
    }
    return encoded;
}

} // namespace

GPhotoFileHelpers cameraFileHelpers(std::shared_ptr<const ThumbnailRenderer> renderer)
{
    return {headerPixelSize, [renderer](const QString& path, const CameraFileInfo& file, int maxPixels) {
                return drawnThumbnail(*renderer, path, file, maxPixels);
            }};
}

CameraSourceManager& CameraSourceManager::shared()
{
    assertMainThread();
    // Never destroyed: device workers may still be finishing requests when
    // static destructors run.
    static CameraSourceManager* const manager = [] {
        auto* backend = new GPhotoBackend(
            {true, cameraFileHelpers(std::make_shared<ThumbnailRenderer>(std::make_shared<VideoPosterFrames>()))});
        return new CameraSourceManager(*backend);
    }();
    return *manager;
}

} // namespace pivra
