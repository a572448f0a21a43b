#include "viewer/controls/ViewerButton.h"

#include "style/motion/AnimatedValue.h"
#include "style/assets/Symbols.h"

#include <QPainter>
#include <QPainterPath>

namespace pivra {
namespace {

struct Look {
    QSize size;
    int symbol;
};

Look lookOf(ViewerButton::Kind kind)
{
    switch (kind) {
    case ViewerButton::Kind::round:
        return {{34, 34}, 16};
    case ViewerButton::Kind::zoomStep:
        return {{24, 28}, 12};
    case ViewerButton::Kind::navigation:
        return {{42, 58}, 19};
    }
    return {{34, 34}, 16};
}

} // namespace

ViewerButton::ViewerButton(Kind kind, const QString& symbol, QWidget* parent)
    : QAbstractButton(parent)
    , kind_(kind)
    , symbol_(symbol)
    , press_(new AnimatedValue(this, curves::easeInOut(0.22), 0))
{
    setFixedSize(lookOf(kind).size);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::pressed, this, [this] { press_->animateTo(1); });
    connect(this, &QAbstractButton::released, this, [this] { press_->animateTo(0); });
}

void ViewerButton::setSymbol(const QString& symbol)
{
    if (symbol_ != symbol) {
        symbol_ = symbol;
        update();
    }
}

void ViewerButton::setTint(const QColor& tint)
{
    tint_ = tint;
    update();
}

void ViewerButton::setHelp(const QString& help)
{
    setToolTip(help);
    setAccessibleName(help);
}

void ViewerButton::setScale(double scale)
{
    scale_ = scale;
    update();
}

void ViewerButton::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    Q_EMIT hoverChanged(true);
}

void ViewerButton::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    Q_EMIT hoverChanged(false);
}

void ViewerButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double pressed = press_->value();
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    const double scale = scale_ * (1 - 0.08 * pressed);
    painter.scale(scale, scale);
    painter.translate(-centre);
    painter.setOpacity(1 - 0.25 * pressed);

    const QRectF bounds(rect());
    if (kind_ == Kind::round) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(1, 1, 1, 0.12f));
        painter.drawEllipse(bounds);
    } else if (kind_ == Kind::navigation) {
        QPainterPath shape;
        shape.addRoundedRect(bounds, 12, 12);
        painter.fillPath(shape, QColor::fromRgbF(0, 0, 0, 0.44f));
    }
    const int side = lookOf(kind_).symbol;
    const QPixmap glyph = Symbols::pixmap(symbol_, {side, side}, tint_, devicePixelRatioF());
    painter.drawPixmap(QRectF(centre.x() - side / 2.0, centre.y() - side / 2.0, side, side), glyph,
                       QRectF(glyph.rect()));
}

} // namespace pivra
