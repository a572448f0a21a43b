#include "app/content/AlbumOverview.h"

#include "app/content/AlbumCard.h"
#include "app/content/NewAlbumTile.h"
#include "app/header/HeaderModel.h"
#include "store/LibraryStore.h"

#include <QResizeEvent>
#include <QScrollBar>

namespace pivra {

AlbumOverview::AlbumOverview(LibraryStore& store, ThumbnailStore& thumbnails, QWidget* parent)
    : QScrollArea(parent), store_(store), thumbnails_(thumbnails), cells_(new QWidget), tile_(new NewAlbumTile(cells_))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidget(cells_);
    viewport()->setAutoFillBackground(false);
    cells_->setAutoFillBackground(false);
    connect(tile_, &QAbstractButton::clicked, this, &AlbumOverview::createRequested);
    connect(&store_, &LibraryStore::albumsChanged, this, &AlbumOverview::rebuild);
    connect(&store_, &LibraryStore::searchChanged, this, &AlbumOverview::rebuild);
    rebuild();
}

void AlbumOverview::rebuild()
{
    // A card may be the one whose click or menu changed the albums.
    for (AlbumCard* card : std::as_const(cards_)) {
        card->setOnScreen(false);
        card->hide();
        card->deleteLater();
    }
    cards_.clear();
    for (const Album& album : visibleAlbums(store_.albums(), store_.search())) {
        auto* card = new AlbumCard(album, thumbnails_, cells_);
        const QUuid id = album.id;
        connect(card, &QAbstractButton::clicked, this, [this, id] { store_.selectAlbum(id); });
        connect(card, &AlbumCard::renameRequested, this, &AlbumOverview::renameRequested);
        connect(card, &AlbumCard::deleteRequested, this, &AlbumOverview::deleteRequested);
        card->show();
        cards_.append(card);
    }
    layOut();
}

void AlbumOverview::layOut()
{
    const int width = viewport()->width();
    const int side = std::max(0, (width - 2 * padding - (columns - 1) * spacing) / columns);
    QList<QWidget*> cells(cards_.begin(), cards_.end());
    cells.append(tile_);
    for (int i = 0; i < cells.size(); ++i) {
        const int row = i / columns;
        const int column = i % columns;
        cells[i]->setGeometry(padding + column * (side + spacing), padding + row * (side + spacing), side, side);
    }
    const int rows = (int(cells.size()) + columns - 1) / columns;
    cells_->resize(width, 2 * padding + rows * side + (rows - 1) * spacing);
    updateVisibility();
}

void AlbumOverview::updateVisibility()
{
    const QRect band(QPoint(0, verticalScrollBar()->value()), viewport()->size());
    for (AlbumCard* card : cards_) {
        card->setOnScreen(isVisible() && band.intersects(card->geometry()));
    }
}

void AlbumOverview::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    layOut();
}

void AlbumOverview::scrollContentsBy(int dx, int dy)
{
    QScrollArea::scrollContentsBy(dx, dy);
    updateVisibility();
}

void AlbumOverview::showEvent(QShowEvent* event)
{
    QScrollArea::showEvent(event);
    updateVisibility();
}

void AlbumOverview::hideEvent(QHideEvent* event)
{
    QScrollArea::hideEvent(event);
    updateVisibility();
}

} // namespace pivra
