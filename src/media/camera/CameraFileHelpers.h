#pragma once

#include "platform/cameras/GPhotoSession.h"

#include <memory>

namespace pivra {

class ThumbnailRenderer;

// What the device layer needs of the media code: pixel sizes read from file
// headers, and thumbnails drawn with `renderer` for files the device has none
// for.
GPhotoFileHelpers cameraFileHelpers(std::shared_ptr<const ThumbnailRenderer> renderer);

} // namespace pivra
