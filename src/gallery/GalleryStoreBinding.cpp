#include "gallery/GalleryStoreBinding.h"

#include "gallery/GalleryGrid.h"
#include "store/LibraryStore.h"

namespace pivra {

namespace {

QSet<QUuid> offlineSources(const LibraryStore& store)
{
    QSet<QUuid> offline;
    for (const LibrarySource& source : store.sources()) {
        if (!source.isOnline) {
            offline.insert(source.id);
        }
    }
    return offline;
}

// What the user chose to look at. A list of another scope opens at its top;
// a reload of the same scope (a favourite, a rescan, a source coming back)
// keeps the user's place.
struct Scope {
    bool favorites = false;
    bool albums = false;
    bool map = false;
    std::optional<QUuid> source;
    std::optional<QString> folder;
    std::optional<QUuid> album;
    MediaFilter filter = MediaFilter::all;
    QString search;

    bool operator==(const Scope&) const = default;
};

Scope scopeOf(const LibraryStore& store)
{
    return {.favorites = store.showsFavorites(),
            .albums = store.showsAlbums(),
            .map = store.showsMap(),
            .source = store.selectedSourceID(),
            .folder = store.selectedFolderPath(),
            .album = store.selectedAlbumID(),
            .filter = store.filter(),
            .search = store.search()};
}

} // namespace

void bindGalleryToStore(GalleryGrid& grid, LibraryStore& store, std::function<void(const QString&)> createAlbum,
                        std::function<void(const MediaItem&)> reveal)
{
    GalleryCallbacks callbacks;
    callbacks.onSelect = [&store](const MediaItem& item) { store.openViewer(item); };
    callbacks.onFavorite = [&store](const QString& id) { store.toggleFavorite(id); };
    callbacks.onAddToAlbum = [&store](const QUuid& album, const QString& id) { store.addToAlbum(album, id); };
    callbacks.onRemoveFromAlbum = [&store](const QUuid& album, const QString& id) {
        store.removeFromAlbum(album, id);
    };
    callbacks.onCopy = [&store](const MediaItem& item) { store.copyItem(item); };
    callbacks.onCreateAlbum = std::move(createAlbum);
    callbacks.onReveal = std::move(reveal);
    grid.setCallbacks(std::move(callbacks));

    // A selection changes the store's fields at once and its list arrives
    // later, so the scope is compared as each new list arrives, against the
    // scope of the list shown before it.
    auto shown = std::make_shared<Scope>(scopeOf(store));
    auto items = [&grid, &store, shown] {
        const Scope scope = scopeOf(store);
        const bool another = scope != *shown;
        *shown = scope;
        grid.setItems(store.items(), store.itemsVersion(),
                      another ? GalleryGrid::ItemsPlace::top : GalleryGrid::ItemsPlace::kept);
    };
    auto albums = [&grid, &store] { grid.setAlbums(store.albums()); };
    auto album = [&grid, &store] { grid.setCurrentAlbumID(store.selectedAlbumID()); };
    auto sources = [&grid, &store] { grid.setOfflineSourceIDs(offlineSources(store)); };
    QObject::connect(&store, &LibraryStore::itemsVersionChanged, &grid, items);
    QObject::connect(&store, &LibraryStore::albumsChanged, &grid, albums);
    QObject::connect(&store, &LibraryStore::selectedAlbumIDChanged, &grid, album);
    QObject::connect(&store, &LibraryStore::sourcesChanged, &grid, sources);
    items();
    albums();
    album();
    sources();
}

} // namespace pivra
