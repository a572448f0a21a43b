// The program's one camera source manager, over libgphoto2, and what the
// device layer needs of the media code: files described from their headers.
#include "media/camera/CameraFileHelpers.h"

#include "media/camera/CameraCatalogItems.h"
#include "media/camera/CameraSourceManager.h"
#include "catalog/model/Timestamp.h"
#include "media/metadata/ImageOrientation.h"
#include "media/metadata/MediaMetadata.h"
#include "platform/cameras/GPhotoBackend.h"
#include "platform/runtime/MainThread.h"

namespace pivra {
namespace {

// Read as a folder scan reads a file, so a photo or video has the same size
// and capture date from a device as from a folder.
void describeFromHeader(const QString& path, CameraFileInfo& file)
{
    const std::optional<MediaKind> kind = cameraFileKind(file);
    if (!kind) {
        return;
    }
    // Without file-system values the only date inspect() can find is the one
    // the file records.
    const MediaItem item = MediaMetadata::inspect(path, {}, {}, *kind);
    if (item.width() > 0 && item.height() > 0) {
        file.width = item.width();
        file.height = item.height();
    }
    if (item.captureDate() != distantPast) {
        file.exifCreationDate = item.captureDate();
    }
    if (item.duration()) {
        file.duration = item.duration();
    }
    if (*kind == MediaKind::image) {
        file.orientation = recordedOrientation(path);
    }
}

} // namespace

GPhotoFileHelpers cameraFileHelpers()
{
    return {describeFromHeader};
}

namespace {
std::atomic<CameraSourceManager*> made = nullptr;
}

CameraSourceManager& CameraSourceManager::shared()
{
    assertMainThread();
    // Never destroyed: device workers may still be finishing requests when
    // static destructors run.
    static CameraSourceManager* const manager = [] {
        auto* backend = new GPhotoBackend({true, cameraFileHelpers()});
        return new CameraSourceManager(*backend);
    }();
    made = manager;
    return *manager;
}

CameraSourceManager* CameraSourceManager::sharedIfMade() { return made; }

} // namespace pivra
