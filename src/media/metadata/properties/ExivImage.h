#pragma once

#include "media/MediaFile.h"

#include <QString>

#include <exiv2/exiv2.hpp>

#include <memory>
#include <optional>

namespace pivra {

// A file opened by exiv2 for reading its metadata. exiv2 reads through the
// file's descriptor path (MediaFile.h), so the file must stay open while the
// image is used; members are destroyed image first.
struct ExivImage {
    std::optional<MediaFile> file;
    std::unique_ptr<Exiv2::Image> image; // null when exiv2 knows no image type for the content
};

// The file at `path` opened by exiv2, with a null image when the file is no
// regular file or exiv2 knows no image type for its content.
//
// exiv2 picks its reader by content, not by name, and its readers of video
// containers (RIFF, Matroska, QuickTime, ASF) can loop for ever on a few
// hundred bytes of a film: such content under an image name is answered with
// a null image too, so a mislabelled file never reaches them. Videos are read
// by FFmpeg, never here.
//
// Throws exiv2's errors for files it cannot open; callers catch them with the
// errors of readMetadata().
ExivImage openExivImage(const QString& path);
// The same for a file already opened.
ExivImage openExivImage(MediaFile opened);
// The image alone, for a file the caller keeps open while the image is used.
std::unique_ptr<Exiv2::Image> exivImageOf(const MediaFile& file);

} // namespace pivra
