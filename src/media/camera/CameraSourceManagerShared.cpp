// The program's one camera source manager, over libgphoto2, and what the
// device layer needs of the media code: files described from their headers.
#include "media/camera/CameraFileHelpers.h"

#include "media/camera/CameraFileDescription.h"
#include "media/camera/CameraSourceManager.h"
#include "platform/cameras/GPhotoBackend.h"
#include "platform/runtime/MainThread.h"

#include <QStandardPaths>

namespace pivra {

GPhotoFileHelpers cameraFileHelpers()
{
    return {describeCameraFile};
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
        auto* backend = new GPhotoBackend(
            {.discoverUsb = true,
             .helpers = cameraFileHelpers(),
             .descriptionFolder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                                  QStringLiteral("/Pivra/CameraDescriptions")});
        return new CameraSourceManager(*backend);
    }();
    made = manager;
    return *manager;
}

CameraSourceManager* CameraSourceManager::sharedIfMade() { return made; }

} // namespace pivra
