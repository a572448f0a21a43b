#pragma once

#include "catalog/MediaItem.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// Reads item rows in two steps, so that a large result can spread the second
// over threads: add() takes a row while the statement is on it and fills all
// but the item's text, which it keeps as UTF-8; finishText() then turns that
// text into the items' strings and needs no statement. readItem() is the two
// steps for one row.
class ItemRows {
public:
    // `expectedItems` sizes the text buffers: a gallery read expects many.
    explicit ItemRows(std::vector<MediaItem>& items, std::size_t expectedItems = 1)
        : items_(items), expectedItems_(expectedItems)
    {
    }

    // Appends the row's item to the list; false, appending nothing, for a row
    // that is no readable item (see readItem).
    bool add(const sqlite::Statement& row);

    // Gives every item added since the last call its text, on this thread and
    // on up to `helpers` threads of the user-initiated pool. The list must
    // not change meanwhile; it returns once every item has its text.
    void finishText(int helpers = 0);

private:
    // Where one text field lies in its batch's bytes; a NULL has no length.
    struct Span {
        std::uint32_t offset = 0;
        std::int32_t length = -1;
    };
    static constexpr int textFields = 9;
    struct Batch {
        std::size_t firstItem = 0;
        std::string bytes;
        std::vector<std::array<Span, textFields>> spans;
    };

    static void finishBatch(Batch& batch, MediaItem* items);

    std::vector<MediaItem>& items_;
    std::size_t expectedItems_;
    std::vector<Batch> batches_;
};

} // namespace pivra
