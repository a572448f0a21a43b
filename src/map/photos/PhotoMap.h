#pragma once

#include "catalog/model/MapPhoto.h"
#include "map/MapStyle.h"
#include "map/view/MapView.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace pivra {

class PhotoPin;
class ThumbnailStore;

// Puts the located photos on a map view as pins and answers clicks on them.
//
// It takes the photo list (newest first) and keeps it only when its
// signature (count, first and last id) changed, fits the map to all photos
// the first time there are some, shows each focus once, and groups the
// photos into pins after every change of the list or of the view: 70-pixel
// cells, neighbouring cells merged (see clusterPhotos). Pins are kept by
// their representative photo across passes, so a pin that stays loads no
// image again; only its count and place are brought up to date. A click on
// a pin of one photo opens it; on a pin of several, it hands out their ids
// and extent.
class PhotoMap : public QObject {
    Q_OBJECT

public:
    // A pin cell's side on screen.
    static constexpr double pinSpacing = 70;
    // The smallest area the first fit and a focus show, in metres a side.
    static constexpr double fitMinimumMeters = 4000;
    static constexpr double focusMinimumMeters = 1500;

    struct Pin {
        MapPhoto photo;           // the representative
        MapPoint point;           // its place
        std::vector<int> members; // indexes into photos(), the representative first
        MapRect bounds;
        std::shared_ptr<PhotoPin> view;
    };

    PhotoMap(MapView& map, ThumbnailStore& thumbnails, QObject* parent = nullptr);
    ~PhotoMap() override;

    void setPhotos(const std::vector<MapPhoto>& photos);
    void show(const MapFocus& focus);
    void fitAll();
    void recluster();

    const std::vector<MapPhoto>& photos() const { return photos_; }
    const QStringList& signature() const { return signature_; }
    bool needsFit() const { return needsFit_; }
    // The pins on the map, keyed by their representative's id.
    const QHash<QString, std::shared_ptr<Pin>>& pins() const { return shown_; }
    // Where a pin stands on screen: its place in the copy of the world in view.
    QPointF screenPlace(const Pin& pin) const;
    // The topmost pin under a point of the map view.
    std::shared_ptr<Pin> pinAt(QPointF position) const;
    // What a click on the pin does.
    void activate(const Pin& pin);
    MapSelection selectionOf(const Pin& pin) const;

Q_SIGNALS:
    void opened(const MediaItem& item);
    void selected(const MapSelection& selection);
    // The pins changed after a pass.
    void reclustered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paint(QPainter& painter) const;
    std::vector<std::shared_ptr<Pin>> inPaintOrder() const;

    MapView& map_;
    QPointer<MapView> mapAlive_{&map_};
    ThumbnailStore& thumbnails_;
    std::vector<MapPhoto> photos_;
    std::vector<MapPoint> points_;
    std::vector<double> dates_;
    QStringList signature_;
    bool needsFit_ = true;
    std::optional<QUuid> shownFocus_;
    QHash<QString, std::shared_ptr<Pin>> shown_;
};

} // namespace pivra
