#include "platform/cameras/CameraBackend.h"

namespace pivra {

PivraError cameraDisconnectedError()
{
    return {QStringLiteral("Pivra.Camera"), cameraDisconnectedErrorCode,
            QStringLiteral("The device was disconnected.")};
}

} // namespace pivra
