#pragma once
// Drawing a map view the way a user sees it once it has settled: every base
// tile it shows drawn.

#include "map/basemap/BaseMapTiles.h"
#include "map/view/MapView.h"

#include <QCoreApplication>
#include <QImage>

namespace pivra::test {

// Draws the view at a pixel ratio until every base tile it shows is there,
// and answers the last frame.
inline QImage settledFrame(MapView& view, double ratio = 1)
{
    QImage frame((QSizeF(view.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(ratio);
    for (;;) {
        view.render(&frame);
        if (!view.baseTiles()->hasPending()) {
            return frame;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

} // namespace pivra::test
