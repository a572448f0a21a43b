#include "viewer/video/controls/TransportButton.h"

#include "style/assets/Symbols.h"

#include <QPainter>

namespace pivra {

TransportButton::TransportButton(const QString& symbol, const QString& help, QWidget* parent)
    : QAbstractButton(parent)
    , symbol_(symbol)
{
    setFixedSize(side, side);
    setFocusPolicy(Qt::NoFocus);
    setHelp(help);
}

void TransportButton::setSymbol(const QString& symbol)
{
    if (symbol_ != symbol) {
        symbol_ = symbol;
        update();
    }
}

void TransportButton::setHelp(const QString& help)
{
    setToolTip(help);
    setAccessibleName(help);
}

void TransportButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (isDown()) {
        painter.setOpacity(0.6);
    }
    const QPixmap pixmap = Symbols::pixmap(symbol_, QSize(symbolSide, symbolSide),
                                           palette().color(QPalette::WindowText), devicePixelRatioF());
    painter.drawPixmap(QPoint((side - symbolSide) / 2, (side - symbolSide) / 2), pixmap);
}

} // namespace pivra
