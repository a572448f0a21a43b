#pragma once

#include "catalog/model/MediaItem.h"

#include <QImage>
#include <QObject>

namespace pivra {

class ThumbnailStore;

// The still of one item as the viewer shows it: the thumbnail store's
// 3200-pixel preview, asked for once. Waiting until the answer comes; then
// the picture, or none ("Preview unavailable"). There is no way back and no
// retry: another item, or the viewer opened again, makes a new canvas. An
// answer reaching a canvas that is gone is dropped.
class PhotoCanvas : public QObject {
    Q_OBJECT

public:
    static constexpr int previewPixels = 3200;

    PhotoCanvas(const MediaItem& item, ThumbnailStore& thumbnails, QObject* parent = nullptr);

    // Asks the store, the first time only.
    void load();

    bool isLoaded() const { return loaded_; }
    const QImage& image() const { return image_; }

Q_SIGNALS:
    void answered();

private:
    MediaItem item_;
    ThumbnailStore& thumbnails_;
    bool asked_ = false;
    bool loaded_ = false;
    QImage image_;
};

} // namespace pivra
