#pragma once

#include "catalog/model/MediaItem.h"
#include "catalog/model/MediaKind.h"
#include "catalog/scan/FileValues.h"
#include "media/MediaFile.h"
#include "media/metadata/Location.h"

#include <QString>
#include <QUuid>
#include <optional>
#include <string_view>

// Reading photos and videos: what kind a file is, the catalog item it makes,
// its Live Photo pairing, its stored metadata text and the location in that
// text. Nothing here decodes pixels, and nothing throws: an unreadable,
// damaged or hostile file gives what the file system says and no more.
//
// The file readers block on disk; call them on a worker thread (see
// MediaMetadataAsync.h), never on the GUI or the catalog thread. The
// functions over stored texts are pure and run anywhere.
namespace pivra::MediaMetadata {

// Image or video by the lower-cased extension: first the tables of known
// photo and video extensions, then the MIME database (an image type before a
// video type). Nothing for other files, which a folder walk skips.
std::optional<MediaKind> kind(const QString& path);

// kind() of every file whose lower-cased extension is `extension`, when the
// extension alone settles it: the extensions of its tables. Nothing for the
// others, for which kind() asks the MIME database.
std::optional<MediaKind> kindOfExtension(std::string_view extension);

// A fresh catalog item for the file at `path`, with `kind` as kind() gave it.
// Dates, size and the item's identity come from `values` and the path; an
// image adds its pixel size as displayed (orientations 5 to 8 swap the sides),
// Exif capture date, camera model, lens, metadata text and Live Photo
// identifier; a video adds its common metadata text, duration (as long as it
// plays: its streams' own where its header states more), creation date,
// the displayed size of its first video track and, for ".mov" files only, its
// content identifier.
MediaItem inspect(const QString& path, const QUuid& sourceID, const FileValues& values, MediaKind kind);
// The same for a file the caller has opened already: an image is read through it.
MediaItem inspectOpened(const QString& path, const QUuid& sourceID, const FileValues& values, MediaKind kind,
                        const MediaFile& opened);

// The Live Photo content identifier of a still (".heic", ".heif", ".jpg",
// ".jpeg" only) or of a motion clip (".mov" only); nothing otherwise.
std::optional<QString> livePhotoIdentifier(const QString& path, MediaKind kind);

// The stored metadata text of an image: its property dictionary (see
// ImageProperties.h) made JSON-safe, keys sorted. The same text inspect()
// stores.
std::optional<QString> imageMetadataJSON(const QString& path);

// The instant an Exif date ("yyyy:MM:dd HH:mm:ss") stands for, read in the
// machine's time zone, as cameras write local time without saying which;
// nothing for a text that is not such a date.
std::optional<Timestamp> exifDate(const QString& text);

// The location held in a stored metadata text. Images: the "{GPS}" latitude
// and longitude, negated for "S" and "W" references, and only when "{TIFF}"
// names a make or model. Videos: the ISO 6709 text under a key ending in
// "location.iso6709", only when some key ends in ".make" or ".model". Texts
// shorter than 3 characters are not parsed; every result passes
// validLocation().
std::optional<GeoLocation> location(const std::optional<QString>& json, MediaKind kind);

} // namespace pivra::MediaMetadata
