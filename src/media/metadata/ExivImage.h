#pragma once

#include <QString>

#include <exiv2/exiv2.hpp>

namespace pivra {

// The file at `path` opened by exiv2 for reading its metadata, or null when
// exiv2 knows no image type for its content.
//
// exiv2 picks its reader by content, not by name, and its readers of video
// containers (RIFF, Matroska, QuickTime, ASF) can loop for ever on a few
// hundred bytes of a film: such content under an image name is answered with
// null too, so a mislabelled file never reaches them. Videos are read by
// FFmpeg, never here.
//
// Throws exiv2's errors for files it cannot open; callers catch them with the
// errors of readMetadata().
Exiv2::Image::AutoPtr openExivImage(const QString& path);

} // namespace pivra
