#include "app/header/PillTrack.h"

#include "style/motion/Motion.h"
#include "style/controls/PaintedAccessible.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace pivra {

namespace {

constexpr int trackPadding = 3;
constexpr int pillSpacing = 2;
constexpr int pillHeight = 25;

QPainterPath capsuleOf(const QRectF& rect)
{
    QPainterPath capsule;
    capsule.addRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    return capsule;
}

void fillCapsule(QPainter& painter, const QRectF& rect, const QColor& colour)
{
    painter.fillPath(capsuleOf(rect), colour);
}

// The track groups its pills; each is an exclusive choice a reader can press.
// The track is looked up at each question, so a track being torn down has no pills.
class PillTrackAccessible final : public PaintedAccessible {
public:
    explicit PillTrackAccessible(PillTrack* track)
        : PaintedAccessible(track, QAccessible::Grouping)
    {
    }

    int partCount() const override { return track() ? int(track()->labels().size()) : 0; }
    QString partText(int index, QAccessible::Text text) const override
    {
        return text == QAccessible::Name ? track()->labels()[index] : QString();
    }
    QRect partRect(int index) const override { return track()->pillRect(index); }
    QAccessible::Role partRole(int) const override { return QAccessible::RadioButton; }
    QAccessible::State partState(int index) const override
    {
        QAccessible::State state;
        state.focusable = true;
        state.checkable = true;
        state.checked = index == track()->selected();
        return state;
    }
    QStringList partActions(int) const override { return {pressAction()}; }
    void doPartAction(int index, const QString& action) override
    {
        if (action == pressAction()) {
            track()->press(index);
        }
    }
    int focusedPart() const override { return track() ? track()->focusedPill() : -1; }

private:
    PillTrack* track() const { return qobject_cast<PillTrack*>(widget()); }
};

} // namespace

PillTrack::PillTrack(QStringList labels, Look look, QWidget* parent)
    : QWidget(parent)
    , labels_(std::move(labels))
    , look_(look)
{
    installAccessibleFactory(&accessibleFor<PillTrack, PillTrackAccessible>);
    // Only the keyboard's Tab takes focus here: a click leaves it where it was.
    setFocusPolicy(Qt::TabFocus);
    setFixedHeight(sizeHint().height());
    connect(&motion_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        highlight_ = value.toDouble();
        update();
    });
}

QSize PillTrack::sizeHint() const
{
    return {look_.width, pillHeight + 2 * trackPadding};
}

QRect PillTrack::pillRect(int index) const
{
    const int count = static_cast<int>(labels_.size());
    const double width = (look_.width - 2 * trackPadding - pillSpacing * (count - 1)) / double(count);
    const int left = trackPadding + qRound(index * (width + pillSpacing));
    const int right = trackPadding + qRound(index * (width + pillSpacing) + width);
    return {left, trackPadding, right - left, pillHeight};
}

void PillTrack::setSelected(int index)
{
    if (index == selected_) {
        return;
    }
    const int previous = selected_;
    selected_ = index;
    QAccessible::State checked;
    checked.checked = true;
    PaintedAccessible::notifyState(this, previous, checked);
    PaintedAccessible::notifyState(this, index, checked);
    motion_.stop();
    motion_.setStartValue(highlight_);
    motion_.setEndValue(double(index));
    Motion::apply(motion_, curves::spring<320, 840>());
    if (isVisible() && motion_.duration() > 0) {
        motion_.start();
    } else {
        highlight_ = index;
    }
    update();
}

int PillTrack::pillAt(const QPoint& point) const
{
    for (int index = 0; index < labels_.size(); ++index) {
        if (pillRect(index).contains(point)) {
            return index;
        }
    }
    return -1;
}

void PillTrack::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton ? pillAt(event->position().toPoint()) : -1;
}

// A press counts when it is let go over the pill it began on.
void PillTrack::mouseReleaseEvent(QMouseEvent* event)
{
    const int pill = pillAt(event->position().toPoint());
    if (pill == pressed_) {
        press(pill);
    }
    pressed_ = -1;
}

void PillTrack::press(int index)
{
    if (index >= 0 && index < labels_.size()) {
        Q_EMIT clicked(index);
    }
}

void PillTrack::focusPill(int index)
{
    index = qBound(0, index, int(labels_.size()) - 1);
    if (index != focused_) {
        focused_ = index;
        update();
        PaintedAccessible::notify(this, index, QAccessible::Focus);
    }
}

void PillTrack::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        focusPill(focused_ - 1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        focusPill(focused_ + 1);
        break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        press(focused_);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

// The keyboard arrives on the choice in force.
void PillTrack::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    focused_ = selected_;
    update();
    PaintedAccessible::notify(this, focused_, QAccessible::Focus);
}

void PillTrack::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void PillTrack::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = PivraAppearance::isDark(palette());
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (look_.overMap) {
        material_.paint(painter, *this, capsuleOf(track));
    } else {
        fillCapsule(painter, track, PivraAppearance::primary(palette(), 0.035));
    }

    // The highlight glides between the two pills it lies between.
    const int low = qBound(0, int(std::floor(highlight_)), int(labels_.size()) - 1);
    const int high = qMin(low + 1, int(labels_.size()) - 1);
    const double fraction = highlight_ - low;
    const QRectF from = pillRect(low);
    const QRectF to = pillRect(high);
    const QRectF glide(from.left() + (to.left() - from.left()) * fraction, from.top(),
        from.width() + (to.width() - from.width()) * fraction, from.height());
    fillCapsule(painter, glide, PivraAppearance::primary(palette(), dark ? look_.highlightDark : look_.highlightLight));

    painter.setPen(QPen(PivraAppearance::primary(palette(), 0.08), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(track, track.height() / 2, track.height() / 2);

    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        const QRectF ring = QRectF(pillRect(focused_)).adjusted(1, 1, -1, -1);
        painter.drawRoundedRect(ring, ring.height() / 2, ring.height() / 2);
    }

    for (int index = 0; index < labels_.size(); ++index) {
        const bool chosen = index == selected_;
        painter.setFont(PivraFonts::font(12, chosen ? QFont::DemiBold : QFont::Medium));
        painter.setPen(palette().color(chosen ? QPalette::WindowText : QPalette::PlaceholderText));
        painter.drawText(pillRect(index), Qt::AlignCenter, labels_[index]);
    }
}

} // namespace pivra
