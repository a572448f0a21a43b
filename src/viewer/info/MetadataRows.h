#pragma once

#include "catalog/model/LibrarySource.h"
#include "catalog/model/MediaItem.h"

#include <QString>

#include <optional>
#include <vector>

namespace pivra {

// One labelled value of the information panel: a catalog fact ("Name") or a
// value of the metadata embedded in the file, labelled with its path inside
// that metadata ("{TIFF} · Model").
struct MetadataRow {
    QString label;
    QString value;

    bool operator==(const MetadataRow&) const = default;
};

// The catalog's facts about `item`, in the panel's order; "Dimensions",
// "Camera", "Lens" and "Duration" only when known.
std::vector<MetadataRow> factRows(const MediaItem& item, const std::optional<LibrarySource>& source);

// Every value of the metadata text flattened in reading order: object keys
// sorted by code point at every level and joined by " · ", an array as one
// row of its elements' texts joined by ", ". Nothing for no text or text that
// is not a JSON object or array.
std::vector<MetadataRow> metadataEntries(const std::optional<QString>& json);

// "Aug 10, 2021, 3:04 PM" in the user's locale and time zone.
QString captureDateText(Timestamp date);
// Hours, minutes and seconds: "0:01:05".
QString durationText(double seconds);

} // namespace pivra
