#include "app/content/ContentChoice.h"

#include "store/LibraryStore.h"

namespace pivra {

ContentState ContentState::of(const LibraryStore& store)
{
    ContentState state;
    state.albums = store.showsAlbums();
    state.map = store.showsMap();
    state.favorites = store.showsFavorites();
    state.hasSources = !store.sources().isEmpty();
    state.albumID = store.selectedAlbumID();
    state.hasItems = store.items() && !store.items()->empty();
    state.totalCount = store.totalCount();
    state.scanning = store.isScanning();
    if (const std::optional<QUuid> id = store.selectedSourceID()) {
        for (const LibrarySource& source : store.sources()) {
            if (source.id == *id) {
                state.selectedSource = source;
                break;
            }
        }
    }
    return state;
}

ContentPage choosePage(const ContentState& state)
{
    if (state.albums) {
        return ContentPage::albums;
    }
    if (state.map) {
        return ContentPage::map;
    }
    if (!state.hasSources && !state.albumID) {
        return ContentPage::onboarding;
    }
    if (state.hasItems || state.totalCount != 0 || state.scanning) {
        return ContentPage::grid;
    }
    return ContentPage::empty;
}

EmptyStateText emptyStateText(const ContentState& state)
{
    EmptyStateText text;
    const std::optional<LibrarySource>& source = state.selectedSource;
    const bool camera = source && source->kind == LibrarySource::Kind::camera;
    if (state.albumID) {
        text = {QStringLiteral("This album is empty"), QStringLiteral("rectangle.stack"),
                QStringLiteral("Right-click a photo or video and choose Add to Album."), {}};
    } else if (state.favorites) {
        text = {QStringLiteral("No favorites yet"), QStringLiteral("heart"),
                QStringLiteral("Use the heart on a photo or video to add it here."), {}};
    } else {
        text.title = QStringLiteral("Nothing to show yet");
        text.symbol = QStringLiteral("photo");
        if (camera) {
            text.description = QStringLiteral(
                "Unlock the iPhone and tap Trust if prompted. Its media appears after the device catalog is ready.");
        } else if (source && !source->isOnline) {
            text.description = QStringLiteral("This folder or drive is unavailable.");
        } else {
            text.description = QStringLiteral("Try another source, change your search, or rescan your folders.");
        }
    }
    // The button follows the selected source alone, whichever words were chosen.
    if (source && !source->isOnline && !camera) {
        text.reconnectSourceID = source->id;
    }
    return text;
}

} // namespace pivra
