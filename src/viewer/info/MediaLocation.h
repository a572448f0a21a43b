#pragma once

#include <QString>

#include <optional>

namespace pivra::MediaLocation {

// One short line saying where an item was taken, from its stored metadata
// text: the IPTC place ("Paris, Île-de-France, France"), else the GPS
// position ("48.8584° N, 2.2945° E"), else an ISO 6709 position under any
// key naming a location (videos); none when none of them is there.
std::optional<QString> label(const std::optional<QString>& json);

// The QuickTime ISO 6709 location of the video file at `path`, as a
// position line; none when the file cannot be read or carries none in range.
// Blocking file work: for a pool thread.
std::optional<QString> videoLabel(const QString& path);

// "%.4f° N, %.4f° E" with the hemisphere letters; always a "." decimal point.
QString coordinates(double latitude, double longitude);

} // namespace pivra::MediaLocation
