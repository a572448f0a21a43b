#include "style/controls/SubtleToolButton.h"

#include "style/appearance/PivraAppearance.h"
#include "style/assets/Symbols.h"

#include <QPainter>
#include <QPainterPath>

namespace pivra {

namespace {

constexpr int horizontalPadding = 4;
constexpr int verticalPadding = 2;
constexpr int iconTextGap = 4;

} // namespace

SubtleToolButton::SubtleToolButton(QWidget* parent)
    : QAbstractButton(parent)
    , hover_(this)
    , scale_(this, curves::spring<250, 700>(), 1)
{
    connect(this, &QAbstractButton::pressed, this, [this] { scale_.animateTo(Motion::reduced() ? 1 : 0.94); });
    connect(this, &QAbstractButton::released, this, [this] { scale_.animateTo(1); });
}

void SubtleToolButton::setSymbol(const QString& name)
{
    symbol_ = name;
    updateGeometry();
    update();
}

QSize SubtleToolButton::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    const bool pictured = !symbol_.isEmpty();
    int width = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    if (pictured) {
        width += iconSize().width() + (text().isEmpty() ? 0 : iconTextGap);
    }
    const int height = std::max(metrics.height(), pictured ? iconSize().height() : 0);
    return {width + 2 * horizontalPadding, height + 2 * verticalPadding};
}

void SubtleToolButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1 : 0.45);
    const QRectF bounds = rect();
    painter.translate(bounds.center());
    painter.scale(scale_.value(), scale_.value());
    painter.translate(-bounds.center());

    const double fill = isDown() ? 0.12 : (isEnabled() ? 0.07 * hover_.progress() : 0);
    if (fill > 0) {
        QPainterPath capsule;
        capsule.addRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
        painter.fillPath(capsule, PivraAppearance::primary(palette(), fill));
    }

    const QRect content = rect().adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    int x = content.left() + (content.width() - (sizeHint().width() - 2 * horizontalPadding)) / 2;
    if (!symbol_.isEmpty()) {
        // The painter's opacity alone fades a disabled button's symbol.
        const QRect iconArea(QPoint(x, content.center().y() - iconSize().height() / 2), iconSize());
        painter.drawPixmap(iconArea, Symbols::pixmap(symbol_, iconSize(), palette().color(QPalette::ButtonText),
                                                     devicePixelRatioF()));
        x = iconArea.right() + 1 + iconTextGap;
    }
    if (!text().isEmpty()) {
        painter.setPen(palette().color(QPalette::ButtonText));
        painter.drawText(QRect(x, content.top(), content.right() - x + 1, content.height()),
                         Qt::AlignVCenter | Qt::AlignLeft, text());
    }
}

} // namespace pivra
