// Device photos' grid previews drawn again from their originals.
//
// A device's own thumbnail is often 160 pixels wide, blurred in a 420-pixel
// cell. A cell that shows one has its photo's original copied through the
// device's copy queue (behind a playing video) and drawn at the grid's size
// here, the newest cell asked for first, since the user looks at what they
// scrolled to last; a cell scrolled away by its turn is skipped. The drawing
// replaces the small one under the same key, in memory and on disk, so it is
// what every later request and every later connection shows.
#include "media/thumbnails/ThumbnailStore.h"

#include "media/camera/CameraSourceManager.h"
#include "platform/cameras/CameraTemporaries.h"

#include <QFile>

#include <algorithm>

namespace pivra {
namespace {

// A thumbnail this much smaller than the cell is visibly blurred in it.
constexpr int refineBelow = gridPixels * 3 / 4;

} // namespace

void ThumbnailStore::refineIfSmall(const MediaItem& item, const QString& key, const QString& destination,
                                   const QImage& shown, const Waiter& waiter)
{
    if (item.kind() != MediaKind::image || shown.isNull() || std::max(shown.width(), shown.height()) >= refineBelow) {
        return;
    }
    bool start = false;
    {
        const std::lock_guard guard(lock_);
        std::erase_if(refinements_, [&key](const CameraRefinement& waiting) { return waiting.key == key; });
        refinements_.push_back({item, key, destination, waiter});
        start = !std::exchange(refining_, true);
    }
    if (start) {
        onMainWithStore(presence_, [](ThumbnailStore& store) { store.refineNext(); });
    }
}

void ThumbnailStore::refineNext()
{
    std::optional<CameraRefinement> next;
    {
        const std::lock_guard guard(lock_);
        while (!next && !refinements_.empty()) {
            if (refinements_.back().waiter.wanted() && cameraSources_ != nullptr) {
                next = refinements_.back();
            }
            refinements_.pop_back();
        }
        refining_ = next.has_value();
    }
    if (!next) {
        return;
    }
    const QString copy = CameraTemporaries::newPath(next->item.name());
    cameraSources_->exportFile(
        next->item.path(), copy,
        [presence = presence_, refinement = *next, copy](const std::optional<PivraError>& error) {
            onDisplayQueue(presence, [refinement, copy, failed = error.has_value()](ThumbnailStore& store) {
                store.keepRefinement(refinement, failed ? QString() : copy);
                QFile::remove(copy);
                onMainWithStore(store.presence_, [](ThumbnailStore& next) { next.refineNext(); });
            });
        });
}

void ThumbnailStore::keepRefinement(const CameraRefinement& refinement, const QString& copy)
{
    if (copy.isEmpty()) {
        return; // the device's thumbnail stays
    }
    MediaItem local = refinement.item;
    local.setPath(copy);
    QImage image;
    try {
        image = renderFor(local, gridPixels, refinement.destination, DecodeUrgency::background).image;
        if (image.isNull() || !persist(image, refinement.destination)) {
            return;
        }
    } catch (...) {
        return; // whatever failed, the device's thumbnail stays
    }
    memory_.insert(refinement.key, image);
    onMainWithStore(presence_, [refinement, image](ThumbnailStore&) { refinement.waiter.answer(image, refinement.key); });
}

} // namespace pivra
