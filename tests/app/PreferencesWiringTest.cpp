#include "app/WindowTestKit.h"
#include "app/launch/LibraryMenus.h"
#include "app/launch/PreferencesWiring.h"
#include "app/quit/QuitRequests.h"
#include "platform/updates/UpdateBuildConfig.h"
#include "settings/GeneralTab.h"
#include "settings/PreferencesPresenter.h"
#include "style/appearance/AppearanceController.h"
#include "style/appearance/DesktopSettings.h"
#include "support/desktop/OtherXClient.h"
#include "support/desktop/XvfbChild.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

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

    // The library window as the program builds it, its preferences open.
    struct OpenPreferences {
        QMainWindow* window;
        PreferencesPresenter* presenter;
        std::unique_ptr<QuitRequests> quitRequests;
        QKeySequence quitKey;
    };
    OpenPreferences openPreferences(AppearanceController& appearance)
    {
        store_ = makeStore({.thumbnails = &thumbnails_, .previews = &clips_});
        auto* window = new QMainWindow;
        host_.reset(window);
        auto* library = new LibraryWindow(*store_, thumbnails_, clips_);
        window->setCentralWidget(library);
        auto* menus = new LibraryMenus(*store_, *window->menuBar());
        PreferencesPresenter* presenter = mountPreferences(*window, *library, *store_, thumbnails_, clips_, appearance);
        window->setGeometry(0, 0, 1200, 760);
        window->show();
        auto quitRequests = std::make_unique<QuitRequests>(*window, *menus->quitAction());
        presenter->showAt(Pane::general);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(presenter->sheet()));
        // Keys reach a shortcut only through the active window, and the X
        // server activates the sheet some time after showing it: as late as
        // a loaded machine makes it.
        EXPECT_TRUE(QTest::qWaitForWindowActive(presenter->sheet(), 60'000));
        return {window, presenter, std::move(quitRequests), menus->quitAction()->shortcut()};
    }

    // The status of the program's event loop, run until `ask` (run in it)
    // ends it; -1 for a request that did not.
    static int statusAfter(const std::function<void()>& ask)
    {
        QTimer::singleShot(0, qApp, ask);
        QTimer unanswered;
        unanswered.setSingleShot(true);
        QObject::connect(&unanswered, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
        unanswered.start(30'000);
        return QApplication::exec();
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

// Every request to quit ends the program while the preferences are open:
// Ctrl+Q typed into them or into the library window under them, and the
// window manager's close button on the library window. The test runs its own
// binary again under Xvfb, where the keys are the desktop's and another X
// client asks the window to close.
TEST_F(PreferencesWiringTest, EveryQuitRequestEndsTheProgramWithThePreferencesOpen)
{
    if (!test::isXvfbChild()) {
        const test::XvfbRun run = test::runUnderXvfb(QStringLiteral("PreferencesWiringTest.EveryQuitRequest*"));
        if (!run.ran) {
            GTEST_SKIP() << "xvfb-run is not installed";
        }
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.output);
        return;
    }
    test::OtherXClient other;
    ASSERT_TRUE(other.isConnected());
    enum class Request { keyInPreferences, keyInLibraryWindow, closeLibraryWindow };
    for (const Request request : {Request::keyInPreferences, Request::keyInLibraryWindow, Request::closeLibraryWindow}) {
        SCOPED_TRACE(static_cast<int>(request));
        AppearanceController appearance(std::make_unique<QuietDesktop>());
        const OpenPreferences open = openPreferences(appearance);
        ASSERT_EQ(open.quitKey, QKeySequence(Qt::CTRL | Qt::Key_Q));
        QWidget* preferences = open.presenter->sheet();
        QMainWindow* window = open.window;
        EXPECT_EQ(statusAfter([&] {
                      switch (request) {
                      case Request::keyInPreferences:
                          QTest::keyClick(preferences, Qt::Key_Q, Qt::ControlModifier);
                          break;
                      case Request::keyInLibraryWindow:
                          QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
                          break;
                      case Request::closeLibraryWindow:
                          other.askToClose(quint32(window->winId()));
                          break;
                      }
                  }),
                  0);
        host_.reset();
        ASSERT_TRUE(drain());
        store_.reset();
    }
}

} // namespace
} // namespace pivra
