#pragma once

#include "catalog/model/Album.h"

#include <QAbstractButton>
#include <QImage>

#include <memory>

class QMenu;

namespace pivra {

class QueueOperation;
class ThumbnailStore;

// The square tile of one album: its cover (or a placeholder symbol when it
// has none) under its name and item count. The cover is asked for each time
// the card comes on screen and its pending request is dropped when the card
// leaves it; the image it got stays.
class AlbumCard : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int cornerRadius = 17;
    static constexpr int coverPixels = 420;
    static const QColor background;

    AlbumCard(Album album, ThumbnailStore& thumbnails, QWidget* parent = nullptr);
    ~AlbumCard() override;

    const Album& album() const { return album_; }
    // "1,234 items" in the user's number format; "1 items" for one.
    QString countText() const;
    bool hasCoverImage() const { return !cover_.isNull(); }

    // The overview tells each card whether it meets the visible band.
    void setOnScreen(bool onScreen);
    bool isOnScreen() const { return onScreen_; }

    // The card's context menu, as a right click opens it; owned by the card.
    QMenu* menu();

Q_SIGNALS:
    void renameRequested(const pivra::Album& album);
    void deleteRequested(const pivra::Album& album);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void requestCover();

    Album album_;
    ThumbnailStore& thumbnails_;
    QImage cover_;
    std::shared_ptr<QueueOperation> operation_;
    bool onScreen_ = false;
    QMenu* menu_ = nullptr;
};

} // namespace pivra
