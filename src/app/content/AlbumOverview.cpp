#include "app/content/AlbumOverview.h"

#include "app/content/AlbumCard.h"
#include "app/content/NewAlbumTile.h"
#include "app/header/HeaderModel.h"
#include "store/LibraryStore.h"

#include <QHash>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSet>

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

namespace {

bool sameAlbum(const Album& a, const Album& b)
{
    return a.id == b.id && a.name == b.name && a.itemCount == b.itemCount && a.cover == b.cover;
}

} // namespace

// Each search keystroke comes here: the cards of albums that did not change
// are kept, with their covers, and only shown or hidden, so typing asks the
// thumbnail store for nothing again.
void AlbumOverview::rebuild()
{
    QHash<QUuid, AlbumCard*> previous;
    for (AlbumCard* card : std::as_const(allCards_)) {
        previous.insert(card->album().id, card);
    }
    allCards_.clear();
    for (const Album& album : store_.albums()) {
        AlbumCard* card = previous.take(album.id);
        if (card && !sameAlbum(card->album(), album)) {
            retire(card);
            card = nullptr;
        }
        allCards_.append(card ? card : makeCard(album));
    }
    for (AlbumCard* card : std::as_const(previous)) {
        retire(card);
    }

    QSet<QUuid> shown;
    for (const Album& album : visibleAlbums(store_.albums(), store_.search())) {
        shown.insert(album.id);
    }
    cards_.clear();
    for (AlbumCard* card : std::as_const(allCards_)) {
        const bool visible = shown.contains(card->album().id);
        card->setVisible(visible);
        if (visible) {
            cards_.append(card);
        } else {
            card->setOnScreen(false);
        }
    }
    layOut();
}

AlbumCard* AlbumOverview::makeCard(const Album& album)
{
    auto* card = new AlbumCard(album, thumbnails_, cells_);
    const QUuid id = album.id;
    connect(card, &QAbstractButton::clicked, this, [this, id] { store_.selectAlbum(id); });
    connect(card, &AlbumCard::renameRequested, this, &AlbumOverview::renameRequested);
    connect(card, &AlbumCard::deleteRequested, this, &AlbumOverview::deleteRequested);
    return card;
}

// A card may be the one whose click or menu changed the albums, so it goes
// once that has returned.
void AlbumOverview::retire(AlbumCard* card)
{
    card->setOnScreen(false);
    card->hide();
    card->deleteLater();
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
