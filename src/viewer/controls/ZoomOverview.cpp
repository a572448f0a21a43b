#include "viewer/controls/ZoomOverview.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace pivra {

ZoomOverview::ZoomOverview(QWidget* parent) : QWidget(parent)
{
    setFixedSize(64, 42);
    setToolTip(QStringLiteral("Visible part of the original image"));
    setAccessibleName(QStringLiteral("Visible image region"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ZoomOverview::setRegion(const QRectF& region, double aspectRatio)
{
    region_ = region;
    aspectRatio_ = aspectRatio;
    update();
}

QRectF ZoomOverview::pictureFrame(QSizeF size, double aspectRatio)
{
    // Not-a-number fails the comparison and takes the floor too.
    const double aspect = aspectRatio >= 0.05 ? aspectRatio : 0.05;
    const double width = std::min(size.width(), aspect * size.height());
    const double height = std::min(size.height(), size.width() / aspect);
    return {(size.width() - width) / 2, (size.height() - height) / 2, width, height};
}

void ZoomOverview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = pictureFrame(size(), aspectRatio_);
    QPainterPath rounded;
    rounded.addRoundedRect(frame, 3, 3);
    painter.fillPath(rounded, QColor::fromRgbF(1, 1, 1, 0.18f));
    painter.strokePath(rounded, QPen(QColor::fromRgbF(1, 1, 1, 0.55f), 1));

    const QRectF visible(frame.x() + frame.width() * region_.x(), frame.y() + frame.height() * region_.y(),
                         frame.width() * region_.width(), frame.height() * region_.height());
    painter.fillRect(visible, QColor::fromRgbF(1, 1, 1, 0.18f));
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(visible);
}

} // namespace pivra
