#include "viewer/video/hover/VideoHoverBubble.h"

#include "style/motion/AnimatedValue.h"

#include <QPainter>
#include <QPainterPath>

namespace pivra {
namespace {

constexpr int padding = 5;
constexpr int spacing = 4;
constexpr qreal panelRadius = 9;
constexpr qreal imageRadius = 7;

QFont timeFont(const QFont& base)
{
    QFont font = base;
    font.setPixelSize(11);
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

VideoHoverBubble::VideoHoverBubble(QWidget* parent)
    : QWidget(parent)
    , presence_(new AnimatedValue(this, curves::easeInOut(0.22), 0))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

QSize VideoHoverBubble::imageSize() const
{
    return frame_.isNull() ? QSize() : frame_.deviceIndependentSize().toSize().scaled(maxImage, Qt::KeepAspectRatio);
}

void VideoHoverBubble::setFrame(const QImage& frame)
{
    frame_ = frame;
    relayout();
}

void VideoHoverBubble::setTime(const QString& text)
{
    time_ = text;
    relayout();
}

void VideoHoverBubble::setCentre(QPoint centre)
{
    centre_ = centre;
    relayout();
}

void VideoHoverBubble::present(bool shown)
{
    if (shown) {
        relayout();
        show();
        raise();
    }
    presence_->animateTo(shown ? 1 : 0);
    if (!shown && presence_->value() == 0) {
        hide();
    }
}

bool VideoHoverBubble::presented() const
{
    return presence_->target() == 1;
}

void VideoHoverBubble::relayout()
{
    const QFontMetrics metrics(timeFont(font()));
    const QSize image = imageSize();
    const int contentWidth = std::max(image.width(), metrics.horizontalAdvance(time_));
    const int contentHeight = (image.isEmpty() ? 0 : image.height() + spacing) + metrics.height();
    const QSize size(contentWidth + 2 * padding, contentHeight + 2 * padding);
    setGeometry(QRect(centre_ - QPoint(size.width() / 2, size.height() / 2), size));
    update();
}

void VideoHoverBubble::paintEvent(QPaintEvent*)
{
    const double presence = presence_->value();
    if (presence <= 0) {
        if (!presented()) {
            hide();
        }
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(presence);
    const QPointF middle = QRectF(rect()).center();
    const double scale = 0.96 + 0.04 * presence;
    painter.translate(middle);
    painter.scale(scale, scale);
    painter.translate(-middle);

    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()), panelRadius, panelRadius);
    painter.fillPath(panel, QColor::fromRgbF(0, 0, 0, 0.92f));

    int top = padding;
    const QSize image = imageSize();
    if (!image.isEmpty()) {
        const QRectF area((width() - image.width()) / 2.0, top, image.width(), image.height());
        QPainterPath clip;
        clip.addRoundedRect(area, imageRadius, imageRadius);
        painter.save();
        painter.setClipPath(clip);
        painter.fillRect(area, Qt::black);
        painter.drawImage(area, frame_);
        painter.restore();
        top += image.height() + spacing;
    }
    painter.setFont(timeFont(font()));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(0, top, width(), height() - top - padding), Qt::AlignHCenter | Qt::AlignTop, time_);
}

} // namespace pivra
