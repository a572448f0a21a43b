#pragma once

#include "catalog/model/MediaItem.h"
#include "gallery/preview/RotatablePreviewView.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QWidget;

namespace pivra {

class ThumbnailStore;

// The previews of the tiles a painted grid keeps near its visible band, one
// per item id. Keeping a new band binds a preview to each of its items, in
// the order given (the order their thumbnails are asked for), and recycles
// the previews of items that left it, which cancels their requests; spare
// previews are reused before new ones are made. A preview that changes
// repaints `viewport`. GUI thread only.
class PreviewPool {
public:
    PreviewPool(ThumbnailStore& thumbnails, QWidget& viewport, PreviewLook look = {});
    ~PreviewPool();

    // Runs for each id whose preview is recycled, before it is.
    void setOnRecycle(std::function<void(const QString& id)> onRecycle) { onRecycle_ = std::move(onRecycle); }

    void keep(const std::vector<const MediaItem*>& band);
    RotatablePreviewView* find(const QString& id) const;
    int size() const { return int(bound_.size()); }

private:
    struct Bound {
        std::unique_ptr<RotatablePreviewView> preview;
        MediaItem item;
    };

    ThumbnailStore& thumbnails_;
    QWidget& viewport_;
    const PreviewLook look_;
    std::function<void(const QString&)> onRecycle_;
    std::unordered_map<QString, Bound> bound_;
    std::vector<std::unique_ptr<RotatablePreviewView>> spare_;
};

} // namespace pivra
