#include "style/appearance/PivraStyle.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

namespace pivra {

namespace {
// A few bars are on screen at once, each in one or two looks.
constexpr std::size_t keptGrooves = 8;
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
    const QImage& copy = groove(*option, pixelRatio, widget);
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

const QImage& PivraStyle::groove(const QStyleOptionComplex& option, qreal pixelRatio, const QWidget* widget) const
{
    const Groove wanted{option.rect.size(), pixelRatio, option.palette.cacheKey(), int(option.state),
                        int(option.activeSubControls), option.direction, {}};
    const auto same = [&wanted](const Groove& kept) {
        return kept.size == wanted.size && kept.pixelRatio == wanted.pixelRatio && kept.palette == wanted.palette &&
               kept.state == wanted.state && kept.active == wanted.active && kept.direction == wanted.direction;
    };
    auto found = std::find_if(grooves_.begin(), grooves_.end(), same);
    if (found == grooves_.end()) {
        Groove made = wanted;
        made.image = QImage((QSizeF(wanted.size) * pixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
        made.image.setDevicePixelRatio(pixelRatio);
        made.image.fill(Qt::transparent);
        auto only = *qstyleoption_cast<const QStyleOptionSlider*>(&option);
        only.rect.moveTopLeft({0, 0});
        only.subControls = SC_ScrollBarGroove;
        QPainter painter(&made.image);
        QProxyStyle::drawComplexControl(CC_ScrollBar, &only, &painter, widget);
        painter.end();
        if (grooves_.size() == keptGrooves) {
            grooves_.pop_back();
        }
        grooves_.insert(grooves_.begin(), std::move(made));
        return grooves_.front().image;
    }
    std::rotate(grooves_.begin(), found, found + 1);
    return grooves_.front().image;
}

} // namespace pivra
