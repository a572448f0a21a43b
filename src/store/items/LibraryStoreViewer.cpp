// The viewer: opening on an item, stepping to the next or previous one, and
// quarter-turn rotation.
//
// Stepping follows either the list the viewer was opened with or the gallery
// order of the scope captured at opening, one catalog row at a time. Every
// opening and closing takes a new viewer generation; a load or step only
// publishes while its generation is current, and a step only replaces the
// item it started from.

#include "catalog/MediaCatalog.h"
#include "store/LibraryStore.h"

namespace pivra {

void LibraryStore::openViewer(const MediaItem& item)
{
    assertMainThread();
    viewerSequence_.reset();
    viewerQuery_ = galleryScope(searchQuery());
    const int generation = ++viewerGeneration_;
    // A step still under way belongs to the old generation and would never
    // clear the flag, leaving the arrows dead until the viewer closes.
    assign(isNavigating_, false, &LibraryStore::isNavigatingChanged);
    if (catalog_) {
        startTask(this, loadViewerItem(item.id(), generation));
    }
}

void LibraryStore::openViewer(const MediaItem& item, const std::vector<MediaItem>& within)
{
    openViewer(item);
    QStringList ids;
    ids.reserve(static_cast<qsizetype>(within.size()));
    for (const MediaItem& listed : within) {
        ids.append(listed.id());
    }
    viewerSequence_ = std::move(ids);
}

void LibraryStore::closeViewer()
{
    assertMainThread();
    ++viewerGeneration_;
    assign(viewerItem_, std::nullopt, &LibraryStore::viewerItemChanged);
    viewerQuery_.reset();
    viewerSequence_.reset();
    assign(isNavigating_, false, &LibraryStore::isNavigatingChanged);
}

// The viewer shows the catalog's full row, with the camera, lens and
// metadata a gallery row leaves out, never the copy it was opened with.
Task<> LibraryStore::loadViewerItem(QString id, int generation)
{
    std::optional<MediaItem> row;
    try {
        row = co_await catalog_->call(&MediaCatalog::item, id);
    } catch (const std::exception&) {
        setMessage(QStringLiteral("Could not open this item."));
        co_return;
    }
    if (row && viewerGeneration_ == generation) {
        assign(viewerItem_, std::move(row), &LibraryStore::viewerItemChanged);
    }
}

void LibraryStore::navigateViewer(int direction)
{
    assertMainThread();
    if (isNavigating_ || !viewerItem_) {
        return;
    }
    const MediaItem current = *viewerItem_;
    if (viewerSequence_) {
        if (!catalog_) {
            return;
        }
        const qsizetype index = viewerSequence_->indexOf(current.id());
        if (index < 0) {
            return;
        }
        const qsizetype target = index + direction;
        if (target < 0 || target >= viewerSequence_->size()) {
            return;
        }
        assign(isNavigating_, true, &LibraryStore::isNavigatingChanged);
        startTask(this, stepThroughList(current.id(), viewerSequence_->at(target), viewerGeneration_));
        return;
    }
    if (!viewerQuery_ || !catalog_) {
        return;
    }
    assign(isNavigating_, true, &LibraryStore::isNavigatingChanged);
    startTask(this, stepThroughGallery(current, direction, *viewerQuery_, viewerGeneration_));
}

Task<> LibraryStore::stepThroughList(QString currentID, QString targetID, int generation)
{
    std::optional<MediaItem> row;
    try {
        row = co_await catalog_->call(&MediaCatalog::item, targetID);
    } catch (const std::exception&) {
        // An unreadable neighbour is a step that found nothing; the viewer
        // stays where it is, unannounced.
    }
    finishStep(currentID, std::move(row), generation);
}

Task<> LibraryStore::stepThroughGallery(MediaItem current, int direction, GalleryScope scope, int generation)
{
    std::optional<MediaItem> row;
    try {
        row = co_await catalog_->call(&MediaCatalog::neighbor, current, direction, scope);
    } catch (const std::exception&) {
        setMessage(QStringLiteral("Could not move to another item."));
    }
    finishStep(current.id(), std::move(row), generation);
}

// Only the id is compared: a rotated or re-marked copy of the same item put
// in place meanwhile still counts as the item the step started from.
void LibraryStore::finishStep(const QString& currentID, std::optional<MediaItem> row, int generation)
{
    if (viewerGeneration_ != generation) {
        return;
    }
    if (row && viewerItem_ && viewerItem_->id() == currentID) {
        assign(viewerItem_, std::move(row), &LibraryStore::viewerItemChanged);
    }
    assign(isNavigating_, false, &LibraryStore::isNavigatingChanged);
}

void LibraryStore::rotateViewer(int quarters)
{
    assertMainThread();
    if (!viewerItem_ || !catalog_) {
        return;
    }
    MediaItem item = *viewerItem_;
    const int turned = (item.rotationQuarters() + quarters + 4) % 4;
    item.setRotationQuarters(turned);
    const QString id = item.id();
    assign(viewerItem_, std::move(item), &LibraryStore::viewerItemChanged);
    if (const auto index = galleryIndexOf(id)) {
        publishEditedItems([&](std::vector<MediaItem>& items) { items[*index].setRotationQuarters(turned); });
    }
    const ShownEdits::Mark edit = shownEdits_.record({id, std::nullopt, turned});
    rotationWrites_.append(this, id, writeRotation(id, turned, edit));
}

// A rotation that could not be saved stays on screen; the user can turn the
// item again.
Task<> LibraryStore::writeRotation(QString id, int quarters, ShownEdits::Mark edit)
{
    try {
        co_await catalog_->call(&MediaCatalog::setRotation, quarters, id);
        shownEdits_.saved(edit);
    } catch (const std::exception&) {
        shownEdits_.dropped(edit);
        setMessage(QStringLiteral("Could not save this viewing rotation."));
    }
}

std::optional<std::size_t> LibraryStore::galleryIndexOf(const QString& id) const
{
    return indexOfItem(*items_, id);
}

// Copies share their items' text blocks, so a copy of even a large gallery
// allocates one vector and no strings.
void LibraryStore::publishEditedItems(const std::function<void(std::vector<MediaItem>&)>& edit,
                                      std::optional<qint64> count)
{
    auto edited = std::make_shared<std::vector<MediaItem>>(*items_);
    edit(*edited);
    publishItems(std::move(edited), std::nullopt, count);
}

} // namespace pivra
