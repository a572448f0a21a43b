#pragma once

#include <QString>

#include <optional>

namespace pivra {

// How long the pictures and sound of the video at `path` (a file, or a URL
// FFmpeg reads) last by their own index, in seconds: to the end of the last
// sample of the longest stream, as the container's sample tables place it.
// A header may state more than the streams hold; a file cut short still
// holds the tables of what it lost. None when the file cannot be opened or
// indexes no sample.
std::optional<double> streamsLength(const QString& path);

} // namespace pivra
