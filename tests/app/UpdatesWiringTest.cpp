// The update controller's ties to the menu and the preferences.
#include "app/launch/UpdatesWiring.h"
#include "settings/PreferencesRouter.h"
#include "support/fakes/UpdateControllerKit.h"

#include <QAction>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

using Pane = PreferencesRouter::Pane;

TEST(UpdatesWiringTest, MenuCommandAndFocusOpenTheGeneralPreferences)
{
    UpdateControllerKit kit;
    PreferencesRouter router;
    QSignalSpy requests(&router, &PreferencesRouter::requestWritten);
    auto controller = kit.make({QStringLiteral("com.brindlecove.pivra"), InstallKind::selfUpdating,
                                UpdateControllerKit::goodKey()});
    QAction* command = checkForUpdatesAction(*controller, router, controller.get());
    EXPECT_EQ(command->text(), QStringLiteral("Check for Updates…"));
    EXPECT_FALSE(command->isEnabled()) << "disabled until the engine runs";

    startUpdates(*controller, router);
    ASSERT_TRUE(command->isEnabled());
    command->trigger();
    EXPECT_EQ(router.request(), Pane::general);
    EXPECT_EQ(kit.updater_->userChecks, 1);

    controller->showUpdateInFocus();
    EXPECT_EQ(requests.count(), 2);
    EXPECT_EQ(router.request(), Pane::general);
}

} // namespace
} // namespace pivra::test
