#include "gallery/preview/PreviewPool.h"

#include <QWidget>

namespace pivra {

PreviewPool::PreviewPool(ThumbnailStore& thumbnails, QWidget& viewport, PreviewLook look)
    : thumbnails_(thumbnails), viewport_(viewport), look_(std::move(look))
{
}

PreviewPool::~PreviewPool() = default;

void PreviewPool::keep(const std::vector<const MediaItem*>& band)
{
    QHash<QString, const MediaItem*> wanted;
    wanted.reserve(qsizetype(band.size()));
    for (const MediaItem* item : band) {
        wanted.insert(item->id(), item);
    }
    for (auto it = bound_.begin(); it != bound_.end();) {
        if (wanted.contains(it->first)) {
            ++it;
            continue;
        }
        if (onRecycle_) {
            onRecycle_(it->first);
        }
        it->second.preview->prepareForReuse();
        spare_.push_back(std::move(it->second.preview));
        it = bound_.erase(it);
    }
    for (const MediaItem* item : band) {
        const QString id = item->id();
        const auto found = bound_.find(id);
        if (found != bound_.end()) {
            // A changed item (a new turn, a favourite) is bound again in place.
            if (!(found->second.item == *item)) {
                found->second.item = *item;
                found->second.preview->configure(*item);
            }
            continue;
        }
        std::unique_ptr<RotatablePreviewView> preview;
        if (!spare_.empty()) {
            preview = std::move(spare_.back());
            spare_.pop_back();
        } else {
            preview = std::make_unique<RotatablePreviewView>(thumbnails_, look_);
            QObject::connect(preview.get(), &RotatablePreviewView::changed, &viewport_,
                             qOverload<>(&QWidget::update));
        }
        RotatablePreviewView& bound = *preview;
        bound_.emplace(id, Bound{std::move(preview), *item});
        bound.configure(*item);
    }
}

RotatablePreviewView* PreviewPool::find(const QString& id) const
{
    const auto found = bound_.find(id);
    return found == bound_.end() ? nullptr : found->second.preview.get();
}

} // namespace pivra
