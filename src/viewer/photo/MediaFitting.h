#pragma once

#include <QSizeF>

namespace pivra {

// How an item's picture fills the viewer's media area: the picture is framed
// unrotated, then turned by its quarter turns about the centre, so the frame
// is chosen such that the turned frame fits the area with its aspect kept.
struct MediaFitting {
    QSizeF frame;   // the unrotated frame the picture is drawn into
    QSizeF content; // the same frame as it lies on screen after turning

    // `width` and `height` are the item's pixels (below 1 when unknown: then
    // fitted as a square), `quarters` its clockwise quarter turns, `area`
    // the space offered.
    static MediaFitting of(int width, int height, int quarters, QSizeF area);
};

} // namespace pivra
