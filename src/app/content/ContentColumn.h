#pragma once

#include "app/content/ContentChoice.h"
#include "app/content/FileReveal.h"
#include "catalog/model/Album.h"
#include "catalog/model/MapPhoto.h"
#include "map/MapStyle.h"

#include <QWidget>

#include <optional>

class QStackedLayout;

namespace pivra {

class AlbumOverview;
class AlertPresenter;
class EmptyState;
class GalleryGrid;
class LibraryMap;
class PlaceGrid;
class LibraryStore;
class ThumbnailStore;
class VideoPreviewStore;

// The library window's column under the header: the album overview, the
// gallery grid, the first-run notice, the nothing-to-show notice, the map or
// the place grid, as the store's view asks. It wires each of them to the
// store and opens the album dialogs.
class ContentColumn : public QWidget {
    Q_OBJECT

public:
    // The grid's own space above its first row.
    static constexpr int gridTopInset = 10;

    ContentColumn(LibraryStore& store, AlertPresenter& alerts, ThumbnailStore& thumbnails,
                  const VideoPreviewStore& clips, QWidget* parent = nullptr);

    ContentPage page() const { return page_; }
    AlbumOverview* albumOverview() const { return overview_; }
    GalleryGrid* grid() const { return grid_; }
    EmptyState* emptyState() const { return empty_; }
    LibraryMap* map() const { return map_; }
    // None when the store names no places.
    PlaceGrid* placeGrid() const { return places_; }

    // The row height the window keeps for the grid.
    void setRowHeight(double height);
    // The window's map style: the place grid takes the map's place.
    void setMapStyle(const QString& style);
    // The photos of the map pin last picked, which the place grid shows.
    void setMapSelection(const std::optional<MapSelection>& selection);
    // How "Show in Files" reaches the desktop; tests give their own.
    void setDesktopReveal(DesktopReveal desktop) { desktop_ = std::move(desktop); }

    // The album name prompt: a new album holding `adding` when given, or a
    // new name for `renaming`.
    void presentAlbumEditor(std::optional<QString> adding, std::optional<Album> renaming);

Q_SIGNALS:
    // A pin of several photos was clicked on the map.
    void mapSelected(const MapSelection& selection);
    // The place grid asked to see a group on the map.
    void showOnMapRequested(const MapFocus& focus);
    // The place grid's selection bar asked for every place again.
    void showAllPlacesRequested();

private:
    void refresh();
    void showEmptyState(const ContentState& state);
    void showOnboarding();
    void showMap();
    void showPlaces();
    void openWithin(const MediaItem& item, const std::vector<MapPhoto>& photos);
    QWidget* belowHeader(QWidget* content);

    LibraryStore& store_;
    AlertPresenter& alerts_;
    QStackedLayout* pages_;
    AlbumOverview* overview_;
    GalleryGrid* grid_;
    EmptyState* empty_;
    LibraryMap* map_;
    PlaceGrid* places_ = nullptr;
    QWidget* placesPage_ = nullptr;
    QWidget* overviewPage_;
    QWidget* gridPage_;
    ContentPage page_ = ContentPage::empty;
    QString mapStyle_;
    std::optional<MapSelection> mapSelection_;
    DesktopReveal desktop_ = DesktopReveal::system();
};

} // namespace pivra
