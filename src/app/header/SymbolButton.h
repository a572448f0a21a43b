#pragma once

#include <QString>

#include <initializer_list>

class QAbstractButton;
class QWidget;

namespace pivra {

// A quiet header button showing the symbol `symbol` at `iconSide` pixels,
// described by `help` as its tooltip and accessible name.
QAbstractButton* symbolButton(const QString& symbol, const QString& help, int iconSide, QWidget* parent);

// Draws each symbol button's symbol again in its palette's text colour, as a
// change of scheme needs.
void tintSymbols(std::initializer_list<QAbstractButton*> buttons);

} // namespace pivra
