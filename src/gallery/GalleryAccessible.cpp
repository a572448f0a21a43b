#include "gallery/GalleryAccessible.h"

#include "gallery/GalleryGrid.h"

#include <QMenu>
#include <QScrollBar>

namespace pivra {

namespace {

// The grid's viewport is where the tiles are painted, so it is their list.
QAccessibleInterface* tilesOf(const QString&, QObject* object)
{
    auto* grid = object ? qobject_cast<GalleryGrid*>(object->parent()) : nullptr;
    return grid && grid->viewport() == object ? new GalleryAccessible(grid->viewport()) : nullptr;
}

} // namespace

GalleryAccessible::GalleryAccessible(QWidget* viewport)
    : PaintedAccessible(viewport, QAccessible::List)
{
}

GalleryGrid* GalleryAccessible::grid() const
{
    return qobject_cast<GalleryGrid*>(widget()->parent());
}

void GalleryAccessible::install()
{
    installAccessibleFactory(&tilesOf);
}

void GalleryAccessible::itemsReloaded(GalleryGrid& grid)
{
    PaintedAccessible* tiles = of(grid.viewport());
    if (!tiles) {
        return;
    }
    tiles->forgetParts();
    if (QAccessible::isActive()) {
        QAccessibleTableModelChangeEvent reset(grid.viewport(), QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&reset);
    }
}

void GalleryAccessible::offlineChanged(GalleryGrid& grid)
{
    notify(grid.viewport(), -1, QAccessible::NameChanged);
}

int GalleryAccessible::partCount() const
{
    const GalleryGrid* shown = grid();
    return shown ? int(shown->items()->size()) : 0;
}

QString GalleryAccessible::partText(int index, QAccessible::Text text) const
{
    const MediaItem& item = (*grid()->items())[index];
    switch (text) {
    case QAccessible::Name:
        return grid()->offlineSourceIDs().contains(item.sourceID()) ? item.name() + u", disconnected" : item.name();
    case QAccessible::Description:
        return item.isFavorite() ? QStringLiteral("Favorite") : QString();
    default:
        return {};
    }
}

QRect GalleryAccessible::partRect(int index) const
{
    return grid()->tileRect(index).value_or(QRectF()).toAlignedRect();
}

QAccessible::Role GalleryAccessible::partRole(int) const
{
    return QAccessible::ListItem;
}

QStringList GalleryAccessible::partActions(int) const
{
    return {pressAction(), showMenuAction()};
}

void GalleryAccessible::doPartAction(int index, const QString& action)
{
    if (action == pressAction()) {
        grid()->openItem(index);
    } else if (action == showMenuAction()) {
        if (QMenu* menu = grid()->menuFor(index)) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(grid()->viewport()->mapToGlobal(partRect(index).center()));
        }
    }
}

int GalleryAccessible::partAt(QPoint point) const
{
    const GalleryGrid* shown = grid();
    return shown ? shown->layout().itemAt(QPointF(point) + QPointF(0, shown->verticalScrollBar()->value())).value_or(-1)
                 : -1;
}

} // namespace pivra
