// Video lengths the viewer's player measured.
//
// A header may state more than a video's streams hold; the player then ends
// at their end, and the length it measured there replaces the stated one in
// the viewer and the gallery at once and in the catalog behind, so the tile
// reads what the video plays, after a restart too. Only ever a shorter
// length: a file's tables are no reason to make a video longer than its
// header says.

#include "catalog/MediaCatalog.h"
#include "store/LibraryStore.h"

#include <cmath>

namespace pivra {

void LibraryStore::setStreamsDuration(const QString& id, double seconds)
{
    assertMainThread();
    if (!catalog_ || !std::isfinite(seconds) || seconds <= 0) {
        return;
    }
    const bool inViewer = viewerItem_ && viewerItem_->id() == id;
    const std::optional<std::size_t> index = galleryIndexOf(id);
    if (!inViewer && !index) {
        return;
    }
    const MediaItem& stored = inViewer ? *viewerItem_ : (*items_)[*index];
    if (stored.kind() != MediaKind::video || (stored.duration() && seconds >= *stored.duration())) {
        return;
    }
    if (inViewer) {
        MediaItem shown = *viewerItem_;
        shown.setDuration(seconds);
        assign(viewerItem_, std::move(shown), &LibraryStore::viewerItemChanged);
    }
    if (index) {
        publishEditedItems([&](std::vector<MediaItem>& items) { items[*index].setDuration(seconds); });
    }
    const ShownEdits::Mark edit = shownEdits_.record({id, std::nullopt, std::nullopt, seconds});
    startTask(this, writeStreamsDuration(id, seconds, edit));
}

// The length is the video's, not the user's choice: a write that fails
// leaves the catalog's and says nothing, and the next time the video ends
// early it is measured again.
Task<> LibraryStore::writeStreamsDuration(QString id, double seconds, ShownEdits::Mark edit)
{
    try {
        co_await catalog_->call(&MediaCatalog::setStreamsDuration, seconds, id);
        shownEdits_.saved(edit);
    } catch (const std::exception&) {
        shownEdits_.dropped(edit);
    }
}

} // namespace pivra
