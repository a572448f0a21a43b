#include "gallery/drag/MediaDragSurface.h"

#include "gallery/drag/MediaDragPreview.h"

#include <QDrag>
#include <QEnterEvent>
#include <QLineF>
#include <QMimeData>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QWheelEvent>

namespace pivra {

namespace {
// A wheel notch held with Ctrl magnifies as much as this.
constexpr double magnificationPerNotch = 0.1;
constexpr double notch = 120;
} // namespace

MediaDragSurface::MediaDragSurface(MediaPasteboard pasteboard, ThumbnailStore& thumbnails, QWidget* parent)
    : QWidget(parent), pasteboard_(std::move(pasteboard)), thumbnails_(thumbnails)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
}

MediaDragSurface::~MediaDragSurface() = default;

void MediaDragSurface::setPanEnabled(bool enabled)
{
    if (enabled == panEnabled_) {
        return;
    }
    panEnabled_ = enabled;
    setCursor(enabled ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

void MediaDragSurface::setOverShareTarget(bool over)
{
    if (over == overShareTarget_) {
        return;
    }
    overShareTarget_ = over;
    if (drag_ && item_) {
        MediaDragPreview::show(*drag_, thumbnails_, *item_,
                                 over ? MediaDragPreview::overShareTargetMaxSide : MediaDragPreview::maxSide);
    }
}

void MediaDragSurface::enterEvent(QEnterEvent* event)
{
    if (callbacks_.onPointerMove) {
        callbacks_.onPointerMove(event->position());
    }
}

void MediaDragSurface::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    pressPoint_ = event->position();
    dragging_ = false;
    askedToDrag_ = false;
    dragRequest_.restart();
    if (panEnabled_) {
        setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void MediaDragSurface::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF point = event->position();
    if (callbacks_.onPointerMove) {
        callbacks_.onPointerMove(point);
    }
    if (!(event->buttons() & Qt::LeftButton) || !pressPoint_) {
        return;
    }
    if (panEnabled_) {
        const QPointF delta = point - *pressPoint_;
        pressPoint_ = point;
        if (callbacks_.onPan) {
            callbacks_.onPan(delta);
        }
        return;
    }
    if (!dragging_ && !askedToDrag_ && item_ && QLineF(*pressPoint_, point).length() > dragThreshold) {
        askedToDrag_ = true;
        // Whether the original can be reached is found off the GUI thread.
        dragRequest_.ask(pasteboard_, *item_, this, [this, item = *item_](std::unique_ptr<QMimeData> data) {
            startDrag(item, std::move(data));
        });
    }
}

void MediaDragSurface::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    pressPoint_.reset();
    dragRequest_.restart();
    if (panEnabled_) {
        setCursor(Qt::OpenHandCursor);
    }
}

void MediaDragSurface::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier) || !callbacks_.onMagnify) {
        event->ignore();
        return;
    }
    callbacks_.onMagnify(event->angleDelta().y() / notch * magnificationPerNotch, event->position());
    event->accept();
}

bool MediaDragSurface::event(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture && callbacks_.onMagnify) {
            // Each zoom event already carries the change since the last one.
            callbacks_.onMagnify(gesture->value(), gesture->position());
            return true;
        }
    }
    return QWidget::event(event);
}

// The drag runs its own event loop, and the surface may go while it runs or
// from the start callback (the viewer closed), taking the drag with it.
// Nothing of it is touched then, but the drag still ends for whoever showed
// something for it, through a copy of the end callback taken beforehand.
void MediaDragSurface::startDrag(const MediaItem& item, std::unique_ptr<QMimeData> data)
{
    if (!data) {
        pressPoint_.reset();
        if (callbacks_.onUnavailable) {
            callbacks_.onUnavailable();
        }
        return;
    }
    dragging_ = true;
    const std::function<void()> onEnd = callbacks_.onEnd;
    auto* drag = new QDrag(this);
    drag->setMimeData(data.release());
    MediaDragPreview::show(*drag, thumbnails_, item, MediaDragPreview::maxSide);
    drag_ = drag;
    const QPointer<MediaDragSurface> alive(this);
    if (callbacks_.onStart) {
        callbacks_.onStart(item);
    }
    if (alive) {
        drag->exec(Qt::CopyAction);
    }
    if (alive) {
        dragging_ = false;
        pressPoint_.reset();
        drag_.clear(); // Qt deletes it once the drop target is done with its data
    }
    if (onEnd) {
        onEnd();
    }
}

} // namespace pivra
