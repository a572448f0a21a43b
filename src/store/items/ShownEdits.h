#pragma once

#include "catalog/model/MediaItem.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pivra {

// The first item with this id.
std::optional<std::size_t> indexOfItem(const std::vector<MediaItem>& items, const QString& id);

// Favourite marks, rotations and measured video lengths shown at once but
// saved behind, on the catalog's queue. A gallery read queued before such a
// write reads the item as it was, and publishing that list would take the
// change back off the screen until the next reload. So each edit is kept
// until every read that may have missed it has been published, and is put
// again over the lists those reads bring, which keeps the gallery equal to
// the catalog without reading the whole list twice.
class ShownEdits {
public:
    using Mark = std::uint64_t;

    struct Change {
        QString itemID;
        std::optional<bool> favorite;
        std::optional<int> rotationQuarters;
        std::optional<double> duration;
    };

    // Taken just before a read is queued: what the read may have missed.
    Mark beginRead() { return ++clock_; }

    Mark record(Change change);
    // The edit's write went through; reads queued from now on see it.
    void saved(Mark edit);
    // The write failed: the catalog keeps its value, and so will the lists.
    void dropped(Mark edit);

    // Puts over `items`, read from `read`, the edits that read may have
    // missed, in the order they were made; in the favourites view an item
    // unmarked leaves the list. Edits that every later read will see are
    // forgotten: only the newest reload publishes, and its reads were queued
    // no earlier than this one.
    void applyTo(std::vector<MediaItem>& items, Mark read, bool favoritesOnly);

private:
    struct Edit {
        Mark number = 0;
        Change change;
        std::optional<Mark> savedAt;
    };

    std::vector<Edit> edits_;
    Mark clock_ = 0;
};

} // namespace pivra
