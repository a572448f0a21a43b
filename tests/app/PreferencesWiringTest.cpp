#include "app/WindowTestKit.h"
#include "app/launch/LibraryMenus.h"
#include "app/launch/PreferencesWiring.h"
#include "platform/updates/UpdateBuildConfig.h"
#include "settings/GeneralTab.h"
#include "settings/PreferencesPresenter.h"
#include "style/appearance/AppearanceController.h"
#include "style/appearance/DesktopSettings.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace pivra {
namespace {

using Pane = PreferencesRouter::Pane;

class QuietDesktop final : public DesktopSettings {
public:
    std::optional<bool> prefersDark() const override { return false; }
    std::optional<bool> prefersReducedMotion() const override { return true; }
};

class PreferencesWiringTest : public test::ViewTest {
protected:
    void TearDown() override
    {
        PreferencesRouter::shared().setRequest(std::nullopt);
        ViewTest::TearDown();
    }

    template<typename Widget>
    static Widget* child(QWidget& parent, const std::function<bool(Widget*)>& wanted)
    {
        for (Widget* widget : parent.findChildren<Widget*>()) {
            if (wanted(widget)) {
                return widget;
            }
        }
        ADD_FAILURE() << "no such child";
        return nullptr;
    }
};

// The sidebar's row opens General; the menu item and a line of background
// work ask through the router, and a request while the sheet shows switches
// its tab; the Theme picker reaches the appearance controller.
TEST_F(PreferencesWiringTest, EveryWayInOpensItsTab)
{
    store_ = makeStore({.thumbnails = &thumbnails_, .previews = &clips_});
    ASSERT_TRUE(drain());
    AppearanceController appearance(std::make_unique<QuietDesktop>());
    host_ = std::make_unique<QWidget>();
    auto* library = new LibraryWindow(*store_, thumbnails_, clips_, host_.get());
    QMenuBar bar(host_.get());
    const LibraryMenus menus(*store_, bar);
    PreferencesPresenter* presenter =
        mountPreferences(*host_, *library, *store_, thumbnails_, clips_, appearance);
    host_->resize(1200, 760);
    library->resize(1200, 760);
    host_->show();

    child<QAbstractButton>(*library, [](QAbstractButton* row) { return row->text() == u"Preferences"; })->click();
    ASSERT_NE(presenter->sheet(), nullptr);
    EXPECT_EQ(presenter->sheet()->selectedTab(), Pane::general);
    EXPECT_EQ(presenter->sheet()->versionLabel()->text(),
              QStringLiteral("Version ") + QString::fromUtf8(UpdateBuildConfig::version));

    QWidget* workLine = child<QWidget>(*library, [](QWidget* line) { return line->toolTip() == u"Show Processes"; });
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(workLine, &release);
    EXPECT_EQ(presenter->sheet()->selectedTab(), Pane::processes);

    presenter->sheet()->generalTab()->themeButton(PivraColorMode::dark)->click();
    EXPECT_TRUE(appearance.isDark());

    presenter->sheet()->doneButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return presenter->sheet() == nullptr; }));
    for (QAction* action : menus.fileMenu()->actions()) {
        if (action->text() == u"Preferences…") {
            action->trigger();
        }
    }
    ASSERT_NE(presenter->sheet(), nullptr);
    EXPECT_EQ(presenter->sheet()->selectedTab(), Pane::general);
    presenter->sheet()->reject();
}

} // namespace
} // namespace pivra
