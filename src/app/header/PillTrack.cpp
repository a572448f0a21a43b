#include "app/header/PillTrack.h"

#include "style/Motion.h"
#include "style/PivraAppearance.h"
#include "style/PivraFonts.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace pivra {

namespace {

constexpr int trackPadding = 3;
constexpr int pillSpacing = 2;
constexpr int pillHeight = 25;

void fillCapsule(QPainter& painter, const QRectF& rect, const QColor& colour)
{
    QPainterPath capsule;
    capsule.addRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    painter.fillPath(capsule, colour);
}

} // namespace

PillTrack::PillTrack(QStringList labels, Look look, QWidget* parent)
    : QWidget(parent)
    , labels_(std::move(labels))
    , look_(look)
{
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
    selected_ = index;
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
    if (pill >= 0 && pill == pressed_) {
        Q_EMIT clicked(pill);
    }
    pressed_ = -1;
}

void PillTrack::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = PivraAppearance::isDark(palette());
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor trackFill = PivraAppearance::canvas(dark);
    trackFill.setAlphaF(0.85);
    fillCapsule(painter, track, look_.overMap ? trackFill : PivraAppearance::primary(palette(), 0.035));

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

    for (int index = 0; index < labels_.size(); ++index) {
        const bool chosen = index == selected_;
        painter.setFont(PivraFonts::font(12, chosen ? QFont::DemiBold : QFont::Medium));
        painter.setPen(palette().color(chosen ? QPalette::WindowText : QPalette::PlaceholderText));
        painter.drawText(pillRect(index), Qt::AlignCenter, labels_[index]);
    }
}

} // namespace pivra
