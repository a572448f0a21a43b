#include "gallery/preview/PreviewFrameBudget.h"

#include "media/thumbnails/ThumbnailStore.h"
#include "style/appearance/PivraAppearance.h"
#include "style/motion/Motion.h"
#include "support/desktop/Renders.h"
#include "support/system/TempFolder.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace pivra {
namespace {

// A screenful of tiles whose thumbnails all arrived at once (a jump to
// another year): the first frame composes what fits in its time and shows
// the rest as bare placeholders; the frames after it compose the rest,
// each at least one, each tile once, smooth.
class PreviewFrameBudgetTest : public test::TempFolderTest {};

TEST_F(PreviewFrameBudgetTest, AFrameComposesWhatFitsAndLaterFramesTheRest)
{
    ThumbnailStore store(ThumbnailLocations::under(pathOf(QStringLiteral("data")), pathOf(QStringLiteral("cache"))),
                         std::make_shared<ThumbnailRenderer>());
    Motion::shared().setOverride(true); // no fade: a composed tile is its picture at once
    QImage thumbnail(420, 315, QImage::Format_RGB888);
    thumbnail.fill(Qt::red);
    constexpr int columns = 6;
    constexpr QSize tile(300, 225);
    std::vector<std::unique_ptr<RotatablePreviewView>> views;
    for (int index = 0; index < 60; ++index) {
        views.push_back(std::make_unique<RotatablePreviewView>(store));
        views.back()->finishLoading(thumbnail);
    }
    const auto place = [&](int index) {
        return QRectF(QPointF((index % columns) * tile.width(), (index / columns) * tile.height()), tile);
    };
    QImage canvas(columns * tile.width(), 10 * tile.height(), QImage::Format_RGB32);
    const auto composed = [&] {
        int count = 0;
        for (const auto& view : views) {
            count += view->composeCount() > 0 ? 1 : 0;
        }
        return count;
    };

    int frames = 0;
    for (int before = 0; before < int(views.size()); ++frames) {
        canvas.fill(Qt::black);
        QPainter painter(&canvas);
        PreviewFrameBudget budget;
        for (int index = 0; index < int(views.size()); ++index) {
            const bool unrefined = budget.paint(*views[std::size_t(index)], painter, place(index), false, true);
            const bool done = views[std::size_t(index)]->composeCount() > 0;
            EXPECT_EQ(unrefined, !done);
            if (!done) {
                painter.end();
                EXPECT_EQ(canvas.pixelColor(place(index).center().toPoint()), PivraAppearance::lightPlaceholder);
                painter.begin(&canvas);
            }
        }
        painter.end();
        if (frames == 0) {
            canvas.save(test::rendersFolder() + QStringLiteral("/preview-frame-budget-first-frame.png"));
            EXPECT_LT(composed(), int(views.size())) << "a frame's time does not cover sixty tiles";
        }
        ASSERT_GT(composed(), before) << "every frame composes at least one tile";
        before = composed();
    }
    EXPECT_GT(frames, 1);
    for (int index = 0; index < int(views.size()); ++index) {
        EXPECT_EQ(views[std::size_t(index)]->composeCount(), 1);
        EXPECT_EQ(views[std::size_t(index)]->rescaleCount(), 1);
        EXPECT_EQ(canvas.pixelColor(place(index).center().toPoint()), QColor(Qt::red));
    }
    Motion::shared().setOverride(std::nullopt);
}

} // namespace
} // namespace pivra
