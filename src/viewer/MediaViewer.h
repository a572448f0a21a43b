#pragma once

#include "catalog/model/LibrarySource.h"
#include "catalog/model/MediaItem.h"
#include "gallery/drag/MediaPasteboard.h"
#include "viewer/photo/PhotoViewportTransform.h"

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QLabel;

namespace pivra {

class ControlsVisibility;
class DisconnectedPreview;
class MediaDragSurface;
class MediaSurface;
class MetadataPanel;
class PhotoCanvas;
class ThumbnailStore;
class ViewerButton;
class ViewerTopBar;
class VideoControls;
class VideoLayerView;
class VideoPlaybackModel;

// What the viewer hands back to the window; it changes the library only
// through these. A missing one makes its control do nothing.
struct ViewerCallbacks {
    std::function<void()> onClose;
    std::function<void()> onPrevious;
    std::function<void()> onNext;
    std::function<void(int quarters)> onRotate; // -1 counter-clockwise, +1 clockwise
    std::function<void()> onFavorite;
    std::function<void()> onToggleInfo; // the window owns whether the panel is open
    std::function<void(const MediaItem&)> onDragStart;
    std::function<void()> onDragEnd;
    std::function<void()> onDragUnavailable;
    std::function<void()> onFullscreen;
    std::function<void()> onShowInFileManager;
    // The video plays `seconds`, less than its header states.
    std::function<void(const MediaItem&, double seconds)> onStreamsLength;
};

// The full-window view of one item, over the library window. From back to
// front: a dark backdrop; the content row (the media area, and the
// information panel sliding in from the trailing edge); the controls (the
// top bar, the Live Photo's error line, the video's control row); and the
// previous and next arrows. The controls fade after the pointer rests and
// take no clicks while hidden.
//
// A viewer belongs to one item: the window makes a new one for each item
// shown, so zoom, looping and the controls start afresh, and whatever
// arrives late for an earlier item (its picture, its place) reaches a viewer
// that is gone and is dropped. The same item changed (turned, marked) is
// handed in with setItem.
//
// The media area shows the still through the photo canvas, a video or a
// Live Photo's motion through the playback model's layer (a device's video
// shows its still until its stream is ready; the motion covers the still
// only while it plays), and over them the pointer layer that drags the
// original out, pans and pinches. When the original is out of reach (an
// offline source, a locked device) the disconnected preview stands in for
// all of it and nothing else is loaded.
class MediaViewer : public QWidget {
    Q_OBJECT

public:
    MediaViewer(const MediaItem& item, const std::optional<LibrarySource>& source, bool cameraLocked,
                ThumbnailStore& thumbnails, MediaPasteboard pasteboard, ViewerCallbacks callbacks,
                QWidget* parent = nullptr);
    ~MediaViewer() override;

    const MediaItem& item() const { return item_; }
    // The same item, changed; another id is ignored (make a new viewer).
    void setItem(const MediaItem& item);
    void setSource(const std::optional<LibrarySource>& source);
    void setCameraLocked(bool locked);
    void setShowInfo(bool shown);
    void setFullscreen(bool fullscreen);
    // A drag of this item is over the window's share target.
    void setOverShareTarget(bool over);
    // Space: plays or pauses a video or a Live Photo's motion.
    void togglePlayback();

    // The pointer's handlers, as the media's pointer layer reports them, in
    // the media area's coordinates (top-left origin).
    void pointerMoved(QPointF point);
    void magnified(double magnification, QPointF point);
    void panned(QSizeF delta);
    // The top bar's zoom buttons and slider.
    void stepZoom(double step);
    void zoomTo(double zoom, bool animated);

    const PhotoViewportTransform& viewport() const { return viewport_; }
    std::optional<QPointF> lastImagePointer() const { return lastImagePointer_; }
    bool showsControls() const;
    bool showsInfo() const { return showInfo_; }
    const std::optional<QString>& storedLocation() const { return storedLocation_; }
    const std::optional<QString>& videoLocation() const { return videoLocation_; }
    bool liveLoops() const { return liveLoops_; }

    // The parts, for the window and for tests.
    ViewerTopBar* topBar() const { return topBar_; }
    ViewerButton* previousButton() const { return previous_; }
    ViewerButton* nextButton() const { return next_; }
    QWidget* contentArea() const { return contentArea_; }
    MediaSurface* mediaSurface() const;
    DisconnectedPreview* disconnectedPreview() const;
    MetadataPanel* metadataPanel() const;
    // None for a file video, which shows no still.
    PhotoCanvas* photoCanvas() const { return canvas_; }
    MediaDragSurface* dragSurface() const;
    // Made only for an item that plays (a video, a Live Photo).
    VideoPlaybackModel* playback() const { return playback_; }
    VideoLayerView* videoLayer() const;
    VideoControls* videoControls() const;
    QLabel* errorBanner() const { return errorBanner_; }
    ControlsVisibility& controlsVisibility() const { return *visibility_; }

Q_SIGNALS:
    // The place read from a video file arrived (or turned out to be none).
    void videoLocationAnswered();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isDisconnected() const;
    bool playable() const;
    void makePlayback();
    void showPlaybackState();
    void readVideoLocation();
    void toggleLiveLoops();
    void placeMediaLayers();
    void chooseContent();
    void syncViewport();
    void setViewport(const PhotoViewportTransform& viewport);
    void animateViewport(const PhotoViewportTransform& target, double seconds);
    void revealControls();
    void controlsChanged();
    void layOut();
    void call(const std::function<void()>& action) const;

    MediaItem item_;
    std::optional<LibrarySource> source_;
    bool cameraLocked_;
    ThumbnailStore& thumbnails_;
    MediaPasteboard pasteboard_;
    ViewerCallbacks callbacks_;
    bool showInfo_ = false;
    bool fullscreen_ = false;
    bool appeared_ = false;
    bool liveLoops_ = false;
    bool overShareTarget_ = false;
    int locationGeneration_ = 0;

    PhotoViewportTransform viewport_;
    std::optional<QPointF> lastImagePointer_;
    std::optional<QString> storedLocation_;
    std::optional<QString> videoLocation_;
    std::unique_ptr<ControlsVisibility> visibility_;

    QWidget* contentArea_;
    PhotoCanvas* canvas_;
    QPointer<MediaSurface> surface_;
    QPointer<DisconnectedPreview> disconnected_;
    QPointer<MetadataPanel> panel_;
    QPointer<MediaDragSurface> dragSurface_;
    VideoPlaybackModel* playback_ = nullptr;
    QPointer<VideoLayerView> videoLayer_;
    QPointer<VideoControls> videoControls_;
    ViewerTopBar* topBar_;
    QLabel* errorBanner_;
    ViewerButton* previous_;
    ViewerButton* next_;

    double controlsShown_ = 1; // 0 hidden to 1 shown, animated
    double panelShown_ = 0;    // 0 out to 1 in, animated
    QVariantAnimation controlsMotion_;
    QVariantAnimation panelMotion_;
    QVariantAnimation zoomMotion_;
    PhotoViewportTransform zoomFrom_;
    PhotoViewportTransform zoomTarget_;
};

} // namespace pivra
