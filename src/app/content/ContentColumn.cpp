#include "app/content/ContentColumn.h"

#include "app/content/AlbumDialogs.h"
#include "app/content/AlbumOverview.h"
#include "app/content/EmptyState.h"
#include "app/window/LibraryWindow.h"
#include "gallery/GalleryGrid.h"
#include "gallery/GalleryStoreBinding.h"
#include "map/LibraryMap.h"
#include "map/places/PlaceGrid.h"
#include "store/LibraryStore.h"

#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace pivra {

ContentColumn::ContentColumn(LibraryStore& store, AlertPresenter& alerts, ThumbnailStore& thumbnails,
                             const VideoPreviewStore& clips, QWidget* parent)
    : QWidget(parent),
      store_(store),
      alerts_(alerts),
      pages_(new QStackedLayout(this)),
      overview_(new AlbumOverview(store, thumbnails)),
      grid_(new GalleryGrid(thumbnails, clips)),
      empty_(new EmptyState),
      map_(new LibraryMap(thumbnails))
{
    overviewPage_ = belowHeader(overview_);
    gridPage_ = belowHeader(grid_);
    for (QWidget* page : {overviewPage_, gridPage_, static_cast<QWidget*>(empty_), static_cast<QWidget*>(map_)}) {
        pages_->addWidget(page);
    }
    if (PlaceNamer* namer = store_.placeNamer()) {
        places_ = new PlaceGrid(*namer, thumbnails);
        placesPage_ = belowHeader(places_);
        pages_->addWidget(placesPage_);
        connect(places_, &PlaceGrid::opened, this,
                [this](const MediaItem& item) { openWithin(item, places_->photos()); });
        connect(places_, &PlaceGrid::showOnMap, this, &ContentColumn::showOnMapRequested);
        connect(places_, &PlaceGrid::showAll, this, &ContentColumn::showAllPlacesRequested);
    }
    grid_->setTopInset(gridTopInset);
    bindGalleryToStore(
        *grid_, store_, [this](const QString& id) { presentAlbumEditor(id, std::nullopt); },
        [this](const MediaItem& item) { revealItem(item, toMessage(store_), desktop_); });

    // The map lies under the header, beside the sidebar rather than under it.
    map_->setInsets(0, LibraryWindow::headerHeight);
    connect(map_, &LibraryMap::opened, this,
            [this](const MediaItem& item) { openWithin(item, store_.mapPhotos()); });
    connect(map_, &LibraryMap::selected, this, &ContentColumn::mapSelected);
    for (auto changed : {&LibraryStore::mapPhotosChanged, &LibraryStore::isReadingLocationsChanged}) {
        connect(&store_, changed, this, [this] {
            if (page_ == ContentPage::map) {
                refresh();
            }
        });
    }

    connect(overview_, &AlbumOverview::createRequested, this,
            [this] { presentAlbumEditor(std::nullopt, std::nullopt); });
    connect(overview_, &AlbumOverview::renameRequested, this,
            [this](const Album& album) { presentAlbumEditor(std::nullopt, album); });
    connect(overview_, &AlbumOverview::deleteRequested, this,
            [this](const Album& album) { confirmAlbumDeletion(store_, alerts_, album); });

    for (auto changed : {&LibraryStore::showsAlbumsChanged, &LibraryStore::showsMapChanged,
                         &LibraryStore::showsFavoritesChanged, &LibraryStore::sourcesChanged,
                         &LibraryStore::selectedSourceIDChanged, &LibraryStore::selectedAlbumIDChanged,
                         &LibraryStore::itemsChanged, &LibraryStore::totalCountChanged,
                         &LibraryStore::isScanningChanged, &LibraryStore::availableCamerasChanged}) {
        connect(&store_, changed, this, &ContentColumn::refresh);
    }
    refresh();
}

QWidget* ContentColumn::belowHeader(QWidget* content)
{
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    // The header lies over the top; the overview and the grid start below it.
    column->setContentsMargins(0, LibraryWindow::headerHeight, 0, 0);
    column->addWidget(content);
    return page;
}

void ContentColumn::setRowHeight(double height) { grid_->setRowHeight(height); }

void ContentColumn::setMapStyle(const QString& style)
{
    mapStyle_ = style;
    map_->setMapStyle(style);
    refresh();
}

void ContentColumn::setMapSelection(const std::optional<MapSelection>& selection)
{
    mapSelection_ = selection;
    if (places_ != nullptr) {
        places_->setSelection(selection);
    }
    refresh();
}

void ContentColumn::presentAlbumEditor(std::optional<QString> adding, std::optional<Album> renaming)
{
    pivra::presentAlbumEditor(store_, *window(), std::move(adding), std::move(renaming));
}

void ContentColumn::refresh()
{
    const ContentState state = ContentState::of(store_);
    page_ = choosePage(state);
    switch (page_) {
    case ContentPage::albums:
        pages_->setCurrentWidget(overviewPage_);
        break;
    case ContentPage::map:
        if (mapStyle_ == u"grid" && places_ != nullptr) {
            showPlaces();
        } else {
            showMap();
        }
        break;
    case ContentPage::onboarding:
        showOnboarding();
        break;
    case ContentPage::grid:
        pages_->setCurrentWidget(gridPage_);
        break;
    case ContentPage::empty:
        showEmptyState(state);
        break;
    }
}

// The photos reach the map only while it shows, so its first fit is made
// at the size it is seen at.
void ContentColumn::showMap()
{
    pages_->setCurrentWidget(map_);
    map_->setReadingLocations(store_.isReadingLocations());
    map_->setPhotos(store_.mapPhotos());
}

// The place grid shows the picked pin's photos, or every located photo.
void ContentColumn::showPlaces()
{
    pages_->setCurrentWidget(placesPage_);
    places_->showLocated(store_.mapPhotos(), store_.mapPhotosVersion());
}

// The viewer steps through the photos the item was picked among, newest first.
void ContentColumn::openWithin(const MediaItem& item, const std::vector<MapPhoto>& photos)
{
    std::vector<MediaItem> within;
    within.reserve(photos.size());
    for (const MapPhoto& photo : photos) {
        within.push_back(photo.item());
    }
    store_.openViewer(item, within);
}

void ContentColumn::showOnboarding()
{
    empty_->setContent(QStringLiteral("Your gallery starts with a source"), QStringLiteral("photo.on.rectangle.angled"),
                       QStringLiteral("Choose a folder or connect and unlock an iPhone. Pivra keeps the original "
                                      "files in place."));
    empty_->addButton(QStringLiteral("Choose a folder or disk…"), [this] { store_.addFolders(); });
    for (const AvailableCameraDevice& camera : store_.availableCameras()) {
        empty_->addButton(u"Add " + camera.name, [this, id = camera.id] { store_.addCamera(id); });
    }
    pages_->setCurrentWidget(empty_);
}

void ContentColumn::showEmptyState(const ContentState& state)
{
    const EmptyStateText text = emptyStateText(state);
    empty_->setContent(text.title, text.symbol, text.description);
    if (const std::optional<QUuid> source = text.reconnectSourceID) {
        empty_->addButton(QStringLiteral("Reconnect folder…"), [this, id = *source] { store_.reconnectSource(id); });
    }
    pages_->setCurrentWidget(empty_);
}

} // namespace pivra
