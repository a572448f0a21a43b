#include "gallery/preview/PreviewFrameBudget.h"

namespace pivra {

namespace {
constexpr qint64 composeBudgetNs = 4'000'000;
} // namespace

PreviewFrameBudget::PreviewFrameBudget(qint64 spentBeforeNs)
    : spentBeforeNs_(spentBeforeNs)
{
    spent_.start();
}

bool PreviewFrameBudget::paint(const RotatablePreviewView& preview, QPainter& painter, const QRectF& tile, bool dark,
                               bool settled, const QImage& videoFrame, double videoOpacity)
{
    using Rescale = RotatablePreviewView::Rescale;
    const qint64 spent = composedOne_ ? spentBeforeNs_ + spent_.nsecsElapsed() : 0;
    const Rescale allowed = spent >= composeBudgetNs ? Rescale::none : settled ? Rescale::now : Rescale::later;
    const int composed = preview.composeCount();
    const bool unrefined = preview.paint(painter, tile, dark, allowed, videoFrame, videoOpacity);
    composedOne_ = composedOne_ || preview.composeCount() != composed;
    return unrefined;
}

} // namespace pivra
