#pragma once

#include "catalog/model/MediaItem.h"
#include "catalog/model/MediaKind.h"
#include "platform/cameras/CameraBackend.h"

#include <QString>
#include <QUuid>
#include <optional>

// How one file of a device listing becomes a catalog item.
namespace pivra {

// The name the device gives the file, made safe: the original file name,
// else the name, else "Untitled".
QString cameraFileName(const CameraFileInfo& file);

// Image or video by the file name's extension (the same tables a folder scan
// uses), then by the MIME type the device reports. None for sidecars, audio
// and everything else that is not an item.
std::optional<MediaKind> cameraFileKind(const CameraFileInfo& file);

// The item of a device file at `path`. Device items carry the device's name as
// their camera, "iPhone" as their date origin, and the best date the device
// knows (the distant past when it knows none); only videos keep a duration.
// An unknown size becomes 0.
MediaItem cameraMediaItem(const QUuid& sourceID, const QString& path, const CameraFileInfo& file, MediaKind kind,
                          const std::optional<QString>& deviceName);

} // namespace pivra
