#include "store/items/ShownEdits.h"

#include <QByteArray>
#include <QUtf8StringView>

#include <algorithm>

namespace pivra {

std::optional<std::size_t> indexOfItem(const std::vector<MediaItem>& items, const QString& id)
{
    // Compared as UTF-8 where the items keep their text, so a large list is
    // searched without making a string per item.
    const QByteArray wanted = id.toUtf8();
    const QUtf8StringView key(wanted);
    for (std::size_t index = 0; index < items.size(); ++index) {
        if (items[index].text().equals(MediaText::id, key)) {
            return index;
        }
    }
    return std::nullopt;
}

ShownEdits::Mark ShownEdits::record(Change change)
{
    const Mark number = ++clock_;
    edits_.push_back({number, std::move(change), std::nullopt});
    return number;
}

void ShownEdits::saved(Mark edit)
{
    const auto found = std::ranges::find(edits_, edit, &Edit::number);
    if (found != edits_.end()) {
        found->savedAt = ++clock_;
    }
}

void ShownEdits::dropped(Mark edit)
{
    std::erase_if(edits_, [edit](const Edit& kept) { return kept.number == edit; });
}

void ShownEdits::applyTo(std::vector<MediaItem>& items, Mark read, bool favoritesOnly)
{
    for (const Edit& edit : edits_) {
        if (edit.savedAt && *edit.savedAt < read) {
            continue;
        }
        const std::optional<std::size_t> index = indexOfItem(items, edit.change.itemID);
        if (!index) {
            continue;
        }
        const auto item = items.begin() + static_cast<std::ptrdiff_t>(*index);
        if (edit.change.favorite == false && favoritesOnly) {
            items.erase(item);
            continue;
        }
        if (edit.change.favorite) {
            item->setFavorite(*edit.change.favorite);
        }
        if (edit.change.rotationQuarters) {
            item->setRotationQuarters(*edit.change.rotationQuarters);
        }
        if (edit.change.duration) {
            item->setDuration(edit.change.duration);
        }
    }
    std::erase_if(edits_, [read](const Edit& edit) { return edit.savedAt && *edit.savedAt < read; });
}

} // namespace pivra
