#pragma once

#include "catalog/model/MediaItem.h"

#include <QString>
#include <optional>

namespace pivra {

namespace sqlite {
class Statement;
}

// The two lists through which every item row is read. Both select the same 20
// columns in the same order, so one reader serves them; the light list reads
// camera, lens and metadata JSON as NULL to keep gallery-sized results small.
// Column 18 is the path of a Live Photo's motion video. Both expect the outer
// table to be named `media`, without an alias.
const QString& fullColumns();
const QString& indexColumns();

// Maps the current row of a statement that selected one of the two lists.
// Answers none for a row that is not a readable item: a NULL id, source, path,
// name or kind, a source that is not a UUID, or a kind other than "image" and
// "video". Reads skip such rows instead of failing.
std::optional<MediaItem> readItem(const sqlite::Statement& row);

} // namespace pivra
