#include "app/sidebar/UpdateSidebarButton.h"

#include "style/motion/Motion.h"
#include "style/assets/PivraFonts.h"
#include "style/assets/Symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

namespace pivra {

namespace {

using Kind = UpdateController::Phase::Kind;
using Icon = UpdateButtonFace::Icon;

constexpr int outerHorizontal = 10;
constexpr int outerBottom = 6;
constexpr int innerHorizontal = 10;
constexpr int innerVertical = 8;
constexpr int iconFrame = 22;
constexpr int iconSpacing = 10;
constexpr qreal cornerRadius = 9;
constexpr int titleSize = 13;
constexpr int subtitleSize = 11;
constexpr int spinSteps = 12;

QFont titleFont()
{
    return PivraFonts::font(titleSize, QFont::DemiBold);
}

QFont subtitleFont()
{
    // DejaVu Sans, the fallback of every family here, draws every digit at
    // one width, so a growing percentage does not jitter.
    return PivraFonts::font(subtitleSize);
}

} // namespace

std::optional<UpdateButtonFace> updateButtonFace(const UpdateController::Phase& phase)
{
    if (!phase.release()) {
        return std::nullopt;
    }
    const QString version = phase.release()->version;
    const QString download = QStringLiteral("Download and install Pivra %1").arg(version);
    const QString offer = QStringLiteral("Pivra %1 · Update Now").arg(version);
    switch (phase.kind) {
    case Kind::available:
        return UpdateButtonFace{Icon::available, QStringLiteral("Update Available"), offer, download};
    case Kind::downloading: {
        if (phase.expected == 0) {
            return UpdateButtonFace{Icon::progress, QStringLiteral("Updating Pivra…"), offer, download};
        }
        const double share = double(phase.received) / double(phase.expected);
        const auto percent = static_cast<long long>(share * 100); // truncated, never rounded up
        return UpdateButtonFace{Icon::progress, QStringLiteral("Updating Pivra…"),
                                QStringLiteral("Downloading %1%").arg(percent), download, share};
    }
    case Kind::extracting:
        return UpdateButtonFace{Icon::spinner, QStringLiteral("Updating Pivra…"),
                                QStringLiteral("Preparing %1").arg(version), download};
    case Kind::ready:
        return UpdateButtonFace{Icon::ready, QStringLiteral("Restart to Update"),
                                QStringLiteral("Pivra %1 is ready").arg(version),
                                QStringLiteral("Install Pivra %1 and reopen").arg(version)};
    case Kind::installing:
        return UpdateButtonFace{Icon::spinner, QStringLiteral("Installing…"), QStringLiteral("Pivra will reopen"),
                                download};
    default:
        return std::nullopt;
    }
}

UpdateSidebarButton::UpdateSidebarButton(UpdateController& updates, QWidget* parent)
    : QAbstractButton(parent)
    , updates_(updates)
    , motion_(new QVariantAnimation(this))
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(motion_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        reveal_ = value.toDouble();
        setFixedHeight(qRound(fullHeight() * std::clamp(reveal_, 0.0, 1.0)));
        update();
    });
    connect(motion_, &QVariantAnimation::finished, this, [this] { setVisible(face_.has_value()); });
    connect(this, &QAbstractButton::clicked, this, &UpdateSidebarButton::activate);
    spin_.setInterval(80);
    connect(&spin_, &QTimer::timeout, this, [this] {
        spinStep_ = (spinStep_ + 1) % spinSteps;
        update();
    });
    connect(&updates_, &UpdateController::changed, this, &UpdateSidebarButton::follow);
    setFixedHeight(0);
    hide();
    follow();
}

int UpdateSidebarButton::fullHeight() const
{
    const int text = QFontMetrics(titleFont()).height() + 1 + QFontMetrics(subtitleFont()).height();
    return std::max(iconFrame, text) + 2 * innerVertical + outerBottom;
}

QSize UpdateSidebarButton::sizeHint() const
{
    return {200, qRound(fullHeight() * reveal_)};
}

void UpdateSidebarButton::follow()
{
    const std::optional<UpdateButtonFace> face = updateButtonFace(updates_.phase());
    const bool arriving = face && !face_;
    const bool leaving = !face && face_;
    face_ = face;
    if (face) {
        drawn_ = *face;
        setToolTip(face->tooltip);
        setAccessibleName(QStringLiteral("%1, Pivra %2").arg(face->title, updates_.phase().release()->version));
    }
    if (drawn_.icon == Icon::spinner && face) {
        spin_.start();
    } else {
        spin_.stop();
    }
    if (arriving || leaving) {
        show();
        motion_->stop();
        motion_->setStartValue(reveal_);
        motion_->setEndValue(arriving ? 1.0 : 0.0);
        Motion::apply(*motion_, curves::spring<420, 860>());
        motion_->start();
    }
    update();
}

void UpdateSidebarButton::activate()
{
    if (updates_.phase().kind == Kind::installing) {
        updates_.restartNow();
        return;
    }
    Q_EMIT updateSettingsRequested();
    updates_.updateNow();
}

void UpdateSidebarButton::enterEvent(QEnterEvent* event)
{
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void UpdateSidebarButton::leaveEvent(QEvent* event)
{
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void UpdateSidebarButton::paintIcon(QPainter& painter, const QRectF& frame, const QColor& accent) const
{
    const QRectF ring = QRectF(0, 0, 16, 16).translated(frame.center() - QPointF(8, 8));
    QColor track = accent;
    track.setAlphaF(0.2);
    switch (drawn_.icon) {
    case Icon::available:
    case Icon::ready: {
        const QString name = drawn_.icon == Icon::available ? QStringLiteral("arrow.down.circle.fill")
                                                            : QStringLiteral("arrow.clockwise.circle.fill");
        painter.drawPixmap(QRectF(frame.center() - QPointF(9, 9), QSizeF(18, 18)).toRect(),
                           Symbols::pixmap(name, QSize(18, 18), accent, devicePixelRatioF()));
        break;
    }
    case Icon::progress:
        painter.setPen(QPen(track, 2.5));
        painter.drawEllipse(ring);
        painter.setPen(QPen(accent, 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(ring, 90 * 16, -qRound(std::clamp(drawn_.progress, 0.0, 1.0) * 360 * 16));
        break;
    case Icon::spinner:
        painter.setPen(QPen(track, 2.5));
        painter.drawEllipse(ring);
        painter.setPen(QPen(accent, 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(ring, (90 - spinStep_ * 360 / spinSteps) * 16, -100 * 16);
        break;
    }
}

void UpdateSidebarButton::paintEvent(QPaintEvent*)
{
    if (reveal_ <= 0) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Fades in as the growing height uncovers it from the top.
    painter.setOpacity(std::clamp(reveal_, 0.0, 1.0));
    const int full = fullHeight();

    const QColor accent = palette().color(QPalette::Highlight);
    const QRectF shape(outerHorizontal, 0, width() - 2 * outerHorizontal, full - outerBottom);
    // The border lies inside the shape and the fill inside the border, so
    // hovering, which deepens the fill, leaves the border's pixels alone.
    QPainterPath inside;
    inside.addRoundedRect(shape.adjusted(1, 1, -1, -1), cornerRadius - 1, cornerRadius - 1);
    QColor fill = accent;
    fill.setAlphaF(hovering_ ? 0.16 : 0.10);
    painter.fillPath(inside, fill);
    QPainterPath border;
    border.addRoundedRect(shape.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5, cornerRadius - 0.5);
    QColor edge = accent;
    edge.setAlphaF(0.22);
    painter.setPen(QPen(edge, 1));
    painter.drawPath(border);

    const QRectF content = shape.adjusted(innerHorizontal, innerVertical, -innerHorizontal, -innerVertical);
    paintIcon(painter, QRectF(content.left(), content.center().y() - iconFrame / 2.0, iconFrame, iconFrame), accent);

    const QFontMetrics titleMetrics(titleFont());
    const QFontMetrics subtitleMetrics(subtitleFont());
    const qreal textLeft = content.left() + iconFrame + iconSpacing;
    const qreal textWidth = content.right() - textLeft;
    const qreal textTop = content.center().y() - (titleMetrics.height() + 1 + subtitleMetrics.height()) / 2.0;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(titleFont());
    painter.drawText(QRectF(textLeft, textTop, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(drawn_.title, Qt::ElideRight, int(textWidth)));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.setFont(subtitleFont());
    painter.drawText(QRectF(textLeft, textTop + titleMetrics.height() + 1, textWidth, subtitleMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     subtitleMetrics.elidedText(drawn_.subtitle, Qt::ElideRight, int(textWidth)));
}

} // namespace pivra
