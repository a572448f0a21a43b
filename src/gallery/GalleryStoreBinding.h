#pragma once

#include "gallery/GalleryCallbacks.h"

namespace pivra {

class GalleryGrid;
class LibraryStore;

// Feeds the grid from the store and sends its actions back: the gallery
// result and its version, the albums, the album on screen and the
// disconnected sources follow the store; a click opens the viewer, the menu
// toggles favourites, copies, and adds to or removes from albums. Creating
// an album and showing a file need the window's dialogs and desktop, so the
// caller passes those two (either may be empty).
void bindGalleryToStore(GalleryGrid& grid, LibraryStore& store,
                        std::function<void(const QString& id)> createAlbum = {},
                        std::function<void(const MediaItem&)> reveal = {});

} // namespace pivra
