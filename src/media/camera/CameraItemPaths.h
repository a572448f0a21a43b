#pragma once

#include "catalog/model/MediaItem.h"

#include <QLatin1StringView>
#include <QString>
#include <QUuid>
#include <cstdint>
#include <functional>
#include <vector>

// The paths of items that live on a connected device:
// "pivra-camera://<source UUID>/<handle>/<name>". Readers never parse them;
// they look them up in the camera manager's table of files.
namespace pivra {

inline constexpr QLatin1StringView cameraScheme("pivra-camera://");

// An item of a connected device: no file lies behind it, so every file
// operation asks this first.
inline bool isCameraItem(const MediaItem& item)
{
    return item.path().startsWith(cameraScheme);
}

// "pivra-camera://<source UUID>/": every item path of the source begins with it.
QString cameraPrefix(const QUuid& sourceID);

QString cameraItemPath(const QUuid& sourceID, std::uint32_t handle, const QString& fileName);

// A device's file name as one safe path component: "/" and NUL become "_",
// and an empty name, "." or ".." becomes "Untitled". It ends every item path
// and becomes local file names when device files are exported.
QString safeCameraFileName(const QString& name);

// The handle of each file, from its key ("folder/name"): the first four bytes
// of the key's SHA-256, so that the same file keeps its item id across
// connections. Keys are served in sorted order, and a handle already taken
// goes to the next free number, so equal or colliding keys still get distinct
// handles and the same set of files always gets the same ones. `hash` is
// there for tests that force collisions.
using CameraKeyHash = std::function<std::uint32_t(const QString& key)>;
std::uint32_t cameraKeyHash(const QString& key);
std::vector<std::uint32_t> cameraHandles(const std::vector<QString>& keys, const CameraKeyHash& hash = cameraKeyHash);

} // namespace pivra
