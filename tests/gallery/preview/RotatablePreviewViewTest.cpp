#include "gallery/preview/RotatablePreviewView.h"

#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "platform/runtime/Drain.h"
#include "support/files/JpegMaker.h"
#include "support/desktop/Renders.h"
#include "support/system/TempFolder.h"

#include <QFileInfo>
#include <QPainter>
#include <QTest>

#include <atomic>

namespace pivra {
namespace {

// The real renderer, except that files named "late…" wait until the test
// lets them go, so their answer arrives when the test chooses.
class HeldRenderer : public ThumbnailRenderer {
public:
    Rendering render(const MediaItem& item, int pixels, DecodeUrgency urgency) const override
    {
        if (QFileInfo(item.path()).fileName().startsWith(QLatin1String("late"))) {
            entered = true;
            held.wait(true);
        }
        return ThumbnailRenderer::render(item, pixels, urgency);
    }

    void release()
    {
        held = false;
        held.notify_all();
    }

    mutable std::atomic<bool> held{true};
    mutable std::atomic<bool> entered{false};
};

bool isColor(const QImage& image, QColor color)
{
    const QColor seen = image.pixelColor(image.width() / 2, image.height() / 2);
    return std::abs(seen.red() - color.red()) < 40 && std::abs(seen.green() - color.green()) < 40
        && std::abs(seen.blue() - color.blue()) < 40;
}

class RotatablePreviewViewTest : public test::TempFolderTest {
protected:
    void TearDown() override
    {
        renderer->release();
        store.reset();
        Motion::shared().setOverride(std::nullopt);
    }

    MediaItem photo(const QString& name, QColor color)
    {
        const QString path = pathOf(name);
        EXPECT_TRUE(test::makeJpeg(path, QSize(600, 400), {}, color));
        MediaItem item;
        item.setSourceID(sourceID);
        item.setPath(path);
        item.setID(MediaItem::makeID(sourceID, path));
        item.setFileSize(QFileInfo(path).size());
        item.setModifiedAt(1700000000);
        return item;
    }

    QImage render(const RotatablePreviewView& view, const QImage& frame = {}) const
    {
        QImage canvas(300, 200, QImage::Format_RGB32);
        canvas.fill(Qt::magenta);
        QPainter painter(&canvas);
        view.paint(painter, QRectF(canvas.rect()), true, RotatablePreviewView::Rescale::now, frame, 1);
        return canvas;
    }

    QUuid sourceID = QUuid::createUuid();
    std::shared_ptr<HeldRenderer> renderer = std::make_shared<HeldRenderer>();
    std::unique_ptr<ThumbnailStore> store = std::make_unique<ThumbnailStore>(
        ThumbnailLocations::under(pathOf(QStringLiteral("data")), pathOf(QStringLiteral("cache"))), renderer);
    RotatablePreviewView view{*store};
};

TEST_F(RotatablePreviewViewTest, ALateImageForARecycledTileIsDropped)
{
    const MediaItem blue = photo(QStringLiteral("blue.jpg"), Qt::blue);
    for (const bool rebound : {true, false}) {
        SCOPED_TRACE(rebound ? "rebound to another item" : "reused");
        renderer->held = true;
        renderer->entered = false;
        // Different pictures, so that neither is already stored under its key.
        view.configure(photo(QStringLiteral("late-%1.jpg").arg(rebound), rebound ? Qt::red : Qt::magenta));
        ASSERT_TRUE(QTest::qWaitFor([&] { return renderer->entered.load(); }, 20000));
        if (rebound) {
            view.configure(blue);
            ASSERT_TRUE(QTest::qWaitFor([&] { return !view.image().isNull(); }, 20000));
        } else {
            view.prepareForReuse();
        }
        renderer->release();
        ASSERT_TRUE(QTest::qWaitFor([&] { return store->displayQueue().runningCount() == 0; }, 20000));
        ASSERT_TRUE(drain());

        EXPECT_EQ(view.showsSkeleton(), !rebound);
        EXPECT_EQ(view.image().isNull(), !rebound);
        EXPECT_TRUE(!rebound || isColor(view.image(), Qt::blue));
    }
}

TEST_F(RotatablePreviewViewTest, TheImageFadesInOnceAndStaysWhenTheSameItemIsBoundAgain)
{
    const MediaItem item = photo(QStringLiteral("green.jpg"), Qt::green);
    view.configure(item);
    EXPECT_TRUE(view.showsSkeleton());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.image().isNull(); }, 20000));
    EXPECT_FALSE(view.showsSkeleton());
    EXPECT_LT(view.opacity(), 1.0) << "fading in";
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.opacity() == 1.0; }, 2000));

    view.configure(item); // a reload after a favourite toggle: answered from memory
    EXPECT_FALSE(view.showsSkeleton());
    EXPECT_TRUE(isColor(view.image(), Qt::green));
    EXPECT_EQ(view.opacity(), 1.0) << "no second fade";

    Motion::shared().setOverride(true);
    view.configure(photo(QStringLiteral("yellow.jpg"), Qt::yellow));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.image().isNull(); }, 20000));
    EXPECT_EQ(view.opacity(), 1.0) << "no fade while motion is reduced";
}

TEST_F(RotatablePreviewViewTest, PaintsSkeletonThenTheTurnedImageThenTheVideo)
{
    Motion::shared().setOverride(true);
    const QColor placeholder = PivraAppearance::darkPlaceholder;
    QImage loading = render(view);
    EXPECT_EQ(loading.pixelColor(150, 100), placeholder);
    EXPECT_NE(loading.pixelColor(50, 180), placeholder) << "the short bar near the bottom";
    EXPECT_EQ(loading.pixelColor(250, 180), placeholder) << "beyond the short bar";
    EXPECT_EQ(loading.pixelColor(0, 0), QColor(Qt::magenta)) << "rounded corner";

    // A square, red on top and blue below, turned a quarter clockwise: red
    // on the right, bands of placeholder beside it. Thumbnails come as three
    // bytes a pixel; other images as four.
    MediaItem turned = photo(QStringLiteral("turned.jpg"), Qt::white);
    turned.setRotationQuarters(1);
    for (const QImage::Format format : {QImage::Format_RGB888, QImage::Format_RGB32}) {
        SCOPED_TRACE(format);
        QImage square(100, 100, format);
        square.fill(Qt::blue);
        QPainter(&square).fillRect(0, 0, 100, 50, Qt::red);
        view.configure(turned);
        view.finishLoading(square);
        const QImage shown = render(view);
        shown.save(test::rendersFolder() + QStringLiteral("/preview-turned-%1-bytes.png").arg(square.depth() / 8));
        EXPECT_EQ(shown.pixelColor(30, 100), placeholder);
        EXPECT_EQ(shown.pixelColor(270, 100), placeholder);
        EXPECT_EQ(shown.pixelColor(200, 100), QColor(Qt::red));
        EXPECT_EQ(shown.pixelColor(100, 100), QColor(Qt::blue));
        EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::magenta)) << "rounded corner";
    }

    QImage frame(64, 36, QImage::Format_RGB32);
    frame.fill(Qt::green);
    EXPECT_EQ(render(view, frame).pixelColor(30, 100), QColor(Qt::green)) << "the video covers the tile";
}

} // namespace
} // namespace pivra
