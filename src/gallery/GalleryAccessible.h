#pragma once

#include "style/controls/PaintedAccessible.h"

namespace pivra {

class GalleryGrid;

// What readers are told of the gallery: its viewport is a list with one
// item per photo or video of the result, named as the tile's tooltip is,
// with ", disconnected" while its source is offline and described as
// "Favorite" while it is one. Pressing an item opens it; its menu is the
// tile's. With a million items nothing is made ahead: an item's element is
// made when a reader asks for that index, and a reload drops them all.
class GalleryAccessible final : public PaintedAccessible {
public:
    explicit GalleryAccessible(QWidget* viewport);

    // Lets readers ask for the gallery's items; every grid calls it as it is made.
    static void install();
    // The grid shows another list: the items asked for are dropped, and
    // listening readers are told to ask again.
    static void itemsReloaded(GalleryGrid& grid);
    // Sources went offline or came back: the names of items asked for changed.
    static void offlineChanged(GalleryGrid& grid);

    int partCount() const override;
    QString partText(int index, QAccessible::Text text) const override;
    QRect partRect(int index) const override;
    QAccessible::Role partRole(int index) const override;
    QStringList partActions(int index) const override;
    void doPartAction(int index, const QString& action) override;
    int partAt(QPoint point) const override;

private:
    // Looked up at each question, so a grid being torn down has no items.
    GalleryGrid* grid() const;
};

} // namespace pivra
