#pragma once

#include "gallery/preview/RotatablePreviewView.h"

#include <QElapsedTimer>

namespace pivra {

// How much of one frame the tiles it paints may spend composing their
// pictures: once it has spent 4 ms on tiles, later ones draw what they have
// (a tile whose image has not been composed yet, the bare placeholder it
// fades in over) and are finished in the frames that follow. A tile at rest
// is composed smooth at once, never roughly first; one changing size from
// frame to frame only roughly. The first tile that needs work always gets
// it, so a machine too busy for the budget still makes progress. Made at
// the start of a paint event; GUI thread only.
class PreviewFrameBudget {
public:
    // `spentBeforeNs`: what the frame already spent on its tiles before it
    // painted them.
    explicit PreviewFrameBudget(qint64 spentBeforeNs = 0);

    // Paints `preview` into `tile` within what is left of the frame;
    // `settled` is false while the tile changes size from frame to frame.
    // True when what it drew is not final and a later frame should paint
    // it again.
    bool paint(const RotatablePreviewView& preview, QPainter& painter, const QRectF& tile, bool dark, bool settled,
               const QImage& videoFrame = {}, double videoOpacity = 0);

private:
    QElapsedTimer spent_;
    const qint64 spentBeforeNs_;
    bool composedOne_ = false;
};

} // namespace pivra
