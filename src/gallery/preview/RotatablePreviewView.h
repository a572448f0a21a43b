#pragma once

#include "catalog/model/MediaItem.h"
#include "style/appearance/PivraAppearance.h"

#include <QImage>
#include <QObject>
#include <QRectF>
#include <QVariantAnimation>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class QPainter;

namespace pivra {

class QueueOperation;
class ThumbnailStore;

// How a preview waits for its image and shows it: the gallery's grey
// placeholder with skeleton bars and a 0.22 s fade unless told otherwise.
struct PreviewLook {
    bool skeleton = true;
    QColor lightPlaceholder = PivraAppearance::lightPlaceholder;
    QColor darkPlaceholder = PivraAppearance::darkPlaceholder;
    double fadeSeconds = 0.22;

    const QColor& placeholder(bool dark) const { return dark ? darkPlaceholder : lightPlaceholder; }
};

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
// Drawing: the tile is kept as one picture at its size in device pixels,
// rounded corners, placeholder, bars and the turned image composed in, so a
// frame at rest copies it without any transform, clip or scaling. Tiles
// without an image share one picture per size and look. Scaling the image
// is the one costly step, so it happens only as far as the caller allows:
// smooth with Rescale::now; with later the picture at hand is drawn scaled
// by the painter (nearest pixel), or, for a tile with none yet, a rough one
// is made; with none a tile with no picture of its image shows the bare
// placeholder. Whenever what it drew is not final, paint() says so.
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

    // Lets go of the pictures shared by tiles without an image, which a
    // grid at rest shows none of; tiles showing one keep theirs. GUI thread.
    static void releaseBareTiles();
    static std::size_t bareTileCount(); // for tests

    explicit RotatablePreviewView(ThumbnailStore& thumbnails, PreviewLook look = {}, QObject* parent = nullptr);
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

    // Whether a paint may smooth-rescale the image for the tile's size now,
    // or must make do with what it has: while the tile changes size every
    // frame (an animation, a live resize), or once the frame spent its time.
    // With none, not even a rough picture is made: a tile whose image has
    // not been composed shows the bare placeholder it fades in over.
    enum class Rescale { now, later, none };

    // Draws the preview into `tile`, in the placeholder colour of the dark
    // or light scheme, with `videoFrame` (when not null) covering the tile
    // at `videoOpacity`, turned like the image. True when what it drew is
    // not final (scaled by the painter, or rough) and a paint with
    // Rescale::now should follow.
    bool paint(QPainter& painter, const QRectF& tile, bool dark, Rescale rescale = Rescale::now,
               const QImage& videoFrame = {}, double videoOpacity = 0) const;

    // How many times the image was smooth-rescaled for a tile.
    int rescaleCount() const { return rescales_; }
    // How many times the tile's picture was made, smooth or rough.
    int composeCount() const { return composes_; }

Q_SIGNALS:
    void changed();

private:
    void cancelRequest();
    void compose(const QSize& pixels, const QSizeF& tile, bool dark, bool smooth) const;
    void paintVideo(QPainter& painter, const QRectF& tile, const QImage& frame, double opacity) const;

    ThumbnailStore& thumbnails_;
    const PreviewLook look_;
    std::optional<QString> representedID_;
    std::uint64_t generation_ = 0; // bumped by every binding and unbinding
    std::shared_ptr<QueueOperation> request_;
    bool skeleton_ = true;
    bool fadeIn_ = true; // false while a rebinding keeps the image shown
    QImage image_;
    int quarters_ = 0;
    QVariantAnimation fade_;
    // The tile as last composed, in device pixels; transparent outside its
    // rounded corners.
    mutable QImage picture_;
    mutable bool pictureDark_ = false;
    mutable bool pictureSmooth_ = false;
    mutable int rescales_ = 0;
    mutable int composes_ = 0;
};

} // namespace pivra
