#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace pivra {

// A photo or a video. The raw value is what the catalog stores in its `kind`
// column and what equality and hashing go by.
enum class MediaKind : std::uint8_t { image, video };

QString rawValue(MediaKind kind);
std::optional<MediaKind> mediaKindFromRaw(QStringView raw);

// The gallery's kind filter. Its raw value is also the label shown.
enum class MediaFilter { all, photos, videos };

inline constexpr std::array<MediaFilter, 3> allMediaFilters{MediaFilter::all, MediaFilter::photos,
                                                           MediaFilter::videos};

QString rawValue(MediaFilter filter);
std::optional<MediaFilter> mediaFilterFromRaw(QStringView raw);

// Both enumerations compare and hash by their raw strings.
inline size_t qHash(MediaKind kind, size_t seed = 0) { return qHash(rawValue(kind), seed); }
inline size_t qHash(MediaFilter filter, size_t seed = 0) { return qHash(rawValue(filter), seed); }

// The kind a filter restricts the gallery to; none for all media.
std::optional<MediaKind> restrictedKind(MediaFilter filter);

} // namespace pivra
