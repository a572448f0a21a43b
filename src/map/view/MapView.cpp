#include "map/view/MapView.h"

#include "map/basemap/BaseMapTiles.h"
#include "map/basemap/RasterTiles.h"
#include "style/controls/PaintedAccessible.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/Symbols.h"

#include <QGesture>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>

namespace pivra {

namespace {

// A press that moves less than this is a click, not a drag.
constexpr double dragThreshold = 4;
// Zoom steps per wheel notch, per button press and per double click.
constexpr double wheelStep = 0.5;
constexpr double buttonStep = 1;
// A flick keeps moving while faster than this (pixels per millisecond),
// losing this share of its speed every frame.
constexpr double flickMinimumSpeed = 0.05;
// A throw never starts faster than this, however close the last events came.
constexpr double flickMaximumSpeed = 4;
constexpr double flickFriction = 0.08;
constexpr int flickFrameMilliseconds = 16;
// A pointer that rested this long before the release throws nothing.
constexpr int flickRestMilliseconds = 80;
// Tiles of the base map are drawn up to this zoom and scaled beyond: its
// finest outlines hold no more detail.
constexpr int baseMaxZoom = 16;
// A tile not drawn yet is stood in for by a coarser one at most this many
// zooms out, scaled up at most eight times. Further out one pixel of it would
// cover a whole tile, sea or land as that pixel happened to be: a block of
// sea over the land north of Lisbon.
constexpr int standInZooms = 3;
constexpr int buttonSize = 30;
constexpr int buttonMargin = 12;
const QString baseAttribution = QStringLiteral("Natural Earth · GeoNames");

int wrapped(int index, int count)
{
    return ((index % count) + count) % count;
}

// Readers hear the map's pins as buttons named like their photos.
class MapAccessible final : public PaintedAccessible {
public:
    explicit MapAccessible(QWidget* widget) : PaintedAccessible(widget, QAccessible::Graphic) {}

    int partCount() const override { return int(parts().size()); }
    QString partText(int index, QAccessible::Text text) const override
    {
        return text == QAccessible::Name ? part(index).name : QString();
    }
    QRect partRect(int index) const override { return part(index).rect; }
    QAccessible::Role partRole(int) const override { return QAccessible::Button; }
    QStringList partActions(int) const override { return {pressAction()}; }
    void doPartAction(int index, const QString& action) override
    {
        if (action == pressAction() && part(index).press) {
            part(index).press();
        }
    }

private:
    std::vector<MapView::AccessiblePart> parts() const
    {
        auto* view = qobject_cast<MapView*>(widget());
        return view ? view->accessibleParts() : std::vector<MapView::AccessiblePart>{};
    }
    MapView::AccessiblePart part(int index) const
    {
        std::vector<MapView::AccessiblePart> all = parts();
        return index >= 0 && index < int(all.size()) ? all[std::size_t(index)] : MapView::AccessiblePart{};
    }
};

} // namespace

MapView::MapView(QWidget* parent)
    : QWidget(parent), base_(new BaseMapTiles(BaseMapTiles::programData(), this)), zoomIn_(new QToolButton(this)), zoomOut_(new QToolButton(this))
{
    installAccessibleFactory(&accessibleFor<MapView, MapAccessible>);
    setAccessibleName(QStringLiteral("Map"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setFocusPolicy(Qt::ClickFocus);
    grabGesture(Qt::PinchGesture);
    connect(base_, &BaseMapTiles::tileReady, this, qOverload<>(&QWidget::update));

    settle_.setSingleShot(true);
    settle_.setInterval(settleMilliseconds);
    connect(&settle_, &QTimer::timeout, this, &MapView::regionChanged);
    flick_.setInterval(flickFrameMilliseconds);
    connect(&flick_, &QTimer::timeout, this, &MapView::flickStep);

    for (auto [button, name, step] :
         {std::tuple{zoomIn_, "Zoom in", buttonStep}, std::tuple{zoomOut_, "Zoom out", -buttonStep}}) {
        button->setToolTip(QString::fromLatin1(name));
        button->setAccessibleName(QString::fromLatin1(name));
        button->setFixedSize(buttonSize, buttonSize);
        button->setAutoRaise(false);
        button->setCursor(Qt::ArrowCursor);
        connect(button, &QToolButton::clicked, this,
                [this, step = step] { zoomBy(QPointF(width() / 2.0, height() / 2.0), step, false); });
    }
    tintButtons();
}

MapView::~MapView() = default;

void MapView::tintButtons()
{
    const QColor tint = PivraAppearance::primary(palette(), 0.8);
    zoomIn_->setIcon(Symbols::icon(QStringLiteral("plus"), tint));
    zoomOut_->setIcon(Symbols::icon(QStringLiteral("minus"), tint));
}

void MapView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        tintButtons();
    }
}

// A map the user has left keeps the tiles it showed last, which are what it
// shows again when it comes back, instead of the several screens' worth it
// keeps while it is moved about, and none of the data it draws them from.
void MapView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    base_->rest();
}

void MapView::setVisibleMapRect(const MapRect& rect, const QMarginsF& padding)
{
    camera_.show(rect, padding, raster_ ? double(RasterTiles::maxZoom) : baseMapDetailZoom);
    update();
    Q_EMIT regionChanged();
}

void MapView::setCamera(MapPoint center, double zoom)
{
    camera_.setZoom(zoom);
    camera_.setCenter(center);
    update();
    Q_EMIT regionChanged();
}

void MapView::panBy(QPointF pixels)
{
    camera_.panBy(pixels);
    update();
}

void MapView::setCoveredInsets(const QMargins& insets)
{
    covered_ = insets;
    placeButtons();
    update();
}

void MapView::setTileURL(const QString& urlTemplate)
{
    if (urlTemplate == (raster_ ? raster_->urlTemplate() : QString())) {
        return;
    }
    delete raster_;
    raster_ = nullptr;
    if (!urlTemplate.isEmpty()) {
        raster_ = new RasterTiles(urlTemplate, RasterTiles::defaultCacheFolder(), this);
        connect(raster_, &RasterTiles::tileReady, this, qOverload<>(&QWidget::update));
    }
    update();
}

void MapView::accessiblePartsChanged()
{
    if (PaintedAccessible* map = PaintedAccessible::of(this)) {
        map->forgetParts();
        PaintedAccessible::notify(this, -1, QAccessible::NameChanged);
    }
}

void MapView::setNotice(const QString& notice)
{
    notice_ = notice;
    update();
}

QString MapView::attribution() const
{
    return raster_ ? raster_->attribution() + QStringLiteral(" · ") + baseAttribution : baseAttribution;
}

bool MapView::covers(QPointF position) const
{
    return position.x() < covered_.left() || position.y() < covered_.top();
}

void MapView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    camera_.setViewport(size());
    placeButtons();
    // A new size shows another part of the world. Reported once the size
    // rests, so dragging a window edge does not regroup the pins each step.
    if (event->oldSize() != event->size()) {
        settle_.start();
    }
}

void MapView::placeButtons()
{
    const int x = width() - covered_.right() - buttonMargin - buttonSize;
    const int y = height() - covered_.bottom() - buttonMargin - 2 * buttonSize - 4;
    zoomIn_->move(x, y);
    zoomOut_->move(x, y + buttonSize + 4);
}

void MapView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawTiles(painter);
    if (overlay_) {
        overlay_(painter);
    }
    drawAttribution(painter);
}

// Tiles come from the integer zoom nearest the view's, scaled by the rest.
// A base tile not drawn yet is stood in for by a coarser one already drawn
// (see standInZooms), or by a plain colour that is neither land nor sea.
void MapView::drawTiles(QPainter& painter)
{
    const bool dark = PivraAppearance::isDark(palette());
    const BaseMapColors colors = BaseMapColors::forScheme(dark);
    // The ratio of what is painted on, not the widget's: a grab into an
    // image of another ratio gets tiles drawn for it.
    const double ratio = painter.paintEngine()->paintDevice()->devicePixelRatioF();
    const int baseZoom = std::min(baseMaxZoom, int(std::lround(camera_.zoom())));
    const int rasterZoom = std::min(int(RasterTiles::maxZoom), int(std::lround(camera_.zoom())));
    painter.fillRect(rect(), colors.ocean);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    base_->beginFrame();

    const auto forEachTile = [&](int zoom, auto&& draw) {
        const int count = 1 << zoom;
        const double side = MapCamera::tileSize * std::exp2(camera_.zoom() - zoom);
        const MapRect visible = camera_.visibleRect();
        const double tileMapSize = mapWorldSize / count;
        const int firstX = int(std::floor(visible.x / tileMapSize));
        const int lastX = int(std::floor(visible.maxX() / tileMapSize));
        const int firstY = std::max(0, int(std::floor(visible.y / tileMapSize)));
        const int lastY = std::min(count - 1, int(std::floor(visible.maxY() / tileMapSize)));
        for (int y = firstY; y <= lastY; ++y) {
            for (int x = firstX; x <= lastX; ++x) {
                const QPointF corner = camera_.toScreen({x * tileMapSize, y * tileMapSize});
                // Whole pixels, so neighbouring tiles meet without a seam.
                const QRectF target(QPointF(std::floor(corner.x()), std::floor(corner.y())),
                                    QPointF(std::floor(corner.x() + side), std::floor(corner.y() + side)));
                draw(TileKey{zoom, wrapped(x, count), y, dark}, target);
            }
        }
    };

    forEachTile(baseZoom, [&](const TileKey& key, const QRectF& target) {
        if (const QImage* image = base_->tile(key, ratio)) {
            painter.drawImage(target, *image);
            return;
        }
        for (int up = 1; up <= std::min(key.zoom, standInZooms); ++up) {
            const TileKey parent{key.zoom - up, key.x >> up, key.y >> up, dark};
            if (const QImage* image = base_->cached(parent, ratio)) {
                const double part = image->width() / double(1 << up);
                const QRectF source((key.x - (parent.x << up)) * part, (key.y - (parent.y << up)) * part, part, part);
                painter.drawImage(target, *image, source);
                return;
            }
        }
        painter.fillRect(target, colors.pending);
    });
    if (raster_) {
        forEachTile(rasterZoom, [&](const TileKey& key, const QRectF& target) {
            if (const QImage* image = raster_->tile(key.zoom, key.x, key.y)) {
                painter.drawImage(target, *image);
            }
        });
    }
}

void MapView::drawAttribution(QPainter& painter)
{
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    const QStringList lines = notice_.isEmpty() ? QStringList{attribution()} : QStringList{notice_, attribution()};
    const QFontMetrics metrics(font);
    int y = height() - covered_.bottom() - 4 - metrics.descent();
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const int width = metrics.horizontalAdvance(*line) + 10;
        const QRect box(covered_.left() + 6, y - metrics.ascent() - 2, width, metrics.height() + 2);
        painter.fillRect(box, QColor(255, 255, 255, 170));
        painter.setPen(QColor(40, 40, 46));
        painter.drawText(box, Qt::AlignCenter, *line);
        y -= metrics.height() + 4;
    }
}

void MapView::zoomBy(QPointF about, double steps, bool settleLater)
{
    camera_.zoomAbout(about, camera_.zoom() + steps);
    update();
    if (settleLater) {
        settle_.start();
    } else {
        settle_.stop();
        Q_EMIT regionChanged();
    }
}

void MapView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || covers(event->position())) {
        event->ignore();
        return;
    }
    flick_.stop();
    pressed_ = true;
    dragging_ = false;
    pressedAt_ = lastPosition_ = event->position();
    velocity_ = {};
    sinceMove_.start();
}

void MapView::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressed_) {
        return;
    }
    const QPointF position = event->position();
    if (!dragging_ && QLineF(pressedAt_, position).length() < dragThreshold) {
        return;
    }
    dragging_ = true;
    const QPointF delta = position - lastPosition_;
    const double elapsed = std::max<qint64>(1, sinceMove_.restart());
    // Smoothed, so one uneven event does not decide the flick.
    velocity_ = velocity_ * 0.5 + (delta / elapsed) * 0.5;
    lastPosition_ = position;
    panBy(delta);
}

void MapView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!pressed_ || event->button() != Qt::LeftButton) {
        return;
    }
    pressed_ = false;
    if (!dragging_) {
        Q_EMIT clicked(event->position());
        return;
    }
    dragging_ = false;
    const double speed = std::hypot(velocity_.x(), velocity_.y());
    if (sinceMove_.elapsed() < flickRestMilliseconds && speed > flickMinimumSpeed) {
        if (speed > flickMaximumSpeed) {
            velocity_ *= flickMaximumSpeed / speed;
        }
        flick_.start();
    } else {
        Q_EMIT regionChanged();
    }
}

void MapView::flickStep()
{
    velocity_ *= 1 - flickFriction;
    if (std::hypot(velocity_.x(), velocity_.y()) < flickMinimumSpeed) {
        flick_.stop();
        Q_EMIT regionChanged();
        return;
    }
    panBy(velocity_ * flickFrameMilliseconds);
}

void MapView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || covers(event->position())) {
        event->ignore();
        return;
    }
    zoomBy(event->position(), buttonStep, false);
}

void MapView::wheelEvent(QWheelEvent* event)
{
    if (covers(event->position())) {
        event->ignore();
        return;
    }
    zoomBy(event->position(), event->angleDelta().y() / 120.0 * wheelStep, true);
}

bool MapView::event(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture && !covers(gesture->position())) {
            zoomBy(gesture->position(), std::log2(1 + gesture->value()), true);
            return true;
        }
    }
    if (event->type() == QEvent::Gesture) {
        auto* gestures = static_cast<QGestureEvent*>(event);
        if (auto* pinch = static_cast<QPinchGesture*>(gestures->gesture(Qt::PinchGesture))) {
            const QPointF centre = mapFromGlobal(pinch->centerPoint());
            if (!covers(centre) && pinch->lastScaleFactor() > 0) {
                zoomBy(centre, std::log2(pinch->scaleFactor()), true);
            }
            return true;
        }
    }
    return QWidget::event(event);
}

} // namespace pivra
