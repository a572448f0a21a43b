#pragma once

#include "catalog/scan/FileValues.h"
#include "catalog/model/MediaItem.h"
#include "catalog/model/MediaKind.h"

#include <QString>
#include <QUuid>
#include <optional>
#include <string_view>

namespace pivra {

// What inspecting a file gave.
struct Inspection {
    MediaItem item;
    // False when the file could not be read at all (no permission, an I/O
    // error, a path over the system's limit): the item holds only what the
    // file system said. A file that was read and holds no metadata is read.
    bool fileRead = true;
    // False for an image that declares more pixels than any camera makes:
    // nothing may decode it, so its thumbnail is marked failed with its row,
    // before anything tries.
    bool decodable = true;
};

// What a folder scan needs to know about files. Reading files is the media
// layer's business, which sits above the catalog, so the scan is handed an
// implementation instead of reaching up for it.
//
// The scan calls these from worker threads, several at a time: an
// implementation must be safe to call concurrently. None of them throws; a
// file that cannot be read gives what the file system says about it.
class MediaInspector {
public:
    virtual ~MediaInspector() = default;

    // Photo, video, or none for a file the scan passes over.
    virtual std::optional<MediaKind> kind(const QString& path) const = 0;

    // kind() of every file whose lower-cased ASCII extension is `extension`,
    // when the extension alone settles it, so that the files of a rescan
    // are told apart without making strings; none where kind() must see
    // the path.
    virtual std::optional<MediaKind> kindOfExtension(std::string_view extension) const
    {
        Q_UNUSED(extension);
        return std::nullopt;
    }

    // The catalog item of a new or changed file, with its Live Photo identifier.
    virtual Inspection inspect(const QString& path, const QUuid& sourceID, const FileValues& values,
                              MediaKind kind) const = 0;

    // Only the Live Photo identifier, for a known file that was never asked.
    virtual std::optional<QString> livePhotoIdentifier(const QString& path, MediaKind kind) const = 0;
};

} // namespace pivra
