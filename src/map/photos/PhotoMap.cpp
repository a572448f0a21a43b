#include "map/photos/PhotoMap.h"

#include "map/view/MapView.h"
#include "map/photos/PhotoClustering.h"
#include "map/photos/PhotoPin.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace pivra {

namespace {

// Room around the first fit: the covered strips plus this much; 80 at the
// top clears the pins' height.
constexpr double fitPaddingTop = 80;
constexpr double fitPadding = 70;
constexpr double focusPadding = 100;

QStringList signatureOf(const std::vector<MapPhoto>& photos)
{
    QStringList signature{QString::number(photos.size())};
    if (!photos.empty()) {
        signature << photos.front().id() << photos.back().id();
    }
    return signature;
}

} // namespace

PhotoMap::PhotoMap(MapView& map, ThumbnailStore& thumbnails, QObject* parent)
    : QObject(parent), map_(map), thumbnails_(thumbnails)
{
    map_.setOverlay([this](QPainter& painter) { paint(painter); });
    connect(&map_, &MapView::regionChanged, this, &PhotoMap::recluster);
    map_.installEventFilter(this);
    map_.setAccessibleParts([this] {
        std::vector<MapView::AccessiblePart> parts;
        for (const std::shared_ptr<Pin>& pin : inPaintOrder()) {
            parts.push_back({pin->view->accessibleName(), PhotoPin::rectAt(screenPlace(*pin)).toAlignedRect(),
                             [this, weak = std::weak_ptr<Pin>(pin)] {
                                 if (const std::shared_ptr<Pin> pressed = weak.lock()) {
                                     activate(*pressed);
                                 }
                             }});
        }
        return parts;
    });
    connect(&map_, &MapView::clicked, this, [this](QPointF position) {
        if (const std::shared_ptr<Pin> pin = pinAt(position)) {
            activate(*pin);
        }
    });
}

PhotoMap::~PhotoMap()
{
    // The view may go first when both are children of one widget.
    if (mapAlive_) {
        map_.setOverlay(nullptr);
        map_.setAccessibleParts(nullptr);
    }
}

// A fit that found the map hidden or without a size runs once it has one.
bool PhotoMap::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &map_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show) && needsFit_) {
        fitAll();
    }
    return QObject::eventFilter(watched, event);
}

void PhotoMap::setPhotos(const std::vector<MapPhoto>& photos)
{
    QStringList signature = signatureOf(photos);
    if (signature == signature_) {
        return;
    }
    signature_ = std::move(signature);
    photos_ = photos;
    points_.clear();
    dates_.clear();
    points_.reserve(photos_.size());
    dates_.reserve(photos_.size());
    for (const MapPhoto& photo : photos_) {
        points_.push_back(mapPointFor(photo.latitude(), photo.longitude()));
        dates_.push_back(photo.item().captureDate());
    }
    if (needsFit_) {
        QTimer::singleShot(0, this, [this] {
            if (needsFit_) {
                fitAll();
            }
        });
    }
    recluster();
}

void PhotoMap::fitAll()
{
    if (points_.empty() || map_.width() <= 0 || !map_.isVisible()) {
        return;
    }
    needsFit_ = false;
    MapRect all;
    for (const MapPoint point : points_) {
        all = all.united(MapRect::at(point));
    }
    const double side = mapPointsPerMeter(photos_.front().latitude()) * fitMinimumMeters;
    const QMargins covered = map_.coveredInsets();
    map_.setVisibleMapRect(withMinimumSide(all, side),
                           QMarginsF(covered.left() + fitPadding, covered.top() + fitPaddingTop, fitPadding, fitPadding));
}

void PhotoMap::show(const MapFocus& focus)
{
    if (shownFocus_ == focus.id) {
        return;
    }
    shownFocus_ = focus.id;
    needsFit_ = false;
    QTimer::singleShot(0, this, [this, rect = focus.rect] {
        const double latitude = coordinateFor({rect.x, rect.y}).latitude;
        const double side = mapPointsPerMeter(latitude) * focusMinimumMeters;
        const QMargins covered = map_.coveredInsets();
        map_.setVisibleMapRect(withMinimumSide(rect, side),
                               QMarginsF(covered.left() + focusPadding, covered.top() + focusPadding, focusPadding,
                                         focusPadding));
    });
}

void PhotoMap::recluster()
{
    if (map_.width() <= 0 || map_.height() <= 0) {
        return;
    }
    const MapRect visible = map_.visibleMapRect();
    // The map-point span of one cell on screen, measured along the view's
    // middle row.
    const double across = std::max(1.0, visible.width * map_.camera().scale());
    const double cellSize = pinSpacing / (across / visible.width);
    std::vector<ClusterDraft> drafts = clusterPhotos(points_, dates_, visible, cellSize);

    QHash<QString, std::shared_ptr<Pin>> next;
    next.reserve(qsizetype(drafts.size()));
    for (ClusterDraft& draft : drafts) {
        const MapPhoto& photo = photos_[std::size_t(draft.photo)];
        std::shared_ptr<Pin> pin = shown_.value(photo.id());
        if (!pin) {
            pin = std::make_shared<Pin>(Pin{photo, draft.point, {}, {}, nullptr});
            pin->view = std::make_shared<PhotoPin>(thumbnails_, [this] { map_.update(); });
        }
        // A kept pin follows its photo, which may have moved meanwhile.
        pin->photo = photo;
        pin->point = draft.point;
        pin->members = std::move(draft.members);
        pin->bounds = draft.bounds;
        pin->view->show(pin->photo, int(pin->members.size()));
        next.insert(photo.id(), std::move(pin));
    }
    shown_ = std::move(next);
    map_.update();
    map_.accessiblePartsChanged();
    Q_EMIT reclustered();
}

QPointF PhotoMap::screenPlace(const Pin& pin) const
{
    const double centerX = map_.camera().center().x;
    const MapPoint copy{pin.point.x + std::round((centerX - pin.point.x) / mapWorldSize) * mapWorldSize, pin.point.y};
    return map_.camera().toScreen(copy);
}

std::vector<std::shared_ptr<PhotoMap::Pin>> PhotoMap::inPaintOrder() const
{
    // Lower pins stand in front of higher ones, as they are nearer.
    std::vector<std::pair<double, std::shared_ptr<Pin>>> placed;
    placed.reserve(std::size_t(shown_.size()));
    for (const std::shared_ptr<Pin>& pin : shown_) {
        placed.emplace_back(screenPlace(*pin).y(), pin);
    }
    std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::shared_ptr<Pin>> pins;
    pins.reserve(placed.size());
    for (auto& entry : placed) {
        pins.push_back(std::move(entry.second));
    }
    return pins;
}

void PhotoMap::paint(QPainter& painter) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(map_.rect()).adjusted(0, 0, 0, PhotoPin::height);
    for (const std::shared_ptr<Pin>& pin : inPaintOrder()) {
        const QPointF place = screenPlace(*pin);
        if (PhotoPin::rectAt(place).intersects(area)) {
            pin->view->paint(painter, place);
        }
    }
}

std::shared_ptr<PhotoMap::Pin> PhotoMap::pinAt(QPointF position) const
{
    const std::vector<std::shared_ptr<Pin>> pins = inPaintOrder();
    const auto hit = std::find_if(pins.rbegin(), pins.rend(), [&](const std::shared_ptr<Pin>& pin) {
        return PhotoPin::rectAt(screenPlace(*pin)).contains(position);
    });
    return hit == pins.rend() ? nullptr : *hit;
}

void PhotoMap::activate(const Pin& pin)
{
    if (pin.members.size() == 1) {
        Q_EMIT opened(pin.photo.item());
    } else {
        Q_EMIT selected(selectionOf(pin));
    }
}

MapSelection PhotoMap::selectionOf(const Pin& pin) const
{
    MapSelection selection;
    selection.ids.reserve(qsizetype(pin.members.size()));
    for (const int member : pin.members) {
        selection.ids.insert(photos_[std::size_t(member)].id());
    }
    selection.latitude = pin.photo.latitude();
    selection.longitude = pin.photo.longitude();
    selection.span = std::max(pin.bounds.width, pin.bounds.height) / mapPointsPerMeter(pin.photo.latitude());
    return selection;
}

} // namespace pivra
