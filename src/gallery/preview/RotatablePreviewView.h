#pragma once

#include "catalog/model/MediaItem.h"

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QRectF>
#include <QVariantAnimation>

#include <cstdint>
#include <memory>
#include <optional>

class QPainter;

namespace pivra {

class QueueOperation;
class ThumbnailStore;

// The thumbnail of one gallery tile: a grey placeholder with two skeleton
// bars until the image arrives, then the image fitted inside the tile (never
// cropped), turned by the item's quarter turns and faded in once.
//
// How the grid uses it: each visible tile holds one, made with the grid's
// thumbnail store. Binding a tile to an item calls configure(item); a tile
// that scrolls out of sight or is recycled calls prepareForReuse(), which
// cancels its request. changed() means "repaint my tile". In its paint
// event the grid calls paint() with the tile's rectangle, and passes the
// hover player's frame when that player plays this tile's item.
//
// An image is shown only if it answers the request of the current binding:
// an answer for an earlier item, or one arriving after prepareForReuse(),
// is dropped. Rebinding to the item already shown (the grid reloads after a
// favourite toggle) keeps the image up, without skeleton or a second fade.
// GUI thread only.
class RotatablePreviewView final : public QObject {
    Q_OBJECT

public:
    static constexpr int thumbnailPixels = 420;

    explicit RotatablePreviewView(ThumbnailStore& thumbnails, QObject* parent = nullptr);
    ~RotatablePreviewView() override;

    void configure(const MediaItem& item);
    void prepareForReuse();
    // Shows a loaded thumbnail, or, for a failed one (a null image), the bare
    // placeholder without bars.
    void finishLoading(const QImage& image);

    // The id of the bound item, the key of every stale-answer check.
    const std::optional<QString>& representedID() const { return representedID_; }
    bool showsSkeleton() const { return skeleton_; }
    const QImage& image() const { return image_; }
    int quarters() const { return quarters_; }
    // The image's opacity while it fades in; 1 once shown.
    double opacity() const;

    // Draws the preview into `tile`, in the placeholder colour of the dark
    // or light scheme, with `videoFrame` (when not null) covering the tile
    // at `videoOpacity`, turned like the image.
    void paint(QPainter& painter, const QRectF& tile, bool dark, const QImage& videoFrame = {},
               double videoOpacity = 0) const;

Q_SIGNALS:
    void changed();

private:
    void cancelRequest();
    const QPixmap& scaledImage(const QSize& devicePixels) const;

    ThumbnailStore& thumbnails_;
    std::optional<QString> representedID_;
    std::uint64_t generation_ = 0; // bumped by every binding and unbinding
    std::shared_ptr<QueueOperation> request_;
    bool skeleton_ = true;
    bool fadeIn_ = true; // false while a rebinding keeps the image shown
    QImage image_;
    int quarters_ = 0;
    QVariantAnimation fade_;
    mutable QPixmap scaled_; // the image at the size last painted
};

} // namespace pivra
