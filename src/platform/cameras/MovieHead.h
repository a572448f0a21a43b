#pragma once

#include "platform/cameras/MovieIndex.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace pivra {

// How much of a movie a preview reads from a device: enough for its first
// key frame and the frames after it at any bit rate a phone or camera films
// (about half a second of 4K HEVC), a small share of any film worth a poster.
inline constexpr std::int64_t movieHeadBytes = 4 * 1024 * 1024;

// A movie's first movieHeadBytes made into a small movie of their own, so
// that a demuxer opens it as it opens the whole file and a decoder gives the
// frames those bytes hold; frames beyond them lie past its end, where
// decoding stops.
//
// A file that keeps its index first is its head as it stands (grown to hold
// an index larger than the head). A file that keeps it behind the media data,
// as most cameras and FFmpeg write, gets it read where it lies and put right
// after the head, with the box the head cuts short (the media data) shortened
// to end there: the index gives every frame's place in the file, and those
// places stay true. A file no larger than the head, of unknown size, or whose
// index cannot be found is returned as far as it was read. None when the
// first read fails.
std::optional<QByteArray> readMovieHead(std::optional<std::int64_t> fileSize, const IsoByteReader& read);

} // namespace pivra
