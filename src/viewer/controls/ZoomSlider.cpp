#include "viewer/controls/ZoomSlider.h"

#include "style/motion/AnimatedValue.h"
#include "style/controls/PaintedAccessible.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace pivra {
namespace {

constexpr double accessibleStep = 0.25;

// One element to a reader: "Zoom", its value in whole percent, and steps up
// and down.
class ZoomSliderAccessible final : public QAccessibleWidget {
public:
    explicit ZoomSliderAccessible(ZoomSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

    QString text(QAccessible::Text text) const override
    {
        switch (text) {
        case QAccessible::Name:
            return QStringLiteral("Zoom");
        case QAccessible::Value:
            return QString::number(static_cast<long long>(slider()->zoom() * 100)) + u" percent";
        default:
            return QAccessibleWidget::text(text);
        }
    }
    int childCount() const override { return 0; }
    QStringList actionNames() const override { return {increaseAction(), decreaseAction()}; }
    void doAction(const QString& action) override
    {
        if (action == increaseAction()) {
            slider()->stepBy(1);
        } else if (action == decreaseAction()) {
            slider()->stepBy(-1);
        }
    }

private:
    ZoomSlider* slider() const { return static_cast<ZoomSlider*>(widget()); }
};

} // namespace

ZoomSlider::ZoomSlider(QWidget* parent)
    : QWidget(parent)
    , activity_(new AnimatedValue(this, curves::easeOut(0.15), 0))
{
    installAccessibleFactory(accessibleFor<ZoomSlider, ZoomSliderAccessible>);
    setFixedHeight(fixedHeight);
    setAttribute(Qt::WA_Hover);
    setToolTip(QStringLiteral("Zoom"));
}

double ZoomSlider::position(double zoom, double low, double high)
{
    const double t = std::log(zoom / low) / std::log(high / low);
    return std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
}

double ZoomSlider::zoomAt(double t, double low, double high)
{
    const double clamped = std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
    return low * std::pow(high / low, clamped);
}

void ZoomSlider::setZoom(double zoom)
{
    zoom_ = zoom;
    update();
}

void ZoomSlider::setRange(double low, double high)
{
    low_ = low;
    high_ = high;
    update();
}

void ZoomSlider::setKnob(double diameter)
{
    knob_ = diameter;
    update();
}

double ZoomSlider::trackLength() const
{
    return std::max(width() - knob_, 1.0);
}

void ZoomSlider::stepBy(int direction)
{
    Q_EMIT zoomRequested(direction > 0 ? std::min(zoom_ + accessibleStep, high_)
                                       : std::max(zoom_ - accessibleStep, low_),
                         false);
}

void ZoomSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const double track = trackLength();
    const double t = position(zoom_, low_, high_);
    const double pressed = event->position().x();
    pressX_ = pressed;
    const double knobCentre = track * t + knob_ / 2;
    if (std::abs(pressed - knobCentre) > knob_) {
        // Kept unclamped, so dragging on from a press past an end starts
        // where the pointer is, not where the knob stopped.
        dragStart_ = (pressed - knob_ / 2) / track;
        activityChanged();
        Q_EMIT zoomRequested(zoomAt(*dragStart_, low_, high_), true);
        return;
    }
    dragStart_ = t;
    activityChanged();
    Q_EMIT zoomRequested(zoomAt(t, low_, high_), false);
}

void ZoomSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragStart_) {
        return;
    }
    const double moved = (event->position().x() - pressX_) / trackLength();
    Q_EMIT zoomRequested(zoomAt(*dragStart_ + moved, low_, high_), false);
}

void ZoomSlider::mouseReleaseEvent(QMouseEvent*)
{
    dragStart_.reset();
    activityChanged();
}

void ZoomSlider::enterEvent(QEnterEvent*) { setHovered(true); }

void ZoomSlider::leaveEvent(QEvent*) { setHovered(false); }

void ZoomSlider::setHovered(bool hovered)
{
    hovered_ = hovered;
    activityChanged();
}

void ZoomSlider::activityChanged()
{
    activity_->animateTo(isActive() ? 1 : 0);
}

void ZoomSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const double active = activity_->value();
    const double trackHeight = 3 + active;
    const double middle = fixedHeight / 2.0;
    const double t = position(zoom_, low_, high_);
    const double knobLeft = trackLength() * t;

    const auto capsule = [&](double width, const QColor& color) {
        QPainterPath path;
        path.addRoundedRect(QRectF(0, middle - trackHeight / 2, width, trackHeight), trackHeight / 2,
                            trackHeight / 2);
        painter.fillPath(path, color);
    };
    capsule(width(), QColor::fromRgbF(1, 1, 1, 0.20f));
    capsule(knobLeft + knob_ / 2, QColor::fromRgbF(1, 1, 1, 0.85f));

    const double diameter = knob_ * (1 + 0.12 * active);
    const QPointF centre(knobLeft + knob_ / 2, middle);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.35f / 2));
    painter.drawEllipse(centre + QPointF(0, 1), diameter / 2 + 1.25, diameter / 2 + 1.25);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, diameter / 2, diameter / 2);
}

} // namespace pivra
