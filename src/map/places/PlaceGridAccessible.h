#pragma once

#include "style/controls/PaintedAccessible.h"

namespace pivra {

class PlaceGrid;

// What readers are told of the place grid: its viewport is a list of the
// parts the grid paints, in the order the keyboard walks them ("Show All
// Places" while there is a selection, then each section's header followed
// by its photos), each named as PlaceGrid::partName says and pressable as a
// click on it would be.
class PlaceGridAccessible final : public PaintedAccessible {
public:
    explicit PlaceGridAccessible(QWidget* viewport);

    // Lets readers find the place grids' viewports; once per program.
    static void install();

    int partCount() const override;
    QString partText(int index, QAccessible::Text text) const override;
    QRect partRect(int index) const override;
    QAccessible::Role partRole(int index) const override;
    QStringList partActions(int index) const override;
    void doPartAction(int index, const QString& action) override;
    int focusedPart() const override;

private:
    PlaceGrid* grid() const;
};

} // namespace pivra
