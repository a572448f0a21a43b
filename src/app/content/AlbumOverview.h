#pragma once

#include "catalog/model/Album.h"

#include <QList>
#include <QScrollArea>

namespace pivra {

class AlbumCard;
class LibraryStore;
class NewAlbumTile;
class ThumbnailStore;

// The albums the search lets through, five square cards to a row, and the
// new-album tile after them. A click on a card shows the album; its menu
// and the tile ask the window, through the signals, for the album dialogs.
class AlbumOverview : public QScrollArea {
    Q_OBJECT

public:
    static constexpr int columns = 5;
    static constexpr int spacing = 18;
    static constexpr int padding = 24;

    AlbumOverview(LibraryStore& store, ThumbnailStore& thumbnails, QWidget* parent = nullptr);

    // The cards the search lets through, in order.
    const QList<AlbumCard*>& cards() const { return cards_; }
    NewAlbumTile* newAlbumTile() const { return tile_; }

Q_SIGNALS:
    void createRequested();
    void renameRequested(const pivra::Album& album);
    void deleteRequested(const pivra::Album& album);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void rebuild();
    AlbumCard* makeCard(const Album& album);
    void retire(AlbumCard* card);
    void layOut();
    // Tells each card whether it meets the viewport, which starts or drops
    // its cover request.
    void updateVisibility();

    LibraryStore& store_;
    ThumbnailStore& thumbnails_;
    QWidget* cells_;
    NewAlbumTile* tile_;
    // One card per album, in the store's order, and those the search shows.
    QList<AlbumCard*> allCards_;
    QList<AlbumCard*> cards_;
};

} // namespace pivra
