#pragma once

#include "catalog/model/MediaKind.h"
#include "catalog/model/Timestamp.h"

#include <QStringList>
#include <optional>

namespace pivra {

// The parsed form of the gallery's search text.
struct SearchQuery {
    // Words that must each occur in an item's name, camera, lens or metadata,
    // as the user typed them.
    QStringList terms;
    // Values of name:-style pairs; each must occur in the file name.
    QStringList nameTerms;
    // Capture-date bounds: `from` inclusive, `until` exclusive.
    std::optional<Timestamp> from;
    std::optional<Timestamp> until;
    // Coordinate-cell keys ("%.2f,%.2f"). None means no place condition; an
    // empty list means a place was named that no cell matches, so nothing
    // matches.
    std::optional<QStringList> placeCells;
    // None means photos and videos.
    std::optional<MediaKind> kind;

    // The literal form: the text trimmed of spaces and tabs (not line breaks)
    // becomes the single term when it is not empty. No parsing happens here.
    static SearchQuery literal(QStringView text);

    bool operator==(const SearchQuery&) const = default;
};

} // namespace pivra
