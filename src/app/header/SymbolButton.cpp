#include "app/header/SymbolButton.h"

#include "style/controls/SubtleToolButton.h"

namespace pivra {

QAbstractButton* symbolButton(const QString& symbol, const QString& help, int iconSide, QWidget* parent)
{
    auto* button = new SubtleToolButton(parent);
    button->setObjectName(symbol);
    button->setSymbol(symbol);
    button->setIconSize({iconSide, iconSide});
    button->setToolTip(help);
    button->setAccessibleName(help);
    return button;
}

} // namespace pivra
