// The symbols of the header, the sidebar and the viewer drawn in the colours
// of the scheme in force: at start, after the user picks another appearance
// and after the desktop changes its own. Each state is saved under the
// build's renders/.
#include "WindowTestKit.h"

#include "app/sidebar/SidebarRow.h"
#include "platform/AppSettings.h"
#include "style/appearance/AppearanceController.h"
#include "style/appearance/DesktopSettings.h"
#include "style/appearance/PivraAppearance.h"
#include "style/controls/SubtleToolButton.h"
#include "support/desktop/Renders.h"
#include "viewer/MediaViewer.h"
#include "viewer/controls/ViewerButton.h"

#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

class SwitchableDesktop final : public DesktopSettings {
public:
    std::optional<bool> prefersDark() const override { return dark; }
    std::optional<bool> prefersReducedMotion() const override { return true; }

    void set(bool prefersDark)
    {
        dark = prefersDark;
        Q_EMIT changed();
    }

    bool dark = true;
};

// Whether `area` of `image` holds a pixel within a little of `ink`. A symbol
// tinted for the other scheme has none: its colour is that of the canvas
// it stands on.
bool holdsInk(const QImage& image, const QRect& area, const QColor& ink)
{
    constexpr int tolerance = 40;
    for (int y = std::max(area.top(), 0); y <= std::min(area.bottom(), image.height() - 1); ++y) {
        for (int x = std::max(area.left(), 0); x <= std::min(area.right(), image.width() - 1); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - ink.red()) <= tolerance && std::abs(pixel.green() - ink.green()) <= tolerance
                && std::abs(pixel.blue() - ink.blue()) <= tolerance) {
                return true;
            }
        }
    }
    return false;
}

class SchemeSwitchTest : public test::ViewTest {
protected:
    QRect within(const QWidget& widget, const QRect& area) const
    {
        return area.translated(widget.mapTo(window_.get(), QPoint()));
    }

    // Every symbol of the library window's header and sidebar in the ink of
    // `dark`, the header's named ones among them, and the viewer's in white.
    void expectScheme(bool dark, const QString& step)
    {
        SCOPED_TRACE(step.toStdString());
        ASSERT_TRUE(drain());
        const QColor ink = dark ? Qt::white : Qt::black;
        const QImage library = window_->grab().toImage();
        library.save(test::rendersFolder() + QStringLiteral("/scheme-%1-library.png").arg(step));
        EXPECT_EQ(library.pixelColor(window_->width() - 4, window_->height() - 4).rgb(),
                  PivraAppearance::canvas(dark).rgb());

        QStringList seen;
        for (QAbstractButton* candidate : window_->findChildren<QAbstractButton*>()) {
            // The button has no meta-object of its own, so findChildren cannot tell it apart.
            auto* button = dynamic_cast<SubtleToolButton*>(candidate);
            if (!button || !button->isVisibleTo(window_.get()) || !button->isEnabled() || button->symbol().isEmpty()) {
                continue;
            }
            seen << button->symbol();
            const QSize margin = (button->size() - button->iconSize()) / 2;
            const QRect symbol(QPoint(margin.width(), margin.height()), button->iconSize());
            EXPECT_TRUE(holdsInk(library, within(*button, symbol), ink)) << button->symbol().toStdString();
        }
        for (const char* named : {"sidebar.left", "minus", "plus"}) {
            EXPECT_TRUE(seen.contains(QString::fromLatin1(named))) << named;
        }
        int rows = 0;
        for (SidebarRow* row : window_->findChildren<SidebarRow*>()) {
            const SidebarRow::Look& look = row->look();
            if (!row->isVisibleTo(window_.get()) || row->selected() || look.symbolFrame == 0) {
                continue;
            }
            ++rows;
            const QRect symbol(look.outerInset + look.indentation + look.leading, 0, look.symbolFrame, row->height());
            EXPECT_TRUE(holdsInk(library, within(*row, symbol), ink)) << row->text().toStdString();
        }
        EXPECT_GE(rows, 3);

        store_->openViewer(store_->items()->front());
        ASSERT_TRUE(drain());
        MediaViewer* viewer = window_->viewer();
        ASSERT_NE(viewer, nullptr);
        const QImage shown = window_->grab().toImage();
        shown.save(test::rendersFolder() + QStringLiteral("/scheme-%1-viewer.png").arg(step));
        int buttons = 0;
        for (ViewerButton* button : viewer->findChildren<ViewerButton*>()) {
            // The zoom steps' 12-pixel strokes never reach full white.
            if (button->isVisibleTo(window_.get()) && button->kind() != ViewerButton::Kind::zoomStep
                && button->tint() == QColor(Qt::white)) {
                ++buttons;
                EXPECT_TRUE(holdsInk(shown, within(*button, button->rect()), Qt::white))
                    << button->symbol().toStdString();
            }
        }
        EXPECT_GE(buttons, 3);
        window_->closeViewer();
    }

    std::unique_ptr<LibraryWindow> window_;
};

TEST_F(SchemeSwitchTest, EverySymbolTakesTheSchemeAtStartAndAtEachChangeBothWays)
{
    const LibrarySource trip = test::folderSource(QStringLiteral("Trip"), true);
    writeRows(trip, {QStringLiteral("IMG_01.jpg"), QStringLiteral("IMG_02.jpg")});
    store_ = makeStore();
    ASSERT_TRUE(drain());
    store_->setSources({trip});
    AppSettings().setValue(appearanceSettingKey, rawValue(PivraColorMode::dark));
    auto* desktop = new SwitchableDesktop;
    AppearanceController appearance{std::unique_ptr<DesktopSettings>(desktop)};
    window_ = makeWindow(*store_);
    window_->resize(1200, 760);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));

    expectScheme(true, QStringLiteral("start-dark"));
    appearance.setMode(PivraColorMode::light);
    expectScheme(false, QStringLiteral("light"));
    appearance.setMode(PivraColorMode::system);
    expectScheme(true, QStringLiteral("system-dark"));
    desktop->set(false);
    expectScheme(false, QStringLiteral("system-light"));

    window_.reset();
    window_ = makeWindow(*store_);
    window_->resize(1200, 760);
    window_->show();
    expectScheme(false, QStringLiteral("start-light"));
}

} // namespace
} // namespace pivra
