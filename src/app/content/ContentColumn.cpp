#include "app/content/ContentColumn.h"

#include "app/content/AlbumDialogs.h"
#include "app/content/AlbumOverview.h"
#include "app/content/EmptyState.h"
#include "app/window/LibraryWindow.h"
#include "gallery/GalleryGrid.h"
#include "gallery/GalleryStoreBinding.h"
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
      clear_(new QWidget)
{
    overviewPage_ = belowHeader(overview_);
    gridPage_ = belowHeader(grid_);
    for (QWidget* page : {overviewPage_, gridPage_, static_cast<QWidget*>(empty_), clear_}) {
        pages_->addWidget(page);
    }
    grid_->setTopInset(gridTopInset);
    bindGalleryToStore(
        *grid_, store_, [this](const QString& id) { presentAlbumEditor(id, std::nullopt); },
        [this](const MediaItem& item) { revealItem(item, desktop_); });

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

void ContentColumn::presentAlbumEditor(std::optional<QString> adding, std::optional<Album> renaming)
{
    pivra::presentAlbumEditor(store_, *window(), std::move(adding), std::move(renaming));
}

void ContentColumn::refresh()
{
    const ContentState state = ContentState::of(store_);
    page_ = choosePage(state);
    // Over the map the column is see-through, and the map takes the pointer.
    setAttribute(Qt::WA_TransparentForMouseEvents, page_ == ContentPage::map);
    switch (page_) {
    case ContentPage::albums:
        pages_->setCurrentWidget(overviewPage_);
        break;
    case ContentPage::map:
        pages_->setCurrentWidget(clear_);
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
