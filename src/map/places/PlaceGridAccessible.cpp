#include "map/places/PlaceGridAccessible.h"

#include "map/places/PlaceGrid.h"

namespace pivra {

namespace {

QAccessibleInterface* partsOf(const QString&, QObject* object)
{
    auto* grid = object ? qobject_cast<PlaceGrid*>(object->parent()) : nullptr;
    return grid && grid->viewport() == object ? new PlaceGridAccessible(grid->viewport()) : nullptr;
}

} // namespace

PlaceGridAccessible::PlaceGridAccessible(QWidget* viewport) : PaintedAccessible(viewport, QAccessible::List) {}

void PlaceGridAccessible::install()
{
    installAccessibleFactory(&partsOf);
}

PlaceGrid* PlaceGridAccessible::grid() const
{
    return qobject_cast<PlaceGrid*>(widget()->parent());
}

int PlaceGridAccessible::partCount() const
{
    const PlaceGrid* shown = grid();
    return shown ? shown->partCount() : 0;
}

QString PlaceGridAccessible::partText(int index, QAccessible::Text text) const
{
    const PlaceGrid* shown = grid();
    return shown && text == QAccessible::Name ? shown->partName(index) : QString();
}

QRect PlaceGridAccessible::partRect(int index) const
{
    const PlaceGrid* shown = grid();
    return shown ? shown->partRect(index).toAlignedRect() : QRect();
}

QAccessible::Role PlaceGridAccessible::partRole(int index) const
{
    const PlaceGrid* shown = grid();
    return shown && shown->part(index).kind == PlaceGrid::PartKind::tile ? QAccessible::ListItem
                                                                         : QAccessible::Button;
}

QStringList PlaceGridAccessible::partActions(int) const
{
    return {pressAction()};
}

void PlaceGridAccessible::doPartAction(int index, const QString& action)
{
    if (PlaceGrid* shown = grid(); shown && action == pressAction()) {
        shown->activatePart(index);
    }
}

int PlaceGridAccessible::focusedPart() const
{
    const PlaceGrid* shown = grid();
    return shown && shown->hasFocus() ? shown->focusedPart() : -1;
}

} // namespace pivra
