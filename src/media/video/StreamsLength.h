#pragma once

#include <QString>

#include <optional>

extern "C" {
struct AVFormatContext;
}

namespace pivra {

// How long the pictures and sound of the video at `path` (a file, or a URL
// FFmpeg reads) last by their own index, in seconds: to the end of the last
// sample of the longest stream, as the container's sample tables place it.
// A header may state more than the streams hold; a file cut short still
// holds the tables of what it lost. None when the file cannot be opened, or
// when the index of a stream is not the whole of its tables: a fragmented
// file lists only the fragments read so far, a transport stream only the
// packets probed, and either would give a part for the whole.
std::optional<double> streamsLength(const QString& path);
// The same for a container opened already.
std::optional<double> streamsLength(AVFormatContext& input);

// How long the video in `input` plays, for the catalog: `stated`, the
// length its header gives, unless that is none or its streams end well
// before it; then the streams' own length. Never more than `stated`: a
// damaged or hostile file's tables may claim anything. The index's times
// are those of decoding, and a picture put in order later or a last
// picture held long ends after them, so a short index is taken only once
// the packets of the streams' last pictures and sound end early too: read
// from the file only then, which a file seldom asks for.
std::optional<double> playedLength(AVFormatContext& input, std::optional<double> stated);

} // namespace pivra
