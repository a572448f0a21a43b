#pragma once

#include "catalog/model/Album.h"
#include "gallery/GalleryCallbacks.h"
#include "gallery/JustifiedGalleryLayout.h"
#include "gallery/TileLift.h"
#include "gallery/drag/DragRequest.h"
#include "gallery/drag/MediaPasteboard.h"
#include "gallery/preview/PreviewPool.h"
#include "platform/runtime/Task.h"
#include "store/LibraryStore.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QVariantAnimation>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class QDrag;
class QLabel;
class QMenu;

namespace pivra {

class HoverVideoPlayer;
class RotatablePreviewView;
class ThumbnailStore;
class VideoPreviewStore;

// The gallery: every item of the current result in justified rows grouped
// by month, painted on one viewport with no widget per item.
//
// Phases of a frame: the layout answers which tiles and headers meet the
// visible band (two binary searches); each visible item has a tile (its
// preview, which owns the thumbnail request, and its disconnected dot);
// tiles leaving the band plus a margin are recycled, which cancels their
// requests; painting draws only what the layout returned.
//
// The grid keeps the user's place: a row-height change keeps the photo in
// the middle of the view (animated frame by frame, at once while motion is
// reduced); width changes keep the photo at the top, one anchor per burst of
// changes; a run of resize events counts as a live resize, during which the
// rows are only scaled, and they reflow once it has been quiet. Each real
// scroll pauses background thumbnail preparation. While the scroll bar's
// knob is held a bubble beside it names the month in the middle of the view.
//
// Once the band has held still for a while, the thumbnails a browse left in
// memory go down to the store's resting budget and the freed heap is given
// back to the system, off the GUI thread.
//
// Only a new items version reloads; everything else applies in place.
class GalleryGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    // Seconds on a monotonic clock; tests drive their own.
    using Clock = std::function<double()>;

    GalleryGrid(ThumbnailStore& thumbnails, const VideoPreviewStore& clips, QWidget* parent = nullptr);
    ~GalleryGrid() override;

    // Where a reloaded list opens: the user's place for the same scope
    // reloaded (a favourite, thumbnails, a rescan), the top for a list of
    // another scope (view, source, folder, album, filter or search).
    enum class ItemsPlace { kept, top };

    void setCallbacks(GalleryCallbacks callbacks) { callbacks_ = std::move(callbacks); }
    // Reloads only when `version` differs from the one shown.
    void setItems(MediaItems items, int version, ItemsPlace place = ItemsPlace::kept);
    const MediaItems& items() const { return items_; }
    void setAlbums(QList<Album> albums) { albums_ = std::move(albums); }
    void setCurrentAlbumID(std::optional<QUuid> album) { currentAlbum_ = album; }
    // Fades the dots of visible tiles whose source changed state.
    void setOfflineSourceIDs(QSet<QUuid> sources);
    const QSet<QUuid>& offlineSourceIDs() const { return offlineSources_; }
    void setTopInset(double inset);
    // Keeps the photo in the middle of the view in place.
    void setRowHeight(double height);
    double rowHeight() const { return layout_.targetHeight(); }

    const JustifiedGalleryLayout& layout() const { return layout_; }
    // Where item `index` is painted now, in viewport coordinates.
    std::optional<QRectF> tileRect(int index) const;
    // The preview of a visible item; none for an item out of the band.
    const RotatablePreviewView* preview(int index) const;
    HoverVideoPlayer& hoverPlayer() { return *hoverPlayer_; }
    QLabel* dateBubble() const { return dateBubble_; }
    bool isAnimatingRowHeight() const { return rowMotion_.state() == QAbstractAnimation::Running; }

    // Opens item `index` as a click on its tile does.
    void openItem(int index);
    // The context menu of item `index`, as a right click opens it.
    QMenu* menuFor(int index);

    // A live resize, as bursts of resize events start and end it.
    void beginLiveResize();
    void endLiveResize();
    // While a drag from the grid is over the window's share target its image
    // is the smaller one.
    void setOverShareTarget(bool over);
    // What drags from the grid carry; by default one of the grid's own.
    void setPasteboard(MediaPasteboard pasteboard) { pasteboard_ = std::move(pasteboard); }

    // For tests: the clock of width bursts and live resizes.
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // For tests: what gives freed memory back to the system once the grid
    // rests (trimHeap on a pool thread, but in tests).
    void setReleaseMemory(std::function<void()> release) { releaseMemory_ = std::move(release); }

    // Where the date bubble goes for a knob centred at `knobCenterY`, in a
    // view `viewSize` large, for a title `textWidth` wide.
    static QRect dateBubbleRect(QSize viewSize, double knobCenterY, int textWidth);

Q_SIGNALS:
    // A press on a tile moved further than a click: the original is dragged
    // out. dragStarted comes before the drag's own event loop runs.
    void dragStarted(const pivra::MediaItem& item);
    void dragEnded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    struct Tile;
    struct RowMotion {
        JustifiedGalleryLayout from;
        double fromY = 0;
        double toY = 0;
    };

    // `items` in rows of `layout`'s settings, computed for a view `view` large.
    static JustifiedGalleryLayout laidOut(MediaItems items, JustifiedGalleryLayout layout, QSizeF view);
    Task<> layOutThenShow(MediaItems items, int version, ItemsPlace place);
    void showItems(MediaItems items, JustifiedGalleryLayout laid, ItemsPlace place);
    void rest();
    void relayout();
    double scrollY() const;
    void scrollTo(double y);
    double maxScroll() const;
    double viewWidth() const;
    void synchronizeWidth();
    void settleOn(const GalleryAnchor& anchor, bool rescaleOffset);
    void scrolled();
    void updateTiles();
    std::vector<int> bandIndices() const;
    void recycle(const QString& id);
    void updateHover(QPointF position);
    void updateDateBubble();
    double knobCenterY() const;
    void repaintItem(const QString& id);
    void dragOut(const MediaItem& item);
    void runDrag(const MediaItem& item, std::unique_ptr<QMimeData> data);
    bool dark() const;

    ThumbnailStore& thumbnails_;
    HoverVideoPlayer* hoverPlayer_;
    GalleryCallbacks callbacks_;
    MediaItems items_;
    int itemsVersion_ = 0;
    QList<Album> albums_;
    std::optional<QUuid> currentAlbum_;
    QSet<QUuid> offlineSources_;
    JustifiedGalleryLayout layout_;
    double layoutWidth_ = 0;

    PreviewPool previews_;
    std::unordered_map<QString, Tile> tiles_; // the disconnected dots of the tiles with a preview
    QVariantAnimation dotFade_;

    QVariantAnimation rowMotion_;
    RowMotion motion_;

    Clock clock_;
    std::optional<GalleryAnchor> resizeAnchor_;
    double lastWidthChange_ = 0;
    double lastResize_ = -1;
    QTimer liveResizeEnd_;
    QTimer rest_; // runs while the visible band changes, ends once it has held still
    std::function<void()> releaseMemory_;
    bool adjustingScroll_ = false;
    double lastY_ = 0;
    qint64 bindingNs_ = 0; // spent binding tiles since the last paint

    std::optional<QPointF> pressPosition_;
    bool didDrag_ = false;
    MediaPasteboard pasteboard_;
    DragRequest dragRequest_;
    QPointer<QDrag> drag_;
    MediaItem draggedItem_;
    std::optional<QPointF> pointer_;
    TileLift lift_;

    QLabel* dateBubble_;
    bool dateTracking_ = false;
};

} // namespace pivra
