#pragma once

#include <QString>

class QAbstractButton;
class QWidget;

namespace pivra {

// A quiet header button showing the symbol `symbol` at `iconSide` pixels in
// its palette's text colour, described by `help` as its tooltip and
// accessible name.
QAbstractButton* symbolButton(const QString& symbol, const QString& help, int iconSide, QWidget* parent);

} // namespace pivra
