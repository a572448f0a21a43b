#include "viewer/photo/MediaSurface.h"

#include "style/motion/Motion.h"
#include "style/assets/PivraFonts.h"
#include "style/assets/Symbols.h"
#include "viewer/photo/PhotoCanvas.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace pivra {
namespace {

// How long the zoom and offset must stay put before the picture is
// refined: a little over one frame of a gesture.
constexpr int settleMilliseconds = 120;
constexpr int spinnerFrameMilliseconds = 16;

// The shortest signed number of quarter turns from one turn to another.
int quarterStep(int from, int to)
{
    const int step = ((to - from) % 4 + 4) % 4;
    return step == 3 ? -1 : step;
}

} // namespace

MediaSurface::MediaSurface(const MediaItem& item, PhotoCanvas* canvas, QWidget* parent)
    : QWidget(parent)
    , item_(item)
    , canvas_(canvas)
    , angle_(item.rotationQuarters() * 90.0)
    , targetAngle_(angle_)
{
    setObjectName(QStringLiteral("mediaSurface"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    connect(&turn_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        angle_ = value.toDouble();
        markMoving();
    });
    connect(&fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        pictureOpacity_ = value.toDouble();
        update();
    });
    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(settleMilliseconds);
    connect(&settleTimer_, &QTimer::timeout, this, &MediaSurface::settle);
    spinner_.setInterval(spinnerFrameMilliseconds);
    connect(&spinner_, &QTimer::timeout, this, qOverload<>(&QWidget::update));

    if (!canvas_) {
        return;
    }
    // The first picture shows at once, quickly scaled, and is refined as
    // after any other movement.
    connect(canvas_, &PhotoCanvas::answered, this, [this] {
        spinner_.stop();
        cache_ = {};
        markMoving();
        fade_.setStartValue(0.0);
        fade_.setEndValue(1.0);
        Motion::apply(fade_, curves::easeInOut(0.22));
        fade_.start();
        update();
    });
}

void MediaSurface::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!canvas_) {
        return;
    }
    canvas_->load();
    if (!canvas_->isLoaded()) {
        spinnerClock_.start();
        spinner_.start();
    }
}

void MediaSurface::setItem(const MediaItem& item)
{
    const int step = quarterStep(item_.rotationQuarters(), item.rotationQuarters());
    item_ = item;
    if (step != 0) {
        targetAngle_ += step * 90.0;
        turn_.stop();
        turn_.setStartValue(angle_);
        turn_.setEndValue(targetAngle_);
        Motion::apply(turn_, curves::spring<380, 860>());
        turn_.start();
        if (turn_.duration() == 0) {
            angle_ = targetAngle_;
            Q_EMIT placementChanged();
        }
        Q_EMIT fittingChanged();
    }
    update();
}

void MediaSurface::setViewport(const PhotoViewportTransform& viewport)
{
    if (viewport.zoom != viewport_.zoom || viewport.offset != viewport_.offset) {
        markMoving();
    }
    viewport_ = viewport;
    update();
}

void MediaSurface::setStillHidden(bool hidden)
{
    stillHidden_ = hidden;
    update();
}

MediaFitting MediaSurface::fitting() const
{
    return MediaFitting::of(item_.width(), item_.height(), item_.rotationQuarters(), size());
}

void MediaSurface::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    markMoving();
    Q_EMIT fittingChanged();
}

void MediaSurface::markMoving()
{
    moving_ = true;
    settleTimer_.start();
    update();
    Q_EMIT placementChanged();
}

QTransform MediaSurface::pictureTransform() const
{
    return QTransform()
        .translate(width() / 2.0 + viewport_.offset.width(), height() / 2.0 + viewport_.offset.height())
        .scale(viewport_.zoom, viewport_.zoom)
        .rotate(angle_);
}

void MediaSurface::settle()
{
    if (turn_.state() == QAbstractAnimation::Running) {
        settleTimer_.start();
        return;
    }
    moving_ = false;
    update();
}

// The device pixels the picture covers at the current zoom, but never more
// than the preview holds: beyond that, drawing enlarges it anyway.
QSize MediaSurface::cacheSize(const QSizeF& frame) const
{
    const QSizeF wanted = frame * viewport_.zoom * devicePixelRatioF();
    const QSize native = canvas_->image().size();
    const QSize capped = wanted.toSize().boundedTo(wanted.toSize().scaled(native, Qt::KeepAspectRatio));
    return capped.expandedTo(QSize(1, 1));
}

void MediaSurface::paintEvent(QPaintEvent*)
{
    if (!canvas_ || stillHidden_) {
        return;
    }
    QPainter painter(this);
    const MediaFitting fit = fitting();
    const QRectF frame(-fit.frame.width() / 2, -fit.frame.height() / 2, fit.frame.width(), fit.frame.height());
    painter.setTransform(pictureTransform());

    const QImage& image = canvas_->image();
    if (!image.isNull()) {
        // While moving, a missing pixmap is made quickly and refined later.
        const QSize size = cacheSize(fit.frame);
        if (cache_.isNull() || (!moving_ && (cache_.size() != size || !cacheRefined_))) {
            cacheRefined_ = !moving_;
            cache_ = QPixmap::fromImage(
                image.size() == size
                    ? image
                    : image.scaled(size, Qt::IgnoreAspectRatio,
                                   moving_ ? Qt::FastTransformation : Qt::SmoothTransformation));
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform, !moving_);
        painter.setOpacity(pictureOpacity_);
        painter.drawPixmap(frame, cache_, QRectF(cache_.rect()));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    if (canvas_->isLoaded()) {
        paintUnavailable(painter, frame);
    } else {
        paintWaiting(painter, frame);
    }
}

// An indeterminate ring turning once a second.
void MediaSurface::paintWaiting(QPainter& painter, const QRectF& frame)
{
    const double radius = 14;
    const QRectF ring(frame.center().x() - radius, frame.center().y() - radius, radius * 2, radius * 2);
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.18f), 3));
    painter.drawEllipse(ring);
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.8f), 3, Qt::SolidLine, Qt::RoundCap));
    const int start = -int(spinnerClock_.elapsed() % 1000 * 360 / 1000) * 16;
    painter.drawArc(ring, start, 90 * 16);
}

void MediaSurface::paintUnavailable(QPainter& painter, const QRectF& frame)
{
    const int side = 40;
    const QColor tint = QColor::fromRgbF(1, 1, 1, 0.55f);
    const QPixmap symbol = Symbols::pixmap(QStringLiteral("photo"), {side, side}, tint, devicePixelRatioF());
    const QPointF centre = frame.center();
    painter.drawPixmap(QRectF(centre.x() - side / 2.0, centre.y() - side - 6, side, side), symbol,
                       QRectF(symbol.rect()));
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.85f));
    painter.setFont(PivraFonts::font(17, QFont::DemiBold));
    painter.drawText(QRectF(centre.x() - 200, centre.y() + 4, 400, 30), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Preview unavailable"));
}

} // namespace pivra
