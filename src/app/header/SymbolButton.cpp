#include "app/header/SymbolButton.h"

#include "style/controls/SubtleToolButton.h"
#include "style/assets/Symbols.h"

namespace pivra {

QAbstractButton* symbolButton(const QString& symbol, const QString& help, int iconSide, QWidget* parent)
{
    auto* button = new SubtleToolButton(parent);
    button->setObjectName(symbol);
    button->setIconSize({iconSide, iconSide});
    button->setToolTip(help);
    button->setAccessibleName(help);
    return button;
}

void tintSymbols(std::initializer_list<QAbstractButton*> buttons)
{
    for (QAbstractButton* button : buttons) {
        button->setIcon(Symbols::icon(button->objectName(), button->palette().color(QPalette::WindowText)));
    }
}

} // namespace pivra
