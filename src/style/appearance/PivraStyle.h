#pragma once

#include "style/RecentPictures.h"

#include <QProxyStyle>

class QStyleOptionSlider;

namespace pivra {

// The application's widget style: Fusion, with one change in how it paints.
//
// Qt's raster engine hands any fill of more than 96 rows to its global
// thread pool and waits for the pool to finish it. Fusion fills a vertical
// scroll bar's groove with a gradient along its whole length, so every frame
// of scrolling woke the pool a dozen times and waited on it, and with every
// processor busy indexing a library that wait held up the GUI thread for
// milliseconds. The groove does not change as the bar moves: it is painted
// once for each look and size and copied after that, in bands too short for
// the pool, under the rest of the bar, which Fusion paints as before. What a
// bar looks like does not change.
class PivraStyle final : public QProxyStyle {
public:
    PivraStyle();

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;

private:
    // What Fusion paints a groove from.
    struct GrooveLook {
        QSize size;
        qreal pixelRatio = 1;
        qint64 palette = 0;
        int state = 0;
        int active = 0;
        Qt::LayoutDirection direction = Qt::LeftToRight;

        bool operator==(const GrooveLook&) const = default;
    };

    const QImage& groove(const QStyleOptionSlider& bar, qreal pixelRatio, const QWidget* widget) const;

    mutable RecentPictures<GrooveLook> grooves_{8}; // a few bars, each in one or two looks
};

} // namespace pivra
