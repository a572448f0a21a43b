#include "style/controls/DisconnectedToggle.h"

#include "style/controls/PaintedAccessible.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/Symbols.h"

#include <QPainter>
#include <QPainterPath>

namespace pivra {

namespace {

constexpr int leadingPadding = 9;
constexpr int trailingPadding = 6;
constexpr int capsuleHeight = 28;
constexpr int spacing = 7;
constexpr QSize symbolSize(16, 16);
constexpr QSizeF trackSize(26, 15);
constexpr qreal knobDiameter = 11;
constexpr qreal dotDiameter = 6;

QPainterPath capsule(const QRectF& rect)
{
    QPainterPath path;
    path.addRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    return path;
}

QString stateWord(bool on)
{
    return on ? QStringLiteral("On") : QStringLiteral("Off");
}

// One button with no visible text: readers hear its name and whether it is on.
class ToggleAccessible final : public PaintedAccessible {
public:
    explicit ToggleAccessible(DisconnectedToggle* toggle)
        : PaintedAccessible(toggle, QAccessible::Button)
    {
    }

    QString text(QAccessible::Text text) const override
    {
        switch (text) {
        case QAccessible::Name:
            return QStringLiteral("Show disconnected");
        case QAccessible::Value:
            return stateWord(static_cast<const QAbstractButton*>(widget())->isChecked());
        default:
            return PaintedAccessible::text(text);
        }
    }
};

} // namespace

DisconnectedToggle::DisconnectedToggle(QWidget* parent)
    : QAbstractButton(parent)
    , hover_(this)
    , knob_(this, curves::spring<300, 820>(), 0)
{
    installAccessibleFactory(&accessibleFor<DisconnectedToggle, ToggleAccessible>);
    setCheckable(true);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        knob_.animateTo(on ? 1 : 0);
        describe();
        if (QAccessible::isActive()) {
            QAccessibleValueChangeEvent changed(this, stateWord(on));
            QAccessible::updateAccessibility(&changed);
        }
    });
    describe();
}

void DisconnectedToggle::setOfflineCount(int count)
{
    offlineCount_ = count;
    update();
}

QSize DisconnectedToggle::sizeHint() const
{
    return {leadingPadding + symbolSize.width() + spacing + static_cast<int>(trackSize.width()) + trailingPadding,
            capsuleHeight};
}

void DisconnectedToggle::describe()
{
    setToolTip(isChecked() ? QStringLiteral("Showing media from disconnected sources")
                           : QStringLiteral("Show media from disconnected sources"));
}

void DisconnectedToggle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colours = palette();
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.fillPath(capsule(bounds), PivraAppearance::primary(colours, 0.045 + 0.035 * hover_.progress()));
    painter.setPen(QPen(PivraAppearance::primary(colours, 0.08), 1));
    painter.drawPath(capsule(bounds));

    const qreal middle = rect().height() / 2.0;
    const QPointF symbolOrigin(leadingPadding, middle - symbolSize.height() / 2.0);
    painter.drawPixmap(symbolOrigin, Symbols::pixmap(QStringLiteral("externaldrive"), symbolSize,
                                                     colours.color(QPalette::ButtonText), devicePixelRatioF()));
    if (offlineCount_ > 0) {
        const QPointF dotCentre = symbolOrigin + QPointF(symbolSize.width() + 3 - dotDiameter / 2, dotDiameter / 2 - 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(PivraAppearance::systemRed(PivraAppearance::isDark(colours)));
        painter.drawEllipse(dotCentre, dotDiameter / 2, dotDiameter / 2);
    }

    const QRectF track(QPointF(symbolOrigin.x() + symbolSize.width() + spacing, middle - trackSize.height() / 2),
                       trackSize);
    const double on = knob_.value();
    painter.fillPath(capsule(track), PivraAppearance::primary(colours, 0.16 * (1 - on)));
    painter.fillPath(capsule(track), PivraAppearance::withOpacity(colours.color(QPalette::Highlight), on));

    const qreal inset = (trackSize.height() - knobDiameter) / 2;
    const qreal travel = trackSize.width() - knobDiameter - 2 * inset;
    const QRectF knob(track.left() + inset + travel * on, track.top() + inset, knobDiameter, knobDiameter);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.22f));
    painter.drawEllipse(knob.translated(0, 0.5).adjusted(-0.5, -0.5, 0.5, 0.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knob);
}

} // namespace pivra
