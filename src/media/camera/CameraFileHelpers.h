#pragma once

#include "platform/cameras/GPhotoSession.h"

namespace pivra {

// What the device layer needs of the media code: files described from their
// headers.
GPhotoFileHelpers cameraFileHelpers();

} // namespace pivra
