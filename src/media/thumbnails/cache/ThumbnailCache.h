#pragma once

#include "catalog/model/MediaItem.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <optional>

namespace pivra {

// The two sizes callers ask for: grid cells, covers, pins and tiles, and the
// viewer's canvas.
inline constexpr int gridPixels = 420;
inline constexpr int viewerPixels = 3200;

// JPEG quality of every file the caches write.
inline constexpr int thumbnailJpegQuality = 82;

// Where thumbnails live on disk and what each file is called.
//
//   grid store   <data>/Pivra/Thumbnails/v2/<first two>/<key>.jpg
//   viewer       <cache>/Pivra/ViewerPreviews/<digest of id:time:pixels>.jpg
//   legacy       <cache>/Pivra/Thumbnails/<digest of id:time:420>.jpg            (read only)
//   portable     <root>/.pivra/thumbnails/v1/<first two>/<digest of v1:relative:size:time:420>.jpg
//                                                                                 (read only)
//   attempts     <cache>/Pivra/RenderAttempts/<name of the grid or viewer file>  (RenderAttempts.h)
struct ThumbnailLocations {
    QString assetDirectory;
    QString legacyDirectory;
    QString viewerDirectory;
    QString attemptsDirectory;

    // Under the user's data and cache folders.
    static ThumbnailLocations standard();
    // Under two given folders standing for the data and cache folders.
    static ThumbnailLocations under(const QString& dataFolder, const QString& cacheFolder);

    QString gridFile(const QString& key) const;
    QString viewerPreviewFile(const MediaItem& item, int pixels) const;
    QString legacyCacheFile(const MediaItem& item) const;
};

// The portable thumbnail an earlier version kept inside the source root; none
// when the item does not lie under the root (both compared with symbolic links
// resolved). The result is built on the root as given.
std::optional<QString> oldPortableFile(const MediaItem& item, const QString& root);

// Encodes the image as JPEG, followed by a check of the file's own, and
// writes it atomically (temporary file, then rename), creating the parent
// folders. False on any failure; a reader never sees a half-written file. The
// file is not synced to the disk: a crash may leave it cut short or with
// zeros where its blocks never reached the disk, which its check tells.
bool persist(const QImage& image, const QString& path);

// Decodes a cached JPEG at once, so that painting on the GUI thread does not,
// into three bytes a pixel (one for grayscale) as decodeJpegPixels does, and
// as nothing else: bytes that decoder does not read (another format under
// the name, a CMYK JPEG) are no thumbnail. A null image for a missing,
// undecodable or damaged file: one whose check fails, or without a check
// (written by an earlier version) that does not decode to its end, so that it
// is made again rather than shown torn. Null too, before it is read or
// decoded, for a file larger than a viewer's preview, in bytes or in the
// pixels it declares: nothing this program writes is that large.
QImage loadCachedImage(const QString& path);

// Whether loadCachedImage would give an image, told by the file's check
// alone when it has one (nothing is decoded then).
bool isWholeCachedFile(const QString& path);

// Takes the first candidate that is a grid thumbnail as loadCachedImage
// reads one (a whole JPEG), no larger than one in bytes or declared pixels,
// by copying it to `destination` atomically, and gives its picture. Any
// other candidate is passed over unread or undecoded: a file where an earlier
// version kept its thumbnails may be anything. A failed write ends the
// attempt. A null image when nothing was taken.
QImage adoptThumbnail(const QStringList& candidates, const QString& destination);

} // namespace pivra
