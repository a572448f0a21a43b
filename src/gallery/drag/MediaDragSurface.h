#pragma once

#include "catalog/model/MediaItem.h"
#include "gallery/drag/DragRequest.h"
#include "gallery/drag/MediaPasteboard.h"

#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QDrag;

namespace pivra {

class ThumbnailStore;

// A see-through layer over the viewer's photo or video that turns the
// pointer into four things: dragging the original out of the program once the
// pointer has moved more than 5 px with the button down; panning while
// panning is enabled (then nothing is ever dragged out); pinching, from the
// platform's zoom gesture where it delivers one and from Ctrl+wheel
// otherwise; and the pointer's position while it moves. It only measures and
// forwards; the viewer decides what each means. Points are in the surface's
// own coordinates, y growing downward.
//
// A press goes idle → pressed → panning (each move reports the step and moves
// the reference point), or, once the pasteboard has said (off the GUI thread)
// whether the original can be reached while the press lasts, dragging out (a
// drag of the original under way) or unavailable (no reachable original:
// reported once, the press forgotten) →
// idle on release or when the drag ends.
class MediaDragSurface : public QWidget {
    Q_OBJECT

public:
    // Each missing callback is simply not called.
    struct Callbacks {
        std::function<void(const MediaItem&)> onStart; // before the drag's own event loop runs
        std::function<void()> onEnd;                   // after the drag is over, dropped or not, or the surface gone
        std::function<void(QPointF)> onPointerMove;
        std::function<void()> onUnavailable;            // once per press
        std::function<void(double delta, QPointF at)> onMagnify; // change since the last step
        std::function<void(QPointF delta)> onPan;                // movement since the last step
    };

    // A press that moves further than this starts a drag; exactly this far does not.
    static constexpr double dragThreshold = 5;

    MediaDragSurface(MediaPasteboard pasteboard, ThumbnailStore& thumbnails, QWidget* parent = nullptr);
    ~MediaDragSurface() override;

    void setCallbacks(Callbacks callbacks) { callbacks_ = std::move(callbacks); }
    void setItem(std::optional<MediaItem> item) { item_ = std::move(item); }
    const std::optional<MediaItem>& item() const { return item_; }
    // Dragging pans instead of dragging out; the cursor becomes an open hand.
    void setPanEnabled(bool enabled);
    bool panEnabled() const { return panEnabled_; }
    // While a drag from here is over the window's share target its image is
    // the smaller one.
    void setOverShareTarget(bool over);
    bool overShareTarget() const { return overShareTarget_; }
    bool isDragging() const { return dragging_; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The press's drag, once what it carries is known; none: the original
    // cannot be reached.
    void startDrag(const MediaItem& item, std::unique_ptr<QMimeData> data);

    MediaPasteboard pasteboard_;
    ThumbnailStore& thumbnails_;
    Callbacks callbacks_;
    std::optional<MediaItem> item_;
    bool panEnabled_ = false;
    bool overShareTarget_ = false;
    std::optional<QPointF> pressPoint_;
    bool dragging_ = false;
    bool askedToDrag_ = false; // once per press
    DragRequest dragRequest_;
    QPointer<QDrag> drag_;
};

} // namespace pivra
