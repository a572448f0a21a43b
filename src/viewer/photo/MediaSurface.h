#pragma once

#include "catalog/model/MediaItem.h"
#include "viewer/photo/MediaFitting.h"
#include "viewer/photo/PhotoViewportTransform.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <QTransform>
#include <QVariantAnimation>
#include <QWidget>

namespace pivra {

class PhotoCanvas;

// The viewer's media area for an item that can be opened: the still (or
// its progress and "Preview unavailable" states), fitted to the area, turned
// by the item's quarter turns and zoomed and panned by the viewport, all in
// one transform. Turning is animated along a spring.
//
// The picture is kept as one pixmap at the device pixels of the settled
// zoom (never more than the preview has). While a gesture or animation
// changes the zoom or offset, that pixmap is only drawn transformed, without
// smoothing; once the changes settle it is rebuilt for the new zoom and drawn
// smoothly. A pan at a settled zoom is a plain copy of the pixmap.
class MediaSurface : public QWidget {
    Q_OBJECT

public:
    // With no canvas (a file video) it paints nothing: the video layer above shows it all.
    MediaSurface(const MediaItem& item, PhotoCanvas* canvas, QWidget* parent = nullptr);

    // The same item again, turned or marked differently.
    void setItem(const MediaItem& item);
    void setViewport(const PhotoViewportTransform& viewport);
    // The picture's fitting in the current area for the item's final turn.
    MediaFitting fitting() const;
    // The angle drawn now, in degrees; moves towards quarters × 90.
    double angle() const { return angle_; }
    // Maps the fitting's frame, centred on the origin, to where it is drawn
    // now: zoomed, panned and turned as far as the turn has gone. A moving
    // picture laid over the still follows it.
    QTransform pictureTransform() const;
    // The still, or its progress or notice, is hidden where a layer above
    // shows moving pictures.
    void setStillHidden(bool hidden);
    // While true the picture is drawn quickly and left unrefined.
    bool isMoving() const { return moving_; }

Q_SIGNALS:
    // The area or the content's fitted size changed.
    void fittingChanged();
    // pictureTransform() moved.
    void placementChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void markMoving();
    void settle();
    QSize cacheSize(const QSizeF& frame) const;
    void paintWaiting(QPainter& painter, const QRectF& frame);
    void paintUnavailable(QPainter& painter, const QRectF& frame);

    MediaItem item_;
    PhotoCanvas* canvas_;
    PhotoViewportTransform viewport_;
    double angle_;
    double targetAngle_;
    QVariantAnimation turn_;
    QVariantAnimation fade_;
    double pictureOpacity_ = 0;
    bool stillHidden_ = false;
    bool moving_ = false;
    QTimer settleTimer_;
    QPixmap cache_;
    bool cacheRefined_ = false; // drawn with smoothing, not in haste
    QTimer spinner_;
    QElapsedTimer spinnerClock_;
};

} // namespace pivra
