// The header's quiet button, the disconnected switch and the sidebar row
// background, drawn with motion reduced so every change shows at once.
#include "style/controls/DisconnectedToggle.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "style/controls/SubtleRowHover.h"
#include "style/controls/SubtleToolButton.h"

#include <QAccessible>
#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

class SubtleControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Motion::shared().setOverride(true);
        QApplication::setPalette(palette);
    }
    void TearDown() override { Motion::shared().setOverride(std::nullopt); }

    // `widget` drawn over the canvas.
    static QImage render(QWidget& widget)
    {
        QImage image(widget.size(), QImage::Format_ARGB32);
        image.fill(PivraAppearance::lightCanvas);
        widget.render(&image, {}, {}, QWidget::DrawChildren);
        return image;
    }

    static void hover(QWidget& widget)
    {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(&widget, &enter);
    }

    static QColor over(const QColor& tint) // `tint` composed over the canvas
    {
        QImage pixel(1, 1, QImage::Format_ARGB32);
        pixel.fill(PivraAppearance::lightCanvas);
        QPainter(&pixel).fillRect(0, 0, 1, 1, tint);
        return pixel.pixelColor(0, 0);
    }

    const QPalette palette = PivraAppearance::palette(false);
};

TEST_F(SubtleControlsTest, RowShowsSelectionOverHoverAndNothingOtherwise)
{
    const QColor selection(0x33, 0x66, 0xcc);
    struct Row {
        double selected, hover;
        QColor expected;
    };
    for (const Row& row : {Row{1, 1, selection}, Row{0, 0, PivraAppearance::lightCanvas},
                           Row{0, 1, over(PivraAppearance::primary(palette, 0.06))}}) {
        QImage image(120, 28, QImage::Format_ARGB32);
        image.fill(PivraAppearance::lightCanvas);
        QPainter painter(&image);
        SubtleRowHover::paint(painter, image.rect(), palette, row.selected, selection, row.hover);
        painter.end();
        EXPECT_EQ(image.pixelColor(60, 14).rgb(), row.expected.rgb()) << row.selected << row.hover;
        EXPECT_EQ(image.pixelColor(0, 0).rgb(), PivraAppearance::lightCanvas.rgb()); // rounded corner
    }
}

TEST_F(SubtleControlsTest, ToolButtonTintsOnHoverAndPressOnlyWhenEnabled)
{
    SubtleToolButton button;
    button.setText(QStringLiteral("Aa"));
    button.resize(60, 24);
    const QPoint edge(2, 12); // inside the capsule, outside its label
    EXPECT_EQ(render(button).pixelColor(edge).rgb(), PivraAppearance::lightCanvas.rgb());
    hover(button);
    EXPECT_EQ(render(button).pixelColor(edge).rgb(), over(PivraAppearance::primary(palette, 0.07)).rgb());

    // Pressed: the darker fill, and with motion reduced no shrinking away from the edge.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(30, 12));
    EXPECT_EQ(render(button).pixelColor(1, 12).rgb(), over(PivraAppearance::primary(palette, 0.12)).rgb());
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(30, 12));

    button.setEnabled(false);
    hover(button);
    EXPECT_EQ(render(button).pixelColor(edge).rgb(), PivraAppearance::lightCanvas.rgb());
}

TEST_F(SubtleControlsTest, ToggleReadsAsOneButtonWhoseValueIsOnOrOff)
{
    DisconnectedToggle toggle;
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&toggle);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->role(), QAccessible::Button);
    EXPECT_EQ(reader->text(QAccessible::Name), "Show disconnected");
    EXPECT_EQ(reader->text(QAccessible::Value), "Off");
    EXPECT_TRUE(reader->state().checkable);
    EXPECT_EQ(reader->childCount(), 0);

    const auto act = [reader](const QString& action) {
        return [reader, action] { reader->actionInterface()->doAction(action); };
    };
    struct Row {
        const char* how;
        std::function<void()> change;
        bool on;
    };
    const Row rows[] = {{"a click", [&toggle] { QTest::mouseClick(&toggle, Qt::LeftButton); }, true},
                        {"the toggle action", act(QAccessibleActionInterface::toggleAction()), false},
                        {"the press action", act(QAccessibleActionInterface::pressAction()), true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        row.change();
        EXPECT_EQ(toggle.isChecked(), row.on);
        EXPECT_EQ(reader->text(QAccessible::Value), row.on ? "On" : "Off");
        EXPECT_EQ(reader->state().checked, row.on);
    }
}

TEST_F(SubtleControlsTest, ToggleMovesItsKnobAndShowsTheDotOnlyWhenOffline)
{
    DisconnectedToggle toggle;
    toggle.resize(toggle.sizeHint());
    ASSERT_EQ(toggle.height(), 28);
    const int trackLeft = 9 + 16 + 7;
    const QPoint leadingKnob(trackLeft + 2 + 5, 14), trailingKnob(trackLeft + 26 - 2 - 5, 14);
    const QImage off = render(toggle);
    EXPECT_EQ(off.pixelColor(leadingKnob).rgb(), QColor(Qt::white).rgb());
    EXPECT_NE(off.pixelColor(trailingKnob).rgb(), QColor(Qt::white).rgb());
    EXPECT_EQ(toggle.toolTip(), "Show media from disconnected sources");

    QTest::mouseClick(&toggle, Qt::LeftButton);
    ASSERT_TRUE(toggle.isChecked());
    const QImage on = render(toggle);
    EXPECT_EQ(on.pixelColor(trailingKnob).rgb(), QColor(Qt::white).rgb());
    EXPECT_EQ(on.pixelColor(leadingKnob).rgb(), palette.color(QPalette::Highlight).rgb());
    EXPECT_EQ(toggle.toolTip(), "Showing media from disconnected sources");

    // The dot changes only its own corner, never the drive or the switch.
    toggle.setOfflineCount(1);
    const QImage offline = render(toggle);
    const QRect dot(9 + 16 + 3 - 6, 14 - 8 - 2, 6, 6);
    int changed = 0;
    for (int y = 0; y < on.height(); ++y) {
        for (int x = 0; x < on.width(); ++x) {
            if (on.pixel(x, y) != offline.pixel(x, y)) {
                ++changed;
                ASSERT_TRUE(dot.adjusted(-1, -1, 1, 1).contains(x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(changed, 10);
    EXPECT_EQ(offline.pixelColor(dot.center()).rgb(), PivraAppearance::systemRed(false).rgb());
    toggle.setOfflineCount(0);
    EXPECT_EQ(render(toggle), on);
}

} // namespace
} // namespace pivra
