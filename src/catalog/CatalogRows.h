#pragma once

#include "catalog/MediaItem.h"

#include <QString>
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
// but the item's text, which it keeps as UTF-8; the text then becomes the
// items' strings, batch by batch, without the statement. readItem() is the
// two steps for one row.
//
// With helpers, each full batch goes to the user-initiated pool at once when
// the list has room reserved for every item to come (its elements then stay
// where they are), and at finishText() otherwise.
class ItemRows {
public:
    // `expectedItems` sizes the text buffers: a gallery read expects many.
    explicit ItemRows(std::vector<MediaItem>& items, std::size_t expectedItems = 1, bool useHelpers = false);
    ~ItemRows();

    ItemRows(const ItemRows&) = delete;
    ItemRows& operator=(const ItemRows&) = delete;

    // Appends the row's item to the list; false, appending nothing, for a row
    // that is no readable item (see readItem).
    bool add(const sqlite::Statement& row);

    // Returns once every item added has its text; this thread finishes every
    // batch that no helper has taken.
    void finishText();

private:
    struct Batch;
    struct Progress;

    void hand(const std::shared_ptr<Batch>& batch);

    std::vector<MediaItem>& items_;
    std::size_t expectedItems_;
    bool useHelpers_;
    bool handOverEarly_;
    std::shared_ptr<Progress> progress_;
    std::vector<std::shared_ptr<Batch>> batches_;
};

} // namespace pivra
