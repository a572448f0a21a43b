#pragma once

#include "catalog/model/LibrarySource.h"
#include "catalog/model/MediaItem.h"
#include "gallery/drag/MediaPasteboard.h"

#include <QObject>
#include <QPointer>

#include <optional>

class QWidget;

namespace pivra {

class LibraryStore;
class LibraryWindow;
class MediaViewer;
class ThumbnailStore;
class ViewerTransition;

// Puts the viewer into the window's viewer backdrop while the store shows
// an item: a new viewer for each item (so each starts afresh), the same one
// told of changes to its item (a turn, a mark), of its source coming and
// going, of its device's lock and of the window's panel, full screen and
// share target. Its callbacks are the window's actions on the library.
// Opening and closing fade and scale it in and out unless motion is
// reduced; stepping to another item swaps the viewer at once.
class ViewerMount : public QObject {
    Q_OBJECT

public:
    ViewerMount(LibraryWindow& window, LibraryStore& store, ThumbnailStore& thumbnails, MediaPasteboard pasteboard,
                QWidget& backdrop);

    MediaViewer* viewer() const;
    void setFullscreen(bool fullscreen);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void itemChanged();
    void sourcesChanged();
    std::optional<LibrarySource> sourceOf(const MediaItem& item) const;
    bool isLocked(const MediaItem& item) const;
    void makeViewer(const MediaItem& item);
    void open(const MediaItem& item);
    void close();
    bool animates() const;
    void placeTransition(QWidget& host);

    LibraryWindow& window_;
    LibraryStore& store_;
    ThumbnailStore& thumbnails_;
    MediaPasteboard pasteboard_;
    QWidget& backdrop_;
    QPointer<MediaViewer> viewer_;
    ViewerTransition* transition_;
};

} // namespace pivra
