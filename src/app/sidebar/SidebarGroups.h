#pragma once

#include "catalog/model/LibrarySource.h"
#include "media/camera/CameraSourceManager.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace pivra {

// The sections of the sidebar's source list: every device under one
// heading, folders under the volume they live on, the rest together.
//
// The group of `source`: "camera" for a device, else its volume's path, else
// "other".
QString sourceGroupKey(const LibrarySource& source);
// The heading of `key`: "DEVICES", "OTHER LOCATIONS", or the upper-cased
// volume name ("DISK" without one) of the first source of the group, with
// its capacity after " · " when known. Volumes whose headings would be the
// same also show the name of the folder each is mounted on.
QString sourceGroupTitle(const QString& key, const QList<LibrarySource>& sources);
// The groups of `sources`, each once, by their headings in plain character
// order.
QStringList sourceGroupKeys(const QList<LibrarySource>& sources);

// The connected devices not yet added as a source, which get a row to add
// them.
QList<AvailableCameraDevice> camerasToAdd(const QList<AvailableCameraDevice>& cameras,
                                          const QList<LibrarySource>& sources);

// The fixed rows at the top of the list.
enum class LibraryRow { allMedia, favorites, albums, map };

// What the library rows read of the current view.
struct LibraryRowsView {
    std::optional<QUuid> sourceID;
    bool favorites = false;
    bool albums = false;
    bool map = false;
    std::optional<QUuid> albumID;
};

// Whether `row` is highlighted: an open album keeps "Albums" lit, and a
// chosen source or folder lights none of them.
bool isHighlighted(LibraryRow row, const LibraryRowsView& view);

} // namespace pivra
