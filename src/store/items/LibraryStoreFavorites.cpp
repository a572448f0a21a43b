// Favourite marks and copying an item's original.
//
// A toggle shows at once in the viewer and the gallery and is saved behind,
// one write after another per item. Each toggle flips the mark as shown at
// that moment, not as stored, so quick toggles save their values in turn.

#include "catalog/MediaCatalog.h"
#include "media/camera/CameraItemPaths.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/threads/Pool.h"
#include "store/items/Clipboard.h"
#include "store/LibraryStore.h"

#include <algorithm>

namespace pivra {

void LibraryStore::toggleFavorite(const QString& id)
{
    assertMainThread();
    if (!catalog_) {
        return;
    }
    const bool inViewer = viewerItem_ && viewerItem_->id() == id;
    const std::optional<std::size_t> index = galleryIndexOf(id);
    if (!inViewer && !index) {
        return;
    }
    const bool wasFavorite = inViewer ? viewerItem_->isFavorite() : (*items_)[*index].isFavorite();
    const bool favorite = !wasFavorite;
    if (inViewer) {
        MediaItem shown = *viewerItem_;
        shown.setFavorite(favorite);
        assign(viewerItem_, std::move(shown), &LibraryStore::viewerItemChanged);
    }
    if (index) {
        // An item unmarked in the favourites view leaves it at once.
        if (showsFavorites_ && wasFavorite) {
            // A first screen has no count yet to lower.
            publishEditedItems(
                [&](std::vector<MediaItem>& items) { items.erase(items.begin() + static_cast<std::ptrdiff_t>(*index)); },
                isCounting_ ? std::nullopt : std::optional<qint64>(std::max<qint64>(totalCount_ - 1, 0)));
        } else {
            publishEditedItems([&](std::vector<MediaItem>& items) { items[*index].setFavorite(favorite); });
        }
    }
    const ShownEdits::Mark edit = shownEdits_.record({id, favorite, std::nullopt});
    favoriteWrites_.append(this, id, writeFavorite(id, favorite, edit));
}

// A failed write puts the gallery back to the stored marks; the viewer keeps
// the mark the user chose.
Task<> LibraryStore::writeFavorite(QString id, bool favorite, ShownEdits::Mark edit)
{
    bool saved = true;
    try {
        co_await catalog_->call(&MediaCatalog::setFavorite, favorite, id);
        shownEdits_.saved(edit);
    } catch (const std::exception&) {
        saved = false;
    }
    if (!saved) {
        shownEdits_.dropped(edit);
        setMessage(QStringLiteral("Could not save this favorite."));
        co_await reload();
    }
}

void LibraryStore::copyItem(const MediaItem& item)
{
    assertMainThread();
    startTask(this, copyIfOnDisk(item));
}

// The file is looked for off the GUI thread: a disk going away can hold a
// stat for seconds.
Task<> LibraryStore::copyIfOnDisk(MediaItem item)
{
    const QString path = item.path();
    bool found = false;
    if (!isCameraItem(item)) {
        // Awaited into a local: GCC 12 miscompiles a co_await inside a condition.
        found = co_await runOnPool(PoolPriority::userInitiated, &pathExists, path);
    }
    if (!found) {
        setMessage(QStringLiteral("This file is not available to copy."));
        co_return;
    }
    if (services_.clipboard != nullptr) {
        services_.clipboard->putFiles({path});
    }
}

} // namespace pivra
