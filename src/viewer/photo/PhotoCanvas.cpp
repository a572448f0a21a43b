#include "viewer/photo/PhotoCanvas.h"

#include "media/thumbnails/ThumbnailStore.h"

#include <QPointer>

namespace pivra {

PhotoCanvas::PhotoCanvas(const MediaItem& item, ThumbnailStore& thumbnails, QObject* parent)
    : QObject(parent)
    , item_(item)
    , thumbnails_(thumbnails)
{
}

void PhotoCanvas::load()
{
    if (asked_) {
        return;
    }
    asked_ = true;
    thumbnails_.request(item_, previewPixels, [self = QPointer(this)](const QImage& image) {
        if (!self) {
            return;
        }
        self->image_ = image;
        self->loaded_ = true;
        Q_EMIT self->answered();
    });
}

} // namespace pivra
