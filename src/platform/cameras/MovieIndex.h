#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>

// ISO base media files (QuickTime, MP4, HEIF) are a run of top-level boxes,
// each led by its length and a four-letter type. A movie's index, its "moov"
// box, lies where the writer put it: before the media data in a file made for
// streaming, behind it otherwise, as FFmpeg and many cameras write by default.
// A reader given only a file's first bytes then finds no index, and so
// neither the movie's size nor its duration.
namespace pivra {

// Where a box lies in a file, its header included.
struct BoxExtent {
    std::int64_t offset = 0;
    std::int64_t size = 0; // the header included
};

// Bytes `read` gives at `offset`, up to `length`; none when they cannot be had.
using IsoByteReader = std::function<std::optional<QByteArray>(std::int64_t offset, std::int64_t length)>;

// Where the index of a file of `fileSize` bytes lies, found by stepping from
// box to box: through `head`, the file's first bytes, while it lasts, then
// with one small `read` per box header. None when the file is no ISO base
// media file (its first bytes are no box), holds no index, or a read fails.
std::optional<BoxExtent> findMovieIndex(const QByteArray& head, std::int64_t fileSize, const IsoByteReader& read);

} // namespace pivra
