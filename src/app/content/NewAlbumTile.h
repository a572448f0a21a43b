#pragma once

#include <QAbstractButton>

namespace pivra {

// The last cell of the album overview: a dashed square with a plus and
// "New Album", which opens the name prompt for a new empty album.
class NewAlbumTile : public QAbstractButton {
    Q_OBJECT

public:
    explicit NewAlbumTile(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace pivra
