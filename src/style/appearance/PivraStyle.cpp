#include "style/appearance/PivraStyle.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

namespace pivra {

namespace {
// Below the raster engine's threshold for handing a fill to its pool.
constexpr int bandRows = 64;
} // namespace

PivraStyle::PivraStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
}

void PivraStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                    const QWidget* widget) const
{
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar || !(bar->subControls & SC_ScrollBarGroove) || option->rect.isEmpty()) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // Copied a band at a time, since a copy of more rows under a clip would
    // go to the pool as well.
    const qreal pixelRatio = painter->device()->devicePixelRatio();
    const QImage& copy = groove(*bar, pixelRatio, widget);
    const QRect& rect = option->rect;
    for (int top = 0; top < rect.height(); top += bandRows) {
        const int rows = std::min(bandRows, rect.height() - top);
        painter->drawImage(QRectF(rect.left(), rect.top() + top, rect.width(), rows), copy,
                           QRectF(0, top * pixelRatio, copy.width(), rows * pixelRatio));
    }
    QStyleOptionSlider rest = *bar;
    rest.subControls &= ~SubControls(SC_ScrollBarGroove);
    QProxyStyle::drawComplexControl(control, &rest, painter, widget);
}

const QImage& PivraStyle::groove(const QStyleOptionSlider& bar, qreal pixelRatio, const QWidget* widget) const
{
    const GrooveLook look{bar.rect.size(), pixelRatio,          bar.palette.cacheKey(), int(bar.state),
                          int(bar.activeSubControls), bar.direction};
    return grooves_.get(look, [&] {
        QImage image((QSizeF(look.size) * pixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(pixelRatio);
        image.fill(Qt::transparent);
        QStyleOptionSlider only = bar;
        only.rect.moveTopLeft({0, 0});
        only.subControls = SC_ScrollBarGroove;
        QPainter painter(&image);
        QProxyStyle::drawComplexControl(CC_ScrollBar, &only, &painter, widget);
        painter.end();
        return image;
    });
}

} // namespace pivra
