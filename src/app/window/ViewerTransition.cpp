#include "app/window/ViewerTransition.h"

#include "style/motion/Motion.h"

#include <QPainter>

namespace pivra {

namespace {

constexpr double startScale = 0.985;

} // namespace

ViewerTransition::ViewerTransition(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        progress_ = value.toDouble();
        update();
    });
    connect(&animation_, &QVariantAnimation::finished, this, &ViewerTransition::stop);
}

double ViewerTransition::scale() const { return startScale + (1 - startScale) * progress_; }

void ViewerTransition::enter(QPixmap viewer, QPixmap under)
{
    viewer_ = std::move(viewer);
    under_ = std::move(under);
    play(1);
}

void ViewerTransition::leave(QPixmap viewer)
{
    viewer_ = std::move(viewer);
    under_ = QPixmap();
    play(0);
}

// Starts from wherever a transition under way has got to, so closing while
// opening turns back instead of jumping.
void ViewerTransition::play(double target)
{
    const double from = running() ? progress_ : 1 - target;
    animation_.stop();
    progress_ = from;
    running_ = true;
    raise();
    show();
    animation_.setStartValue(from);
    animation_.setEndValue(target);
    Motion::apply(animation_, curves::easeOut(0.3));
    animation_.start();
}

void ViewerTransition::stop()
{
    const bool wasRunning = running_;
    running_ = false;
    animation_.stop();
    hide();
    viewer_ = QPixmap();
    under_ = QPixmap();
    if (wasRunning) {
        Q_EMIT finished();
    }
}

void ViewerTransition::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!under_.isNull()) {
        painter.drawPixmap(rect(), under_);
    }
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(scale(), scale());
    painter.translate(-centre);
    painter.setOpacity(progress_);
    painter.drawPixmap(rect(), viewer_);
}

} // namespace pivra
