#pragma once

#include "catalog/model/MediaItem.h"
#include "map/MapStyle.h"
#include "gallery/drag/MediaPasteboard.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QKeyEvent;
class QVariantAnimation;

namespace pivra {

class AlertPresenter;
class ContentColumn;
class LibraryStore;
class MediaViewer;
class ShareNotch;
class ShareService;
class Sidebar;
class ThumbnailStore;
class VideoPreviewStore;
class ViewerMount;
class WindowBridge;

// The library window's content: from back to front the main area (the
// sidebar column beside the gallery area, whose header lies over its top),
// the viewer's backdrop while an item is shown, and the window's alerts. It
// keeps the window's own settings (sidebar shown, row height, map style),
// the width class the header lays itself out for, the drag of a photo, and
// the window's keys. The sidebar, header, gallery and viewer fill the areas
// it makes.
class LibraryWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int sidebarWidth = 225;
    static constexpr int headerHeight = 56;

    // Settings of the window that survive a restart.
    static const QString sidebarVisibleKey; // "pivra.sidebar.visible", default true
    static const QString rowHeightKey;      // "pivra.gallery.rowHeight", default 190
    static const QString mapStyleKey;       // "pivra.map.style", default "map"

    // `thumbnails` and `clips` are what the gallery and the album covers
    // draw from: the program's own, or a test's.
    LibraryWindow(LibraryStore& store, ThumbnailStore& thumbnails, const VideoPreviewStore& clips,
                  QWidget* parent = nullptr);
    ~LibraryWindow() override;

    // The first of 1000, 780, 760 and 700 not above `width`, else 0.
    static int headerWidthStep(int width);

    QWidget* sidebarColumn() const { return sidebarColumn_; }
    QWidget* galleryArea() const { return galleryArea_; }
    QWidget* headerArea() const { return headerArea_; }
    QWidget* galleryContent() const { return galleryContent_; }
    ContentColumn* content() const { return content_; }
    QWidget* viewerBackdrop() const { return viewerBackdrop_; }
    AlertPresenter& alerts() const { return *alerts_; }

    bool sidebarVisible() const { return sidebarVisible_; }
    void setSidebarVisible(bool visible);
    double rowHeight() const { return rowHeight_; }
    void setRowHeight(double height);
    const QString& mapStyle() const { return mapStyle_; }
    // Every change of style the user makes or asks for (a pill, a picked
    // pin, "Show on the map"): the style pills move to it first, then the
    // stored style follows and the map row shows it.
    void setMapStyle(const QString& style);
    // The style the pills show: the last one set, or the stored style
    // while none was set since the window opened.
    QString mapStylePill() const { return mapStylePill_.value_or(mapStyle_); }
    // The place grid stands in for the map.
    bool showsPlaceGrid() const;
    // The photos of the map pin last picked, which the place grid shows;
    // none shows every place.
    const std::optional<MapSelection>& mapSelection() const { return mapSelection_; }
    void setMapSelection(std::optional<MapSelection> selection);
    int widthStep() const { return widthStep_; }
    bool isFullscreen() const { return fullscreen_; }
    bool showsInfo() const { return showInfo_; }
    // The viewer's information panel is open; the window keeps the flag, so
    // it stays as it was from one item to the next.
    void setShowInfo(bool shown);
    // Leaves the viewer for the gallery, with the information panel closed.
    void closeViewer();
    // The viewer of the item shown, none while the gallery shows.
    MediaViewer* viewer() const;

    // A photo dragged from the gallery or the viewer. The share target shows
    // while it lasts and a moment after it ends, so a new drag right after
    // keeps it; once the photo was dropped on the target, the share ends it.
    void beginMediaDrag(const MediaItem& item);
    void endMediaDrag();
    const std::optional<MediaItem>& draggedMedia() const { return draggedMedia_; }
    ShareNotch* shareTarget() const { return shareNotch_; }
    // The pointer of the drag is over the share target.
    bool shareTargeted() const { return shareTargeted_; }
    bool shareCommitted() const { return shareCommitted_; }
    // A drop of the dragged photo on the share target, at a point of the
    // screen: refused without a drag or while its share is under way;
    // otherwise the share starts, and asks there which phone, if it asks.
    bool dropOnShareTarget(QPoint globalAt);
    // Hands the item's original to another device, telling the user what
    // went wrong; `done` follows on the GUI thread either way.
    void shareOriginal(const MediaItem& item, std::function<void()> done);
    // How originals are shared; tests give one on their own bus.
    void setShareService(std::unique_ptr<ShareService> service);

    // The window's keys, before any of its widgets sees them; true when the
    // key was used.
    bool handleKey(QKeyEvent* event);

    // Follows the top-level window this content lives in: its full screen
    // and its keys.
    void attachTo(QWidget* window);

Q_SIGNALS:
    void searchRequested();
    // The sidebar's preferences row: the General tab, directly.
    void preferencesRequested();
    void sidebarVisibleChanged(bool visible);
    void rowHeightChanged(double height);
    void mapStylePillChanged(const QString& style);
    void mapStyleChanged(const QString& style);
    void mapSelectionChanged();
    void widthStepChanged(int step);
    void showsInfoChanged(bool shown);
    void draggedMediaChanged();
    void shareTargetedChanged(bool targeted);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void layOutLayers();
    void viewerChanged();
    void applyCanvas();
    void setFullscreen(bool fullscreen);
    void setShareTargeted(bool targeted);
    void setShareCommitted(bool committed);
    void clearDrag();
    void placeShareTarget();

    LibraryStore& store_;
    QWidget* mainArea_;
    QWidget* sidebarColumn_;
    QWidget* sidebarEdge_;
    Sidebar* sidebar_ = nullptr;
    ContentColumn* content_ = nullptr;
    QWidget* galleryArea_;
    QWidget* galleryContent_;
    QWidget* headerArea_;
    QWidget* viewerBackdrop_;
    AlertPresenter* alerts_;
    WindowBridge* bridge_;
    QVariantAnimation* sidebarMotion_;

    bool sidebarVisible_;
    double sidebarShown_; // 1 shown, 0 hidden, between while it moves
    double rowHeight_;
    QString mapStyle_;
    std::optional<QString> mapStylePill_;
    std::optional<MapSelection> mapSelection_;
    int widthStep_ = 1120;
    bool fullscreen_ = false;
    bool showInfo_ = false;
    std::optional<MediaItem> draggedMedia_;
    int dragGeneration_ = 0;
    bool shareTargeted_ = false;
    bool shareCommitted_ = false;
    QPoint shareDropPoint_;
    ShareNotch* shareNotch_;
    MediaPasteboard pasteboard_;
    std::unique_ptr<ShareService> shareService_;
    ViewerMount* viewerMount_;
};

} // namespace pivra
