#include "gallery/share/ShareGlyph.h"
#include "gallery/share/ShareNotch.h"

#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "support/desktop/Renders.h"

#include <QApplication>
#include <QDropEvent>
#include <QUrl>
#include <QMimeData>
#include <QPainter>
#include <gtest/gtest.h>

namespace pivra {
namespace {

using State = ShareNotch::State;

struct StateRow {
    bool targeted;
    bool committed;
    State state;
    const char* caption;
    const char* label;
    const char* file;
};

const StateRow stateRows[] = {
    {false, false, State::idle, "Drop to share", "Drop on Share to share", "idle"},
    {true, false, State::targeted, "Release to share", "Release to share with Share", "targeted"},
    {false, true, State::committed, "Opening…", "Opening Share", "committed"},
    {true, true, State::committed, "Opening…", "Opening Share", "committed"},
};

// The notch over the window's canvas of one scheme, as the window shows it.
QImage rendered(ShareNotch& notch, bool dark)
{
    QImage image(notch.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(PivraAppearance::canvas(dark));
    QPainter painter(&image);
    notch.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// How many pixels of the panel are tinted blue: the glyph, and its glow.
int bluePixels(const QImage& image, const QRect& panel)
{
    int count = 0;
    for (int y = panel.top(); y <= panel.bottom(); ++y) {
        for (int x = panel.left(); x <= panel.right(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            count += colour.blue() - colour.red() > 60 ? 1 : 0;
        }
    }
    return count;
}

class ShareNotchTest : public ::testing::Test {
protected:
    void TearDown() override { Motion::shared().setOverride(std::nullopt); }
};

TEST_F(ShareNotchTest, EachStateHasItsCaptionLabelAndGlowInBothSchemes)
{
    Motion::shared().setOverride(true);
    ShareNotch idle;
    const int plainGlyph = bluePixels(rendered(idle, false), idle.panelRect());
    for (const StateRow& row : stateRows) {
        SCOPED_TRACE(row.file);
        ShareNotch notch;
        notch.setTargeted(row.targeted);
        notch.setCommitted(row.committed);
        EXPECT_EQ(notch.state(), row.state);
        EXPECT_EQ(ShareNotch::caption(row.state), QString::fromUtf8(row.caption));
        EXPECT_EQ(notch.accessibleName(), QString::fromUtf8(row.label));
        for (const bool dark : {false, true}) {
            const QImage image = rendered(notch, dark);
            const QRect panel = notch.panelRect();
            image.save(test::rendersFolder() + QStringLiteral("/share-target-%1-%2.png")
                                                   .arg(QString::fromUtf8(row.file),
                                                        dark ? QStringLiteral("dark") : QStringLiteral("light")));
            EXPECT_EQ(image.pixel(panel.left() + 8, panel.center().y()), QColor::fromRgbF(0.14f, 0.15f, 0.19f).rgb());
            const int blue = bluePixels(image, panel);
            EXPECT_EQ(blue > plainGlyph * 5 / 4, row.state != State::idle) << blue << " against " << plainGlyph;
        }
    }
}

TEST_F(ShareNotchTest, TheGlowFadesOverAFifthOfASecondUnlessMotionIsReduced)
{
    Motion::shared().setOverride(false);
    ShareNotch notch;
    notch.setTargeted(true);
    QVariantAnimation& glow = notch.glowMotion();
    EXPECT_EQ(glow.duration(), 220);
    glow.pause();
    const std::pair<int, double> steps[] = {{0, 0.0}, {110, 0.5}, {220, 1.0}};
    for (const auto& [ms, expected] : steps) {
        glow.setCurrentTime(ms);
        EXPECT_NEAR(glow.currentValue().toDouble(), expected, 1e-6) << ms;
    }
    notch.setTargeted(false);
    notch.setCommitted(true);
    EXPECT_EQ(notch.glowMotion().endValue().toDouble(), 1.0) << "committed keeps the glow";

    Motion::shared().setOverride(true);
    notch.setCommitted(false);
    EXPECT_EQ(notch.glowMotion().currentValue().toDouble(), 0.0) << "at once with reduced motion";
}

TEST_F(ShareNotchTest, OnlyTheBlueGlyphIsLeftOfTheLightGround)
{
    QImage source(3, 1, QImage::Format_RGBA8888);
    source.setPixelColor(0, 0, QColor(255, 255, 255));
    source.setPixelColor(1, 0, QColor(0, 0, 0));
    source.setPixelColor(2, 0, QColor(128, 10, 10));
    const QImage tinted = ShareGlyph::tinted(source);
    EXPECT_EQ(tinted.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(tinted.pixelColor(1, 0), QColor(0, 122, 255, 255));
    EXPECT_EQ(tinted.pixelColor(2, 0).alpha(), 127);
    EXPECT_FALSE(ShareGlyph::image().isNull()) << "the bundled drawing is found";
    EXPECT_TRUE(ShareGlyph::image(QStringLiteral(":/gallery/none.png")).isNull());
}

// Drops are tested for their formats only; the data is never read.
TEST_F(ShareNotchTest, TakesFileDropsOnItsPanelWhenTheWindowAgrees)
{
    ShareNotch notch;
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/photos/1.jpg"))});
    QMimeData text;
    text.setText(QStringLiteral("not a file"));
    bool agree = true;
    int asked = 0;
    std::vector<QPoint> droppedAt;
    notch.setDropHandler([&](QPoint globalAt) {
        ++asked;
        droppedAt.push_back(globalAt);
        return agree;
    });
    std::vector<bool> over;
    QObject::connect(&notch, &ShareNotch::targetChanged, [&](bool now) { over.push_back(now); });

    const QPointF inside = notch.panelRect().center();
    QDragEnterEvent enter(inside.toPoint(), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&notch, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent margin(QPoint(2, 2), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&notch, &margin);
    EXPECT_FALSE(margin.isAccepted()) << "the shadow's margin is no target";
    EXPECT_EQ(over, (std::vector<bool>{true, false}));

    const struct {
        QMimeData* data;
        QPointF at;
        bool windowAgrees;
        bool taken;
    } drops[] = {
        {&files, inside, true, true},
        {&files, inside, false, false},
        {&files, QPointF(2, 2), true, false},
        {&text, inside, true, false},
    };
    for (const auto& drop : drops) {
        agree = drop.windowAgrees;
        // Qt hands a drop only to the widget that took the drag's entry.
        QDragEnterEvent entry(inside.toPoint(), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&notch, &entry);
        QDropEvent event(drop.at, Qt::CopyAction, drop.data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&notch, &event);
        EXPECT_EQ(event.isAccepted(), drop.taken);
    }
    EXPECT_EQ(asked, 2) << "the window is asked only about file drops on the panel";
    EXPECT_EQ(droppedAt, std::vector<QPoint>(2, notch.mapToGlobal(inside.toPoint()))) << "where the drop fell";
}

} // namespace
} // namespace pivra
