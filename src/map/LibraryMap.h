#pragma once

#include "catalog/model/MapPhoto.h"
#include "map/MapStyle.h"

#include <QWidget>

#include <vector>

namespace pivra {

class MapEmptyCard;
class MapView;
class PhotoMap;
class ThumbnailStore;

// The map row's pane: the photo map under the window's header (and sidebar,
// where it lies over the map), the base map or the configured tiles as the
// style asks, and, while no photo has a location, a card saying why,
// centred in the part of the map nothing covers. The map stays usable
// around the card.
class LibraryMap : public QWidget {
    Q_OBJECT

public:
    // Tile servers, empty by default: a URL template for the map style and
    // one for satellite imagery.
    static const QString tileURLKey;      // "pivra.map.tileURL"
    static const QString satelliteURLKey; // "pivra.map.satelliteURL"

    explicit LibraryMap(ThumbnailStore& thumbnails, QWidget* parent = nullptr);

    void setPhotos(const std::vector<MapPhoto>& photos);
    void setReadingLocations(bool reading);
    // The strips of the map covered by the sidebar (left) and the header (top).
    void setInsets(int leading, int top);
    void setMapFocus(const MapFocus& focus);
    // The stored style: "satellite" shows imagery, anything else the map.
    void setMapStyle(const QString& style);
    // Reads the tile servers from the settings again.
    void applyTileSettings();

    MapView* mapView() const { return map_; }
    PhotoMap* photoMap() const { return photos_; }
    MapEmptyCard* emptyCard() const { return card_; }

Q_SIGNALS:
    void opened(const MediaItem& item);
    void selected(const MapSelection& selection);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeCard();

    MapView* map_;
    PhotoMap* photos_;
    MapEmptyCard* card_;
    int leading_ = 0;
    int top_ = 0;
    bool satellite_ = false;
};

} // namespace pivra
